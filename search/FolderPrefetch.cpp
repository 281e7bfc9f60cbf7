// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/FolderPrefetch.h"

#include "platform/FileSystemType.h"

#include <algorithm>
#include <system_error>

namespace search {

FolderPrefetch::FolderPrefetch(int threads, quint64 startDevice) : m_startDevice(startDevice)
{
    m_threads.reserve(std::size_t(std::max(threads, 0)));
    for (int i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back([this] { work(); });
        } catch (const std::system_error &) {
            break; // the system refuses more threads: read ahead with those that run
        }
    }
}

FolderPrefetch::~FolderPrefetch()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_workCv.notify_all();
    for (std::thread &t : m_threads)
        t.join();
}

void FolderPrefetch::listedByWalk(const FolderKey &key, const QByteArray &path,
                                  const std::vector<platform::FolderEntry> &entries)
{
    if (m_threads.empty())
        return;
    const std::lock_guard lock(m_mutex);
    queueChildren(key, path, entries);
}

bool FolderPrefetch::take(const FolderKey &key, platform::FolderId id,
                          std::vector<platform::FolderEntry> &entries)
{
    std::unique_lock lock(m_mutex);
    dropBefore(key);
    for (;;) {
        const auto it = m_ready.find(id);
        if (it == m_ready.end()) {
            m_claimed.insert(id); // the walk reads it; no helper starts it now
            return false;
        }
        if (it->second.done) {
            entries = std::move(it->second.entries);
            --m_readyDone;
            m_readyEntries -= entries.size();
            m_ready.erase(it);
            lock.unlock();
            m_workCv.notify_all(); // room for another listing
            return true;
        }
        m_readyCv.wait(lock);
    }
}

// Everything before the walk's key lies behind it: it was entered, or passed
// by, and will never be asked for. The sub-folders of what is dropped come
// before the key too.
void FolderPrefetch::dropBefore(const FolderKey &key)
{
    m_pending.erase(m_pending.begin(), m_pending.lower_bound(key));
    bool freed = false;
    for (auto it = m_ready.begin(); it != m_ready.end();) {
        if (it->second.key < key) {
            if (it->second.done) {
                --m_readyDone;
                m_readyEntries -= it->second.entries.size();
                freed = true;
            }
            it = m_ready.erase(it); // one still being read is thrown away when done
        } else {
            ++it;
        }
    }
    m_walkKey = key;
    if (freed)
        m_workCv.notify_all();
}

void FolderPrefetch::queueChildren(const FolderKey &key, const QByteArray &path,
                                   const std::vector<platform::FolderEntry> &entries)
{
    bool queued = false;
    FolderKey child = key;
    child.push_back(0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!entries[i].isFolder)
            continue;
        child.back() = std::uint32_t(i);
        if (child < m_walkKey)
            continue;
        QByteArray childPath = path;
        childPath.append(entries[i].name).append(platform::kSeparator);
        m_pending.emplace(child, std::move(childPath));
        queued = true;
    }
    if (queued)
        m_workCv.notify_all();
}

std::size_t FolderPrefetch::readyCount()
{
    const std::lock_guard lock(m_mutex);
    return m_readyDone;
}

bool FolderPrefetch::canRead() const
{
    return m_readyDone < kMaxReady && m_readyEntries < kMaxReadyEntries;
}

void FolderPrefetch::work()
{
    platform::FileSystemTypes types; // this thread's own
    std::vector<platform::FolderEntry> entries;
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (!m_stop && (m_pending.empty() || !canRead()))
            m_workCv.wait(lock);
        if (m_stop)
            return;
        auto next = m_pending.extract(m_pending.begin());
        const FolderKey key = std::move(next.key());
        const QByteArray path = std::move(next.mapped());
        lock.unlock();

        // Opened as the walk opens a sub-folder (O_PATH without O_DIRECTORY:
        // nothing read, an automount point not mounted) and checked before
        // it is listed.
        platform::Folder folder = platform::Folder::openAsChild(path);
        const platform::FolderId id = folder.id();
        const bool skip = !folder.isOpen() || (id.device != m_startDevice &&
                                               types.isPseudo(folder.descriptor(), id.device));
        lock.lock();
        if (skip || m_claimed.contains(id) || key < m_walkKey)
            continue;
        m_claimed.insert(id);
        m_ready[id].key = key;
        lock.unlock();

        // One that broke off part-way is left to the walk, which reports it.
        platform::FolderError brokenOff = 0;
        const bool listed = folder.list(entries, nullptr, &brokenOff) && brokenOff == 0;
        folder.close();
        lock.lock();
        const auto it = m_ready.find(id);
        if (it == m_ready.end())
            continue; // dropped while it was read: the walk has passed it
        if (!listed) {
            // The walk tries it itself, as it would have without read-ahead.
            m_ready.erase(it);
            m_claimed.erase(id);
        } else {
            queueChildren(key, path, entries);
            m_readyEntries += entries.size();
            ++m_readyDone;
            it->second.entries = std::move(entries);
            it->second.done = true;
            entries = {};
        }
        m_readyCv.notify_all();
    }
}

} // namespace search
