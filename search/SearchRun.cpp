// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "SearchRun.h"

#include "DirectoryListing.h"
#include "FileReader.h"
#include "FileSystemType.h"
#include "KeywordMatcher.h"
#include "Texts.h"
#include "Tokenizer.h"

#include <unordered_set>
#include <vector>

namespace {

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
    Walk(SearchObserver &observer, QList<FoundFile> &files) : m_observer(observer), m_files(files)
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
            QByteArray path = m_path + entry.name;
            FoundFile file{path, platform::displayPath(path)};
            m_observer.fileListed(file);
            m_files.append(std::move(file));
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
    QList<FoundFile> &m_files;
    std::vector<Level> m_levels; // the start folder down to the current one
    QByteArray m_path;           // of the current folder, ending in the separator
    std::unordered_set<platform::FolderId, FolderIdHash> m_entered; // every folder entered
    quint64 m_startDevice = 0;
    platform::FileSystemTypes m_types;
};

QList<FoundFile> walkNative(const QByteArray &folder, SearchObserver &observer,
                            platform::FolderError *error = nullptr)
{
    QList<FoundFile> files;
    const platform::FolderError startError =
        Walk(observer, files).run(platform::nativeFolderPath(folder));
    if (error)
        *error = startError;
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
    const QList<FoundFile> files = walkNative(folder, observer, &outcome.folderError);
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
