// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Resource limits lowered for real, in a child process: a case about running
// short of descriptors or threads forks (or has QProcess fork) a child that
// lowers the limit and then runs the search. The super-user is not held to
// RLIMIT_NPROC, so a case about threads becomes nobody first.

#include "tests/common/Unprivileged.h"

#include <QtTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace testsupport {

// Lowers a limit, soft and hard alike (as `ulimit -n 24` does), so that the
// process cannot raise it again. Async-signal-safe: fit for a QProcess child.
inline bool lowerLimit(int resource, rlim_t value)
{
    const struct rlimit limit {
        value, value
    };
    return setrlimit(resource, &limit) == 0;
}

// Becomes nobody when this process is the super-user. Async-signal-safe.
inline bool becomeNobodyIfRoot()
{
    if (geteuid() != 0)
        return true;
    return setgroups(0, nullptr) == 0 && setresgid(kNoGroup, kNoGroup, kNoGroup) == 0 &&
           setresuid(kNobody, kNobody, kNobody) == 0;
}

// Runs body in a forked child; a failed check in the child fails the test here.
// Only QVERIFY-style checks belong in body: the child ends when body returns.
template <typename Body> void inChild(Body body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // An exception must end the child here: Qt Test would catch it and go
        // on with the next cases in the child, under its lowered limits, and
        // at the end wait for ever for its own threads, which the fork did not
        // copy.
        try {
            body();
        } catch (...) {
            std::fputs("FAIL: an exception left the child's checks\n", stderr);
            _exit(2);
        }
        std::fflush(stdout);
        _exit(QTest::currentTestFailed() ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    QVERIFY2(WIFEXITED(status), "the child ended by a signal (an abort?)");
    QCOMPARE(WEXITSTATUS(status), 0);
}

} // namespace testsupport
