// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// End-to-end runs of tarnwell-find over a small fixed tree of code-page-932 files.

#include "resources/Texts.h"
#include "search/SearchRun.h"
#include "tests/common/DeepTree.h"
#include "tests/common/Limits.h"
#include "tests/common/Unprivileged.h"
#include "text/Cp932.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// childSetUp runs in the child between fork and exec (lowering a limit).
Result runFind(const QStringList &arguments, const std::function<void()> &childSetUp = {})
{
    QProcess process;
    if (childSetUp)
        process.setChildProcessModifier(childSetUp);
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
    void encodingModes();
    void keywordKeepsALeadingByteOrderMark();
    void folds();
    void specialEntriesDoNotStopIt();
    void folderThatCannotBeSearched();
    void version();
    void nullEndedPaths();
    void deeperThanThePathLimit();
    void nothingIsWritten();
    void unreadableThingsAreNamed();
    void leasedFileIsNamed();
    void shortOfDescriptors();
    void shortOfThreads();
    void shortOfAddressSpace();

private:
    // 40 folders deep, 75 files in each (3,000), every fourth holding the word.
    void buildDeepWideTree();
    QTemporaryDir m_deep{testsupport::fastTemporaryFolder()};
    QByteArray m_deepReference; // what -j 1 prints with the usual limits
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
    QTest::newRow("thread count with a letter after") << QStringList{"-j", "4x", "a", "b"};
    QTest::newRow("thread count over 64") << QStringList{"-j65", "a", "b"};
    QTest::newRow("no encoding") << QStringList{"a", "b", "-E"};
    QTest::newRow("unknown encoding") << QStringList{"-E", "utf8", "a", "b"};
    QTest::newRow("encoding in capitals") << QStringList{"--encoding=UTF-8", "a", "b"};
}

void TarnwellFindTest::usage()
{
    QFETCH(QStringList, arguments);
    const Result result = runFind(arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.out.isEmpty());
    QCOMPARE(result.err.count('\n'), 1);
    QVERIFY(result.err.startsWith("tarnwell-find: "));
    QVERIFY2(result.err.endsWith(" (try --help)\n"), result.err.constData()); // not a run's error
    if (arguments.join(' ').contains(QLatin1String("-E")) ||
        arguments.join(' ').contains(QLatin1String("--encoding")))
        QVERIFY2(result.err.contains("cp932, utf-8, euc-jp or auto"), result.err.constData());
}

