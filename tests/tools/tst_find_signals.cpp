// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// tarnwell-find stopped by SIGINT or SIGTERM while a helper is in the middle
// of a document: it exits 130 or 143, has printed the files found before that
// document, in the one-thread order, and leaves no helper behind, also when a
// second signal comes while it stops. A copy of tarnwell-find runs beside the
// test builds of the helpers, which sleep on a "%PDF-SLEEP" document until
// they are ended.

#include "search/SearchRun.h"
#include "tests/common/BesideTestHelpers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <csignal>

#include <sys/syscall.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// When the process started (in clock ticks since boot): with its pid, it names
// one process, whatever pid is reused later. Empty once it is gone.
QByteArray startTime(int pid)
{
    const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype name = stat.lastIndexOf(')'); // the command may hold spaces
    // Fields from the third (the state) on; the start time is the 22nd.
    return name < 0 ? QByteArray() : stat.mid(name + 2).split(' ').value(22 - 3);
}

// The children of every thread of process pid.
QList<int> childrenOf(qint64 pid)
{
    QList<int> pids;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const QByteArray &child :
             readAll(tasks.filePath(task) + QStringLiteral("/children")).simplified().split(' ')) {
            if (!child.isEmpty())
                pids << child.toInt();
        }
    }
    return pids;
}

// The test helper sleeps in clock_nanosleep once it has its document.
bool sleepsOnDocument(int pid)
{
    return readAll(QStringLiteral("/proc/%1/syscall").arg(pid)).split(' ').value(0).toInt() ==
           SYS_clock_nanosleep;
}

class Collect : public SearchObserver {
public:
    QList<QByteArray> files;
    void statusTextChanged(const QString &) override {}
    void fileListed(const FoundFile &file) override { files << file.nativePath.toByteArray(); }
    bool searchSubfolders() override { return true; }
    void fileMatched(const FoundFile &) override {}
};

} // namespace

class FindSignalsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void stopsAndLeavesNoHelper_data();
    void stopsAndLeavesNoHelper();
    void stopsWithoutHelpers_data();
    void stopsWithoutHelpers();

private:
    QTemporaryDir m_bin{QCoreApplication::applicationDirPath() +
                        QStringLiteral("/find-signals-XXXXXX")};
    QTemporaryDir m_tree;
    // The text files that match and come before the held document in the walk.
    QList<QByteArray> m_before;
};

