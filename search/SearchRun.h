// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// One search run: walk the folder, then scan every listed file for a line that
// holds every word of the keyword. Reports each step to the observer.
//
// With several workers, files are matched on worker threads while the walk goes
// on; the walk and every report stay on the calling thread, and the observer
// sees exactly the events of the one-thread run, in the same order. A file is
// read at some time between its listing and its report.

#include "documents/DocumentReader.h"
#include "search/FileList.h"
#include "search/SearchObserver.h"
#include "text/EncodingMode.h"
#include "text/Fold.h"

#include <QByteArray>
#include <QString>

#include <stop_token>

struct SearchOptions {
    // Bytes read from a file at a time; memory per file (per worker) is bounded
    // by this. Tests shrink it to exercise lines that span blocks.
    qsizetype blockSize = 256 * 1024;
    // Threads that match files: 1 matches on the calling thread alone (the
    // reference); 0 takes defaultWorkerCount().
    int workers = 0;
    // How many files the workers may run ahead of the oldest file not yet
    // matched; 0 takes a default. Bounds the work done but not yet reported.
    int window = 0;
    // Threads that read folder listings ahead of the walk: 0 takes a default
    // where the start folder's storage waits on each request (a network share,
    // a FUSE mount) and none elsewhere; -1 none. On such storage a run whose
    // worker count is the default also reads on more threads.
    int readAhead = 0;
    // Acts as if every folder lay on storage that waits (the defaults above
    // then take their values for such storage); for tests on a local disk.
    bool storageWaits = false;
    // Where storage waits, the walk hands on the folders it lists to the
    // workers, which open each file relative to its folder; at most this many
    // are open at once (0 takes what the descriptors allow). For tests.
    int sharedFolders = 0;
    // How files are decoded and where lines end (text/EncodingMode.h).
    platform::EncodingMode encoding = platform::EncodingMode::Cp932;
    // The folds of loose matching (text/Fold.h), all off by default: the
    // exact, case-sensitive search. With the width fold the keyword is split
    // at the ideographic space U+3000 too.
    textfold::Folds folds;
    // Where documents are read: a file that documents::sniff() takes for a
    // document is searched through the text this gives. Null: every file is
    // read as text, in `encoding`.
    documents::DocumentReader *documents = nullptr;
    // Once requested (from any thread), the run ends soon, whatever it is
    // reading: the walk and the workers stop, a document being read is
    // given up, and the results reported so far are all it reports
    // (SearchOutcome::stopped).
    std::stop_token stop;
};

// The worker count a run takes by default on this machine.
int defaultWorkerCount();

struct SearchOutcome {
    bool keywordEmpty = false; // the run stopped after clearing the viewer
    qsizetype matches = 0;
    // 0, or the errno that kept the folder to search from being opened or
    // listed (ENOENT: it does not exist, ENOTDIR: it is not a folder). The run
    // then went on with no files, as for an empty folder.
    int folderError = 0;
    // Files and folders below it that could not be searched (cannotRead()).
    qsizetype unreadable = 0;
    // 0, or the errno of a resource that ran short for good (runFailed()):
    // the results may then lack files.
    int resourceError = 0;
    // The run was stopped (SearchOptions::stop) before it ended: `matches`
    // are the files reported before the stop, in the one-thread order.
    bool stopped = false;
};

// The folder walk alone: reports "ディレクトリ構造を解析中..." at each folder and
// every regular file, depth first, in the file system's own order. An empty
// folder text means the root folder.
// Returns the files in walk order. A folder that cannot be listed is skipped
// (and reported to cannotRead()).
// A folder is entered at most once per run, however it is reached (a link, a
// bind mount), so no link graph makes the walk endless; and the kernel's pseudo
// file systems (proc, sysfs and the like) are not entered unless the walk
// starts inside one. Folders are opened relative to their parent, so the depth
// is limited only by memory.
FileList walkFolder(const QString &folder, SearchObserver &observer);

// The whole run, from clearing the work list to the final status text.
SearchOutcome runSearch(const QString &folder, const QString &keywordText, SearchObserver &observer,
                        const SearchOptions &options = {});

// The same with the folder as native bytes (a command-line argument that need
// not be valid text).
SearchOutcome runSearchNative(const QByteArray &folder, const QString &keywordText,
                              SearchObserver &observer, const SearchOptions &options = {});
