// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The floor of the benchmarks: walks a tree with opendir/readdir and reads
// every byte of every regular file through one reused buffer, on one thread.
// No searcher can be faster than this on a warm cache, so the compare script
// reports every tool as a multiple of it.
//
// Usage: floor FOLDER...   Prints "<files> files, <bytes> bytes" on stdout.
// Links are not followed (neither to files nor to folders); FIFOs, sockets
// and devices are never opened.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct Totals {
    unsigned long long files = 0;
    unsigned long long bytes = 0;
    unsigned long long errors = 0;
};

std::vector<char> buffer(256 * 1024);

void readFile(int dirFd, const char *name, Totals &totals)
{
    int fd = openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        ++totals.errors;
        return;
    }
    for (;;) {
        ssize_t n = read(fd, buffer.data(), buffer.size());
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

void walk(int dirFd, Totals &totals)
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
            readFile(dirfd(dir), name, totals);
        } else if (type == DT_DIR) {
            int sub = openat(dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0)
                ++totals.errors;
            else
                walk(sub, totals);
        }
    }
    closedir(dir);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER...\n", argv[0]);
        return 2;
    }
    Totals totals;
    for (int i = 1; i < argc; ++i) {
        int fd = open(argv[i], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            std::perror(argv[i]);
            return 2;
        }
        walk(fd, totals);
    }
    std::printf("%llu files, %llu bytes\n", totals.files, totals.bytes);
    if (totals.errors)
        std::fprintf(stderr, "%llu entries could not be read\n", totals.errors);
    return totals.errors ? 1 : 0;
}
