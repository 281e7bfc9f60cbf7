// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The floor of the benchmarks: walks a tree with opendir/readdir and reads
// every byte of every regular file through one reused buffer, on one thread.
// No searcher can be faster than this on a warm cache, so the compare script
// reports every tool as a multiple of it.
//
// Usage: floor [-w | -t N] FOLDER...   Prints "<files> files, <bytes> bytes" on stdout.
// Links are not followed (neither to files nor to folders); FIFOs, sockets
// and devices are never opened. With -t N (N >= 2) the walk stays on the main
// thread and N threads read the files it finds, each through its own buffer:
// the floor for a searcher that reads on N threads. With -w the walk alone
// runs: every file is counted, none opened (the floor of a walk on storage
// where each request waits).
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Totals {
    unsigned long long files = 0;
    unsigned long long bytes = 0;
    unsigned long long errors = 0;
};

// One buffer per thread, aligned to a page: the kernel copies into a buffer that
// starts just past a page boundary (where the allocator maps large blocks)
// markedly slower, which would make this floor no floor.
constexpr size_t kBufferSize = 256 * 1024;
thread_local char *buffer = static_cast<char *>(std::aligned_alloc(4096, kBufferSize));

void readFile(int dirFd, const char *name, Totals &totals)
{
    int fd = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ++totals.errors;
        return;
    }
    for (;;) {
        ssize_t n = read(fd, buffer, kBufferSize);
        if (n > 0) {
            totals.bytes += static_cast<unsigned long long>(n);
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ++totals.errors;
            break;
        }
    }
    close(fd);
    ++totals.files;
}

// Files found by the walk, for the reader threads (-t N).
struct Queue {
    std::mutex mutex;
    std::condition_variable ready;
    std::deque<std::string> paths;
    int waiting = 0; // readers asleep on an empty queue
    bool done = false;
};
Queue *queue = nullptr;
bool walkOnly = false;

void walk(int dirFd, Totals &totals, const std::string &path)
{
    DIR *dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        ++totals.errors;
        return;
    }
    while (dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
            continue;
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN) {
            struct stat st;
            if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                ++totals.errors;
                continue;
            }
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_REG) {
            if (walkOnly) {
                ++totals.files;
                continue;
            }
            if (!queue) {
                readFile(dirfd(dir), name, totals);
                continue;
            }
            bool wake;
            {
                const std::lock_guard lock(queue->mutex);
                queue->paths.push_back(path + name);
                wake = queue->waiting > 0; // only a sleeping reader needs a call
            }
            if (wake)
                queue->ready.notify_one();
        } else if (type == DT_DIR) {
            int sub = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0)
                ++totals.errors;
            else
                walk(sub, totals, queue ? path + name + "/" : std::string());
        }
    }
    closedir(dir);
}

void readQueued(Totals &totals)
{
    for (;;) {
        std::string path;
        {
            std::unique_lock lock(queue->mutex);
            while (!queue->done && queue->paths.empty()) {
                ++queue->waiting;
                queue->ready.wait(lock);
                --queue->waiting;
            }
            if (queue->paths.empty())
                return;
            path = std::move(queue->paths.front());
            queue->paths.pop_front();
        }
        readFile(AT_FDCWD, path.c_str(), totals);
    }
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    int threads = 1;
    if (argc > 1 && std::strcmp(argv[1], "-w") == 0) {
        walkOnly = true;
        first = 2;
    } else if (argc > 2 && std::strcmp(argv[1], "-t") == 0) {
        threads = std::atoi(argv[2]);
        first = 3;
    }
    if (argc <= first || threads < 1) {
        std::fprintf(stderr, "usage: %s [-w | -t N] FOLDER...\n", argv[0]);
        return 2;
    }
    Totals totals;
    Queue shared;
    std::vector<Totals> readerTotals(size_t(threads > 1 ? threads : 0));
    std::vector<std::thread> readers;
    if (threads > 1) {
        queue = &shared;
        for (Totals &t : readerTotals)
            readers.emplace_back([&t] { readQueued(t); });
    }
    for (int i = first; i < argc; ++i) {
        int fd = open(argv[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            std::perror(argv[i]);
            return 2;
        }
        std::string root = argv[i];
        if (root.empty() || root.back() != '/')
            root += '/';
        walk(fd, totals, root);
    }
    if (queue) {
        {
            const std::lock_guard lock(shared.mutex);
            shared.done = true;
        }
        shared.ready.notify_all();
        for (std::thread &t : readers)
            t.join();
        for (const Totals &t : readerTotals) {
            totals.files += t.files;
            totals.bytes += t.bytes;
            totals.errors += t.errors;
        }
    }
    std::printf("%llu files, %llu bytes\n", totals.files, totals.bytes);
    if (totals.errors)
        std::fprintf(stderr, "%llu entries could not be read\n", totals.errors);
    return totals.errors ? 1 : 0;
}
