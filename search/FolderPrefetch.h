// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Reading folder listings ahead of the walk, for storage where each request
// waits (a network share, a FUSE mount): helper threads list the folders the
// walk is likely to enter next, many at once, while the walk goes on alone in
// its own order.
//
// The walk still opens every folder itself, relative to its parent, and checks
// it (visited once, pseudo file systems, still there); only then does it ask
// for the listing, by the folder's identity. What it is handed is a listing of
// that very folder, read at most a bounded read-ahead earlier; what the helpers
// have not read (or could not) the walk reads itself, as without read-ahead.
// So the walk's events are the one-thread walk's.
//
// Where a folder stands in the walk is its key: the index of each folder on its
// path in its parent's listing. Helpers take the smallest key waiting, so they
// read in the walk's order; what lies before the walk's key will never be asked
// for and is dropped.

#include "platform/DirectoryListing.h"

#include <QByteArray>

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace search {

using FolderKey = std::vector<std::uint32_t>;

struct FolderIdHash {
    std::size_t operator()(const platform::FolderId &id) const noexcept
    {
        return std::hash<quint64>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

class FolderPrefetch {
public:
    // threads: helper threads to start (fewer when the system refuses one; with
    // none, every listing is read by the walk). startDevice: the start folder's
    // device, on which pseudo file systems are listed as asked.
    FolderPrefetch(int threads, quint64 startDevice);
    ~FolderPrefetch();
    FolderPrefetch(const FolderPrefetch &) = delete;
    FolderPrefetch &operator=(const FolderPrefetch &) = delete;

    // The walk listed the folder at `key` (path: native, ending in the
    // separator) itself: its sub-folders may be read ahead.
    void listedByWalk(const FolderKey &key, const QByteArray &path,
                      const std::vector<platform::FolderEntry> &entries);

    // The walk enters the folder `id` at `key`. True with its listing when a
    // helper read it (waits while one is reading it); false when the walk is
    // to read it itself, which it then reports with listedByWalk(). Either
    // way no helper reads this folder afterwards.
    bool take(const FolderKey &key, platform::FolderId id,
              std::vector<platform::FolderEntry> &entries);

    // Helpers that started.
    int threads() const { return int(m_threads.size()); }
    // Listings read ahead and waiting to be taken.
    std::size_t readyCount();

    // Listings read ahead and not yet taken, at most (and entries in them);
    // helpers wait while either is reached.
    static constexpr std::size_t kMaxReady = 256;
    static constexpr std::size_t kMaxReadyEntries = 1 << 16;

private:
    struct Ready {
        FolderKey key;
        std::vector<platform::FolderEntry> entries;
        bool done = false; // false while a helper reads it
    };

    void work();
    void queueChildren(const FolderKey &key, const QByteArray &path,
                       const std::vector<platform::FolderEntry> &entries);
    void dropBefore(const FolderKey &key);
    bool canRead() const;

    const quint64 m_startDevice;
    std::vector<std::thread> m_threads;

    std::mutex m_mutex;
    std::condition_variable m_workCv;          // helpers wait for a folder to read
    std::condition_variable m_readyCv;         // the walk waits for a listing being read
    std::map<FolderKey, QByteArray> m_pending; // folders to read, by key: their paths
    std::unordered_map<platform::FolderId, Ready, FolderIdHash> m_ready; // read or being read
    std::unordered_set<platform::FolderId, FolderIdHash> m_claimed; // read (or left) by someone
    FolderKey m_walkKey;            // of the folder the walk last entered
    std::size_t m_readyDone = 0;    // listings in m_ready that are done
    std::size_t m_readyEntries = 0; // entries in them
    bool m_stop = false;
};

} // namespace search
