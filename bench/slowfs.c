// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// slowfs: a read-only passthrough of one folder in which every request waits a
// fixed time before it is served, as on a network share or a slow USB stick.
// Many requests are served at once (one thread each, up to max_threads), and
// the kernel's attribute, entry, negative-entry and page caches are off, so
// every lookup, getattr, open, read and listing of a searcher reaches this
// program and pays the delay.
//
//   slowfs --source=FOLDER --delay-us=N [--stats=FILE] MOUNTPOINT [FUSE options]
//
// --stats: at unmount, FILE gets the count of each kind of request and the
// most requests that waited at once.
// bench/slowfs.sh builds, starts and stops it with the options the benchmarks
// use. Built with: gcc -O2 slowfs.c $(pkg-config --cflags --libs fuse3)

#define FUSE_USE_VERSION 35
#define _GNU_SOURCE

#include <fuse.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdatomic.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <time.h>
#include <unistd.h>

enum { kLookupOrGetattr, kOpen, kRead, kRelease, kOpendir, kReaddir, kReleasedir, kOther, kKinds };
static const char *const kKindNames[kKinds] = {"lookup/getattr", "open",    "read",       "release",
                                               "opendir",        "readdir", "releasedir", "other"};

static struct {
    char *source;
    char *stats; // file that gets the request counts at unmount
    long delayUs;
    int base; // descriptor of the source folder
    _Atomic long counts[kKinds];
    _Atomic long inFlight, maxInFlight;
} g;

static const struct fuse_opt kOptions[] = {
    {"--source=%s", offsetof(typeof(g), source), 0},
    {"--delay-us=%ld", offsetof(typeof(g), delayUs), 0},
    {"--stats=%s", offsetof(typeof(g), stats), 0},
    FUSE_OPT_END,
};

// Every request starts here: counted, then made to wait.
static void wait_request(int kind)
{
    ++g.counts[kind];
    long now = ++g.inFlight;
    long max = g.maxInFlight;
    while (now > max && !atomic_compare_exchange_weak(&g.maxInFlight, &max, now)) {
    }
    if (g.delayUs > 0) {
        struct timespec t = {g.delayUs / 1000000, (g.delayUs % 1000000) * 1000};
        while (nanosleep(&t, &t) != 0 && errno == EINTR) {
        }
    }
    --g.inFlight;
}

static void sfs_destroy(void *data)
{
    (void)data;
    if (!g.stats)
        return;
    FILE *f = fopen(g.stats, "w");
    if (!f)
        return;
    long total = 0;
    for (int k = 0; k < kKinds; ++k) {
        fprintf(f, "%s %ld\n", kKindNames[k], (long)g.counts[k]);
        total += g.counts[k];
    }
    fprintf(f, "total %ld\nmost at once %ld\n", total, (long)g.maxInFlight);
    fclose(f);
}

// FUSE paths start with "/"; relative to the source folder's descriptor.
static const char *rel(const char *path)
{
    while (*path == '/')
        ++path;
    return *path ? path : ".";
}

static void *sfs_init(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    (void)conn;
    cfg->use_ino = 1; // the source's inode numbers, so links back up are seen as such
    cfg->attr_timeout = 0;
    cfg->entry_timeout = 0;
    cfg->negative_timeout = 0;
    cfg->direct_io = 1; // no page cache: every read is a request
    cfg->kernel_cache = 0;
    cfg->auto_cache = 0;
    return NULL;
}

static int sfs_getattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    wait_request(kLookupOrGetattr);
    int r = fi ? fstat((int)fi->fh, st) : fstatat(g.base, rel(path), st, AT_SYMLINK_NOFOLLOW);
    return r == 0 ? 0 : -errno;
}

static int sfs_access(const char *path, int mask)
{
    wait_request(kOther);
    if (mask & W_OK)
        return -EROFS;
    return faccessat(g.base, rel(path), mask, 0) == 0 ? 0 : -errno;
}

static int sfs_readlink(const char *path, char *buf, size_t size)
{
    wait_request(kOther);
    ssize_t n = readlinkat(g.base, rel(path), buf, size - 1);
    if (n < 0)
        return -errno;
    buf[n] = 0;
    return 0;
}

