// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/SearchRun.h"

#include "platform/DirectoryListing.h"
#include "platform/FileReader.h"
#include "platform/FileSystemType.h"
#include "platform/ResourceLimits.h"
#include "resources/Texts.h"
#include "search/FolderPrefetch.h"
#include "search/TextMatcher.h"
#include "search/Tokenizer.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

QString FoundFile::path() const
{
    return platform::displayPath(QByteArray::fromRawData(nativePath.data(), nativePath.size()));
}

namespace {

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

using search::FolderIdHash;

// Workers where the storage waits on each request. Measured with the slow file
// system of the benchmarks (1 ms per request, 2 cores): 64 took a fifth of the
// time of 4; 128 and 256 were no faster and took up to three times the system
// time, and each thread costs memory and descriptors.
constexpr int kWaitingWorkers = 64;

// Helper threads that read folder listings ahead of the walk where the start
// folder's storage waits on each request.
constexpr int kWaitingReadAhead = 16;

// What the walk and the workers share about resources. Once something ran
// short for good, the run is failed: nobody waits for resources any more.
struct RunState {
    std::atomic<int> resourceError{0};

    void fail(int error)
    {
        int none = 0;
        resourceError.compare_exchange_strong(none, error);
    }
    bool failed() const { return resourceError.load(std::memory_order_relaxed) != 0; }
    // Waits before retry number `attempt` of something that ran short; false
    // when the caller is to give up (then the run is failed with `error`).
    bool wait(int attempt, int error)
    {
        if (!failed() && platform::waitForResources(attempt))
            return true;
        fail(error);
        return false;
    }
};

// The walk keeps the folders of the current path open, so that each folder is
// opened relative to its parent and the path may grow without limit. Folders
// deeper than this keep their descriptor only while the walk is inside them;
// coming back to one that has more sub-folders to enter, the walk opens it
// again from the deepest folder still open. At most kHeldLevels + 4
// descriptors are open at once (the held ones, the current folder, a child
// being entered, its listing and the file system check of what it names).
constexpr std::size_t kHeldLevels = 32;
constexpr int kWalkExtraDescriptors = 4;
constexpr int kDescriptorsPerWorker = 2; // a file and its folder

// How many of `wanted` threads for storage that waits fit in the descriptors
// the process may still open, each taking up to `each`. The walk's held
// folders and a reserve stay; the read-ahead helpers and the workers may each
// take half of what is left.
int fitDescriptors(int wanted, int each)
{
    const int spare = platform::descriptorRoom() - int(kHeldLevels) - kWalkExtraDescriptors - 16;
    return std::clamp(spare / 2 / each, 0, wanted);
}

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
    platform::FolderError run(const QByteArray &folder)
    {
        m_observer.statusTextChanged(texts::analysingFolders);
        platform::FolderError error = 0;
        Level start;
        for (int attempt = 0;; ++attempt) {
            error = 0;
            start.folder = platform::Folder::open(folder, &error);
            if (start.folder.isOpen() || !platform::isShortOfResources(error))
                break;
            if (!m_state.wait(attempt, error))
                return 0; // the run failed; reported as such
        }
        if (!start.folder.isOpen())
            return error;
        m_path = folder;
        // A search that starts inside a pseudo file system searches it as asked;
        // others reached from there are still left out.
        m_startDevice = start.folder.id().device;
        if (!list(start, &error))
            return error; // 0 when the run failed for want of resources
        m_entered.insert(start.folder.id());
        start.pathLength = m_path.size();
        const bool waits = checkWaits(start.folder);
        // A helper holds up to four descriptors (a path opened in pieces, the
        // folder and its listing).
        const int helpers = m_readAhead > 0             ? m_readAhead
                            : m_readAhead == 0 && waits ? fitDescriptors(kWaitingReadAhead, 4)
                                                        : 0;
        std::optional<search::FolderPrefetch> prefetch;
        if (helpers > 0) {
            prefetch.emplace(helpers, m_startDevice);
            prefetch->listedByWalk({}, folder, start.entries);
            m_prefetch = &*prefetch;
        }
        m_levels.push_back(std::move(start));
        walk();
        m_prefetch = nullptr;
        return 0;
    }

private:
    struct Level {
        platform::Folder folder;  // closed below the held levels while a sub-folder is walked
        QByteArray name;          // in the parent's listing; empty for the start folder
        qsizetype pathLength = 0; // m_path up to this folder's separator
        std::vector<platform::FolderEntry> entries; // the listing, read whole
        std::size_t next = 0;                       // the entry to take next
        std::uint32_t index = 0;                    // in the parent's listing
    };

