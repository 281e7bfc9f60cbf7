// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// End-to-end runs of tarnwell-find over a small fixed tree of code-page-932 files.

#include "SearchRun.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result runFind(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral(TARNWELL_FIND), arguments);
    Result result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

// The matches as the window's result list would get them, through the same engine.
class Collect : public SearchObserver {
public:
    explicit Collect(bool subfolders) : m_subfolders(subfolders) {}
    QByteArray lines;
    void statusTextChanged(const QString &) override {}
    void fileListed(const FoundFile &) override {}
    bool searchSubfolders() override { return m_subfolders; }
    void fileMatched(const FoundFile &file) override
    {
        lines += file.nativePath.toByteArray() + '\n';
    }

private:
    bool m_subfolders;
};

} // namespace

class TarnwellFindTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void golden_data();
    void golden();
    void agreesWithTheWindowsList();
    void usage_data();
    void usage();
    void help();
    void specialEntriesDoNotStopIt();

private:
    void write(const QString &relative, const QByteArray &bytes)
    {
        const QString path = m_tree.path() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QTemporaryDir m_tree;
};

void TarnwellFindTest::initTestCase()
{
    QVERIFY(m_tree.isValid());
    write("katakana.txt", "\x83\x41\x83\x8B\x83\x74\x83\x40\r\n"); // アルファ
    write("crlf.txt", "alpha\r\nbeta\r\n");
    write("d1/lf.txt", "alpha\nbeta\n");
    write("d1/hyou.txt", "\x95\x5C\x8E\xA6"); // 表示
    write("d1/d2/path.txt", "C:\\tarnwell\r\n");
    write("d1/d2/case.txt", "ALPHA BETA");
    write("nec.txt", "\x87\x90");                // ≒, NEC row 13 form
    write("d3/jis.txt", "x\r\n\x81\xE0");        // ≒, JIS form
    write("d3/ibm.txt", "\xFA\x5C");             // 纊, IBM form
    write("d3/.hidden", "secret\x81\x40word\r"); // full-width space
    write("d3/half.txt", "secret word");
    write("d3/dash.txt", "-flag");
    write("d3/long.txt", QByteArray(300000, 'y') + "needle" + QByteArray(300000, 'y'));
}

void TarnwellFindTest::golden_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("expected"); // relative paths; order-free when several
    QTest::addColumn<int>("exitCode");

    QTest::newRow("katakana A holds no A") << QStringList{"A"} << QStringList{} << 1;
    QTest::newRow("katakana word")
        << QStringList{"-r", "アルファ"} << QStringList{"katakana.txt"} << 0;
    QTest::newRow("backslash only where it is a character")
        << QStringList{"-r", "\\"} << QStringList{"d1/d2/path.txt"} << 0;
    QTest::newRow("kanji whose trail byte is a backslash")
        << QStringList{"-r", "表示"} << QStringList{"d1/hyou.txt"} << 0;
    QTest::newRow("two words, lone LF keeps one line")
        << QStringList{"-r", "beta alpha"} << QStringList{"d1/lf.txt"} << 0;
    QTest::newRow("not below without -r") << QStringList{"beta alpha"} << QStringList{} << 1;
    QTest::newRow("case differs") << QStringList{"-r", "ALPHA"} << QStringList{"d1/d2/case.txt"}
                                  << 0;
    QTest::newRow("either byte form")
        << QStringList{"-r", "≒"} << QStringList{"nec.txt", "d3/jis.txt"} << 0;
    QTest::newRow("either byte form, not below") << QStringList{"≒"} << QStringList{"nec.txt"} << 0;
    QTest::newRow("IBM kanji holds no backslash")
        << QStringList{"-r", "纊 \\"} << QStringList{} << 1;
    QTest::newRow("hidden file, full-width space")
        << QStringList{"-r", "secret　word"} << QStringList{"d3/.hidden"} << 0;
    QTest::newRow("half-width space splits")
        << QStringList{"-r", "word secret"} << QStringList{"d3/.hidden", "d3/half.txt"} << 0;
    QTest::newRow("keyword after --")
        << QStringList{"-r", "--", "-flag"} << QStringList{"d3/dash.txt"} << 0;
    QTest::newRow("word in a long line without CR")
        << QStringList{"-r", "yneedley"} << QStringList{"d3/long.txt"} << 0;
    QTest::newRow("empty keyword lists nothing") << QStringList{"-r", ""} << QStringList{} << 1;
}

