// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The parallel run against the one-thread run: on generated trees (thousands of
// files built from code-page-932 traps and the words, files that vanish or stop
// being regular files while the walk goes on, folders reached twice through
// links), every observer event, in order, must be the same for any worker
// count, window and block size.

#include "Limits.h"
#include "RandomBytes.h"
#include "ReferenceMatcher.h"
#include "SearchRun.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Bytes weighted towards what trips a code-page-932 matcher, with the words'
// forms mixed in.
QByteArray randomBytes(QRandomGenerator &rng, qsizetype length)
{
    static const QList<QByteArray> pieces{
        "quill",    "amber",    "A",        "\\",       "\x83\x41", "\x83\x5C", "\x95\x5C",
        "\x81\x45", "\x85\x40", "\x81\xE0", "\x87\x90", "\x81\xE6", "\x87\x9A", "\xFA\x5B",
        "\xED\x40", "\xFA\x5C", "\xB1",     "\x81\x40", "\xFD",     "\r\n",     "qu"};
    return randomBytes(rng, pieces, length);
}

// What happens to a file when the walk lists it.
enum class Fate { Stays, Vanishes, BecomesFifo, BecomesFolder, LosesPermission };

struct FateFile {
    QString name;
    QByteArray bytes;
};

struct Tree {
    QTemporaryDir dir;
    QHash<QString, Fate> fates; // by name
    // Folders holding the files with a fate, rebuilt alike before each run.
    QList<std::pair<QString, QList<FateFile>>> fateFolders;

    void resetFates()
    {
        for (const auto &[folder, files] : fateFolders) {
            QDir(folder).removeRecursively();
            QVERIFY(QDir().mkdir(folder));
            for (const FateFile &f : files) {
                QFile file(folder + QLatin1Char('/') + f.name);
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write(f.bytes);
            }
        }
    }
};

// Builds a tree from a seed: `files` files in nested folders (those with a
// fate in folders of their own), a link to a sibling folder (its files are listed twice) and a link
// back up (never entered again).
void buildTree(Tree &tree, quint32 seed, int files)
{
    QRandomGenerator rng(seed);
    const QString root = tree.dir.path();
    QStringList folders{root};
    for (int i = 0; i < files; ++i) {
        if (rng.bounded(40) == 0) {
            const QString parent = folders[rng.bounded(folders.size())];
            const QString folder = parent + QStringLiteral("/d%1").arg(i);
            QVERIFY(QDir().mkdir(folder));
            folders << folder;
        }
        const qsizetype length = rng.bounded(10) == 0 ? rng.bounded(4000) : rng.bounded(300);
        const QByteArray bytes = randomBytes(rng, length);
        const QString name = QStringLiteral("f%1").arg(i);
        if (rng.bounded(40) == 0) {
            static const Fate fates[] = {Fate::Vanishes, Fate::BecomesFifo, Fate::BecomesFolder,
                                         Fate::LosesPermission};
            tree.fates.insert(name, fates[rng.bounded(4)]);
            if (tree.fateFolders.size() < 3 || rng.bounded(4) == 0) {
                const QString parent = folders[rng.bounded(folders.size())];
                tree.fateFolders.append({parent + QStringLiteral("/fates%1").arg(i), {}});
            }
            tree.fateFolders[rng.bounded(tree.fateFolders.size())].second.append({name, bytes});
            continue;
        }
        QFile file(folders[rng.bounded(folders.size())] + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    if (folders.size() > 2) {
        QVERIFY(QFile::link(folders[1], folders.last() + QStringLiteral("/again")));
        QVERIFY(QFile::link(root, folders[1] + QStringLiteral("/up")));
    }
}

// Every event, in order, with the tree's root replaced so that two trees built
// alike compare equal. The file's fate strikes when it is listed.
class Recorder : public SearchObserver {
public:
    Recorder(const Tree &tree) : m_tree(tree), m_root(tree.dir.path()) {}

    QStringList events;
    QStringList listed;
    QStringList matched;

    void statusTextChanged(const QString &text) override { events << "status " + strip(text); }
    void workListCleared() override { events << QStringLiteral("work list cleared"); }
    void fileListed(const FoundFile &file) override
    {
        const QString path = file.path();
        events << "listed " + strip(path);
        listed << path;
        const QByteArray native = file.nativePath.toByteArray();
        switch (m_tree.fates.value(QFileInfo(path).fileName(), Fate::Stays)) {
        case Fate::Stays:
            break;
        case Fate::Vanishes:
            QFile::remove(path);
            break;
        case Fate::BecomesFifo:
            QFile::remove(path);
            mkfifo(native.constData(), 0600);
            break;
        case Fate::BecomesFolder:
            QFile::remove(path);
            QDir().mkdir(path);
            break;
        case Fate::LosesPermission: // unreadable unless the tests run as root
            chmod(native.constData(), 0);
            break;
        }
    }
    bool searchSubfolders() override
    {
        // Asked afresh each time: every seventh answer is no.
        ++m_questions;
        events << QStringLiteral("asked");
        return m_questions % 7 != 0;
    }
    void viewerCleared() override { events << QStringLiteral("viewer cleared"); }
    void resultsCleared() override { events << QStringLiteral("results cleared"); }
    void fileMatched(const FoundFile &file) override
    {
        matched << file.path();
        events << "matched " + strip(file.path());
    }
    void nothingFound() override { events << QStringLiteral("nothing found"); }
    void cannotRead(const FoundFile &path, int error, bool brokenOff) override
    {
        events << QStringLiteral("cannot read %1 %2 %3")
                      .arg(strip(path.path()))
                      .arg(error)
                      .arg(brokenOff);
    }
    void runFailed(int error) override { events << QStringLiteral("failed %1").arg(error); }
    void runEnded(bool keywordEmpty, qsizetype matches) override
    {
        events << QStringLiteral("ended %1 %2").arg(keywordEmpty).arg(matches);
    }

private:
    QString strip(QString text) const { return text.replace(m_root, QStringLiteral("<root>")); }

    const Tree &m_tree;
    QString m_root;
    int m_questions = 0;
};

struct Run {
    QStringList events;
    QStringList listed;
    QStringList matched;
};

Run runOnce(Tree &tree, const QString &keyword, const SearchOptions &options)
{
    tree.resetFates();
    Recorder recorder(tree);
    runSearch(tree.dir.path(), keyword, recorder, options);
    return Run{recorder.events, recorder.listed, recorder.matched};
}

} // namespace

class ParallelRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void sameEventsAsOneThread_data();
    void sameEventsAsOneThread();
    void oneThreadRunIsRight();
    void windowOfOneAndManyWorkers();
    void threadsThatCannotStart();
    void cleanupTestCase();

private:
    Tree m_tree;
    quint32 m_seed = 0;
};

