// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/Walk.h"

#include "platform/ResourceLimits.h"
#include "resources/Texts.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

namespace search {

platform::FolderError Walk::run(const QByteArray &folder)
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

void Walk::walk()
{
    while (!m_levels.empty() && !m_state.failed() && !m_state.stopped()) {
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

void Walk::enter(const QByteArray &name, platform::Folder opened)
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

bool Walk::list(Level &level, platform::FolderError *error)
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

bool Walk::leaveOutPseudoFiles(Level &level, platform::FolderError *error)
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

platform::Folder Walk::openChild(const platform::Folder &parent, const QByteArray &name,
                                 platform::FolderError *error, bool mayShed)
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

bool Walk::shed()
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

bool Walk::checkWaits(const platform::Folder &folder)
{
    const bool waits = m_storageWaits || m_types.waits(folder.descriptor(), folder.id().device);
    if (waits)
        m_files.storageWaits();
    return waits;
}

void Walk::cannotRead(const QByteArray &path, int error, bool brokenOff)
{
    m_observer.cannotRead(FoundFile{path}, error, brokenOff);
    ++m_unreadable;
}

bool Walk::reopenCurrent()
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

} // namespace search
