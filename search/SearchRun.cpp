// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "SearchRun.h"

#include "DirectoryListing.h"
#include "FileReader.h"
#include "FileSystemType.h"
#include "FolderPrefetch.h"
#include "KeywordMatcher.h"
#include "Texts.h"
#include "Tokenizer.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_set>
#include <vector>

QString FoundFile::path() const
{
    return platform::displayPath(QByteArray::fromRawData(nativePath.data(), nativePath.size()));
}

namespace {

// Where the walk puts each file it lists.
class FileSink {
public:
    virtual void add(QByteArrayView nativePath) = 0;
    // The walk reached storage where each request waits.
    virtual void storageWaits() {}

protected:
    ~FileSink() = default;
};

class ListSink final : public FileSink {
public:
    explicit ListSink(FileList &files) : m_files(files) {}
    void add(QByteArrayView nativePath) override { m_files.append(nativePath); }

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

// The walk keeps the folders of the current path open, so that each folder is
// opened relative to its parent and the path may grow without limit. Folders
// deeper than this keep their descriptor only while the walk is inside them;
// coming back to one that has more sub-folders to enter, the walk opens it
// again from the deepest folder still open. At most kHeldLevels + 3
// descriptors are open at once (the held ones, the current folder, a child
// being entered and its listing).
constexpr std::size_t kHeldLevels = 32;

// How many of `wanted` threads for storage that waits fit the open-file limit,
// each taking up to `each` descriptors. The walk's held folders and the rest
// of the program keep a reserve; the read-ahead helpers and the workers may
// each take half of what is left.
int fitDescriptors(int wanted, int each)
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return wanted;
    const long spare = long(std::min<rlim_t>(limit.rlim_cur, 1 << 20)) - long(kHeldLevels) - 64;
    return int(std::clamp<long>(spare / 2 / each, 0, wanted));
}

// Depth first, one listing per folder read whole before any sub-folder is
// entered, without recursion (the depth is limited by memory, not by the stack).
class Walk {
public:
    // readAhead: helper threads reading listings ahead; 0 takes
    // kWaitingReadAhead on storage that waits and none elsewhere, -1 none.
    Walk(SearchObserver &observer, FileSink &files, int readAhead = -1, bool storageWaits = false)
        : m_observer(observer), m_files(files), m_readAhead(readAhead), m_storageWaits(storageWaits)
    {}

    // folder: native bytes ending in the separator. Returns 0, or the errno
    // that kept the folder itself from being opened or listed.
    platform::FolderError run(const QByteArray &folder)
    {
        m_observer.statusTextChanged(texts::analysingFolders);
        platform::FolderError error = 0;
        Level start;
        start.folder = platform::Folder::open(folder, &error);
        if (!start.folder.isOpen() || !start.folder.list(start.entries, &error))
            return error;
        // A search that starts inside a pseudo file system searches it as asked;
        // others reached from there are still left out.
        m_startDevice = start.folder.id().device;
        m_entered.insert(start.folder.id());
        m_path = folder;
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
        platform::Folder folder;  // closed below kHeldLevels while a sub-folder is walked
        QByteArray name;          // in the parent's listing; empty for the start folder
        qsizetype pathLength = 0; // m_path up to this folder's separator
        std::vector<platform::FolderEntry> entries; // the listing, read whole
        std::size_t next = 0;                       // the entry to take next
        std::uint32_t index = 0;                    // in the parent's listing
        bool readAhead = false;                     // the listing was read ahead
    };

    void walk()
    {
        while (!m_levels.empty()) {
            Level &level = m_levels.back();
            if (level.next == level.entries.size()) {
                m_levels.pop_back();
                continue;
            }
            const platform::FolderEntry &entry = level.entries[level.next++];
            m_path.truncate(level.pathLength);
            if (entry.isFolder) {
                const QByteArray name = entry.name; // enter() moves the levels
                platform::Folder child;
                if (level.readAhead && level.folder.isOpen() && vanished(level, name, child))
                    continue;
                if (m_observer.searchSubfolders())
                    enter(name, std::move(child));
                continue;
            }
            const QByteArray path = m_path + entry.name;
            // Reported before it is handed on, so that nothing reads the file
            // before the observer has heard of it.
            m_observer.fileListed(FoundFile{path});
            m_files.add(path);
        }
    }

