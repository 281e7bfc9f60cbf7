// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "SearchRun.h"

#include "DirectoryListing.h"
#include "FileReader.h"
#include "KeywordMatcher.h"
#include "Texts.h"
#include "Tokenizer.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>
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

class Walk {
public:
    Walk(SearchObserver &observer, FileSink &files) : m_observer(observer), m_files(files) {}

    // folder: native bytes ending in the separator.
    void visit(const QByteArray &folder)
    {
        m_observer.statusTextChanged(texts::analysingFolders);
        std::vector<platform::FolderEntry> entries; // this level's listing, read whole
        platform::FolderId id;
        if (!platform::listFolder(folder, entries, id))
            return;
        for (const platform::FolderId &onPath : m_path) {
            if (onPath == id)
                return; // a link back to a folder being walked: entering it never ends
        }
        m_path.push_back(id);
        for (const platform::FolderEntry &entry : entries) {
            QByteArray path = folder + entry.name;
            if (entry.isFolder) {
                if (m_observer.searchSubfolders())
                    visit(path + platform::kSeparator);
                continue;
            }
            // Reported before it is handed on, so that nothing reads the file
            // before the observer has heard of it.
            m_observer.fileListed(FoundFile{path});
            m_files.add(path);
        }
        m_path.pop_back();
    }

private:
    SearchObserver &m_observer;
    FileSink &m_files;
    std::vector<platform::FolderId> m_path; // folders from the start down to the current one
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
    ParallelScan(FileList &files, const KeywordMatcher &matcher, const SearchOptions &options,
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

FileList walkNative(const QByteArray &folder, SearchObserver &observer)
{
    FileList files;
    ListSink sink(files);
    Walk(observer, sink).visit(platform::nativeFolderPath(folder));
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
    FileList files;
    std::unique_ptr<ParallelScan> parallel;
    if (scanning && workers > 1) {
        // Matching starts with the first file listed.
        parallel = std::make_unique<ParallelScan>(files, matcher, options, workers);
        Walk(observer, *parallel).visit(platform::nativeFolderPath(folder));
        parallel->walkEnded();
    } else {
        ListSink sink(files);
        Walk(observer, sink).visit(platform::nativeFolderPath(folder));
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
