// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "SearchRun.h"

#include "DirectoryListing.h"
#include "FileReader.h"
#include "KeywordMatcher.h"
#include "Texts.h"
#include "Tokenizer.h"

#include <vector>

namespace {

class Walk {
public:
    Walk(SearchObserver &observer, QList<FoundFile> &files) : m_observer(observer), m_files(files)
    {}

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
            FoundFile file{path, platform::displayPath(path)};
            m_observer.fileListed(file);
            m_files.append(std::move(file));
        }
        m_path.pop_back();
    }

private:
    SearchObserver &m_observer;
    QList<FoundFile> &m_files;
    std::vector<platform::FolderId> m_path; // folders from the start down to the current one
};

QList<FoundFile> walkNative(const QByteArray &folder, SearchObserver &observer)
{
    QList<FoundFile> files;
    Walk(observer, files).visit(platform::nativeFolderPath(folder));
    return files;
}

class FileSource : public ByteSource {
public:
    explicit FileSource(platform::FileReader &reader) : m_reader(reader) {}
    qsizetype read(char *buffer, qsizetype max) override { return m_reader.read(buffer, max); }
    bool atEnd() const override { return m_reader.atEnd(); }

private:
    platform::FileReader &m_reader;
};

} // namespace

QList<FoundFile> walkFolder(const QString &folder, SearchObserver &observer)
{
    return walkNative(platform::nativeFolderPath(folder), observer);
}

SearchOutcome runSearchNative(const QByteArray &folder, const QString &keywordText,
                              SearchObserver &observer, const SearchOptions &options)
{
    SearchOutcome outcome;
    observer.workListCleared();
    const QList<FoundFile> files = walkNative(folder, observer);
    observer.viewerCleared();

    const QStringList words = splitKeyword(keywordText);
    if (words.isEmpty()) { // the empty keyword, or spaces only
        outcome.keywordEmpty = true;
        observer.runEnded(true, 0);
        return outcome;
    }

    observer.statusTextChanged(texts::searching);
    observer.resultsCleared();
    KeywordMatcher matcher(words);
    platform::FileReader reader;
    for (const FoundFile &file : files) {
        const QString status = texts::searchingFile + file.path;
        observer.statusTextChanged(status);
        if (matcher.neverMatches())
            continue; // nothing to read: no line can hold every word
        if (!reader.open(file.nativePath))
            continue; // vanished, locked or not readable: left out silently
        FileSource source(reader);
        const bool found = matcher.matches(source, options.blockSize);
        reader.close();
        if (found) {
            observer.statusTextChanged(status + texts::foundSuffix);
            observer.fileMatched(file);
            ++outcome.matches;
        }
    }

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
