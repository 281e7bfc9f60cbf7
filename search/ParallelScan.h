// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The ordered parallel scan: the listed files are matched on worker threads
// while the walk goes on, and the results are taken in list order.
//
// What it keeps:
// - Three roles. The walk thread appends files (add()), says where storage
//   waits (storageWaits()) and that the walk ended (walkEnded()); it alone
//   starts workers. Workers take files in list order under the lock, match
//   them outside it with a matcher of their own, and mark the result under
//   the lock. The reporting thread asks for the results with result(i), i
//   rising, once the walk has ended (in a search run it is the walk's thread).
// - The window. A worker never starts a file more than `window` files past
//   the oldest file not yet matched, so a slow file holds back at most that
//   many finished ones, and the work done but not yet reported is bounded.
// - The list. Paths never move once appended; marks change only under the
//   lock, and a file below the oldest one not yet matched is settled: its mark
//   no longer changes and the reporting thread reads it without the lock.
// - Descriptors. Where storage waits the walk hands on a copy of each folder's
//   descriptor with its files (see Run); at most m_sharedCap are open, and
//   each is closed by whichever thread sees its last file matched, by the walk
//   when a later folder's files begin, or by the destructor.
// - Threads. One worker starts at once, the others as files wait for them;
//   when the system refuses a thread, the scan goes on with those it has. The
//   destructor stops them: files not yet taken are never read.

#include "platform/DirectoryListing.h"
#include "platform/FileReader.h"
#include "search/FileList.h"
#include "search/RunState.h"
#include "search/SearchRun.h"
#include "search/TextMatcher.h"
#include "search/Walk.h"

#include <QByteArrayView>
#include <QString>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace search {

// Workers where the storage waits on each request. Measured with the slow file
// system of the benchmarks (1 ms per request, 2 cores): 64 took a fifth of the
// time of 4; 128 and 256 were no faster and took up to three times the system
// time, and each thread costs memory and descriptors.
constexpr int kWaitingWorkers = 64;

// What became of one file.
enum class Fate : std::uint8_t {
    Unmatched = 1,
    Matched,
    Unreadable,       // cannot be opened or read (vanished, no permission, a lease)
    ShortOfSomething, // descriptors or memory ran short for good: the run failed
    Stopped,          // the run was stopped before the file was settled: never reported
    // Only between matchFile() and the worker that called it, never marked:
    Queued, // a document handed to the worker's queue: its answer is to be taken
    Later,  // a document to read alone once the queue's answers are taken
};

struct FileResult {
    FileResult(Fate f = Fate::Unmatched, int e = 0, QString r = {})
        : fate(f), error(e), reason(std::move(r))
    {}
    Fate fate;
    int error;      // why, for the last two
    QString reason; // why a document is Unreadable (then error is 0)
};

// A file that cannot be opened or read (vanished, locked, no permission) does
// not match and is Unreadable; one that is no longer a regular file does not
// match either, silently. When descriptors or memory run short, the reader
// gives back its folder's descriptor, waits and tries again. With a queue
// (documents::DocumentQueue), a document it takes is Queued; one it does not
// take while others wait in it is Later.
FileResult matchFile(QByteArrayView nativePath, TextMatcher &matcher, platform::FileReader &reader,
                     qsizetype blockSize, RunState &state, int folder = -1,
                     documents::DocumentReader *documents = nullptr,
                     documents::DocumentQueue *queue = nullptr);

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
    // words: the matcher's, for a document reader that matches documents
    // itself (documents::MatchQuery).
    ParallelScan(FileList &files, const TextMatcher &matcher, const QStringList &words,
                 const SearchOptions &options, int workers, RunState &state, bool grows)
        : m_files(files),
          m_matcher(matcher), m_query{words, options.folds, {false, options.encoding}},
          m_state(state), m_blockSize(options.blockSize), m_documents(options.documents),
          m_grows(grows), m_fixedWindow(options.window > 0), m_sharedFolders(options.sharedFolders),
          m_wanted(workers), m_workers(workers),
          m_window(m_fixedWindow ? options.window : 64 + 32 * workers),
          m_claim(options.documents ? kWaitingClaim : kClaim)
    {
        startWorkers(std::min(workers, 1));
    }

    // Fewer and more requests in flight where each one waits. Fewer: from
    // now on the walk hands on its folders with their files (see Run). More,
    // when the worker count was not asked for: files are read on more threads,
    // further ahead of the oldest one not yet matched, and taken a few more at
    // a time.
    void storageWaits() override;

    // Starts threads up to `workers`; fewer when the system refuses more.
    void startWorkers(int workers);

    qsizetype started() const { return qsizetype(m_threads.size()); }

    ~ParallelScan();

    void add(QByteArrayView nativePath, const platform::Folder &folder) override;
    // The walk thread: the later half of the workers leave once their files
    // are matched, and no more start. False when one worker or none runs.
    bool giveBackWorkers();

    void walkEnded();

    // Called on the walk's (and reporting) thread every kPulse while it waits
    // for the workers: for a result, or for a folder to be handed on.
    void setPulse(std::function<void()> pulse) { m_pulse = std::move(pulse); }

    // Waits until file i is matched and tells what became of it. Called after
    // the walk ended (no more appends), with i rising. Fate::Stopped once the
    // run is stopped and file i is not settled.
    FileResult result(qsizetype i);

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
    void startRun(const platform::Folder &folder, std::unique_lock<std::mutex> &lock);

    void closeRun(Run &run);

    // Under the lock, for the file m_next as it is taken (files are taken in
    // order): its run (counted from the first run ever), or -1.
    qsizetype runOf(qsizetype file);

    // Under the lock: a file of run r is matched.
    void matchedInRun(qsizetype r);

    static constexpr qsizetype kBatch = 8;
    static constexpr std::chrono::milliseconds kPulse{10};
    // Address space kept free for the rest of the run when threads start.
    static constexpr std::size_t kHeadroomBytes = std::size_t(64) << 20;

    // Files a worker takes at once, at most: few on a local disk, more where
    // documents go to a helper (the documents among them are sent at once,
    // DocumentQueue) and where each request waits, so that a worker's files
    // share a folder and it opens that folder once (with 64 workers, one
    // file each, most files would need their folder opened anew by its whole
    // path: more requests each).
    static constexpr qsizetype kClaim = 4;
    static constexpr qsizetype kWaitingClaim = 16;

    // matcher: the thread's own copy, made before it started.
    // index: the thread's place in m_threads.
    void work(TextMatcher &matcher, qsizetype index);
    // The answer for the oldest document in the worker's queue, matched.
    FileResult takeQueued(documents::DocumentQueue &queue, TextMatcher &matcher);
    void addFile(QByteArrayView nativePath, const platform::Folder &folder);

    FileList &m_files;
    const TextMatcher &m_matcher; // each worker matches with its own copy
    const documents::MatchQuery m_query;
    RunState &m_state;
    const qsizetype m_blockSize;
    documents::DocumentReader *const m_documents;
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

    // Why, for the documents that cannot be read.
    std::unordered_map<qsizetype, QString> m_reasons;

    qsizetype m_settled = 0;       // reporting thread only: files below it are matched
    std::function<void()> m_pulse; // walk (and reporting) thread only
};

} // namespace search
