// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The run: the walk (Walk.h), then the scan of every listed file, as two
// phases on the calling thread, which makes every report to the observer.
//
// The one-thread order: whatever the worker count, the observer sees the
// events of the one-thread run in the same order. The walk's events come as
// it lists (each file's fileListed() before anything reads it); then each
// file's result is taken in list order, from the ordered parallel scan
// (ParallelScan.h) when workers match files beside the walk, or by matching
// the file here. Workers never call the observer. A file is so read at some
// time between its listing and its report, and never after the run returns.

#include "search/SearchRun.h"

#include "platform/DirectoryListing.h"
#include "platform/FileReader.h"
#include "platform/ResourceLimits.h"
#include "resources/Texts.h"
#include "search/DescriptorBudget.h"
#include "search/KeywordMatcher.h"
#include "search/ParallelScan.h"
#include "search/RunState.h"
#include "search/TextMatcher.h"
#include "search/Tokenizer.h"
#include "search/Walk.h"

#include <algorithm>
#include <memory>
#include <new>
#include <thread>

using namespace search;

QString FoundFile::path() const
{
    return platform::displayPath(QByteArray::fromRawData(nativePath.data(), nativePath.size()));
}

namespace {

class EmptySource : public ByteSource {
public:
    qsizetype read(char *, qsizetype) override { return 0; }
    bool atEnd() const override { return true; }
};

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
    const QStringList words = splitKeyword(keywordText, options.folds.width);
    TextMatcher matcher(words, options.encoding, options.folds);
    const bool scanning = !words.isEmpty() && (!matcher.neverMatches() ||
                                               (options.documents && !matcher.linesNeverMatch()));
    const DescriptorBudget budget = budgetDescriptors(!scanning             ? 1
                                                      : options.workers > 0 ? options.workers
                                                                            : defaultWorkerCount(),
                                                      platform::descriptorRoom());

    observer.workListCleared();
    const QByteArray start = platform::nativeFolderPath(folder);
    FileList files;
    RunState state;
    state.stop = options.stop;
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
        parallel = std::make_unique<ParallelScan>(files, matcher, words, options, budget.workers,
                                                  state, options.workers <= 0);
        if (parallel->started() == 0)
            parallel.reset(); // not one thread to be had: this one does the matching
        else
            parallel->setPulse([&observer] { observer.stillWaiting(); });
    }
    Walk walk(observer, parallel ? static_cast<FileSink &>(*parallel) : sink, state,
              budget.heldLevels, options.readAhead, options.storageWaits);
    outcome.folderError = walk.run(start);
    if (outcome.folderError != 0)
        observer.folderFailed(outcome.folderError);
    outcome.unreadable = walk.unreadable();
    // A walk that was stopped listed only part of the files: none is reported.
    outcome.stopped = state.stopped();
    if (parallel)
        parallel->walkEnded();
    observer.viewerCleared();

    if (words.isEmpty()) { // the empty keyword, or spaces only
        outcome.keywordEmpty = true;
        outcome.resourceError = state.resourceError.load();
        if (outcome.stopped)
            observer.statusTextChanged(texts::searchStopped(0));
        else if (outcome.resourceError != 0)
            observer.runFailed(outcome.resourceError);
        observer.runEnded(true, 0);
        return outcome;
    }

    observer.statusTextChanged(texts::searching);
    observer.resultsCleared();
    const bool statusTexts = observer.wantsStatusTexts();
    platform::FileReader reader;
    QString status;
    for (qsizetype i = 0; i < files.size() && !outcome.stopped; ++i) {
        if (state.stopped()) {
            outcome.stopped = true;
            break;
        }
        const FoundFile file{files.nativePath(i)};
        if (statusTexts) {
            status = texts::searchingFile + file.path();
            observer.statusTextChanged(status);
        }
        if (!scanning)
            continue; // nothing to read: no line can hold every word
        const FileResult result = parallel
                                      ? parallel->result(i)
                                      : matchFile(file.nativePath, matcher, reader,
                                                  options.blockSize, state, -1, options.documents);
        if (result.fate == Fate::Stopped) {
            outcome.stopped = true;
            break;
        }
        if (result.fate == Fate::Unreadable) {
            if (!result.reason.isEmpty())
                observer.cannotReadDocument(file, result.reason);
            else
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
    parallel.reset(); // stops the workers, and so any read they are in
    outcome.resourceError = state.resourceError.load();

    if (outcome.stopped) {
        // What was found stays; no box says that nothing was.
        observer.statusTextChanged(texts::searchStopped(outcome.matches));
        observer.runEnded(false, outcome.matches);
        return outcome;
    }
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