    void walk()
    {
        while (!m_levels.empty() && !m_state.failed()) {
            Level &level = m_levels.back();
            if (level.next == level.entries.size()) {
                m_levels.pop_back();
                continue;
            }
            const platform::FolderEntry &entry = level.entries[level.next++];
            m_path.truncate(level.pathLength);
            if (entry.isFolder) {
                const QByteArray name = entry.name; // enter() moves the levels
                if (m_observer.searchSubfolders())
                    enter(name, platform::Folder());
                continue;
            }
            const QByteArray path = m_path + entry.name;
            // Reported before it is handed on, so that nothing reads the file
            // before the observer has heard of it.
            m_observer.fileListed(FoundFile{path});
            m_files.add(path, level.folder);
        }
        m_levels.clear();
    }

    // Enters the sub-folder `name` of the current folder, when it can be listed
    // and was not entered before in this run. opened: the sub-folder when it
    // was opened already.
    void enter(const QByteArray &name, platform::Folder opened)
    {
        m_observer.statusTextChanged(texts::analysingFolders);
        if (!opened.isOpen() && !m_levels.back().folder.isOpen() && !reopenCurrent())
            return;
        Level child;
        platform::FolderError error = 0;
        child.folder =
            opened.isOpen() ? std::move(opened) : openChild(m_levels.back().folder, name, &error);
        if (!child.folder.isOpen()) {
            // A name that is no longer a folder was a file or a link raced in.
            if (error != 0 && error != ENOTDIR)
                cannotRead(m_path + name + platform::kSeparator, error, false);
            return;
        }
        const platform::FolderId id = child.folder.id();
        // Reached before, through a link or a bind mount: entering it again
        // would list its files twice, or never end on a link back up the path.
        if (m_entered.contains(id))
            return;
        if (id.device != m_startDevice && m_types.isPseudo(child.folder.descriptor(), id.device))
            return;
        const qsizetype parentLength = m_path.size();
        m_path.append(name).append(platform::kSeparator);
        child.index = std::uint32_t(m_levels.back().next - 1);
        if (!list(child, &error)) {
            if (error != 0)
                cannotRead(m_path, error, false);
            m_path.truncate(parentLength);
            return;
        }
        checkWaits(child.folder);
        m_entered.insert(id);
        child.name = name;
        child.pathLength = m_path.size();
        Level &parent = m_levels.back();
        if (m_levels.size() > m_heldLevels)
            parent.folder.close();
        m_levels.push_back(std::move(child));
    }

    // Lists level's folder (at m_path) whole, waiting for resources when they
    // ran short, and leaves out files that links lead to on a pseudo file
    // system. A listing that broke off part-way keeps what was read and is
    // reported. False when it cannot be listed: *error is the reason, or 0
    // when the run failed for want of resources.
    // A listing read ahead by a helper is taken when there is one.
    bool list(Level &level, platform::FolderError *error)
    {
        search::FolderKey key;
        if (m_prefetch) {
            key.reserve(m_levels.size());
            for (std::size_t i = 1; i < m_levels.size(); ++i)
                key.push_back(m_levels[i].index);
            key.push_back(level.index);
            if (m_prefetch->take(key, level.folder.id(), level.entries)) {
                return leaveOutPseudoFiles(level, error);
            }
        }
        for (int attempt = 0;; ++attempt) {
            platform::FolderError why = 0;
            platform::FolderError brokenOff = 0;
            const bool listed = level.folder.list(level.entries, &why, &brokenOff);
            const int shortOf = !listed ? why : brokenOff;
            if (platform::isShortOfResources(shortOf)) {
                if (shed())
                    continue;
                if (!m_state.wait(attempt, shortOf)) {
                    *error = 0;
                    return false;
                }
                continue;
            }
            if (!listed) {
                *error = why;
                return false;
            }
            if (brokenOff != 0)
                cannotRead(m_path, brokenOff, true);
            break;
        }
        if (m_prefetch)
            m_prefetch->listedByWalk(key, m_path, level.entries);
        return leaveOutPseudoFiles(level, error);
    }

