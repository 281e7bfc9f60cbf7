// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/MappedFile.h"

#include "platform/PathOpen.h"

#include <QScopeGuard>

#include <new>

#ifdef Q_OS_UNIX
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#include <QFileInfo>
#endif

namespace platform {

namespace {

#ifdef Q_OS_UNIX
// A large buffer is faulted in 2 MiB at a time instead of 4 KiB: on a virtual
// machine page faults dominate the cost of reading a big file.
void adviseHugePages(QByteArray &buffer)
{
#ifdef MADV_HUGEPAGE
    constexpr quintptr kHuge = quintptr(2) << 20;
    const quintptr begin = (quintptr(buffer.data()) + kHuge - 1) & ~(kHuge - 1);
    const quintptr end = (quintptr(buffer.data()) + quintptr(buffer.size())) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(buffer);
#endif
}
#endif

#ifdef Q_OS_UNIX
// Mapped files: a file truncated by another program while mapped raises SIGBUS
// on access past its new end. The handler replaces the rest of the mapping with
// zero pages, so the viewer reads zeros there and the program goes on.
struct MappedRange {
    std::atomic<quintptr> begin{0};
    std::atomic<quintptr> end{0};
};
constexpr int kMaxMappings = 16;
MappedRange g_mappings[kMaxMappings];
quintptr g_pageSize = 4096;
struct sigaction g_previousBus {};

void onBusError(int sig, siginfo_t *info, void *context)
{
    const quintptr addr = quintptr(info->si_addr);
    for (MappedRange &r : g_mappings) {
        const quintptr begin = r.begin.load();
        const quintptr end = r.end.load();
        if (begin <= addr && addr < end) {
            const quintptr page = addr & ~(g_pageSize - 1);
            ::mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            return;
        }
    }
    // Not a mapped file of ours: behave as before this handler was installed.
    if (g_previousBus.sa_flags & SA_SIGINFO) {
        g_previousBus.sa_sigaction(sig, info, context);
    } else if (g_previousBus.sa_handler != SIG_IGN && g_previousBus.sa_handler != SIG_DFL) {
        g_previousBus.sa_handler(sig);
    } else {
        ::sigaction(SIGBUS, &g_previousBus, nullptr);
        ::raise(SIGBUS);
    }
}

void installBusHandler()
{
    static const bool installed = [] {
        g_pageSize = quintptr(::sysconf(_SC_PAGESIZE));
        struct sigaction sa {};
        sa.sa_sigaction = onBusError;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &g_previousBus);
        return true;
    }();
    Q_UNUSED(installed);
}

// Maps a regular file read-only; the returned owner unmaps it.
std::shared_ptr<const void> mapFile(int fd, size_t size)
{
    void *addr = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (addr == MAP_FAILED)
        return nullptr;
    installBusHandler();
    MappedRange *slot = nullptr;
    for (MappedRange &r : g_mappings) {
        quintptr expected = 0;
        if (r.begin.load() == 0 && r.end.compare_exchange_strong(expected, 1)) {
            slot = &r;
            break;
        }
    }
    if (!slot) { // too many files mapped at once: the caller reads instead
        ::munmap(addr, size);
        return nullptr;
    }
    slot->begin.store(quintptr(addr));
    slot->end.store(quintptr(addr) + size);
    return std::shared_ptr<const void>(addr, [slot, size](const void *p) {
        slot->begin.store(0);
        ::munmap(const_cast<void *>(p), size);
        slot->end.store(0);
    });
}
#endif

} // namespace

bool readWholeFile(const QByteArray &nativePath, QByteArray &out,
                   std::shared_ptr<const void> &mapping)
{
    if (nativePath.isEmpty())
        return false;
    try {
#ifdef Q_OS_UNIX
        const int fd = openForReading(nativePath);
        if (fd < 0)
            return false;
        // Closed on every way out, also when the buffer does not fit in memory.
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        if (st.st_size > 0) {
            mapping = mapFile(fd, size_t(st.st_size));
            if (mapping) {
                out = QByteArray::fromRawData(static_cast<const char *>(mapping.get()),
                                              qsizetype(st.st_size));
                return true;
            }
        }
        out.resize(qsizetype(st.st_size));
        adviseHugePages(out);
        qsizetype used = 0;
        bool ok = true;
        char probe[4096];
        for (;;) {
            // Once the buffer is full, a small probe read tells whether the file
            // grew since fstat, without copying the buffer for nothing.
            const bool full = used == out.size();
            const ssize_t n = full ? ::read(fd, probe, sizeof probe)
                                   : ::read(fd, out.data() + used, size_t(out.size() - used));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            if (full)
                out.append(probe, n);
            used += n;
        }
        if (!ok) {
            out = QByteArray();
            return false;
        }
        out.resize(used);
        return true;
#else
        Q_UNUSED(mapping);
        const QString name = QFile::decodeName(nativePath);
        if (!QFileInfo(name).isFile())
            return false;
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        out = file.readAll();
        return file.error() == QFileDevice::NoError;
#endif
    } catch (const std::bad_alloc &) {
        out = QByteArray();
        return false;
    }
}

} // namespace platform