void TarnwellFindTest::golden()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, expected);
    QFETCH(int, exitCode);
    const Result result = runFind(arguments << m_tree.path());
    QCOMPARE(result.exitCode, exitCode);
    QVERIFY(result.err.isEmpty());
    QStringList got = QString::fromUtf8(result.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (QString &path : expected)
        path = m_tree.path() + QLatin1Char('/') + path;
    got.sort();
    expected.sort();
    QCOMPARE(got, expected);
    QVERIFY(result.out.isEmpty() || result.out.endsWith('\n'));
}

void TarnwellFindTest::agreesWithTheWindowsList()
{
    // Many matches: the printed order is the engine's walk order, byte for byte,
    // including a file name that is not valid UTF-8.
    const QByteArray odd = QFile::encodeName(m_tree.path()) + "/d1/\xff-odd.txt";
    FILE *file = fopen(odd.constData(), "wb");
    QVERIFY(file);
    fputs("y", file);
    fclose(file);
    for (bool recurse : {true, false}) {
        Collect collect(recurse);
        runSearch(m_tree.path(), QStringLiteral("y"), collect);
        // Any thread count prints the same, in the same order.
        for (const QStringList &threads :
             {QStringList{}, QStringList{"-j", "1"}, QStringList{"-j3"}, QStringList{"-j", "64"}}) {
            QStringList arguments = threads + QStringList{"y", m_tree.path()};
            if (recurse)
                arguments.prepend("-r");
            const Result result = runFind(arguments);
            QCOMPARE(result.exitCode, collect.lines.isEmpty() ? 1 : 0);
            QCOMPARE(result.out, collect.lines);
            QCOMPARE(result.out.contains(odd + '\n'), recurse);
        }
    }
    unlink(odd.constData());
}

void TarnwellFindTest::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("keyword only") << QStringList{"word"};
    QTest::newRow("three arguments") << QStringList{"a", "b", "c"};
    QTest::newRow("unknown option") << QStringList{"-x", "a", "b"};
    QTest::newRow("no thread count") << QStringList{"a", "b", "-j"};
    QTest::newRow("thread count 0") << QStringList{"-j", "0", "a", "b"};
    QTest::newRow("thread count not a number") << QStringList{"-jx", "a", "b"};
    QTest::newRow("thread count over 64") << QStringList{"-j65", "a", "b"};
}

void TarnwellFindTest::usage()
{
    QFETCH(QStringList, arguments);
    const Result result = runFind(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.out.isEmpty());
    QCOMPARE(result.err.count('\n'), 1);
    QVERIFY(result.err.startsWith("tarnwell-find: "));
}

void TarnwellFindTest::help()
{
    const Result result = runFind({"--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith("Usage: tarnwell-find [-r] [-j N] KEYWORD FOLDER\n"));
}

void TarnwellFindTest::specialEntriesDoNotStopIt()
{
    QTemporaryDir tmp;
    QVERIFY(QDir().mkpath(tmp.path() + "/sub"));
    QCOMPARE(mkfifo(QFile::encodeName(tmp.path() + "/sub/fifo").constData(), 0600), 0);
    QVERIFY(QFile::link(tmp.path(), tmp.path() + "/sub/loop"));
    QFile plain(tmp.path() + "/sub/plain.txt");
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("z");
    plain.close();
    const Result result = runFind({"-r", "z", tmp.path()});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, QFile::encodeName(tmp.path() + "/sub/plain.txt\n"));
}

QTEST_GUILESS_MAIN(TarnwellFindTest)
#include "tst_tarnwell_find.moc"