// Each mode reads the same mixed folder its own way: the exit status and the
// files printed, in the folder's own order.
void TarnwellFindTest::encodingModes()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QByteArray settei = QStringLiteral("設定").toUtf8();
    const struct {
        const char *name;
        QByteArray bytes;
    } files[] = {
        {"cp932.txt", "\x90\xDD\x92\xE8 a\nb\r\n"},
        {"utf8.txt", settei + " a\nb\n"},
        {"bom.txt", "\xEF\xBB\xBF" + settei + "\xFF a\n"},
        {"utf16.txt", QByteArray("\xFF\xFE\x2D\x8A\x9A\x5B", 6)},
        {"yoshinoya.txt", QStringLiteral("𠮷野家 ¥100\n").toUtf8()},
        {"euc.txt", "\xC0\xDF\xC4\xEA\n"},
    };
    for (const auto &f : files) {
        QFile file(tmp.path() + '/' + f.name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(f.bytes);
    }
    auto listed = [&](const QStringList &names) {
        QByteArray out;
        const QStringList order = QDir(tmp.path()).entryList(QDir::Files, QDir::Unsorted);
        for (const QString &name : order) {
            if (names.contains(name))
                out += QFile::encodeName(tmp.path() + '/' + name) + '\n';
        }
        return out;
    };
    const QString word = QStringLiteral("設定");
    const QString two = QStringLiteral("設定 b");
    // A keyword that code page 932 (EUC-JP) cannot hold is named on standard
    // error, in cp932 (euc-jp) mode only; nothing else is said in any case.
    struct Case {
        QStringList arguments;
        QStringList expected;
        QByteArray said = {};
    };
    const QByteArray advice = "; try -E utf-8 or -E auto\n";
    const Case cases[] = {
        {{word, tmp.path()}, {"cp932.txt"}},
        {{"-E", "cp932", two, tmp.path()}, {"cp932.txt"}},
        {{"-E", "utf-8", word, tmp.path()}, {"utf8.txt", "bom.txt"}},
        {{"--encoding", "auto", word, tmp.path()},
         {"cp932.txt", "utf8.txt", "bom.txt", "utf16.txt", "euc.txt"}},
        {{"-E", "euc-jp", word, tmp.path()}, {"euc.txt"}},
        {{"-Eauto", two, tmp.path()}, {}},
        {{"--encoding=utf-8", "a", tmp.path()}, {"cp932.txt", "utf8.txt", "bom.txt"}},
        {{"𠮷野家", tmp.path()}, {}, QStringLiteral("𠮷 (U+20BB7)").toUtf8()},
        {{"-E", "cp932", "野家 ¥100", tmp.path()}, {}, QStringLiteral("¥ (U+00A5)").toUtf8()},
        {{"-E", "utf-8", "𠮷野家", tmp.path()}, {"yoshinoya.txt"}},
        {{"-E", "auto", "野家 ¥100", tmp.path()}, {"yoshinoya.txt"}},
        {{"-E", "euc-jp", "野家 ¥100", tmp.path()}, {}, QStringLiteral("¥ (U+00A5)").toUtf8()},
        {{"-E", "euc-jp", "€", tmp.path()}, {}, QStringLiteral("€ (U+20AC)").toUtf8()},
        {{"-E", "euc-jp", "©①", tmp.path()}, {}},
    };
    for (const Case &c : cases) {
        const Result result = runFind(c.arguments);
        QCOMPARE(result.exitCode, c.expected.isEmpty() ? 1 : 0);
        QCOMPARE(result.out, listed(c.expected));
        if (c.said.isEmpty()) {
            QCOMPARE(result.err, QByteArray());
        } else {
            QVERIFY2(result.err.startsWith("tarnwell-find: the keyword holds " + c.said) &&
                         result.err.endsWith(advice) && result.err.count('\n') == 1,
                     result.err.constData());
        }
    }
}