void FindSignalsTest::initTestCase()
{
    QVERIFY(m_bin.isValid() && m_tree.isValid());
    QVERIFY(placeBesideTestHelpers(m_bin.path(), TARNWELL_FIND));

    const auto write = [&](const QString &name, const QByteArray &bytes) {
        QFile file(m_tree.filePath(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    for (const char *name : {"a.txt", "c.txt", "d.txt", "e.txt", "f.txt"})
        QVERIFY(write(QLatin1String(name), "a needle here\r\n"));
    QVERIFY(write(QStringLiteral("plain.txt"), "nothing\r\n"));
    QVERIFY(write(QStringLiteral("b.pdf"), "%PDF-SLEEP needle"));

    Collect walk;
    walkFolder(m_tree.path(), walk);
    for (const QByteArray &file : walk.files) {
        if (file.endsWith("b.pdf"))
            break;
        if (!file.endsWith("plain.txt"))
            m_before << file;
    }
}

void FindSignalsTest::stopsAndLeavesNoHelper_data()
{
    QTest::addColumn<QString>("threads");
    QTest::addColumn<QList<int>>("signals");
    QTest::addColumn<QList<int>>("statuses"); // any of them
    // On one thread every file before the held one has been reported when
    // its helper sleeps on it.
    QTest::newRow("SIGINT, -j 1") << u"1"_qs << QList<int>{SIGINT} << QList<int>{130};
    QTest::newRow("SIGTERM, -j 1") << u"1"_qs << QList<int>{SIGTERM} << QList<int>{143};
    QTest::newRow("SIGINT, -j 4") << u"4"_qs << QList<int>{SIGINT} << QList<int>{130};
    // The second one may come while the first is honoured (ended at once) or
    // after it (ignored as the program ends).
    QTest::newRow("SIGINT, then SIGTERM")
        << u"4"_qs << QList<int>{SIGINT, SIGTERM} << QList<int>{130, 143};
    QTest::newRow("SIGTERM twice") << u"1"_qs << QList<int>{SIGTERM, SIGTERM} << QList<int>{143};
}

void FindSignalsTest::stopsAndLeavesNoHelper()
{
    QFETCH(QString, threads);
    QFETCH(QList<int>, signals);
    QFETCH(QList<int>, statuses);

    QProcess find;
    find.start(m_bin.filePath(QStringLiteral("tarnwell-find")),
               {QStringLiteral("--documents"), QStringLiteral("-j"), threads,
                QStringLiteral("needle"), m_tree.path()});
    QVERIFY(find.waitForStarted());
    QList<QPair<int, QByteArray>> helpers; // pid and start time
    const auto cleanUp = qScopeGuard([&] {
        for (const auto &[pid, started] : helpers) {
            if (startTime(pid) == started)
                ::kill(pid, SIGKILL);
        }
        find.kill();
        find.waitForFinished();
    });

    // The helper has the held document: the run waits for it.
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QList<int> children = childrenOf(find.processId());
            return children.size() == 1 && sleepsOnDocument(children.front());
        },
        60000));
    for (const int pid : childrenOf(find.processId()))
        helpers.append({pid, startTime(pid)});
    QVERIFY(!helpers.isEmpty() && !helpers.front().second.isEmpty());

    for (const int signal : signals)
        QVERIFY(::kill(pid_t(find.processId()), signal) == 0);
    QVERIFY(find.waitForFinished(60000));
    QCOMPARE(find.exitStatus(), QProcess::NormalExit);
    QVERIFY2(statuses.contains(find.exitCode()), qPrintable(QString::number(find.exitCode())));
    QCOMPARE(find.readAllStandardError(), QByteArray());

    for (const auto &[pid, started] : helpers)
        QVERIFY2(startTime(pid) != started, qPrintable(QStringLiteral("helper %1 lives").arg(pid)));

    // What was printed: whole lines, and of the files before the held one, the
    // first in the walk's order (on several threads, a file settled just as
    // the stop came is not reported). A second signal that ends it at once
    // may leave the buffered lines unprinted.
    const QByteArray out = find.readAllStandardOutput();
    QVERIFY(out.isEmpty() || out.endsWith('\n'));
    const QList<QByteArray> printed =
        out.isEmpty() ? QList<QByteArray>() : out.chopped(1).split('\n');
    QVERIFY2(printed.size() <= m_before.size() && m_before.mid(0, printed.size()) == printed,
             out.constData());
    if (threads == u"1"_qs && signals.size() == 1)
        QCOMPARE(printed, m_before);
}

void FindSignalsTest::stopsWithoutHelpers_data()
{
    QTest::addColumn<QString>("threads");
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT, -j 1") << u"1"_qs << SIGINT;
    QTest::newRow("SIGTERM, -j 4") << u"4"_qs << SIGTERM;
}

void FindSignalsTest::stopsWithoutHelpers()
{
    // Documents and archives off: the signal is taken by a handler, with no
    // thread of its own. A sparse file of 1 TiB keeps the run reading; once it
    // is open, the signal must end the run within the next read.
    QFETCH(QString, threads);
    QFETCH(int, signal);
    QTemporaryDir tree;
    QVERIFY(tree.isValid());
    QFile big(tree.filePath(QStringLiteral("big.txt")));
    if (!big.open(QIODevice::WriteOnly) || !big.resize(qint64(1) << 40))
        QSKIP("no sparse file of 1 TiB here");
    big.close();

    QProcess find;
    find.start(m_bin.filePath(QStringLiteral("tarnwell-find")),
               {QStringLiteral("-j"), threads, QStringLiteral("needle"), tree.path()});
    QVERIFY(find.waitForStarted());
    const auto cleanUp = qScopeGuard([&] {
        find.kill();
        find.waitForFinished();
    });
    const QString fds = QStringLiteral("/proc/%1/fd").arg(find.processId());
    QVERIFY(QTest::qWaitFor(
        [&] {
            const QStringList links =
                QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
            return std::any_of(links.begin(), links.end(), [&](const QString &fd) {
                return QFile::symLinkTarget(fds + u'/' + fd).endsWith(u"/big.txt");
            });
        },
        60000));
    QVERIFY(::kill(pid_t(find.processId()), signal) == 0);
    // Reading the whole file would take minutes.
    QVERIFY(find.waitForFinished(60000));
    QCOMPARE(find.exitStatus(), QProcess::NormalExit);
    QCOMPARE(find.exitCode(), 128 + signal);
    QCOMPARE(find.readAllStandardError(), QByteArray());
    QCOMPARE(find.readAllStandardOutput(), QByteArray());
}

QTEST_GUILESS_MAIN(FindSignalsTest)
#include "tst_find_signals.moc"