    // A file reached through a link that lies on a pseudo file system (proc,
    // sysfs, tracefs, ...) is left out like such a folder: reading one can
    // take data that others were owed (kmsg, trace_pipe). Unless the search
    // started on that file system.
    bool leaveOutPseudoFiles(Level &level, platform::FolderError *error)
    {
        auto &entries = level.entries;
        for (std::size_t i = 0; i < entries.size();) {
            const platform::FolderEntry &entry = entries[i];
            bool pseudo = false;
            if (entry.throughLink && !entry.isFolder && entry.device != m_startDevice) {
                for (int attempt = 0;; ++attempt) {
                    int why = 0;
                    pseudo = m_types.isPseudoAt(level.folder.descriptor(), entry.name.constData(),
                                                entry.device, &why);
                    if (!platform::isShortOfResources(why))
                        break;
                    if (!shed() && !m_state.wait(attempt, why)) {
                        *error = 0;
                        return false;
                    }
                }
            }
            if (pseudo)
                entries.erase(entries.begin() + std::ptrdiff_t(i));
            else
                ++i;
        }
        return true;
    }

    // openChild, waiting for resources when they ran short. Not open with
    // *error 0 when the run failed for want of them.
    // mayShed: false while held folders are in use.
    platform::Folder openChild(const platform::Folder &parent, const QByteArray &name,
                               platform::FolderError *error, bool mayShed = true)
    {
        for (int attempt = 0;; ++attempt) {
            *error = 0;
            platform::Folder folder = platform::Folder::openChild(parent, name, error);
            if (folder.isOpen() || !platform::isShortOfResources(*error))
                return folder;
            if (mayShed && shed())
                continue;
            if (!m_state.wait(attempt, *error)) {
                *error = 0;
                return folder;
            }
        }
    }

    // Gives back the descriptors of the folders held between the start folder
    // and the current one, and holds none of them from now on. False when
    // there was none to give back.
    bool shed()
    {
        bool closed = false;
        for (std::size_t i = 1; i + 1 < m_levels.size(); ++i) {
            if (m_levels[i].folder.isOpen()) {
                m_levels[i].folder.close();
                closed = true;
            }
        }
        m_heldLevels = 1;
        return closed;
    }

    // Tells the sink, once per device, when a folder lies on storage that waits.
    bool checkWaits(const platform::Folder &folder)
    {
        const bool waits = m_storageWaits || m_types.waits(folder.descriptor(), folder.id().device);
        if (waits)
            m_files.storageWaits();
        return waits;
    }

    void cannotRead(const QByteArray &path, int error, bool brokenOff)
    {
        m_observer.cannotRead(FoundFile{path}, error, brokenOff);
        ++m_unreadable;
    }

