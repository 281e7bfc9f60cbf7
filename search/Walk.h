// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The folder walk: depth first, in the file system's own order, each folder's
// listing read whole before any sub-folder is entered, each folder entered at
// most once per run (by its identity), pseudo file systems left out unless the
// walk starts on one.
//
// What it keeps:
// - One thread. run() and everything it calls runs on the calling thread: it
//   alone opens, lists and closes the walk's folders, reports to the observer
//   (the status text at each folder, fileListed() for each file, cannotRead())
//   and calls the sink. A file is reported to the observer before the sink is
//   given it, so nothing reads a file the observer has not heard of.
// - The order. The sink gets the files in the order of the events, which is
//   the order of the one-thread run whatever the sink does with them.
// - Descriptors. The folders of the current path stay open up to heldLevels
//   deep (see DescriptorBudget.h); deeper ones are opened again from the
//   deepest one still open, and must then be the same folder (its identity),
//   or the rest of its listing is given up and reported.
// - Read-ahead. Where storage waits, helper threads (FolderPrefetch) list
//   folders ahead of the walk; the walk still opens and checks every folder
//   itself and only takes a listing of that very folder.

#include "platform/DirectoryListing.h"
#include "platform/FileSystemType.h"
#include "search/DescriptorBudget.h"
#include "search/FileList.h"
#include "search/FolderPrefetch.h"
#include "search/RunState.h"
#include "search/SearchObserver.h"

#include <QByteArray>
#include <QByteArrayView>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_set>
#include <vector>

namespace search {

// Where the walk puts each file it lists.
class FileSink {
public:
    // folder: the one the file was listed in (closed when the walk holds it
    // no longer).
    virtual void add(QByteArrayView nativePath, const platform::Folder &folder) = 0;
    // The walk reached storage where each request waits.
    virtual void storageWaits() {}

protected:
    ~FileSink() = default;
};

class ListSink final : public FileSink {
public:
    explicit ListSink(FileList &files) : m_files(files) {}
    void add(QByteArrayView nativePath, const platform::Folder &) override
    {
        m_files.append(nativePath);
    }

private:
    FileList &m_files;
};

// Helper threads that read folder listings ahead of the walk where the start
// folder's storage waits on each request.
constexpr int kWaitingReadAhead = 16;

// Depth first, one listing per folder read whole before any sub-folder is
// entered, without recursion (the depth is limited by memory, not by the stack).
//
// Running short of descriptors or memory is never taken for a folder that
// cannot be listed: the walk gives back the descriptors of held folders, waits
// and tries again, and when that does not help it stops and fails the run.
class Walk {
public:
    // readAhead: helper threads reading listings ahead; 0 takes
    // kWaitingReadAhead on storage that waits and none elsewhere, -1 none.
    // storageWaits: as if every folder lay on storage that waits (tests).
    Walk(SearchObserver &observer, FileSink &files, RunState &state,
         std::size_t heldLevels = kHeldLevels, int readAhead = -1, bool storageWaits = false)
        : m_observer(observer), m_files(files), m_state(state),
          m_heldLevels(std::max<std::size_t>(1, heldLevels)), m_readAhead(readAhead),
          m_storageWaits(storageWaits)
    {}

    // folder: native bytes ending in the separator. Returns 0, or the errno
    // that kept the folder itself from being opened or listed.
    platform::FolderError run(const QByteArray &folder);

    // Files and folders below the start folder that could not be read
    // (reported to cannotRead()).
    qsizetype unreadable() const { return m_unreadable; }

private:
    struct Level {
        platform::Folder folder;  // closed below the held levels while a sub-folder is walked
        QByteArray name;          // in the parent's listing; empty for the start folder
        qsizetype pathLength = 0; // m_path up to this folder's separator
        std::vector<platform::FolderEntry> entries; // the listing, read whole
        std::size_t next = 0;                       // the entry to take next
        std::uint32_t index = 0;                    // in the parent's listing
    };

    void walk();

    // Enters the sub-folder `name` of the current folder, when it can be listed
    // and was not entered before in this run. opened: the sub-folder when it
    // was opened already.
    void enter(const QByteArray &name, platform::Folder opened);

    // Lists level's folder (at m_path) whole, waiting for resources when they
    // ran short, and leaves out files that links lead to on a pseudo file
    // system. A listing that broke off part-way keeps what was read and is
    // reported. False when it cannot be listed: *error is the reason, or 0
    // when the run failed for want of resources.
    // A listing read ahead by a helper is taken when there is one.
    bool list(Level &level, platform::FolderError *error);

    // A file reached through a link that lies on a pseudo file system (proc,
    // sysfs, tracefs, ...) is left out like such a folder: reading one can
    // take data that others were owed (kmsg, trace_pipe). Unless the search
    // started on that file system.
    bool leaveOutPseudoFiles(Level &level, platform::FolderError *error);

    // openChild, waiting for resources when they ran short. Not open with
    // *error 0 when the run failed for want of them.
    // mayShed: false while held folders are in use.
    platform::Folder openChild(const platform::Folder &parent, const QByteArray &name,
                               platform::FolderError *error, bool mayShed = true);

    // Gives back the descriptors of the folders held between the start folder
    // and the current one, and holds none of them from now on. False when
    // there was none to give back.
    bool shed();

    // Tells the sink, once per device, when a folder lies on storage that waits.
    bool checkWaits(const platform::Folder &folder);

    void cannotRead(const QByteArray &path, int error, bool brokenOff);

    // Opens the current folder again by its names from the deepest folder on
    // the path still open, and checks that it is the same folder. When it
    // cannot be, the rest of its listing is given up.
    bool reopenCurrent();

    SearchObserver &m_observer;
    FileSink &m_files;
    RunState &m_state;
    std::size_t m_heldLevels;
    std::vector<Level> m_levels; // the start folder down to the current one
    QByteArray m_path;           // of the current folder, ending in the separator
    std::unordered_set<platform::FolderId, FolderIdHash> m_entered; // every folder entered
    quint64 m_startDevice = 0;
    platform::FileSystemTypes m_types;
    qsizetype m_unreadable = 0;
    const int m_readAhead;
    const bool m_storageWaits;
    search::FolderPrefetch *m_prefetch = nullptr; // during run(), when reading ahead
};

} // namespace search