void TarnwellFindTest::folds()
{
    // The forms Japanese text writes one word in, each found only with its fold.
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const auto sjis = [](const QString &text) {
        QByteArray out;
        for (const QChar c : text)
            out += cp932::unitForms(c.unicode()).value(0);
        return out;
    };
    const struct {
        const char *name;
        QByteArray bytes;
    } files[] = {
        {"estimate.txt", sjis(u"２０２６年度の見積書を送付\r\n見積書と提出"_qs)},
        {"pdf.txt", u"ＰＤＦ形式の資料\n"_qs.toUtf8()},
        // Half-width katakana alone is often valid EUC-JP too (pairs of A1-DF
        // bytes), which auto weighs; the hiragana makes it code page 932 outright.
        {"kana.txt", sjis(u"ｶﾀｶﾅ, ﾃﾞｰﾀﾍﾞｰｽの一覧"_qs)},
        {"server.txt", u"サーバーの設定"_qs.toUtf8()},
        {"notes.txt", "Tarnwell Release Notes\n"},
    };
    for (const auto &f : files) {
        QFile file(tmp.path() + '/' + f.name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(f.bytes);
    }
    const struct {
        QStringList flags;
        QString keyword;
        const char *found; // or null
    } cases[] = {
        {{}, u"2026年度 見積書"_qs, nullptr},
        {{"--ignore-width"}, u"2026年度 見積書"_qs, "estimate.txt"},
        {{"--ignore-width"}, u"PDF 資料"_qs, "pdf.txt"},
        {{"-i"}, u"PDF 資料"_qs, nullptr},
        {{"--ignore-width"}, u"データベース"_qs, "kana.txt"},
        {{"--ignore-width", "--ignore-kana"}, u"かたかな"_qs, "kana.txt"},
        {{"--ignore-width"}, u"テ"_qs, nullptr},
        {{"--ignore-kana"}, u"さーばー 設定"_qs, "server.txt"},
        {{}, u"release notes"_qs, nullptr},
        {{"--ignore-case"}, u"release notes"_qs, "notes.txt"},
        {{}, u"見積書　提出"_qs, nullptr},
        {{"--ignore-width"}, u"見積書　提出"_qs, "estimate.txt"},
    };
    for (const auto &c : cases) {
        const Result result =
            runFind(QStringList{"-E", "auto"} + c.flags + QStringList{c.keyword, tmp.path()});
        QCOMPARE(result.exitCode, c.found ? 0 : 1);
        QCOMPARE(result.out,
                 c.found ? QFile::encodeName(tmp.path() + '/' + c.found) + '\n' : QByteArray());
        // A full-width space is named when it kept the keyword one word.
        QCOMPARE(result.err.contains("full-width space (U+3000)"),
                 !c.found && c.keyword.contains(QChar(0x3000)));
    }
}

void TarnwellFindTest::keywordKeepsALeadingByteOrderMark()
{
    // U+FEFF first in the keyword is part of it; a file's own mark is not text.
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const struct {
        const char *name;
        QByteArray bytes;
    } files[] = {
        {"marked.txt", "\xEF\xBB\xBF"
                       "AB\n"},
        {"inner.txt", "x\xEF\xBB\xBF"
                      "AB\n"},
        {"plain.txt", "AB\n"},
        {"utf16.txt", QByteArray("\xFF\xFE\xFF\xFE"
                                 "A\0B\0",
                                 8)},
    };
    for (const auto &f : files) {
        QFile file(tmp.path() + '/' + f.name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(f.bytes);
    }
    const QString ab = QStringLiteral("\uFEFFAB"), mark = QStringLiteral("\uFEFF");
    struct Case {
        QStringList arguments;
        QStringList expected;
    };
    const Case cases[] = {
        {{"-E", "utf-8", ab}, {"inner.txt"}},
        {{"-E", "auto", ab}, {"inner.txt", "utf16.txt"}},
        {{"-E", "auto", mark}, {"inner.txt", "utf16.txt"}},
        {{"-E", "cp932", ab}, {}},
        {{"-E", "cp932", mark}, {}},
    };
    for (const Case &c : cases) {
        const Result result = runFind(c.arguments + QStringList{tmp.path()});
        QStringList names;
        for (const QByteArray &line : result.out.split('\n')) {
            if (!line.isEmpty())
                names << QFileInfo(QFile::decodeName(line)).fileName();
        }
        names.sort();
        QCOMPARE(names, c.expected);
        QCOMPARE(result.exitCode, c.expected.isEmpty() ? 1 : 0);
    }
}

void TarnwellFindTest::help()
{
    const Result result = runFind({"--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.startsWith(
        "Usage: tarnwell-find [-r] [-s] [-j N] [-E MODE] [-0] [--documents] [-z] [-i]\n"
        "                     [--ignore-width] [--ignore-kana] KEYWORD FOLDER\n"));
    for (const char *option : {"-0, --null", "--version", "--help", "-r", "-j N",
                               "-s, --no-messages", "-E MODE, --encoding MODE", "auto",
                               "-i, --ignore-case", "--ignore-width", "--ignore-kana"})
        QVERIFY2(result.out.contains(option), option);
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

void TarnwellFindTest::folderThatCannotBeSearched()
{
    // A message a shell user sees, and status 2, never "nothing found" (1).
    const QString missing = m_tree.path() + "/no/such/folder";
    const QString file = m_tree.path() + "/crlf.txt";
    const struct {
        QStringList arguments;
        QByteArray message;
    } cases[] = {
        {{"-r", "alpha", missing}, QFile::encodeName(missing) + ": no such folder\n"},
        {{"alpha", file}, QFile::encodeName(file) + ": not a folder\n"},
        {{"", file + "/"}, QFile::encodeName(file) + "/: not a folder\n"},
    };
    for (const auto &c : cases) {
        const Result result = runFind(c.arguments);
        QCOMPARE(result.exitCode, 2);
        QVERIFY(result.out.isEmpty());
        QCOMPARE(result.err, "tarnwell-find: " + c.message);
    }

    QTemporaryDir tmp;
    QVERIFY(QDir().mkpath(tmp.path() + "/locked"));
    QFile inside(tmp.path() + "/locked/alpha.txt");
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.write("alpha");
    inside.close();
    testsupport::asOrdinaryUser(tmp.path(), [&] {
        QVERIFY(QFile::setPermissions(tmp.path() + "/locked", QFileDevice::Permissions()));
        const Result locked = runFind({"alpha", tmp.path() + "/locked"});
        QCOMPARE(locked.exitCode, 2);
        QVERIFY(locked.out.isEmpty());
        QVERIFY2(locked.err.startsWith("tarnwell-find: " + QFile::encodeName(tmp.path()) +
                                       "/locked: cannot be listed: "),
                 locked.err.constData());
        QCOMPARE(locked.err.count('\n'), 1);
        // Below the folder searched, an unreadable folder is skipped and named;
        // nothing found while something could not be searched is status 2.
        const Result below = runFind({"-r", "alpha", tmp.path()});
        QCOMPARE(below.exitCode, 2);
        QVERIFY(below.out.isEmpty());
        QCOMPARE(below.err, "tarnwell-find: " + QFile::encodeName(tmp.path()) +
                                "/locked/: " + std::strerror(EACCES) + "\n");
    });
}

void TarnwellFindTest::version()
{
    const Result result = runFind({"--version"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(QString::fromUtf8(result.out), "tarnwell-find " + texts::versionLine + "\n");
    QVERIFY(result.out.contains("2.10"));
}

void TarnwellFindTest::nullEndedPaths()
{
    // A name holding a newline comes out whole with -0, in the same order.
    QTemporaryDir tmp;
    const QByteArray odd = QFile::encodeName(tmp.path()) + "/two\nlines.txt";
    for (const QByteArray &path : {odd, QFile::encodeName(tmp.path()) + "/plain.txt"}) {
        FILE *file = fopen(path.constData(), "wb");
        QVERIFY(file);
        fputs("needle", file);
        fclose(file);
    }
    Collect collect(true);
    runSearch(tmp.path(), QStringLiteral("needle"), collect);
    for (const char *option : {"-0", "--null"}) {
        const Result result = runFind({option, "needle", tmp.path()});
        QCOMPARE(result.exitCode, 0);
        QByteArray expected = collect.lines;
        expected.replace(".txt\n", QByteArray(".txt\0", 5));
        QCOMPARE(result.out, expected);
        QCOMPARE(result.out.count('\0'), 2);
        QVERIFY(result.out.contains(odd + '\0'));
    }
}

void TarnwellFindTest::deeperThanThePathLimit()
{
    QTemporaryDir tmp(testsupport::fastTemporaryFolder());
    const QByteArray root = QFile::encodeName(tmp.path());
    const QByteArray deep = testsupport::buildDeepTree(root, 3000, "deep.txt", "alpha beta\r\n");
    QVERIFY(deep.size() > 6000);
    const Result result = runFind({"-r", "beta alpha", tmp.path()});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, deep + '\n');
    QVERIFY(result.err.isEmpty());
    QVERIFY(testsupport::emptyFolder(root));
}

namespace {

struct FileState {
    QByteArray sha;
    qint64 size = 0;
    timespec mtime{};
    timespec atime{};
};

bool operator==(const timespec &a, const timespec &b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

QMap<QString, FileState> treeState(const QString &root)
{
    QMap<QString, FileState> states;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        FileState state;
        struct stat st;
        if (stat(QFile::encodeName(path).constData(), &st) != 0)
            continue;
        state.size = st.st_size;
        state.mtime = st.st_mtim;
        state.atime = st.st_atim;
        // Read through O_NOATIME too, so that taking the state changes nothing.
        const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NOATIME);
        QFile file;
        if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            state.sha = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
        states.insert(path, state);
    }
    return states;
}

// Sets the access time well before the modification time: a plain read on a
// relatime volume then updates it, so a search that touched it would show.
void ageAccessTime(const QString &path)
{
    struct stat st;
    QCOMPARE(stat(QFile::encodeName(path).constData(), &st), 0);
    timespec times[2] = {st.st_mtim, st.st_mtim};
    times[0].tv_sec -= 3 * 24 * 3600;
    QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

} // namespace

void TarnwellFindTest::nothingIsWritten()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    const QStringList names{"a.txt", "sub/b.txt", "sub/deeper/.c", "long.txt", "control.txt"};
    for (const QString &name : names) {
        QDir().mkpath(QFileInfo(root + "/" + name).path());
        QFile file(root + "/" + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(name == "long.txt" ? QByteArray(1 << 20, 'y') + "\r\nalpha beta"
                                      : QByteArray("alpha\r\nbeta alpha\r\n"));
    }
    for (const QString &name : names)
        ageAccessTime(root + "/" + name);

    // Does a plain read show in the access time here (not on noatime volumes)?
    const QString control = root + "/control.txt";
    struct stat before;
    QCOMPARE(stat(QFile::encodeName(control).constData(), &before), 0);
    {
        QFile file(control);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(!file.readAll().isEmpty());
    }
    struct stat after;
    QCOMPARE(stat(QFile::encodeName(control).constData(), &after), 0);
    const bool readsShow = !(after.st_atim == before.st_atim);
    ageAccessTime(control);

    const QMap<QString, FileState> start = treeState(root);
    QCOMPARE(start.size(), names.size());
    for (const char *keyword : {"beta alpha", "absent", "y"}) {
        Collect collect(true);
        runSearch(root, QString::fromUtf8(keyword), collect);
        const Result result = runFind({"-r", keyword, root});
        QVERIFY(result.exitCode == 0 || result.exitCode == 1);
    }
    const QMap<QString, FileState> end = treeState(root);
    QCOMPARE(end.keys(), start.keys());
    for (auto it = start.cbegin(); it != start.cend(); ++it) {
        const FileState &now = end[it.key()];
        QCOMPARE(now.sha, it->sha);
        QCOMPARE(now.size, it->size);
        QVERIFY2(now.mtime == it->mtime, qPrintable(it.key()));
        if (readsShow)
            QVERIFY2(now.atime == it->atime, qPrintable(it.key()));
    }
    if (!readsShow)
        qInfo("reads do not change access times on this volume: access times not compared");
}

void TarnwellFindTest::unreadableThingsAreNamed()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QVERIFY(QDir().mkpath(root + "/sub"));
    for (const char *name : {"/open.txt", "/locked.txt", "/sub/inside.txt"}) {
        QFile file(root + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("needle\r\n");
    }
    const QByteArray base = QFile::encodeName(root);
    const QByteArray lockedFile =
        "tarnwell-find: " + base + "/locked.txt: " + std::strerror(EACCES) + "\n";
    const QByteArray lockedFolder =
        "tarnwell-find: " + base + "/sub/: " + std::strerror(EACCES) + "\n";
    testsupport::asOrdinaryUser(root, [&] {
        QVERIFY(QFile::setPermissions(root + "/locked.txt", QFileDevice::Permissions()));
        QVERIFY(QFile::setPermissions(root + "/sub", QFileDevice::Permissions()));
        for (const char *jobs : {"1", "4"}) {
            // Something found: status 0, and what could not be read is named.
            Result result = runFind({"-j", jobs, "-r", "needle", root});
            QCOMPARE(result.exitCode, 0);
            QCOMPARE(result.out, base + "/open.txt\n");
            QVERIFY2(result.err.contains(lockedFile), result.err.constData());
            QVERIFY2(result.err.contains(lockedFolder), result.err.constData());
            QCOMPARE(result.err.count('\n'), 2);
            // Nothing found while something failed: status 2, never 1.
            result = runFind({"-j", jobs, "-r", "absent", root});
            QCOMPARE(result.exitCode, 2);
            QCOMPARE(result.err.count('\n'), 2);
            for (const char *quiet : {"-s", "--no-messages"}) {
                result = runFind({quiet, "-j", jobs, "-r", "absent", root});
                QCOMPARE(result.exitCode, 2);
                QVERIFY(result.err.isEmpty());
                result = runFind({quiet, "-j", jobs, "-r", "needle", root});
                QCOMPARE(result.exitCode, 0);
                QVERIFY(result.err.isEmpty());
            }
        }
        QVERIFY(QFile::setPermissions(root + "/locked.txt", QFileDevice::ReadOwner));
        QVERIFY(QFile::setPermissions(root + "/sub", QFileDevice::ReadOwner |
                                                         QFileDevice::WriteOwner |
                                                         QFileDevice::ExeOwner));
        // Nothing found and nothing failed: status 1, and not a word.
        const Result none = runFind({"-r", "absent", root});
        QCOMPARE(none.exitCode, 1);
        QVERIFY(none.err.isEmpty());
    });
}

void TarnwellFindTest::leasedFileIsNamed()
{
    // Another process holds a lease on the file (as NFS delegations and Samba
    // oplocks do): opening it fails at once with EAGAIN, which is said, not
    // taken for "no match".
    QTemporaryDir tmp(testsupport::fastTemporaryFolder());
    const QString path = tmp.path() + "/leased.txt";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("needle\r\n");
    }
    // Breaking the lease signals its holder, this process, with SIGIO.
    const auto previous = signal(SIGIO, SIG_IGN);
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    if (fcntl(fd, F_SETLEASE, F_WRLCK) != 0) {
        const int error = errno;
        close(fd);
        signal(SIGIO, previous);
        QSKIP(qPrintable(QStringLiteral("no lease here: %1").arg(strerror(error))));
    }
    const Result leased = runFind({"needle", tmp.path()});
    fcntl(fd, F_SETLEASE, F_UNLCK);
    close(fd);
    signal(SIGIO, previous);
    QCOMPARE(leased.exitCode, 2);
    QVERIFY(leased.out.isEmpty());
    QCOMPARE(leased.err,
             "tarnwell-find: " + QFile::encodeName(path) + ": " + std::strerror(EAGAIN) + "\n");
    const Result free = runFind({"needle", tmp.path()});
    QCOMPARE(free.exitCode, 0);
    QCOMPARE(free.out, QFile::encodeName(path) + "\n");
}

void TarnwellFindTest::buildDeepWideTree()
{
    if (!m_deepReference.isEmpty())
        return;
    QVERIFY(m_deep.isValid());
    int fd = open(QFile::encodeName(m_deep.path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (int level = 0; fd >= 0 && level < 40; ++level) {
        for (int i = 0; i < 75; ++i) {
            const QByteArray name = "f" + QByteArray::number(i) + ".txt";
            QVERIFY(testsupport::writeFileAt(fd, name.constData(),
                                             i % 4 == 0 ? "hay\r\nneedle\r\n" : "hay\r\n"));
        }
        const int next =
            mkdirat(fd, "d", 0755) == 0 ? openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
        close(fd);
        fd = next;
    }
    QVERIFY(fd >= 0);
    close(fd);
    const Result reference = runFind({"-j", "1", "-r", "needle", m_deep.path()});
    QCOMPARE(reference.exitCode, 0);
    QCOMPARE(reference.out.count('\n'), 40 * 19);
    m_deepReference = reference.out;
}

void TarnwellFindTest::shortOfDescriptors()
{
    // With few descriptors (soft and hard limit alike, as `ulimit -n` sets
    // them) the run prints exactly the one-thread run's list, or says it could
    // not complete and exits 2: never a shorter list with status 0.
    buildDeepWideTree();
    const QStringList jobs[] = {{"-j", "1"}, {}, {"-j", "64"}};
    for (const rlim_t limit : {rlim_t(24), rlim_t(16), rlim_t(12), rlim_t(8)}) {
        for (const QStringList &j : jobs) {
            const Result result = runFind(j + QStringList{"-r", "needle", m_deep.path()}, [limit] {
                testsupport::lowerLimit(RLIMIT_NOFILE, limit);
            });
            const QString where = QStringLiteral("limit %1, %2: exit %3, %4")
                                      .arg(limit)
                                      .arg(j.join(' '))
                                      .arg(result.exitCode)
                                      .arg(QString::fromUtf8(result.err));
            if (result.exitCode == 2) {
                QVERIFY2(limit < 24, qPrintable(where)); // the target: complete at 24
                QVERIFY2(result.err.contains("could not be completed"), qPrintable(where));
                continue;
            }
            QVERIFY2(result.exitCode == 0, qPrintable(where));
            QVERIFY2(result.out == m_deepReference, qPrintable(where));
            QVERIFY2(result.err.isEmpty(), qPrintable(where));
        }
    }
}

void TarnwellFindTest::shortOfThreads()
{
    // As an ordinary user whose process limit leaves no thread (1) or a few
    // (3): the run goes on with the threads it got, the calling one at least.
    buildDeepWideTree();
    QVERIFY(testsupport::giveToNobody(m_deep.path()));
#if defined(__SANITIZE_ADDRESS__)
    // LeakSanitizer checks for leaks at exit on a thread of its own, which the
    // lowered process limit refuses: a fatal error that is not the program's.
    const QByteArray asanOptions = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", asanOptions + ":detect_leaks=0");
    const auto restore = qScopeGuard([asanOptions] { qputenv("ASAN_OPTIONS", asanOptions); });
#endif
    for (const rlim_t processes : {rlim_t(1), rlim_t(3)}) {
        for (const QStringList &j : {QStringList{}, QStringList{"-j", "64"}}) {
            const Result result =
                runFind(j + QStringList{"-r", "needle", m_deep.path()}, [processes] {
                    if (!testsupport::becomeNobodyIfRoot() ||
                        !testsupport::lowerLimit(RLIMIT_NPROC, processes))
                        _exit(99);
                });
            const QString where = QStringLiteral("%1 processes, %2: exit %3, %4")
                                      .arg(processes)
                                      .arg(j.join(' '))
                                      .arg(result.exitCode)
                                      .arg(QString::fromUtf8(result.err));
            QVERIFY2(result.exitCode == 0, qPrintable(where));
            QVERIFY2(result.out == m_deepReference, qPrintable(where));
        }
    }
}

void TarnwellFindTest::shortOfAddressSpace()
{
    // Too little address space for 64 threads' stacks and blocks (`ulimit -v`):
    // the run goes on with the threads that fit, and gives the same list.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("a sanitizer's shadow memory does not fit in a lowered address space");
#endif
    buildDeepWideTree();
    for (const rlim_t mib : {100, 130, 160, 200, 250, 300}) {
        const Result result = runFind({"-j", "64", "-r", "needle", m_deep.path()},
                                      [mib] { testsupport::lowerLimit(RLIMIT_AS, mib << 20); });
        const QString where = QStringLiteral("%1 MiB: exit %2, %3")
                                  .arg(mib)
                                  .arg(result.exitCode)
                                  .arg(QString::fromUtf8(result.err));
        // Fewer threads start where their stacks would leave too little room.
        QVERIFY2(result.exitCode == 0, qPrintable(where));
        QVERIFY2(result.out == m_deepReference, qPrintable(where));
    }
}

QTEST_GUILESS_MAIN(TarnwellFindTest)
#include "tst_tarnwell_find.moc"