    // Opens the current folder again by its names from the deepest folder on
    // the path still open, and checks that it is the same folder. When it
    // cannot be, the rest of its listing is given up.
    bool reopenCurrent()
    {
        std::size_t held = m_levels.size() - 1;
        while (held > 0 && !m_levels[held].folder.isOpen())
            --held;
        Level &current = m_levels.back();
        const platform::FolderId expected = current.folder.id();
        platform::Folder folder;
        platform::FolderError error = 0;
        const platform::Folder *from = &m_levels[held].folder;
        for (std::size_t i = held + 1; i < m_levels.size() && from->isOpen(); ++i) {
            folder = openChild(*from, m_levels[i].name, &error, false);
            from = &folder;
        }
        if (!folder.isOpen() || !(folder.id() == expected)) {
            if (error != 0 && !m_state.failed())
                cannotRead(m_path, error, true);
            current.next = current.entries.size();
            return false;
        }
        current.folder = std::move(folder);
        return true;
    }

public:
    qsizetype unreadable() const { return m_unreadable; }

private:
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

class FileSource : public ByteSource {
public:
    explicit FileSource(platform::FileReader &reader) : m_reader(reader) {}
    qsizetype read(char *buffer, qsizetype max) override { return m_reader.read(buffer, max); }
    bool atEnd() const override { return m_reader.atEnd(); }
    bool rewind() override { return m_reader.rewind(); }

private:
    platform::FileReader &m_reader;
};

class EmptySource : public ByteSource {
public:
    qsizetype read(char *, qsizetype) override { return 0; }
    bool atEnd() const override { return true; }
};

// What became of one file.
enum class Fate : std::uint8_t {
    Unmatched = 1,
    Matched,
    Unreadable,       // cannot be opened or read (vanished, no permission, a lease)
    ShortOfSomething, // descriptors or memory ran short for good: the run failed
};

struct FileResult {
    Fate fate = Fate::Unmatched;
    int error = 0; // why, for the last two
};

// A file that cannot be opened or read (vanished, locked, no permission) does
// not match and is Unreadable; one that is no longer a regular file does not
// match either, silently. When descriptors or memory run short, the reader
// gives back its folder's descriptor, waits and tries again.
FileResult matchFile(QByteArrayView nativePath, TextMatcher &matcher, platform::FileReader &reader,
                     qsizetype blockSize, RunState &state, int folder = -1)
{
    // The list keeps a NUL after each path, so the bytes serve as they are.
    const QByteArray path = QByteArray::fromRawData(nativePath.data(), nativePath.size());
    for (int attempt = 0;; ++attempt) {
        int error = 0;
        bool found = false;
        try {
            if (reader.open(path, folder)) {
                FileSource source(reader);
                found = matcher.matches(source, blockSize);
                error = found ? 0 : reader.error(); // 0 unless a read failed
                reader.close();
                if (error == 0)
                    return {found ? Fate::Matched : Fate::Unmatched, 0};
            } else {
                error = reader.error();
                if (error == 0)
                    return {Fate::Unmatched, 0}; // not a regular file any more
            }
        } catch (const std::bad_alloc &) {
            reader.close();
            error = ENOMEM; // a path or the block buffer was refused
        }
        if (!platform::isShortOfResources(error))
            return {Fate::Unreadable, error};
        reader.release();
        if (attempt > 0 && !state.wait(attempt - 1, error))
            return {Fate::ShortOfSomething, error};
    }
}

// Matches the listed files on worker threads while the walk goes on. The walk
// thread appends files; the reporting thread asks for the results in list
// order. Workers take files in list order and never start one more than
// `window` files past the oldest file not yet matched, so a slow file holds
// back at most that many finished ones. A result is one mark in the list.
class ParallelScan final : public FileSink {
public:
    // Runs up to `workers` threads: one starts now (started() tells whether
    // the system gave it), the others as files wait for them, so that a
    // search of few files does not pay for threads it has no work for.
    // Fewer start when the system refuses more.
    // grows: the worker count was not asked for, and rises to
    // kWaitingWorkers once the walk reaches storage that waits.
    ParallelScan(FileList &files, const TextMatcher &matcher, const SearchOptions &options,
                 int workers, RunState &state, bool grows)
        : m_files(files), m_matcher(matcher), m_state(state), m_blockSize(options.blockSize),
          m_grows(grows), m_fixedWindow(options.window > 0), m_sharedFolders(options.sharedFolders),
          m_wanted(workers), m_workers(workers),
          m_window(m_fixedWindow ? options.window : 64 + 32 * workers)
    {
        startWorkers(std::min(workers, 1));
    }

    // Fewer and more requests in flight where each one waits. Fewer: from
    // now on the walk hands on its folders with their files (see Run). More,
    // when the worker count was not asked for: files are read on more threads,
    // further ahead of the oldest one not yet matched, and taken a few more at
    // a time.
    void storageWaits() override
    {
        if (m_sharing)
            return;
        m_sharing = true;
        const int workers = m_grows ? fitDescriptors(kWaitingWorkers, kDescriptorsPerWorker) : 0;
        if (workers > int(m_threads.size())) {
            m_wanted = workers;
            {
                const std::lock_guard lock(m_mutex);
                m_workers = workers;
                m_claim = kWaitingClaim;
                if (!m_fixedWindow)
                    m_window = 64 + 32 * m_workers;
            }
            startWorkers(workers);
            m_workCv.notify_all();
        }
        // The folders handed on take what is left of the workers' half of the
        // descriptors (fitDescriptors) once each worker has its own two: none
        // where descriptors are few, and the workers then open each folder by
        // its path, as they do elsewhere.
        const int spare =
            platform::descriptorRoom() - int(kHeldLevels) - kWalkExtraDescriptors - 16;
        const int threads = int(m_threads.size());
        const std::lock_guard lock(m_mutex);
        m_sharedCap = std::clamp(spare / 2 - threads * kDescriptorsPerWorker, 0, kSharedFolders);
        if (m_sharedFolders > 0)
            m_sharedCap = std::min(m_sharedCap, m_sharedFolders);
        m_runsFrom = m_files.size();
    }

