// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The parallel run against the one-thread run: on generated trees (thousands of
// files built from code-page-932 traps and the words, files that vanish or stop
// being regular files while the walk goes on, folders that vanish while the
// walk goes on, folders reached twice through links, a link back up), every
// observer event, in order, must be the same for any worker count, window,
// block size and number of threads reading folder listings ahead.

#include "platform/ResourceLimits.h"
#include "search/FolderPrefetch.h"
#include "search/SearchRun.h"
#include "tests/common/Limits.h"
#include "tests/common/Unprivileged.h"
#include "tests/search/RandomBytes.h"
#include "tests/search/ReferenceMatcher.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <malloc.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
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
    // Folders (each with files and a sub-folder) rebuilt before each run and
    // removed whole while the walk goes on: the k-th once the walk has listed
    // vanishAfter[k] files.
    QStringList vanishing;
    QList<int> vanishAfter;

    void resetFates()
    {
        for (const QString &folder : vanishing) {
            QDir(folder).removeRecursively();
            QVERIFY(QDir().mkpath(folder + QStringLiteral("/inner")));
            for (int i = 0; i < 6; ++i) {
                QFile file(folder + (i % 2 ? QStringLiteral("/inner") : QString()) +
                           QStringLiteral("/v%1").arg(i));
                QVERIFY(file.open(QIODevice::WriteOnly));
                // Never a match: a worker may read a listed file before its
                // folder goes, or not, as the file was read or not.
                file.write("hay");
            }
        }
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
    for (int k = 0; k < 5; ++k) {
        tree.vanishing << folders[rng.bounded(folders.size())] + QStringLiteral("/gone%1").arg(k);
        tree.vanishAfter << 1 + k * files / 6;
    }
}

void searchProgressed();

// Every event, in order, with the tree's root replaced so that two trees built
// alike compare equal. The file's fate strikes when it is listed.
class Recorder : public SearchObserver {
public:
    Recorder(const Tree &tree) : m_tree(tree), m_root(tree.dir.path()) {}

    QStringList events;
    QStringList listed;
    QStringList matched;

    void statusTextChanged(const QString &text) override
    {
        searchProgressed();
        events << "status " + strip(text);
    }
    void workListCleared() override { events << QStringLiteral("work list cleared"); }
    void fileListed(const FoundFile &file) override
    {
        searchProgressed();
        const QString path = file.path();
        events << "listed " + strip(path);
        listed << path;
        // A folder goes only while the walk has listed none of its files: a
        // file listed and then taken away is read, or found gone, as the
        // workers happen to get to it. It goes once its parent's listing has
        // been read (a file of the parent is listed), so that the one-thread
        // walk's listing names it just as a listing read ahead does.
        for (qsizetype k = 0; k < m_tree.vanishing.size(); ++k) {
            const QString &gone = m_tree.vanishing[k];
            const QString folder = gone + QLatin1Char('/');
            const QString parent = gone.left(gone.lastIndexOf(QLatin1Char('/')) + 1);
            if (listed.size() < m_tree.vanishAfter[k] || m_removed.contains(k) ||
                QFileInfo(path).path() + QLatin1Char('/') != parent ||
                std::any_of(listed.cbegin(), listed.cend(),
                            [&](const QString &p) { return p.startsWith(folder); }))
                continue;
            m_removed.insert(k);
            QDir(gone).removeRecursively();
        }
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
        searchProgressed();
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
    QSet<qsizetype> m_removed; // the vanishing folders taken away
};

// A run that reports nothing for kStallSeconds (a lost wake-up keeps it waiting
// for ever) ends the test program at once, saying so, rather than at the
// test's own time limit: every report sets the alarm again. An alarm, not a
// thread, so that it works in a child that may start no thread.
constexpr unsigned kStallSeconds = 30;

extern "C" void searchStalled(int)
{
    static const char message[] = "FAIL: a search reported nothing for 30 s: a lost wake-up?\n";
    [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, message, sizeof message - 1);
    _exit(3);
}

void searchProgressed()
{
    alarm(kStallSeconds);
}

SearchOutcome boundedSearch(const QString &folder, const QString &keyword, SearchObserver &observer,
                            const SearchOptions &options)
{
    struct sigaction action {};
    action.sa_handler = searchStalled;
    sigaction(SIGALRM, &action, nullptr);
    searchProgressed();
    const SearchOutcome outcome = runSearch(folder, keyword, observer, options);
    alarm(0);
    return outcome;
}

// Which files of a folder are opened, and closed after reading, in the order
// the kernel reports it (whatever the reader asks of the access time).
class ReadWatch {
public:
    struct Event {
        bool opened; // else closed
        QString name;
    };