void ParallelRunTest::initTestCase()
{
    m_seed = QRandomGenerator::global()->generate();
    if (qEnvironmentVariableIsSet("TARNWELL_SEED"))
        m_seed = qEnvironmentVariable("TARNWELL_SEED").toUInt();
    qInfo("tree seed %u (set TARNWELL_SEED to repeat)", m_seed);
    buildTree(m_tree, m_seed, 3000);
}

void ParallelRunTest::cleanupTestCase()
{
    // Leave nothing the temporary folder cannot remove.
    for (const auto &[folder, files] : m_tree.fateFolders) {
        for (const FateFile &f : files)
            chmod(QFile::encodeName(folder + QLatin1Char('/') + f.name).constData(), 0600);
    }
}

void ParallelRunTest::sameEventsAsOneThread_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("ASCII word") << QStringLiteral("quill");
    QTest::newRow("two words") << QStringLiteral("amber A");
    QTest::newRow("word with a trap") << QStringLiteral("ア\\");
    QTest::newRow("only several byte forms") << QStringLiteral("≒");
    QTest::newRow("middle dot") << QStringLiteral("・");
    QTest::newRow("never matches") << QStringLiteral("quill ¥");
    QTest::newRow("empty keyword") << QStringLiteral("  ");
}

// Each parallel run against the one-thread run over a tree built from the same
// seed, for several worker counts, windows and block sizes.
void ParallelRunTest::sameEventsAsOneThread()
{
    QFETCH(QString, keyword);

    struct Config {
        int workers;
        int window;
        qsizetype block;
    };
    static const Config configs[] = {{2, 0, 256 * 1024}, {3, 1, 7}, {8, 2, 3}, {4, 0, 1}};
    SearchOptions reference;
    reference.workers = 1;
    reference.blockSize = 5;
    const Run one = runOnce(m_tree, keyword, reference);
    QVERIFY(one.listed.size() > 300); // the walk went into folders
    for (const Config &config : configs) {
        SearchOptions options;
        options.workers = config.workers;
        options.window = config.window;
        options.blockSize = config.block;
        const Run many = runOnce(m_tree, keyword, options);
        const QString where = QStringLiteral("seed %1, %2 workers, window %3, block %4")
                                  .arg(m_seed)
                                  .arg(config.workers)
                                  .arg(config.window)
                                  .arg(config.block);
        QCOMPARE(many.events.size(), one.events.size());
        for (qsizetype i = 0; i < one.events.size(); ++i) {
            if (many.events[i] != one.events[i])
                QFAIL(qPrintable(QStringLiteral("%1: event %2 is \"%3\", one thread had \"%4\"")
                                     .arg(where)
                                     .arg(i)
                                     .arg(many.events[i], one.events[i])));
        }
    }
}