    // A listing read ahead is older than the walk: a sub-folder it names that
    // is gone by now is passed over without a word, as the listing read now
    // would not name it. Otherwise `child` is the sub-folder, opened.
    static bool vanished(const Level &level, const QByteArray &name, platform::Folder &child)
    {
        platform::FolderError error = 0;
        child = platform::Folder::openChild(level.folder, name, &error);
        return !child.isOpen() && error == ENOENT;
    }

    // Enters the sub-folder `name` of the current folder, when it can be listed
    // and was not entered before in this run. opened: the sub-folder when it
    // was opened already.
    void enter(const QByteArray &name, platform::Folder opened)
    {
        m_observer.statusTextChanged(texts::analysingFolders);
        Level &parent = m_levels.back();
        if (!opened.isOpen() && !parent.folder.isOpen() && !reopenCurrent())
            return;
        Level child;
        child.folder =
            opened.isOpen() ? std::move(opened) : platform::Folder::openChild(parent.folder, name);
        if (!child.folder.isOpen())
            return;
        const platform::FolderId id = child.folder.id();
        // Reached before, through a link or a bind mount: entering it again
        // would list its files twice, or never end on a link back up the path.
        if (m_entered.contains(id))
            return;
        if (id.device != m_startDevice && m_types.isPseudo(child.folder.descriptor(), id.device))
            return;
        child.index = std::uint32_t(parent.next - 1);
        if (!list(child, name))
            return;
        checkWaits(child.folder);
        m_entered.insert(id);
        child.name = name;
        m_path.append(name).append(platform::kSeparator);
        child.pathLength = m_path.size();
        if (m_levels.size() > kHeldLevels)
            parent.folder.close();
        m_levels.push_back(std::move(child));
    }

    // Lists a checked folder about to be entered: read ahead when a helper
    // has read it, else here.
    bool list(Level &child, const QByteArray &name)
    {
        if (!m_prefetch)
            return child.folder.list(child.entries);
        search::FolderKey key;
        key.reserve(m_levels.size());
        for (std::size_t i = 1; i < m_levels.size(); ++i)
            key.push_back(m_levels[i].index);
        key.push_back(child.index);
        if (m_prefetch->take(key, child.folder.id(), child.entries)) {
            child.readAhead = true;
            return true;
        }
        if (!child.folder.list(child.entries))
            return false;
        m_prefetch->listedByWalk(key, m_path + name + platform::kSeparator, child.entries);
        return true;
    }

    // Tells the sink, once per device, when a folder lies on storage that waits.
    bool checkWaits(const platform::Folder &folder)
    {
        const bool waits = m_storageWaits || m_types.waits(folder.descriptor(), folder.id().device);
        if (waits)
            m_files.storageWaits();
        return waits;
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
        const platform::Folder *from = &m_levels[held].folder;
        for (std::size_t i = held + 1; i < m_levels.size() && from->isOpen(); ++i) {
            folder = platform::Folder::openChild(*from, m_levels[i].name);
            from = &folder;
        }
        if (!folder.isOpen() || !(folder.id() == expected)) {
            current.next = current.entries.size();
            return false;
        }
        current.folder = std::move(folder);
        return true;
    }