    explicit ReadWatch(const QString &folder) : m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        if (m_fd >= 0 && inotify_add_watch(m_fd, QFile::encodeName(folder).constData(),
                                           IN_OPEN | IN_CLOSE_NOWRITE) < 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~ReadWatch()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    ReadWatch(const ReadWatch &) = delete;
    ReadWatch &operator=(const ReadWatch &) = delete;

    bool isValid() const { return m_fd >= 0; }
    bool overflowed() const { return m_overflowed; }

    // The events since the last call; waits up to timeoutMs for one.
    QList<Event> take(int timeoutMs = 0)
    {
        QList<Event> events;
        pollfd ready{m_fd, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0)
            return events;
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = read(m_fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            for (ssize_t at = 0; at < n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
                if (event->mask & IN_Q_OVERFLOW)
                    m_overflowed = true;
                if (event->len > 0) // else the folder itself
                    events.append({(event->mask & IN_OPEN) != 0, QFile::decodeName(event->name)});
                at += ssize_t(sizeof(inotify_event) + event->len);
            }
        }
        return events;
    }

    // Waits up to timeoutMs for `name` to be closed after reading.
    bool waitForRead(const QString &name, int timeoutMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            for (const Event &event : take(int(deadline.remainingTime()))) {
                if (!event.opened && event.name == name)
                    return true;
            }
        }
        return false;
    }

private:
    int m_fd;
    bool m_overflowed = false;
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
    boundedSearch(tree.dir.path(), keyword, recorder, options);
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
    void noFileIsReadBeforeItIsListed();
    void folderReplacedAfterListing();
    void deepFoldersOnStorageThatWaits();
    void readsAheadInWalkOrder();
    void slowStorageWithFewDescriptors();
    void threadsThatCannotStart();
    void memoryRefusedWhileListing();
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
        int readAhead = -1;
        bool storageWaits = false;
        int sharedFolders = 0;
    };
    // Then: the defaults on storage that waits (64 workers taking up to 16
    // files at a time, 16 threads reading listings ahead, the folders handed
    // on to the workers), the same with a walk that waits for one or three
    // folders at a time to be done with, and the walk reading ahead with one
    // worker.
    static const Config configs[] = {{2, 0, 256 * 1024},
                                     {3, 1, 7},
                                     {8, 2, 3},
                                     {4, 0, 1},
                                     {64, 3, 11, 2},
                                     {0, 0, 256 * 1024, 0, true},
                                     {8, 2, 3, -1, true, 1},
                                     {0, 0, 64, 0, true, 3},
                                     {1, 0, 5, 5}};
    SearchOptions reference;
    reference.workers = 1;
    reference.blockSize = 5;
    reference.readAhead = -1;
    const Run one = runOnce(m_tree, keyword, reference);
    QVERIFY(one.listed.size() > 300); // the walk went into folders
    for (const Config &config : configs) {
        SearchOptions options;
        options.workers = config.workers;
        options.window = config.window;
        options.blockSize = config.block;
        options.readAhead = config.readAhead;
        options.storageWaits = config.storageWaits;
        options.sharedFolders = config.sharedFolders;
        const Run many = runOnce(m_tree, keyword, options);
        const QString where =
            QStringLiteral("seed %1, %2 workers, window %3, block %4, read-ahead %5%6, %7 shared")
                .arg(m_seed)
                .arg(config.workers)
                .arg(config.window)
                .arg(config.block)
                .arg(config.readAhead)
                .arg(config.storageWaits ? QStringLiteral(", storage that waits") : QString())
                .arg(config.sharedFolders);
        for (qsizetype i = 0; i < std::min(one.events.size(), many.events.size()); ++i) {
            if (many.events[i] != one.events[i])
                QFAIL(qPrintable(QStringLiteral("%1: event %2 is \"%3\", one thread had \"%4\"")
                                     .arg(where)
                                     .arg(i)
                                     .arg(many.events[i], one.events[i])));
        }
        if (many.events.size() != one.events.size())
            QFAIL(qPrintable(QStringLiteral("%1: %2 events, one thread had %3")
                                 .arg(where)
                                 .arg(many.events.size())
                                 .arg(one.events.size())));
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

// Many workers with room for a few files: they take turns behind a slow first
// file, never start a file the window does not reach, and the results still
// come in order.
void ParallelRunTest::windowOfOneAndManyWorkers()
{
    QTemporaryDir dir;
    for (int i = 0; i < 300; ++i) {
        QFile file(dir.path() + QStringLiteral("/%1").arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(i % 3 ? "hay" : "needle");
    }
    // The file listed first is the slow one: 3 MiB, read in small blocks.
    QDirIterator listing(dir.path(), QDir::Files); // in the file system's order
    QVERIFY(listing.hasNext());
    const QString big = QFileInfo(listing.next()).fileName();
    {
        QFile file(dir.path() + QLatin1Char('/') + big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(3 << 20, 'x') + "\r\nneedle");
    }
    Tree none;
    Recorder one(none);
    SearchOptions options;
    options.workers = 1;
    boundedSearch(dir.path(), QStringLiteral("needle"), one, options);
    for (int window : {1, 5}) {
        Recorder recorder(none);
        options.workers = 6;
        options.window = window;
        options.blockSize = 16;
        ReadWatch watch(dir.path());
        QVERIFY(watch.isValid());
        boundedSearch(dir.path(), QStringLiteral("needle"), recorder, options);
        QCOMPARE(recorder.events, one.events);
        // While the first file is read, the others may take only the files
        // after it that the window reaches.
        QSet<QString> others;
        bool bigOpened = false;
        for (const ReadWatch::Event &event : watch.take()) {
            if (event.name == big) {
                if (!event.opened && bigOpened)
                    break;
                bigOpened = true;
            } else if (event.opened) {
                others.insert(event.name);
            }
        }
        QVERIFY(!watch.overflowed());
        QVERIFY(bigOpened);
        QVERIFY2(others.size() <= window - 1,
                 qPrintable(QStringLiteral("window %1: %2 files started behind the first")
                                .arg(window)
                                .arg(others.size())));
    }
    QCOMPARE(one.matched.size(), big.toInt() % 3 ? 101 : 100);
}

// Every file is reported listed before any worker may read it: the observer
// may still change it then (here it writes the word into it). The eighth file
// listed is the one that wakes the idle workers; the observer waits there to
// give a worker every chance to read it before it is handed on, so that a file
// handed on too early is always read without the word.
void ParallelRunTest::noFileIsReadBeforeItIsListed()
{
    QTemporaryDir dir;
    for (int i = 0; i < 24; ++i) {
        QFile file(dir.path() + QStringLiteral("/%1").arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    ReadWatch watch(dir.path());
    QVERIFY(watch.isValid());
    class Writing : public Recorder {
    public:
        Writing(const Tree &tree, ReadWatch &watch) : Recorder(tree), m_watch(watch) {}
        int readEarly = 0;
        void fileListed(const FoundFile &file) override
        {
            Recorder::fileListed(file);
            const QString path = file.path();
            if (listed.size() == 8 && m_watch.waitForRead(QFileInfo(path).fileName(), 3000))
                ++readEarly;
            QFile out(path);
            if (out.open(QIODevice::WriteOnly))
                out.write("needle");
        }

    private:
        ReadWatch &m_watch;
    };
    Tree none;
    Writing recorder(none, watch);
    SearchOptions options;
    options.workers = 4;
    boundedSearch(dir.path(), QStringLiteral("needle"), recorder, options);
    QCOMPARE(recorder.readEarly, 0);
    QCOMPARE(recorder.matched.size(), 24);
}

// Where storage waits, a worker opens each file relative to the folder the walk
// listed it in, not by its path: a folder put in the place of one the walk has
// listed (here as the first of its files is reported) is not read from, for
// those files or for the folder's files listed after, nor is a file missed.
// The replacement holds the same names, each with the word.
void ParallelRunTest::folderReplacedAfterListing()
{
    QTemporaryDir dir;
    const QString sub = dir.path() + QStringLiteral("/sub");
    const QString other = dir.path() + QStringLiteral("/other");
    const auto fill = [](const QString &folder) {
        QVERIFY(QDir().mkpath(folder + QStringLiteral("/inner")));
        for (int i = 0; i < 40; ++i) {
            QFile file(folder + QStringLiteral("/f%1").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(i % 4 ? "hay" : "needle hay");
        }
        QFile inner(folder + QStringLiteral("/inner/g"));
        QVERIFY(inner.open(QIODevice::WriteOnly));
        inner.write("needle");
    };
    fill(other);
    class Replacing : public Recorder {
    public:
        Replacing(const Tree &tree, const QString &sub) : Recorder(tree), m_sub(sub) {}
        bool replaced = false;
        void fileListed(const FoundFile &file) override
        {
            Recorder::fileListed(file);
            if (replaced || QFileInfo(file.path()).path() != m_sub)
                return;
            replaced = true;
            QVERIFY(QDir().rename(m_sub, m_sub + QStringLiteral("-old")));
            QVERIFY(QDir().mkpath(m_sub + QStringLiteral("/inner")));
            for (const QString &name :
                 QDir(m_sub + QStringLiteral("-old")).entryList(QDir::Files)) {
                QFile out(m_sub + QLatin1Char('/') + name);
                QVERIFY(out.open(QIODevice::WriteOnly));
                out.write("needle");
            }
        }

    private:
        QString m_sub;
    };
    for (const int workers : {0, 3}) {
        QDir(sub).removeRecursively();
        QDir(sub + QStringLiteral("-old")).removeRecursively();
        fill(sub);
        Tree none;
        Replacing recorder(none, sub);
        SearchOptions options;
        options.workers = workers;
        options.storageWaits = true;
        boundedSearch(dir.path(), QStringLiteral("needle"), recorder, options);
        QVERIFY(recorder.replaced);
        QCOMPARE(recorder.listed.size(), 2 * 41);
        // The listed files of the folder replaced, and of the other one.
        QCOMPARE(recorder.matched.size(), 2 * 10 + 2);
        for (const QString &path : recorder.matched) {
            if (QFileInfo(path).path() == sub)
                QVERIFY2(QFileInfo(path).fileName().mid(1).toInt() % 4 == 0, qPrintable(path));
        }
        QVERIFY(!recorder.events.join(QLatin1Char('\n')).contains(QStringLiteral("cannot read")));
    }
}

// Deeper than the walk holds folders open: coming back up, the walk lists the
// rest of a folder it holds no longer, whose files are then opened by their
// path, between runs of files whose folder is handed on. The events are still
// the one-thread run's.
void ParallelRunTest::deepFoldersOnStorageThatWaits()
{
    Tree tree;
    QRandomGenerator rng(m_seed);
    QString folder = tree.dir.path();
    for (int depth = 0; depth < 45; ++depth) {
        folder += QStringLiteral("/d%1").arg(depth);
        QVERIFY(QDir().mkdir(folder));
        // Enough names that some come after the sub-folder in the listing.
        for (int i = 0; i < 12; ++i) {
            QFile file(folder + QStringLiteral("/f%1").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(randomBytes(rng, rng.bounded(200)));
        }
    }
    // Every sub-folder is entered.
    class Entering : public Recorder {
    public:
        using Recorder::Recorder;
        bool searchSubfolders() override { return true; }
    };
    const auto runWith = [&](const SearchOptions &options) {
        Entering recorder(tree);
        boundedSearch(tree.dir.path(), QStringLiteral("quill"), recorder, options);
        return recorder.events;
    };
    SearchOptions one;
    one.workers = 1;
    const QStringList reference = runWith(one);
    QCOMPARE(reference.filter(QStringLiteral("listed ")).size(), 12 * 45);
    QVERIFY(!reference.filter(QStringLiteral("matched ")).isEmpty());
    for (const int shared : {0, 2}) {
        SearchOptions options;
        options.storageWaits = true;
        options.sharedFolders = shared;
        QCOMPARE(runWith(options), reference);
    }
}

// The helpers alone: they read every folder below the ones the walk hands
// them, hand over exactly the listing of the folder asked for, drop what the
// walk has passed, and leave to the walk what they have not read.
void ParallelRunTest::readsAheadInWalkOrder()
{
    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path()) + '/';
    for (int i = 0; i < 12; ++i) {
        for (int j = 0; j < 3; ++j) {
            const QString folder = dir.path() + QStringLiteral("/a%1/b%2").arg(i).arg(j);
            QVERIFY(QDir().mkpath(folder));
            QFile file(folder + QStringLiteral("/f"));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    const platform::Folder start = platform::Folder::open(root);
    std::vector<platform::FolderEntry> top;
    QVERIFY(start.list(top));
    QCOMPARE(top.size(), std::size_t(12));

    search::FolderPrefetch prefetch(3, start.id().device);
    QCOMPARE(prefetch.threads(), 3);
    prefetch.listedByWalk({}, root, top);
    QTRY_COMPARE_WITH_TIMEOUT(prefetch.readyCount(), std::size_t(12 + 36), 30000);

    // The fifth folder of the walk's order: everything before it is dropped.
    const platform::Folder fifth = platform::Folder::openChild(start, top[4].name);
    std::vector<platform::FolderEntry> own;
    QVERIFY(fifth.list(own));
    std::vector<platform::FolderEntry> handed;
    QVERIFY(prefetch.take({4}, fifth.id(), handed));
    QCOMPARE(handed.size(), own.size());
    for (std::size_t k = 0; k < own.size(); ++k) {
        QCOMPARE(handed[k].name, own[k].name);
        QCOMPARE(handed[k].isFolder, own[k].isFolder);
    }
    QCOMPARE(prefetch.readyCount(), std::size_t(12 + 36 - 4 * 4 - 1));
    // Taken once: asked again (a folder reached twice), the walk reads it.
    QVERIFY(!prefetch.take({4}, fifth.id(), handed));
    // One the walk has passed is left to the walk too.
    const platform::Folder second = platform::Folder::openChild(start, top[1].name);
    QVERIFY(!prefetch.take({5}, second.id(), handed));
    QCOMPARE(prefetch.readyCount(), std::size_t(12 + 36 - 5 * 4));
}

// Under a low open-file limit the threads for storage that waits are fewer, so
// that none of them runs out of descriptors: the run still has the one-thread
// run's events. The limit is lowered for real, in a forked child.
void ParallelRunTest::slowStorageWithFewDescriptors()
{
    if (!testsupport::kThreadsInChild)
        QSKIP("threads in a forked child are not followed under ThreadSanitizer");
    SearchOptions reference;
    reference.workers = 1;
    reference.readAhead = -1;
    const Run one = runOnce(m_tree, QStringLiteral("quill"), reference);
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = 64;
        if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
            _exit(3);
        SearchOptions options;
        options.storageWaits = true;
        const Run many = runOnce(m_tree, QStringLiteral("quill"), options);
        QCOMPARE(many.events, one.events);
        std::fflush(stdout);
        _exit(QTest::currentTestFailed() ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
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

// Lowers the address-space limit to what the process holds now once the walk
// has listed `after` files, and takes what the heap has free: the list's next
// block is refused. Nothing here takes memory on the walk thread after that
// (the matched list is reserved), so that the list is what runs short.
class MemoryCutter : public SearchObserver {
public:
    MemoryCutter(qsizetype after, qsizetype matches) : m_after(after)
    {
        matched.reserve(matches);
        m_taken.reserve(1 << 16);
    }
    ~MemoryCutter()
    {
        for (void *p : m_taken)
            std::free(p);
    }

    QStringList matched;
    qsizetype listed = 0;
    int threadsAtCut = 0;
    int failed = 0;
    bool cut = false;

    void statusTextChanged(const QString &) override { searchProgressed(); }
    bool wantsStatusTexts() const override { return false; }
    bool searchSubfolders() override { return true; }
    void fileListed(const FoundFile &) override
    {
        searchProgressed();
        if (++listed != m_after)
            return;
        threadsAtCut = threadCount();
        long pages = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld", &pages) != 1)
                pages = 0;
            std::fclose(statm);
        }
        const rlim_t held = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE));
        cut = held > 0 && testsupport::lowerLimit(RLIMIT_AS, held);
        for (const std::size_t size : {std::size_t(64) << 10, std::size_t(4) << 10})
            while (m_taken.size() < m_taken.capacity())
                if (void *p = std::malloc(size))
                    m_taken.push_back(p);
                else
                    break;
    }
    void fileMatched(const FoundFile &file) override
    {
        searchProgressed();
        matched << file.path();
    }
    void runFailed(int) override { ++failed; }

    static int threadCount()
    {
        int threads = 0;
        if (FILE *status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, status))
                std::sscanf(line, "Threads: %d", &threads);
            std::fclose(status);
        }
        return threads;
    }

private:
    qsizetype m_after;
    std::vector<void *> m_taken; // what the heap had free at the cut
};

// Memory refused on the walk thread while the list of files grows (a low
// `ulimit -v` and many workers on storage that waits): the later half of the
// workers leave and give their stacks back, and the run goes on to match every
// file, as one thread does. The limit is lowered for real, in a forked child,
// once the workers run. Each worker's stack is made larger than the thread
// library keeps for reuse, so that a worker that leaves gives its stack back.
void ParallelRunTest::memoryRefusedWhileListing()
{
    if (!testsupport::kThreadsInChild)
        QSKIP("threads in a forked child are not followed under ThreadSanitizer");
#if defined(__SANITIZE_ADDRESS__)
    // Its allocator takes no mallopt() and reserves its shadow memory up front:
    // there is no address-space limit to lower around it.
    QSKIP("memory limits are not followed under AddressSanitizer");
#endif
    Tree tree;
    constexpr int kFiles = 12000;
    const QString name(200,
                       QLatin1Char('n')); // long paths: the list outgrows what the heap has free
    for (int i = 0; i < kFiles; ++i) {
        QFile file(tree.dir.path() + QStringLiteral("/%1%2").arg(name).arg(i));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(i % 97 == 0 ? "hay quill hay" : "hay");
    }
    // No run here first: its freed list would be memory the child's list
    // could take without asking the system.
    QStringList expected;
    for (int i = 0; i < kFiles; i += 97)
        expected << tree.dir.path() + QStringLiteral("/%1%2").arg(name).arg(i);
    expected.sort();
    testsupport::inChild([&] {
        pthread_attr_t attr;
        QCOMPARE(pthread_attr_init(&attr), 0);
        QCOMPARE(pthread_attr_setstacksize(&attr, std::size_t(64) << 20), 0);
        QCOMPARE(pthread_setattr_default_np(&attr), 0);
        pthread_attr_destroy(&attr);
        // As at start-up under a limit: one arena for every thread.
        QVERIFY(testsupport::lowerLimit(RLIMIT_AS, rlim_t(64) << 30));
        platform::fitMemoryArenas();
        // Each block of the list its own mapping, and no memory given back
        // to the system but by a worker that leaves: what the list is refused
        // stays refused.
        QVERIFY(mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1);
        QVERIFY(mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max()) == 1);
        SearchOptions options;
        options.storageWaits = true; // every worker starts at once
        options.readAhead = -1;      // no helper that ends and gives memory back
        MemoryCutter cutter(kFiles / 8, expected.size());
        try {
            boundedSearch(tree.dir.path(), QStringLiteral("quill"), cutter, options);
        } catch (const std::bad_alloc &) {
            QFAIL("the run failed: memory refused");
        }
        QVERIFY(cutter.cut);
        QVERIFY2(cutter.threadsAtCut > 3, qPrintable(QString::number(cutter.threadsAtCut)));
        QCOMPARE(cutter.failed, 0);
        QCOMPARE(cutter.listed, qsizetype(kFiles));
        cutter.matched.sort();
        QCOMPARE(cutter.matched, expected);
        QVERIFY(MemoryCutter::threadCount() == 1);
    });
}

QTEST_GUILESS_MAIN(ParallelRunTest)
#include "tst_parallel_run.moc"