    // Starts threads up to `workers`; fewer when the system refuses more.
    void startWorkers(int workers)
    {
        const TextMatcher &matcher = m_matcher;
        workers = int(std::min<qsizetype>(workers, m_keep)); // none back once given back
        m_threads.reserve(size_t(workers));
        for (int i = int(m_threads.size()); i < workers; ++i) {
            try {
                // A thread's stack takes address space (8 MiB by default):
                // under a low RLIMIT_AS many threads would leave none for the
                // list of files. One more starts only while there is room.
                if (!roomForAnotherThread())
                    throw std::bad_alloc();
                // The copy takes its block buffer here, should the matcher
                // have one, so that a worker rarely needs memory of its own.
                m_threads.emplace_back(
                    [this, i, own = TextMatcher(matcher)]() mutable { work(own, i); });
            } catch (const std::exception &) {
                // No thread to be had (std::system_error: RLIMIT_NPROC, no
                // address space for its stack; std::bad_alloc): go on with
                // those already running, and ask for no more.
                m_wanted = int(m_threads.size());
                const std::lock_guard lock(m_mutex);
                m_workers = std::max<qsizetype>(1, qsizetype(m_threads.size()));
                break;
            }
        }
    }

    qsizetype started() const { return qsizetype(m_threads.size()); }

    ~ParallelScan()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_workCv.notify_all();
        for (std::thread &t : m_threads)
            t.join();
        for (const Run &run : m_runs) {
            if (run.fd >= 0)
                ::close(run.fd);
        }
    }

    void add(QByteArrayView nativePath, const platform::Folder &folder) override
    {
        for (;;) {
            try {
                addFile(nativePath, folder);
                return;
            } catch (const std::bad_alloc &) {
                // Memory refused on the walk thread (the list grows): workers
                // give their stacks back first; the run fails only when a
                // single worker is left and memory is still refused.
                if (!giveBackWorkers())
                    throw;
            }
        }
    }

    // The walk thread: the later half of the workers leave once their files
    // are matched, and no more start. False when one worker or none runs.
    bool giveBackWorkers()
    {
        const qsizetype keep = qsizetype(m_threads.size()) / 2;
        if (keep < 1)
            return false;
        {
            const std::lock_guard lock(m_mutex);
            m_keep = keep;
            m_workers = keep;
        }
        m_wanted = int(keep);
        m_workCv.notify_all();
        for (size_t i = size_t(keep); i < m_threads.size(); ++i)
            m_threads[i].join();
        m_threads.erase(m_threads.begin() + keep, m_threads.end());
        return true;
    }

    void addFile(QByteArrayView nativePath, const platform::Folder &folder)
    {
        bool wake, more;
        {
            std::unique_lock lock(m_mutex);
            const bool sharing = m_sharedCap > 0;
            if (sharing && (m_runs.empty() || !(m_runs.back().id == folder.id())))
                startRun(folder, lock);
            m_files.append(nativePath);
            if (sharing)
                ++m_runs.back().pending;
            // Idle workers are woken for a few files at a time, not for each;
            // with none idle and a batch waiting, one more starts.
            const bool batch = m_files.size() - m_next >= kBatch && m_next < m_oldest + m_window;
            wake = m_idle > 0 && batch;
            more = m_idle == 0 && batch && int(m_threads.size()) < m_wanted;
        }
        if (wake)
            m_workCv.notify_all();
        if (more)
            startWorkers(int(m_threads.size()) + 1);
    }

    void walkEnded()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_walkEnded = true;
        }
        m_workCv.notify_all(); // the last files, fewer than a batch
    }

    // Waits until file i is matched and tells what became of it. Called after
    // the walk ended (no more appends), with i rising.
    FileResult result(qsizetype i)
    {
        if (i >= m_settled) {
            std::unique_lock lock(m_mutex);
            m_waitingFor = i;
            m_doneCv.wait(lock, [&] { return m_oldest > i; });
            m_waitingFor = -1;
            m_settled = m_oldest;
        }
        // Settled marks no longer change, and the list no longer grows.
        const Fate fate = Fate(m_files.mark(i));
        if (fate == Fate::Matched || fate == Fate::Unmatched)
            return {fate, 0};
        const std::lock_guard lock(m_mutex);
        const auto error = m_errors.find(i);
        return {fate, error != m_errors.end() ? error->second : ENOMEM};
    }