static int sfs_open(const char *path, struct fuse_file_info *fi)
{
    wait_request(kOpen);
    if ((fi->flags & O_ACCMODE) != O_RDONLY)
        return -EROFS;
    int fd = openat(g.base, rel(path), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return -errno;
    fi->fh = (uint64_t)fd;
    fi->direct_io = 1;
    return 0;
}

static int sfs_read(const char *path, char *buf, size_t size, off_t offset,
                    struct fuse_file_info *fi)
{
    (void)path;
    wait_request(kRead);
    ssize_t n = pread((int)fi->fh, buf, size, offset);
    return n >= 0 ? (int)n : -errno;
}

static int sfs_release(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    wait_request(kRelease);
    close((int)fi->fh);
    return 0;
}

struct dir_handle {
    DIR *dir;
    struct dirent *entry; // read but not yet handed to the kernel
    off_t offset;
};

static int sfs_opendir(const char *path, struct fuse_file_info *fi)
{
    wait_request(kOpendir);
    int fd = openat(g.base, rel(path), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -errno;
    struct dir_handle *d = calloc(1, sizeof *d);
    if (!d) {
        close(fd);
        return -ENOMEM;
    }
    d->dir = fdopendir(fd);
    if (!d->dir) {
        int e = errno;
        close(fd);
        free(d);
        return -e;
    }
    fi->fh = (uint64_t)(uintptr_t)d;
    return 0;
}

// One kernel READDIR request: as many entries as fit, from the offset asked.
static int sfs_readdir(const char *path, void *buf, fuse_fill_dir_t filler, off_t offset,
                       struct fuse_file_info *fi, enum fuse_readdir_flags flags)
{
    (void)path;
    (void)flags;
    wait_request(kReaddir);
    struct dir_handle *d = (struct dir_handle *)(uintptr_t)fi->fh;
    if (offset != d->offset) {
        seekdir(d->dir, offset);
        d->entry = NULL;
        d->offset = offset;
    }
    for (;;) {
        if (!d->entry) {
            d->entry = readdir(d->dir);
            if (!d->entry)
                break;
        }
        struct stat st;
        memset(&st, 0, sizeof st);
        st.st_ino = d->entry->d_ino;
        st.st_mode = (mode_t)d->entry->d_type << 12;
        off_t next = telldir(d->dir);
        if (filler(buf, d->entry->d_name, &st, next, 0))
            break; // the kernel's buffer is full: this entry goes in the next request
        d->entry = NULL;
        d->offset = next;
    }
    return 0;
}

static int sfs_releasedir(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    wait_request(kReleasedir);
    struct dir_handle *d = (struct dir_handle *)(uintptr_t)fi->fh;
    closedir(d->dir);
    free(d);
    return 0;
}

static int sfs_statfs(const char *path, struct statvfs *st)
{
    (void)path;
    wait_request(kOther);
    return fstatvfs(g.base, st) == 0 ? 0 : -errno;
}

static const struct fuse_operations kOperations = {
    .init = sfs_init,
    .destroy = sfs_destroy,
    .getattr = sfs_getattr,
    .access = sfs_access,
    .readlink = sfs_readlink,
    .open = sfs_open,
    .read = sfs_read,
    .release = sfs_release,
    .opendir = sfs_opendir,
    .readdir = sfs_readdir,
    .releasedir = sfs_releasedir,
    .statfs = sfs_statfs,
};

int main(int argc, char *argv[])
{
    struct fuse_args args = FUSE_ARGS_INIT(argc, argv);
    if (fuse_opt_parse(&args, &g, kOptions, NULL) != 0)
        return 1;
    if (!g.source) {
        fprintf(stderr, "usage: slowfs --source=FOLDER --delay-us=N [--stats=FILE] MOUNTPOINT "
                        "[FUSE options]\n");
        return 1;
    }
    g.base = open(g.source, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (g.base < 0) {
        perror(g.source);
        return 1;
    }
    int r = fuse_main(args.argc, args.argv, &kOperations, NULL);
    fuse_opt_free_args(&args);
    return r;
}
