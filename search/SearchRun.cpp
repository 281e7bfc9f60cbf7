// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "SearchRun.h"

#include "DirectoryListing.h"
#include "FileReader.h"
#include "FileSystemType.h"
#include "TextMatcher.h"
#include "Texts.h"
#include "Tokenizer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
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

struct FolderIdHash {
    std::size_t operator()(const platform::FolderId &id) const noexcept
    {
        return std::hash<quint64>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

// The walk keeps the folders of the current path open, so that each folder is
// opened relative to its parent and the path may grow without limit. Folders
// deeper than this keep their descriptor only while the walk is inside them;
// coming back to one that has more sub-folders to enter, the walk opens it
// again from the deepest folder still open. At most kHeldLevels + 3
// descriptors are open at once (the held ones, the current folder, a child
// being entered and its listing).
constexpr std::size_t kHeldLevels = 32;

// Depth first, one listing per folder read whole before any sub-folder is
// entered, without recursion (the depth is limited by memory, not by the stack).
class Walk {
public:
    Walk(SearchObserver &observer, FileSink &files) : m_observer(observer), m_files(files) {}

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
        m_levels.push_back(std::move(start));
        walk();
        return 0;
    }

private:
    struct Level {
        platform::Folder folder;  // closed below kHeldLevels while a sub-folder is walked
        QByteArray name;          // in the parent's listing; empty for the start folder
        qsizetype pathLength = 0; // m_path up to this folder's separator
        std::vector<platform::FolderEntry> entries; // the listing, read whole
        std::size_t next = 0;                       // the entry to take next
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
                if (m_observer.searchSubfolders())
                    enter(name);
                continue;
            }
            const QByteArray path = m_path + entry.name;
            // Reported before it is handed on, so that nothing reads the file
            // before the observer has heard of it.
            m_observer.fileListed(FoundFile{path});
            m_files.add(path);
        }
    }

    // Enters the sub-folder `name` of the current folder, when it can be listed
    // and was not entered before in this run.
    void enter(const QByteArray &name)
    {
        m_observer.statusTextChanged(texts::analysingFolders);
        Level &parent = m_levels.back();
        if (!parent.folder.isOpen() && !reopenCurrent())
            return;
        Level child;
        child.folder = platform::Folder::openChild(parent.folder, name);
        if (!child.folder.isOpen())
            return;
        const platform::FolderId id = child.folder.id();
        // Reached before, through a link or a bind mount: entering it again
        // would list its files twice, or never end on a link back up the path.
        if (m_entered.contains(id))
            return;
        if (id.device != m_startDevice && m_types.isPseudo(child.folder.descriptor(), id.device))
            return;
        if (!child.folder.list(child.entries))
            return;
        m_entered.insert(id);
        child.name = name;
        m_path.append(name).append(platform::kSeparator);
        child.pathLength = m_path.size();
        if (m_levels.size() > kHeldLevels)
            parent.folder.close();
        m_levels.push_back(std::move(child));
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

// A file that cannot be opened or read (vanished, locked, no longer a regular
// file) does not match.
bool matchFile(QByteArrayView nativePath, TextMatcher &matcher, platform::FileReader &reader,
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
    ParallelScan(FileList &files, const TextMatcher &matcher, const SearchOptions &options,
                 int workers)
        : m_files(files), m_blockSize(options.blockSize), m_workers(workers),
          m_window(options.window > 0 ? options.window : 64 + 32 * workers)
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
    static constexpr qsizetype kClaim = 4;

    void work(TextMatcher matcher)
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
            const qsizetype take = std::clamp<qsizetype>(available / (2 * m_workers), 1, kClaim);
            const qsizetype first = m_next;
            m_next += take;
            QByteArrayView paths[kClaim];
            for (qsizetype k = 0; k < take; ++k)
                paths[k] = m_files.nativePath(first + k); // never moves
            lock.unlock();
            bool found[kClaim];
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
    const qsizetype m_blockSize;
    const qsizetype m_workers;
    const qsizetype m_window;
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
    TextMatcher matcher(words, options.encoding);
    const int workers = options.workers > 0 ? options.workers : defaultWorkerCount();
    const bool scanning = !words.isEmpty() && !matcher.neverMatches();

    observer.workListCleared();
    const QByteArray start = platform::nativeFolderPath(folder);
    FileList files;
    std::unique_ptr<ParallelScan> parallel;
    if (scanning && workers > 1) {
        // Matching starts with the first file listed.
        parallel = std::make_unique<ParallelScan>(files, matcher, options, workers);
        outcome.folderError = Walk(observer, *parallel).run(start);
        parallel->walkEnded();
    } else {
        ListSink sink(files);
        outcome.folderError = Walk(observer, sink).run(start);
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