private:
    // Where storage waits, each file is opened relative to the folder the walk
    // listed it in: the walk hands on a copy of that folder's descriptor with
    // its files, so that a worker looks up the file's name alone, never the
    // folder's path (on a FUSE or network file system, one request for each
    // folder on the path, for each folder a worker goes to). A worker so reads
    // the very folder the walk listed, never one put in its place since. The
    // files of a folder listed one after another form a run and share one
    // descriptor, closed once they are all matched. At most m_sharedCap are
    // open: the walk waits for one to be closed before it hands on another
    // (workers never wait for the walk, so one always is); a folder the walk
    // holds no longer, or a copy refused, leaves its run to be opened by path.
    struct Run {
        qsizetype first;       // the run's first file
        int fd;                // the folder's; -1: its files are opened by their path
        qsizetype pending;     // files added and not yet matched
        platform::FolderId id; // the folder's
    };
    static constexpr int kSharedFolders = 256;

    // The walk thread, under the lock: the folder's run starts.
    void startRun(const platform::Folder &folder, std::unique_lock<std::mutex> &lock)
    {
        m_runs.push_back(Run{m_files.size(), -1, 0, folder.id()});
        // No more files come to the run before it: it is closed once they
        // are matched, or now.
        if (m_runs.size() > 1 && m_runs[m_runs.size() - 2].pending == 0)
            closeRun(m_runs[m_runs.size() - 2]);
        if (!folder.isOpen())
            return;
        if (m_sharedOpen >= m_sharedCap && m_idle > 0)
            m_workCv.notify_all(); // for the last few files, fewer than a batch
        m_walkCv.wait(lock, [&] { return m_sharedOpen < m_sharedCap || m_state.failed(); });
        if (m_sharedOpen >= m_sharedCap)
            return;
        const int fd = ::fcntl(folder.descriptor(), F_DUPFD_CLOEXEC, 0);
        if (fd >= 0) {
            m_runs.back().fd = fd;
            ++m_sharedOpen;
        }
    }

    void closeRun(Run &run)
    {
        if (run.fd < 0)
            return;
        ::close(run.fd);
        run.fd = -1;
        --m_sharedOpen;
        m_walkCv.notify_one();
    }

    // Under the lock, for the file m_next as it is taken (files are taken in
    // order): its run (counted from the first run ever), or -1.
    qsizetype runOf(qsizetype file)
    {
        if (m_runs.empty() || file < m_runsFrom)
            return -1;
        while (m_claimRun + 1 - m_runBase < qsizetype(m_runs.size()) &&
               m_runs[size_t(m_claimRun + 1 - m_runBase)].first <= file)
            ++m_claimRun;
        return m_claimRun;
    }

    // Under the lock: a file of run r is matched.
    void matchedInRun(qsizetype r)
    {
        Run &run = m_runs[size_t(r - m_runBase)];
        if (--run.pending == 0 && r - m_runBase + 1 < qsizetype(m_runs.size()))
            closeRun(run); // a later run started: no more files come to this one
        // Runs whose files are all taken and matched are done with.
        while (m_runBase < m_claimRun && m_runs.front().pending == 0 && m_runs.front().fd < 0) {
            m_runs.pop_front();
            ++m_runBase;
        }
    }

    static constexpr qsizetype kBatch = 8;
    // Address space kept free for the rest of the run when threads start.
    static constexpr std::size_t kHeadroomBytes = std::size_t(64) << 20;

    static bool roomForAnotherThread() { return platform::roomForAnotherThread(kHeadroomBytes); }

    // Files a worker takes at once, at most: few on a local disk, more where
    // each request waits, so that a worker's files share a folder and it opens
    // that folder once (with 64 workers, one file each, most files would need
    // their folder opened anew by its whole path: more requests each).
    static constexpr qsizetype kClaim = 4;
    static constexpr qsizetype kWaitingClaim = 16;

    // matcher: the thread's own copy, made before it started.
    // index: the thread's place in m_threads.
    void work(TextMatcher &matcher, qsizetype index)
    {
        platform::FileReader reader;
        std::unique_lock lock(m_mutex);
        for (;;) {
            while (!m_stop && index < m_keep &&
                   !(m_next < m_files.size() && m_next < m_oldest + m_window)) {
                if (m_walkEnded && m_next >= m_files.size())
                    return;
                ++m_idle;
                m_workCv.wait(lock);
                --m_idle;
            }
            if (m_stop || index >= m_keep)
                return;
            // A few files at once while many wait, to take the lock less often.
            const qsizetype available = std::min(m_files.size(), m_oldest + m_window) - m_next;
            const qsizetype take = std::clamp<qsizetype>(available / (2 * m_workers), 1, m_claim);
            const qsizetype first = m_next;
            m_next += take;
            QByteArrayView paths[kWaitingClaim];
            qsizetype runs[kWaitingClaim];
            int folders[kWaitingClaim]; // open until the file is marked matched
            for (qsizetype k = 0; k < take; ++k) {
                paths[k] = m_files.nativePath(first + k); // never moves
                runs[k] = runOf(first + k);
                folders[k] = runs[k] >= 0 ? m_runs[size_t(runs[k] - m_runBase)].fd : -1;
            }
            lock.unlock();
            FileResult results[kWaitingClaim];
            for (qsizetype k = 0; k < take; ++k)
                results[k] = matchFile(paths[k], matcher, reader, m_blockSize, m_state, folders[k]);
            lock.lock();
            for (qsizetype k = 0; k < take; ++k) {
                if (runs[k] >= 0)
                    matchedInRun(runs[k]);
                m_files.setMark(first + k, std::uint8_t(results[k].fate));
                if (results[k].error != 0) {
                    try {
                        m_errors.emplace(first + k, results[k].error);
                    } catch (const std::bad_alloc &) {
                        // result() tells ENOMEM for a reason it does not have.
                    }
                }
            }
            if (first != m_oldest)
                continue; // an older file is still being matched
            const bool windowWasFull = m_next >= m_oldest + m_window;
            const qsizetype end = m_next;
            while (m_oldest < end && m_files.mark(m_oldest) != 0)
                ++m_oldest;
            // The reporting thread is woken once a few files are settled past the
            // one it waits for, or every file is, not for each file.
            if (m_waitingFor >= 0 &&
                (m_oldest > m_waitingFor + kBatch || (m_walkEnded && m_oldest == m_files.size())))
                m_doneCv.notify_one();
            if (windowWasFull && m_idle > 0)
                m_workCv.notify_all(); // the window moved on
        }
    }

    FileList &m_files;
    const TextMatcher &m_matcher; // each worker matches with its own copy
    RunState &m_state;
    const qsizetype m_blockSize;
    bool m_grows;              // walk thread only
    bool m_sharing = false;    // walk thread only: storageWaits() came
    const bool m_fixedWindow;  // the window was asked for
    const int m_sharedFolders; // at most, when asked for
    int m_wanted;              // threads to run at most (walk thread only)
    qsizetype m_workers;       // threads running; read under the lock
    // Threads from this place in m_threads on leave (memory ran short).
    qsizetype m_keep = std::numeric_limits<qsizetype>::max();
    qsizetype m_window;
    qsizetype m_claim = kClaim; // files taken at once, at most
    std::vector<std::thread> m_threads;

    std::mutex m_mutex;
    std::condition_variable m_workCv; // workers wait for a file to take
    std::condition_variable m_doneCv; // the reporting thread waits for a result
    qsizetype m_next = 0;             // the next file to take
    qsizetype m_oldest = 0;           // every file before it is matched
    qsizetype m_waitingFor = -1;      // the file the reporting thread waits for
    int m_idle = 0;
    bool m_walkEnded = false;
    bool m_stop = false;
    std::unordered_map<qsizetype, int> m_errors; // why, for the files that have a reason
    std::condition_variable m_walkCv;            // the walk waits for a folder to be closed
    std::deque<Run> m_runs;                      // from the oldest with a file not matched
    qsizetype m_runBase = 0;                     // runs dropped from the front
    qsizetype m_claimRun = 0;                    // the run of the file last taken
    qsizetype m_runsFrom = 0;                    // the first file that has a run
    int m_sharedOpen = 0;                        // runs with a descriptor open
    int m_sharedCap = 0;                         // 0: folders are not handed on

    qsizetype m_settled = 0; // reporting thread only: files below it are matched
};