// The reference itself: a listed file that is still a regular file matches
// exactly when the plain matcher says so; one whose fate struck never does.
void ParallelRunTest::oneThreadRunIsRight()
{
    const QStringList words{QStringLiteral("quill")};
    for (int workers : {1, 2}) {
        SearchOptions options;
        options.workers = workers;
        const Run run = runOnce(m_tree, words.join(QLatin1Char(' ')), options);
        int matches = 0;
        for (const QString &path : run.listed) {
            QFile file(path);
            const bool readable = QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly);
            const bool expected = readable && referenceMatches(file.readAll(), words);
            QCOMPARE(run.matched.contains(path), expected);
            matches += expected;
        }
        QVERIFY(matches > 20);
        QVERIFY(matches < run.listed.size() - 20);
    }
}

// Many workers with room for one file: they take turns behind a slow first
// file, and the results still come in order.
void ParallelRunTest::windowOfOneAndManyWorkers()
{
    QTemporaryDir dir;
    QByteArray big(3 << 20, 'x');
    big += "\r\nneedle";
    {
        QFile file(dir.path() + "/0-big");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(big);
    }
    for (int i = 1; i < 300; ++i) {
        QFile file(dir.path() + QStringLiteral("/%1").arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(i % 3 ? "hay" : "needle");
    }
    Tree none;
    Recorder one(none);
    SearchOptions options;
    options.workers = 1;
    runSearch(dir.path(), QStringLiteral("needle"), one, options);
    for (int window : {1, 5}) {
        Recorder recorder(none);
        options.workers = 6;
        options.window = window;
        runSearch(dir.path(), QStringLiteral("needle"), recorder, options);
        QCOMPARE(recorder.events, one.events);
    }
    QCOMPARE(one.matched.size(), 100);
}

// An ordinary user whose process limit leaves no thread to start (1), or a
// few (3), for 8 and 64 workers: the run goes on with the threads it got (the
// calling one at least) and reports exactly the one-thread run's events.
void ParallelRunTest::threadsThatCannotStart()
{
    if (!testsupport::kThreadsInChild)
        QSKIP("threads in a forked child are not followed under ThreadSanitizer");
    Tree tree;
    QRandomGenerator rng(m_seed);
    for (int i = 0; i < 400; ++i) {
        const QString folder = tree.dir.path() + QStringLiteral("/d%1").arg(i % 7);
        QVERIFY(QDir().mkpath(folder));
        QFile file(folder + QStringLiteral("/f%1").arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(randomBytes(rng, rng.bounded(300)));
    }
    QVERIFY(testsupport::giveToNobody(tree.dir.path()));
    SearchOptions one;
    one.workers = 1;
    const Run reference = runOnce(tree, QStringLiteral("quill"), one);
    QVERIFY(reference.matched.size() > 5);
    for (const rlim_t processes : {rlim_t(1), rlim_t(3)}) {
        testsupport::inChild([&] {
            QVERIFY(testsupport::becomeNobodyIfRoot());
            QVERIFY(testsupport::lowerLimit(RLIMIT_NPROC, processes));
            for (const int workers : {8, 64}) {
                SearchOptions options;
                options.workers = workers;
                const Run run = runOnce(tree, QStringLiteral("quill"), options);
                QCOMPARE(run.events, reference.events);
            }
        });
    }
}

QTEST_GUILESS_MAIN(ParallelRunTest)
#include "tst_parallel_run.moc"