    SearchObserver &m_observer;
    FileSink &m_files;
    std::vector<Level> m_levels; // the start folder down to the current one
    QByteArray m_path;           // of the current folder, ending in the separator
    std::unordered_set<platform::FolderId, FolderIdHash> m_entered; // every folder entered
    quint64 m_startDevice = 0;
    platform::FileSystemTypes m_types;
    const int m_readAhead;
    const bool m_storageWaits;
    search::FolderPrefetch *m_prefetch = nullptr; // during run(), when reading ahead
};

class FileSource : public ByteSource {
public:
    explicit FileSource(platform::FileReader &reader) : m_reader(reader) {}
    qsizetype read(char *buffer, qsizetype max) override { return m_reader.read(buffer, max); }
    bool atEnd() const override { return m_reader.atEnd(); }

private:
    platform::FileReader &m_reader;
};

// A file that cannot be opened or read (vanished, locked, no longer a regular
// file) does not match.
bool matchFile(QByteArrayView nativePath, KeywordMatcher &matcher, platform::FileReader &reader,
               qsizetype blockSize)
{
    // The list keeps a NUL after each path, so the bytes serve as they are.
    if (!reader.open(QByteArray::fromRawData(nativePath.data(), nativePath.size())))
        return false;
    FileSource source(reader);
    const bool found = matcher.matches(source, blockSize);
    reader.close();
    return found;
}

// Matches the listed files on worker threads while the walk goes on. The walk
// thread appends files; the reporting thread asks for the results in list
// order. Workers take files in list order and never start one more than
// `window` files past the oldest file not yet matched, so a slow file holds
// back at most that many finished ones. A result is one mark in the list.
class ParallelScan final : public FileSink {
public:
    // grows: the worker count was not asked for, and rises to
    // kWaitingWorkers once the walk reaches storage that waits.
    ParallelScan(FileList &files, const KeywordMatcher &matcher, const SearchOptions &options,
                 int workers, bool grows)
        : m_files(files), m_matcher(matcher), m_blockSize(options.blockSize), m_grows(grows),
          m_fixedWindow(options.window > 0), m_workers(workers),
          m_window(m_fixedWindow ? options.window : 64 + 32 * workers)
    {
        m_threads.reserve(size_t(workers));
        for (int i = 0; i < workers; ++i)
            m_threads.emplace_back([this, matcher] { work(matcher); });
    }

    ~ParallelScan()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_workCv.notify_all();
        for (std::thread &t : m_threads)
            t.join();
    }

    void add(QByteArrayView nativePath) override
    {
        bool wake;
        {
            const std::lock_guard lock(m_mutex);
            m_files.append(nativePath);
            // Idle workers are woken for a few files at a time, not for each.
            wake = m_idle > 0 && m_files.size() - m_next >= kBatch && m_next < m_oldest + m_window;
        }
        if (wake)
            m_workCv.notify_all();
    }

    // More requests in flight where each one waits: files are read on more
    // threads, and further ahead of the oldest one not yet matched.
    void storageWaits() override
    {
        if (!m_grows)
            return;
        m_grows = false;
        // A worker holds two descriptors: its file and that file's folder.
        const std::size_t workers =
            std::max(m_threads.size(), std::size_t(fitDescriptors(kWaitingWorkers, 2)));
        {
            const std::lock_guard lock(m_mutex);
            m_workers = qsizetype(workers);
            m_claim = kWaitingClaim;
            if (!m_fixedWindow)
                m_window = 64 + 32 * m_workers;
        }
        while (m_threads.size() < workers) {
            try {
                m_threads.emplace_back([this] { work(m_matcher); });
            } catch (const std::system_error &) {
                break; // the system refuses more threads: go on with those that run
            }
        }
        m_workCv.notify_all();
    }

    void walkEnded()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_walkEnded = true;
        }
        m_workCv.notify_all(); // the last files, fewer than a batch
    }

    // Waits until file i is matched; true when it matched. Called after the
    // walk ended (no more appends), with i rising.
    bool matched(qsizetype i)
    {
        if (i >= m_settled) {
            std::unique_lock lock(m_mutex);
            m_waitingFor = i;
            m_doneCv.wait(lock, [&] { return m_oldest > i; });
            m_waitingFor = -1;
            m_settled = m_oldest;
        }
        // Settled marks no longer change, and the list no longer grows.
        return m_files.mark(i) == kMatched;
    }