// How many workers a run takes and how many folders its walk holds open, so
// that their descriptors fit in what the process may still open, with room to
// spare for the front (a window opens files of its own).
struct DescriptorBudget {
    int workers;
    std::size_t heldLevels;
};

constexpr int kSpareDescriptors = 8;

DescriptorBudget budgetDescriptors(int workers, int room)
{
    room -= kSpareDescriptors;
    const int walk = int(kHeldLevels) + kWalkExtraDescriptors;
    if (workers > 1) {
        // The walk runs beside the workers.
        const int fit = (room - walk) / kDescriptorsPerWorker;
        if (fit >= 2)
            return {std::min(workers, fit), kHeldLevels};
        workers = 1;
    }
    // One thread reads after the walk has closed its folders: the walk alone
    // decides, holding fewer folders open (and opening them again more often).
    const int held = std::clamp(room - kWalkExtraDescriptors, 1, int(kHeldLevels));
    return {1, std::size_t(held)};
}

FileList walkNative(const QByteArray &folder, SearchObserver &observer,
                    platform::FolderError *error = nullptr)
{
    FileList files;
    ListSink sink(files);
    RunState state;
    const platform::FolderError startError =
        Walk(observer, sink, state, budgetDescriptors(1, platform::descriptorRoom()).heldLevels)
            .run(platform::nativeFolderPath(folder));
    if (error)
        *error = startError;
    return files;
}

} // namespace

