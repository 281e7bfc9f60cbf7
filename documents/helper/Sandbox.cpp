// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/helper/Sandbox.h"

#include <cerrno>
#include <fcntl.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace documents::helper {

namespace {

// Sets a limit, soft and hard alike, but never above the hard limit the
// process was given: a lower one (a user's `ulimit -v`) stands, where asking
// for more would fail. *set: the limit now in force.
bool setLimit(int resource, rlim_t value, rlim_t *set = nullptr)
{
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0)
        return false;
    if (limit.rlim_max != RLIM_INFINITY && limit.rlim_max < value)
        value = limit.rlim_max;
    limit = {value, value};
    if (setrlimit(resource, &limit) != 0)
        return false;
    if (set)
        *set = value;
    return true;
}

// The calls a reader needs. Threads are not among them: the readers run on
// the one thread the helper has.
const int kAllowed[] = {
    SCMP_SYS(read),
    SCMP_SYS(pread64),
    SCMP_SYS(readv),
    SCMP_SYS(lseek),
    SCMP_SYS(close),
    SCMP_SYS(fstat),
    SCMP_SYS(newfstatat),
    SCMP_SYS(statx),
    SCMP_SYS(fstatfs),
    SCMP_SYS(getdents64),
    SCMP_SYS(faccessat),
    SCMP_SYS(faccessat2),
    SCMP_SYS(readlink),
    SCMP_SYS(mmap),
    SCMP_SYS(munmap),
    SCMP_SYS(mremap),
    SCMP_SYS(mprotect),
    SCMP_SYS(brk),
    SCMP_SYS(madvise),
    SCMP_SYS(futex),
    SCMP_SYS(exit),
    SCMP_SYS(exit_group),
    SCMP_SYS(rt_sigreturn),
    SCMP_SYS(rt_sigprocmask),
    SCMP_SYS(rt_sigaction),
    SCMP_SYS(sigaltstack),
    SCMP_SYS(restart_syscall),
    SCMP_SYS(getrusage),
    SCMP_SYS(clock_gettime),
    SCMP_SYS(clock_nanosleep),
    SCMP_SYS(gettid),
    SCMP_SYS(getpid),
    SCMP_SYS(getrandom),
    SCMP_SYS(uname),
    SCMP_SYS(sched_getaffinity),
};

} // namespace

bool setLimits(qint64 &addressSpaceBytes)
{
    if (close_range(kSocket + 1, ~0U, 0) != 0)
        return false;
    bool limited = true;
#ifdef TARNWELL_NO_ADDRESS_LIMIT
    Q_UNUSED(addressSpaceBytes);
#else
    if (addressSpaceBytes > 0) {
        rlim_t set = 0;
        limited = setLimit(RLIMIT_AS, rlim_t(addressSpaceBytes), &set);
        addressSpaceBytes = qint64(set);
    }
#endif
    return limited && setLimit(RLIMIT_FSIZE, 0) && setLimit(RLIMIT_NOFILE, 32) &&
           setLimit(RLIMIT_CORE, 0);
}

bool limitProcessorTime(int seconds)
{
    // The soft limit last set and the hard limit (which nothing here
    // changes): when the limit to set is the one already set, as for every
    // document read within the same whole second, it is not set again.
    static bool known = false;
    static rlim_t hard = 0;
    static rlim_t soft = 0;
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return false;
    // The limit counts whole seconds of user and system time together: the
    // exact time used so far and the allowance, rounded up, give the
    // document at least its whole allowance and less than a second more.
    constexpr qint64 kMicroseconds = 1'000'000;
    const qint64 used =
        (qint64(usage.ru_utime.tv_sec) + qint64(usage.ru_stime.tv_sec)) * kMicroseconds +
        qint64(usage.ru_utime.tv_usec) + qint64(usage.ru_stime.tv_usec);
    rlim_t wanted =
        rlim_t((used + qint64(seconds) * kMicroseconds + kMicroseconds - 1) / kMicroseconds);
    if (!known) {
        rlimit limit{};
        if (getrlimit(RLIMIT_CPU, &limit) != 0)
            return false;
        hard = limit.rlim_max;
    }
    if (hard != RLIM_INFINITY && wanted > hard)
        wanted = hard;
    if (known && wanted == soft)
        return true;
    const rlimit limit{wanted, hard};
    if (setrlimit(RLIMIT_CPU, &limit) != 0)
        return false;
    known = true;
    soft = wanted;
    return true;
}

bool shutIn()
{
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ERRNO(EPERM));
    if (!filter)
        return false;
    bool ok = true;
    for (const int call : kAllowed)
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 0) == 0;
    // Writing and messages on the socket, and messages on standard error.
    for (const int fd : {kSocket, 2}) {
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(write), 1,
                                    SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd))) == 0;
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(writev), 1,
                                    SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(fd))) == 0;
    }
    for (const int call : {SCMP_SYS(sendmsg), SCMP_SYS(recvmsg)})
        ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, call, 1,
                                    SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(kSocket))) == 0;
    // Files opened for reading only (poppler reads its character maps).
    const scmp_datum_t writing = O_ACCMODE | O_CREAT | O_TRUNC | O_APPEND;
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(openat), 1,
                                SCMP_A2(SCMP_CMP_MASKED_EQ, writing, O_RDONLY)) == 0;
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(open), 1,
                                SCMP_A1(SCMP_CMP_MASKED_EQ, writing, O_RDONLY)) == 0;
    // Signals to itself alone (raise(), abort()).
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(tgkill), 1,
                                SCMP_A0(SCMP_CMP_EQ, scmp_datum_t(getpid()))) == 0;
    // Its own limits only (the processor time before each document).
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(prlimit64), 1,
                                SCMP_A0(SCMP_CMP_EQ, 0)) == 0;
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(setrlimit), 0) == 0;
    ok = ok && seccomp_rule_add(filter, SCMP_ACT_ALLOW, SCMP_SYS(getrlimit), 0) == 0;
    ok = ok && seccomp_load(filter) == 0;
    seccomp_release(filter);
    return ok;
}

} // namespace documents::helper