private:
    static constexpr std::uint8_t kUnmatched = 1;
    static constexpr std::uint8_t kMatched = 2;
    static constexpr qsizetype kBatch = 8;
    // Files a worker takes at once, at most: few on a local disk, more where
    // each request waits, so that a worker's files share a folder and it opens
    // that folder once (with 64 workers, one file each, most files would need
    // their folder opened anew by its whole path: three more requests each).
    static constexpr qsizetype kClaim = 4;
    static constexpr qsizetype kWaitingClaim = 16;

    void work(KeywordMatcher matcher)
    {
        platform::FileReader reader;
        std::unique_lock lock(m_mutex);
        for (;;) {
            while (!m_stop && !(m_next < m_files.size() && m_next < m_oldest + m_window)) {
                if (m_walkEnded && m_next >= m_files.size())
                    return;
                ++m_idle;
                m_workCv.wait(lock);
                --m_idle;
            }
            if (m_stop)
                return;
            // A few files at once while many wait, to take the lock less often.
            const qsizetype available = std::min(m_files.size(), m_oldest + m_window) - m_next;
            const qsizetype take = std::clamp<qsizetype>(available / (2 * m_workers), 1, m_claim);
            const qsizetype first = m_next;
            m_next += take;
            QByteArrayView paths[kWaitingClaim];
            for (qsizetype k = 0; k < take; ++k)
                paths[k] = m_files.nativePath(first + k); // never moves
            lock.unlock();
            bool found[kWaitingClaim];
            for (qsizetype k = 0; k < take; ++k)
                found[k] = matchFile(paths[k], matcher, reader, m_blockSize);
            lock.lock();
            for (qsizetype k = 0; k < take; ++k)
                m_files.setMark(first + k, found[k] ? kMatched : kUnmatched);
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
    const KeywordMatcher &m_matcher; // each worker matches with its own copy
    const qsizetype m_blockSize;
    bool m_grows;             // walk thread only
    const bool m_fixedWindow; // the window was asked for
    std::vector<std::thread> m_threads;

    std::mutex m_mutex;
    std::condition_variable m_workCv; // workers wait for a file to take
    std::condition_variable m_doneCv; // the reporting thread waits for a result
    qsizetype m_next = 0;             // the next file to take
    qsizetype m_oldest = 0;           // every file before it is matched
    qsizetype m_waitingFor = -1;      // the file the reporting thread waits for
    qsizetype m_workers;              // the worker count, to size a claim
    qsizetype m_claim = kClaim;       // files taken at once, at most
    qsizetype m_window;
    int m_idle = 0;
    bool m_walkEnded = false;
    bool m_stop = false;

    qsizetype m_settled = 0; // reporting thread only: files below it are matched
};

FileList walkNative(const QByteArray &folder, SearchObserver &observer,
                    platform::FolderError *error = nullptr)
{
    FileList files;
    ListSink sink(files);
    const platform::FolderError startError =
        Walk(observer, sink).run(platform::nativeFolderPath(folder));
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
    KeywordMatcher matcher(words);
    const int workers = options.workers > 0 ? options.workers : defaultWorkerCount();
    const bool scanning = !words.isEmpty() && !matcher.neverMatches();

    observer.workListCleared();
    const QByteArray start = platform::nativeFolderPath(folder);
    FileList files;
    std::unique_ptr<ParallelScan> parallel;
    if (scanning && workers > 1) {
        // Matching starts with the first file listed.
        parallel =
            std::make_unique<ParallelScan>(files, matcher, options, workers, options.workers <= 0);
        outcome.folderError =
            Walk(observer, *parallel, options.readAhead, options.storageWaits).run(start);
        parallel->walkEnded();
    } else {
        ListSink sink(files);
        outcome.folderError =
            Walk(observer, sink, options.readAhead, options.storageWaits).run(start);
    }
    observer.viewerCleared();

    if (words.isEmpty()) { // the empty keyword, or spaces only
        outcome.keywordEmpty = true;
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
        const bool found = parallel
                               ? parallel->matched(i)
                               : matchFile(file.nativePath, matcher, reader, options.blockSize);
        if (found) {
            if (statusTexts)
                observer.statusTextChanged(status + texts::foundSuffix);
            observer.fileMatched(file);
            ++outcome.matches;
        }
    }
    parallel.reset();

    observer.statusTextChanged(texts::productName);
    if (outcome.matches == 0)
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