// Twice the processor count, at least 4 and at most 32. Measured on the real
// tree of the benchmarks, 2 cores: on a cold cache more reads in flight than
// cores let the disk work ahead (4 workers took 0.69 of the one-thread floor's
// time, 8 took 0.67, 16 took 0.64; one thread 1.0 to 1.1); on a warm cache 4 cost
// the CPU time of 2, while 8 cost 15 to 20 % more and 16 up to 40 % more.
int defaultWorkerCount()
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return int(std::clamp(2 * cores, 4u, 32u));
}

FileList walkFolder(const QString &folder, SearchObserver &observer)
{
    return walkNative(platform::nativeFolderPath(folder), observer);
}

SearchOutcome runSearchNative(const QByteArray &folder, const QString &keywordText,
                              SearchObserver &observer, const SearchOptions &options)
{
    SearchOutcome outcome;
    const QStringList words = splitKeyword(keywordText);
    TextMatcher matcher(words, options.encoding);
    const bool scanning = !words.isEmpty() && !matcher.neverMatches();
    const DescriptorBudget budget = budgetDescriptors(!scanning             ? 1
                                                      : options.workers > 0 ? options.workers
                                                                            : defaultWorkerCount(),
                                                      platform::descriptorRoom());

    observer.workListCleared();
    const QByteArray start = platform::nativeFolderPath(folder);
    FileList files;
    RunState state;
    ListSink sink(files);
    std::unique_ptr<ParallelScan> parallel;
    if (budget.workers > 1) {
        // The matcher takes its block buffer now, so that each worker's copy
        // comes with one (made before the worker starts: where memory is
        // short, fewer workers start instead of workers failing later).
        try {
            EmptySource empty;
            matcher.matches(empty, options.blockSize);
        } catch (const std::bad_alloc &) {
        }
        // Matching starts with the first file listed.
        parallel = std::make_unique<ParallelScan>(files, matcher, options, budget.workers, state,
                                                  options.workers <= 0);
        if (parallel->started() == 0)
            parallel.reset(); // not one thread to be had: this one does the matching
    }
    Walk walk(observer, parallel ? static_cast<FileSink &>(*parallel) : sink, state,
              budget.heldLevels, options.readAhead, options.storageWaits);
    outcome.folderError = walk.run(start);
    outcome.unreadable = walk.unreadable();
    if (parallel)
        parallel->walkEnded();
    observer.viewerCleared();

    if (words.isEmpty()) { // the empty keyword, or spaces only
        outcome.keywordEmpty = true;
        outcome.resourceError = state.resourceError.load();
        if (outcome.resourceError != 0)
            observer.runFailed(outcome.resourceError);
        observer.runEnded(true, 0);
        return outcome;
    }

    observer.statusTextChanged(texts::searching);
    observer.resultsCleared();
    const bool statusTexts = observer.wantsStatusTexts();
    platform::FileReader reader;
    QString status;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const FoundFile file{files.nativePath(i)};
        if (statusTexts) {
            status = texts::searchingFile + file.path();
            observer.statusTextChanged(status);
        }
        if (!scanning)
            continue; // nothing to read: no line can hold every word
        const FileResult result =
            parallel ? parallel->result(i)
                     : matchFile(file.nativePath, matcher, reader, options.blockSize, state);
        if (result.fate == Fate::Unreadable) {
            observer.cannotRead(file, result.error, false);
            ++outcome.unreadable;
        }
        if (result.fate == Fate::Matched) {
            if (statusTexts)
                observer.statusTextChanged(status + texts::foundSuffix);
            observer.fileMatched(file);
            ++outcome.matches;
        }
    }
    parallel.reset();
    outcome.resourceError = state.resourceError.load();

    observer.statusTextChanged(texts::productName);
    if (outcome.resourceError != 0)
        observer.runFailed(outcome.resourceError);
    else if (outcome.matches == 0)
        observer.nothingFound();
    else
        observer.statusTextChanged(QString::number(outcome.matches) + texts::countSuffix);
    observer.runEnded(false, outcome.matches);
    return outcome;
}

SearchOutcome runSearch(const QString &folder, const QString &keywordText, SearchObserver &observer,
                        const SearchOptions &options)
{
    return runSearchNative(platform::nativeFolderPath(folder), keywordText, observer, options);
}
