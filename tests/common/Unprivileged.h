// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Runs a test case as an ordinary user. Permissions do not stop the super-user,
// so a case about unreadable files proves nothing as root; as root it runs in a
// child process that has become the user nobody, and reports back by its exit
// status.

#include <QByteArray>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace testsupport {

// Whether body may start threads. ThreadSanitizer cannot follow threads that a
// child forked from a threaded process starts: the child reuses the stacks of
// the parent's threads (Qt Test's watchdog among them), which it still counts
// as running, and reports them. Under it, a body runs its work on one thread.
#if defined(__SANITIZE_THREAD__)
inline constexpr bool kThreadsInChild = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool kThreadsInChild = false;
#else
inline constexpr bool kThreadsInChild = true;
#endif
#else
inline constexpr bool kThreadsInChild = true;
#endif

inline constexpr uid_t kNobody = 65534;
inline constexpr gid_t kNoGroup = 65534;

// True when this process is not stopped by file permissions.
inline bool isSuperUser()
{
    return geteuid() == 0;
}

// Gives `tree` and everything in it to nobody, links themselves included.
inline bool giveToNobody(const QString &tree)
{
    bool ok = lchown(QFile::encodeName(tree).constData(), kNobody, kNoGroup) == 0;
    QDirIterator it(tree, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        ok = lchown(QFile::encodeName(it.next()).constData(), kNobody, kNoGroup) == 0 && ok;
    return ok;
}

// Runs body here when this process is an ordinary user. As the super-user,
// gives `tree` (a folder the case builds its files in) to nobody and runs
// body in a forked child as nobody; a
// failed check in the child fails the test here. Only QVERIFY-style checks
// belong in body: the child ends when body returns.
//
// notOwned: files in tree that the user may read but does not own, as most of
// a real desktop's files are (the system's, a shared folder's). As the
// super-user they stay with root, readable by all; as an ordinary user they
// are the user's own, as nothing else can be made here.
template <typename Body>
void asOrdinaryUser(const QString &tree, const QStringList &notOwned, Body body)
{
    if (!isSuperUser()) {
        body();
        return;
    }
    // The folders above tree must let nobody pass: QTemporaryDir's folder is
    // 0700 but lies in /tmp, which is open to all.
    QVERIFY2(giveToNobody(tree), qPrintable(tree));
    for (const QString &file : notOwned) {
        const QByteArray path = QFile::encodeName(file);
        QVERIFY2(lchown(path.constData(), 0, 0) == 0 && chmod(path.constData(), 0644) == 0,
                 path.constData());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(kNoGroup, kNoGroup, kNoGroup) != 0 ||
            setresuid(kNobody, kNobody, kNobody) != 0) {
            std::fputs("could not become nobody\n", stderr);
            _exit(3);
        }
        body();
        std::fflush(stdout);
        _exit(QTest::currentTestFailed() ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    QVERIFY2(WIFEXITED(status), "the case as nobody ended by a signal");
    QCOMPARE(WEXITSTATUS(status), 0);
}

template <typename Body> void asOrdinaryUser(const QString &tree, Body body)
{
    asOrdinaryUser(tree, QStringList(), body);
}

} // namespace testsupport
