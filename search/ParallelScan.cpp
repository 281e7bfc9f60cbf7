// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/ParallelScan.h"

#include "platform/PathOpen.h"
#include "platform/ResourceLimits.h"
#include "search/DescriptorBudget.h"
#include "search/DocumentScan.h"
#include "search/KeywordMatcher.h"

#include <QByteArray>

#include <cerrno>
#include <exception>
#include <memory>
#include <new>
#include <system_error>

namespace search {

namespace {

// A file's bytes, broken off (a read error) once the run is stopped, so that
// a stop ends the reading of a big file within one block.
class FileSource : public ByteSource {
public:
    FileSource(platform::FileReader &reader, const RunState &state)
        : m_reader(reader), m_state(state)
    {}
    qsizetype read(char *buffer, qsizetype max) override
    {
        if (m_state.stopped()) {
            m_stopped = true;
            return -1;
        }
        return m_reader.read(buffer, max);
    }
    bool atEnd() const override { return m_reader.atEnd(); }
    bool rewind() override { return m_reader.rewind(); }
    qsizetype readTail(char *buffer, qsizetype max, qint64 &size) override
    {
        return m_reader.readTail(buffer, max, size);
    }
    bool stopped() const { return m_stopped; }

private:
    platform::FileReader &m_reader;
    const RunState &m_state;
    bool m_stopped = false;
};

} // namespace

FileResult matchFile(QByteArrayView nativePath, TextMatcher &matcher, platform::FileReader &reader,
                     qsizetype blockSize, RunState &state, int folder,
                     documents::DocumentReader *documents, documents::DocumentQueue *queue)
{
    // The list keeps a NUL after each path, so the bytes serve as they are.
    const QByteArray path = QByteArray::fromRawData(nativePath.data(), nativePath.size());
    for (int attempt = 0;; ++attempt) {
        int error = 0;
        bool found = false;
        try {
            if (state.stopped())
                return {Fate::Stopped};
            if (reader.open(path, folder)) {
                FileSource source(reader, state);
                if (documents) {
                    search::SniffingSource sniffing(source, documents);
                    if (queue)
                        sniffing.keepWhole();
                    if (matcher.neverMatches()) {
                        // No text file can match, but a document's text is
                        // Unicode whatever the mode: only the first bytes are
                        // read, to see whether this is one.
                        char first;
                        sniffing.read(&first, 1);
                    } else {
                        found = matcher.matches(sniffing, blockSize);
                    }
                    if (sniffing.container() != documents::Container::None && queue) {
                        const bool queued = queue->send(reader.descriptor(), sniffing.container(),
                                                        state.stop, sniffing.whole());
                        if (queued || queue->waiting() > 0) {
                            reader.close();
                            return {queued ? Fate::Queued : Fate::Later};
                        }
                    }
                    if (sniffing.container() != documents::Container::None) {
                        const search::DocumentOutcome document =
                            search::matchDocument(sniffing.container(), reader.descriptor(),
                                                  matcher, *documents, state.stop, blockSize);
                        if (document.verdict != search::DocumentOutcome::Text) {
                            reader.close();
                            if (state.stopped())
                                return {Fate::Stopped}; // its reader was given up
                            if (document.verdict == search::DocumentOutcome::Unreadable)
                                return {Fate::Unreadable, 0, document.reason};
                            return {document.verdict == search::DocumentOutcome::Matched
                                        ? Fate::Matched
                                        : Fate::Unmatched};
                        }
                        // Not a document after all: the whole file as text.
                        found = sniffing.rewindAsText() && matcher.matches(sniffing, blockSize);
                    }
                } else
                    found = matcher.matches(source, blockSize);
                error = found ? 0 : reader.error(); // 0 unless a read failed
                reader.close();
                if (source.stopped())
                    return {Fate::Stopped};
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

void ParallelScan::storageWaits()
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
    const int spare = platform::descriptorRoom() - int(kHeldLevels) - kWalkExtraDescriptors - 16;
    const int threads = int(m_threads.size());
    const std::lock_guard lock(m_mutex);
    m_sharedCap = std::clamp(spare / 2 - threads * kDescriptorsPerWorker, 0, kSharedFolders);
    if (m_sharedFolders > 0)
        m_sharedCap = std::min(m_sharedCap, m_sharedFolders);
    m_runsFrom = m_files.size();
}

void ParallelScan::startWorkers(int workers)
{
    const TextMatcher &matcher = m_matcher;
    workers = int(std::min<qsizetype>(workers, m_keep)); // none back once given back
    m_threads.reserve(size_t(workers));
    for (int i = int(m_threads.size()); i < workers; ++i) {
        try {
            // A thread's stack takes address space (8 MiB by default):
            // under a low RLIMIT_AS many threads would leave none for the
            // list of files. One more starts only while there is room.
            if (!platform::roomForAnotherThread(kHeadroomBytes))
                throw std::bad_alloc();
            // The copy takes its block buffer here, should the matcher
            // have one, so that a worker rarely needs memory of its own.
            m_threads.emplace_back(
                [this, i, own = TextMatcher(matcher)]() mutable { work(own, i); });
            // Starting many (64 where storage waits) takes a while, the more
            // as each new one takes a processor at once: the caller hears
            // of it between them, as while it waits.
            if (m_pulse)
                m_pulse();
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

ParallelScan::~ParallelScan()
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
            platform::closeDescriptor(run.fd);
    }
}

void ParallelScan::add(QByteArrayView nativePath, const platform::Folder &folder)
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

bool ParallelScan::giveBackWorkers()
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

void ParallelScan::addFile(QByteArrayView nativePath, const platform::Folder &folder)
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

void ParallelScan::walkEnded()
{
    {
        const std::lock_guard lock(m_mutex);
        m_walkEnded = true;
    }
    m_workCv.notify_all(); // the last files, fewer than a batch
}

FileResult ParallelScan::result(qsizetype i)
{
    if (i >= m_settled) {
        std::unique_lock lock(m_mutex);
        m_waitingFor = i;
        // In slices, so that the caller hears of the wait and a stop is seen.
        while (!m_doneCv.wait_for(lock, kPulse, [&] { return m_oldest > i; })) {
            if (m_state.stopped())
                break;
            if (m_pulse) {
                lock.unlock();
                m_pulse();
                lock.lock();
            }
        }
        m_waitingFor = -1;
        m_settled = m_oldest;
        if (m_settled <= i)
            return {Fate::Stopped};
    }
    // Settled marks no longer change, and the list no longer grows.
    const Fate fate = Fate(m_files.mark(i));
    if (fate == Fate::Matched || fate == Fate::Unmatched)
        return {fate, 0};
    const std::lock_guard lock(m_mutex);
    const auto error = m_errors.find(i);
    const auto reason = m_reasons.find(i);
    if (reason != m_reasons.end())
        return {fate, 0, reason->second};
    return {fate, error != m_errors.end() ? error->second : ENOMEM};
}

void ParallelScan::startRun(const platform::Folder &folder, std::unique_lock<std::mutex> &lock)
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
    while (!m_walkCv.wait_for(lock, kPulse, [&] {
        return m_sharedOpen < m_sharedCap || m_state.failed() || m_state.stopped();
    })) {
        if (m_pulse) {
            lock.unlock();
            m_pulse();
            lock.lock();
        }
    }
    if (m_sharedOpen >= m_sharedCap)
        return;
    const int fd = platform::duplicateDescriptor(folder.descriptor());
    if (fd >= 0) {
        m_runs.back().fd = fd;
        ++m_sharedOpen;
    }
}

void ParallelScan::closeRun(Run &run)
{
    if (run.fd < 0)
        return;
    platform::closeDescriptor(run.fd);
    run.fd = -1;
    --m_sharedOpen;
    m_walkCv.notify_one();
}

qsizetype ParallelScan::runOf(qsizetype file)
{
    if (m_runs.empty() || file < m_runsFrom)
        return -1;
    while (m_claimRun + 1 - m_runBase < qsizetype(m_runs.size()) &&
           m_runs[size_t(m_claimRun + 1 - m_runBase)].first <= file)
        ++m_claimRun;
    return m_claimRun;
}

void ParallelScan::matchedInRun(qsizetype r)
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

FileResult ParallelScan::takeQueued(documents::DocumentQueue &queue, TextMatcher &matcher)
{
    bool again = false;
    std::optional<bool> found; // set where the reader matched the text itself
    const documents::ReadResult read = queue.take(again, m_state.stop, found);
    if (m_state.stopped())
        return {Fate::Stopped};
    const DocumentOutcome document =
        documentOutcome(read, found ? *found : read.ok() && matcher.matchesLines(read.text.lines));
    // Not a document after all: read alone, as text.
    if (again || document.verdict == DocumentOutcome::Text)
        return {Fate::Later};
    if (document.verdict == DocumentOutcome::Unreadable)
        return {Fate::Unreadable, 0, document.reason};
    return {document.verdict == DocumentOutcome::Matched ? Fate::Matched : Fate::Unmatched};
}

void ParallelScan::work(TextMatcher &matcher, qsizetype index)
{
    platform::FileReader reader;
    // The documents among the files taken at once go to one helper one after
    // another, their answers taken once the files are all opened.
    const std::unique_ptr<documents::DocumentQueue> queue =
        m_documents ? m_documents->queue(&m_query) : nullptr;
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
        if (m_stop || index >= m_keep || m_state.stopped())
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
            results[k] = matchFile(paths[k], matcher, reader, m_blockSize, m_state, folders[k],
                                   m_documents, queue.get());
        if (queue && queue->waiting() > 0) {
            for (qsizetype k = 0; k < take; ++k) {
                if (results[k].fate == Fate::Queued)
                    results[k] = takeQueued(*queue, matcher);
            }
            for (qsizetype k = 0; k < take; ++k) {
                if (results[k].fate == Fate::Later)
                    results[k] = matchFile(paths[k], matcher, reader, m_blockSize, m_state,
                                           folders[k], m_documents);
            }
        }
        lock.lock();
        for (qsizetype k = 0; k < take; ++k) {
            if (runs[k] >= 0)
                matchedInRun(runs[k]);
            m_files.setMark(first + k, std::uint8_t(results[k].fate));
            if (results[k].error != 0 || !results[k].reason.isEmpty()) {
                try {
                    if (!results[k].reason.isEmpty())
                        m_reasons.emplace(first + k, std::move(results[k].reason));
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

} // namespace search
