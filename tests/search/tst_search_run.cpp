// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The folder walk and the whole run over real trees: listing order, the
// sub-folder choice, links, FIFOs, vanished files, and the status texts.

#include "platform/DirectoryListing.h"
#include "platform/FileReader.h"
#include "platform/FileSystemType.h"
#include "platform/MappedFile.h"
#include "resources/Texts.h"
#include "search/FileList.h"
#include "search/KeywordMatcher.h"
#include "search/SearchRun.h"
#include "tests/common/DeepTree.h"
#include "tests/common/Unprivileged.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <climits>
#include <functional>

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

// Records every report as one line of text, in order.
class Recorder : public SearchObserver {
public:
    QStringList events;
    QStringList listed;
    QStringList matched;
    bool subfolders = true;
    int subfolderQuestions = 0;
    std::function<void(const FoundFile &)> onListed;

    void statusTextChanged(const QString &text) override
    {
        events << QStringLiteral("status ") + text;
    }
    void workListCleared() override { events << QStringLiteral("work list cleared"); }
    void fileListed(const FoundFile &file) override
    {
        listed << file.path();
        if (onListed)
            onListed(file);
    }
    bool searchSubfolders() override
    {
        ++subfolderQuestions;
        return subfolders;
    }
    void viewerCleared() override { events << QStringLiteral("viewer cleared"); }
    void resultsCleared() override { events << QStringLiteral("results cleared"); }
    void fileMatched(const FoundFile &file) override
    {
        matched << file.path();
        events << QStringLiteral("matched ") + file.path();
    }
    void nothingFound() override { events << QStringLiteral("nothing found"); }
    void cannotRead(const FoundFile &path, int error, bool brokenOff) override
    {
        unreadable << QStringLiteral("%1 %2 %3").arg(path.path()).arg(error).arg(brokenOff);
        events << "cannot read " + unreadable.last();
    }
    void runFailed(int error) override { events << QStringLiteral("failed %1").arg(error); }
    void runEnded(bool keywordEmpty, qsizetype matches) override
    {
        events << QStringLiteral("ended %1 %2").arg(keywordEmpty).arg(matches);
    }
    QStringList unreadable; // "path errno brokenOff"
};

// The listing faults of a test are turned off whatever happens in it.
struct ListingFaultOff {
    ~ListingFaultOff()
    {
        platform::testing::setListingFault(0);
        platform::testing::setEntryTypesUnknown(false);
    }
};

// A tree three folders wide and `depth` deep, with `files` files ("x") in each
// folder at the bottom.
void buildTernaryTree(const QString &root, int depth, int files)
{
    QVERIFY(QDir().mkpath(root));
    if (depth == 0) {
        for (int i = 0; i < files; ++i)
            writeFile(root + QStringLiteral("/f%1.txt").arg(i), "x");
        return;
    }
    for (int i = 0; i < 3; ++i)
        buildTernaryTree(root + QStringLiteral("/s%1").arg(i), depth - 1, files);
}

// The names of a folder in the order readdir gives them, without "." and "..".
QStringList readdirOrder(const QString &folder)
{
    QStringList names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names << name;
    }
    closedir(dir);
    return names;
}

// Files of a tree of plain files and folders, depth first, in readdir order.
void expectedWalk(const QString &folder, bool recurse, QStringList &out)
{
    for (const QString &name : readdirOrder(folder)) {
        const QString path = folder + QLatin1Char('/') + name;
        if (QFileInfo(path).isDir()) {
            if (recurse)
                expectedWalk(path, recurse, out);
        } else {
            out << path;
        }
    }
}

// The run's options inside asOrdinaryUser: the default worker threads where
// the child may start threads.
SearchOptions optionsInChild()
{
    SearchOptions options;
    if (!testsupport::kThreadsInChild)
        options.workers = 1;
    return options;
}

} // namespace

class SearchRunTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void walkKeepsListingOrder();
    void trailingSeparatorMakesNoDifference();
    void subfolderChoiceIsAskedAtEachFolder();
    void hiddenFilesAndEmptyFolders();
    void specialFilesAreNeverListed();
    void linksAreFollowedButNeverInCircles();
    void missingAndUnreadableFolders();
    void unreadableFilesAreSkipped();
    void pseudoFileSystemsAreLeftOut();
    void fileThatReportsNoSize();
    void fileThatChangesSizeAfterOpen();
    void bindMountIsEnteredOnce();
    void deeperThanThePathLimit();
    void startFolderAtThePathLimit_data();
    void startFolderAtThePathLimit();
    void folderSwappedWhileAwayIsGivenUp();
    void pathLongerThanAListBlock();
    void runReportsInOrder();
    void nothingFoundEndsWithProductName();
    void emptyKeywordStopsAfterTheWalk_data();
    void emptyKeywordStopsAfterTheWalk();
    void keywordEdgeCases();
    void vanishedFileIsSkipped();
    void nameThatIsNotText();
    void listingThatBreaksOff();
    void listingThatBreaksOffWhileReadAhead();
    void folderRemovedWhileListed();
    void entriesOfUnknownType();
    void shortOfResourcesIsNotUnreadable();
    void folderCheckMountsNothing();
    void movedFromFileListIsEmpty();
};

void SearchRunTest::walkKeepsListingOrder()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    // Enough names that the file system's order is unlikely to be sorted.
    for (const char *name : {"m.txt", "b.txt", "z.txt", "a.txt", "k.txt", "c.txt", "y.txt"})
        writeFile(root + "/" + name, "x");
    QDir(root).mkpath("sub/deeper");
    QDir(root).mkpath("other");
    for (const char *name : {"sub/q.txt", "sub/e.txt", "sub/deeper/f.txt", "other/g.txt"})
        writeFile(root + "/" + name, "x");

    for (bool recurse : {true, false}) {
        Recorder recorder;
        recorder.subfolders = recurse;
        const FileList files = walkFolder(root, recorder);
        QStringList expected;
        expectedWalk(root, recurse, expected);
        QCOMPARE(recorder.listed, expected);
        QCOMPARE(files.size(), expected.size());
        QCOMPARE(files.nativePath(0).toByteArray(), QFile::encodeName(expected.front()));
        // Once per folder visited.
        QCOMPARE(recorder.events.count(QStringLiteral("status ") + texts::analysingFolders),
                 recurse ? 4 : 1);
    }
}

void SearchRunTest::trailingSeparatorMakesNoDifference()
{
    QTemporaryDir tmp;
    writeFile(tmp.path() + "/a.txt", "x");
    Recorder plain, trailing;
    walkFolder(tmp.path(), plain);
    walkFolder(tmp.path() + "/", trailing);
    QCOMPARE(plain.listed, QStringList{tmp.path() + "/a.txt"});
    QCOMPARE(trailing.listed, plain.listed);
}

void SearchRunTest::subfolderChoiceIsAskedAtEachFolder()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    for (const char *folder : {"one", "two", "three"}) {
        QDir(root).mkpath(folder);
        writeFile(root + "/" + folder + "/f.txt", "x");
    }
    // Ticked for the first sub-folder reached only, as if the box were cleared then.
    class OnceRecorder : public Recorder {
    public:
        bool searchSubfolders() override { return ++subfolderQuestions == 1; }
    } recorder;
    walkFolder(root, recorder);
    QCOMPARE(recorder.subfolderQuestions, 3);
    QCOMPARE(recorder.listed.size(), 1);
    QVERIFY(recorder.listed.front().endsWith("/f.txt"));
}

void SearchRunTest::hiddenFilesAndEmptyFolders()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QDir(root).mkpath("empty");
    QDir(root).mkpath(".hidden-folder");
    writeFile(root + "/.hidden", "x");
    writeFile(root + "/.hidden-folder/inside", "x");
    // Two dots begin these names, but only ".." itself is the parent.
    QDir(root).mkpath("..old");
    writeFile(root + "/..notes.txt", "x");
    writeFile(root + "/..old/kept", "x");

    Recorder recorder;
    walkFolder(root, recorder);
    QStringList listed = recorder.listed;
    listed.sort(); // only membership matters here
    QCOMPARE(listed, (QStringList{root + "/..notes.txt", root + "/..old/kept", root + "/.hidden",
                                  root + "/.hidden-folder/inside"}));

    Recorder flat;
    flat.subfolders = false;
    walkFolder(root + "/empty", flat);
    QVERIFY(flat.listed.isEmpty());
    Recorder onlyFolders;
    onlyFolders.subfolders = false;
    walkFolder(root + "/.hidden-folder/..", onlyFolders);
    QCOMPARE(onlyFolders.listed.size(), 2); // .hidden and ..notes.txt, not the folders
}

void SearchRunTest::specialFilesAreNeverListed()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    writeFile(root + "/plain.txt", "word");
    const QByteArray fifo = QFile::encodeName(root + "/fifo");
    QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
    QVERIFY(QFile::link(root + "/fifo", root + "/link-to-fifo"));
    QVERIFY(QFile::link(root + "/nowhere", root + "/dangling"));
    QVERIFY(QFile::link(root + "/plain.txt", root + "/link-to-plain"));
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(root + "/socket");
    if (sock >= 0 && size_t(socketPath.size()) < sizeof address.sun_path) {
        memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        QCOMPARE(bind(sock, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    }

    // Reading a FIFO without a writer would block the run for ever.
    Recorder recorder;
    const SearchOutcome outcome = runSearch(root, QStringLiteral("word"), recorder);
    if (sock >= 0)
        close(sock);
    QStringList listed = recorder.listed;
    listed.sort();
    QCOMPARE(listed, (QStringList{root + "/link-to-plain", root + "/plain.txt"}));
    QCOMPARE(outcome.matches, 2);
}

void SearchRunTest::linksAreFollowedButNeverInCircles()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QDir(root).mkpath("a/b");
    QDir(root).mkpath("c");
    writeFile(root + "/a/b/deep.txt", "x");
    writeFile(root + "/c/side.txt", "x");
    QVERIFY(QFile::link(root, root + "/a/b/up"));          // back to the start
    QVERIFY(QFile::link(root + "/a", root + "/a/self"));   // to itself
    QVERIFY(QFile::link(root + "/c", root + "/a/to-c"));   // a side folder
    QVERIFY(QFile::link(root + "/c", root + "/a/also-c")); // the same one again
    // A file in the start folder, met again through the link back up, and a
    // folder reached through a link only.
    writeFile(root + "/top.txt", "x");
    QTemporaryDir outside;
    writeFile(outside.path() + "/far.txt", "x");
    QVERIFY(QFile::link(outside.path(), root + "/a/far"));

    Recorder recorder;
    walkFolder(root, recorder);
    // Every folder is entered once, through whichever name the walk meets first.
    QString side;
    const QStringList top = readdirOrder(root);
    if (top.indexOf("c") < top.indexOf("a")) {
        side = root + "/c/side.txt";
    } else {
        for (const QString &name : readdirOrder(root + "/a")) {
            if (name == QLatin1String("to-c") || name == QLatin1String("also-c")) {
                side = root + "/a/" + name + "/side.txt";
                break;
            }
        }
    }
    QStringList listed = recorder.listed;
    listed.sort();
    QStringList expected{root + "/a/b/deep.txt", side, root + "/top.txt", root + "/a/far/far.txt"};
    expected.sort();
    QCOMPARE(listed, expected);
}

void SearchRunTest::missingAndUnreadableFolders()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    Recorder missing;
    const SearchOutcome outcome = runSearch(root + "/does-not-exist", QStringLiteral("x"), missing);
    QCOMPARE(outcome.matches, 0);
    QVERIFY(missing.events.contains(QStringLiteral("nothing found")));

    // A sub-folder that is gone by the time the walk enters it.
    QDir(root).mkpath("gone");
    writeFile(root + "/gone/inside.txt", "x");
    writeFile(root + "/kept.txt", "x");
    class RemovingRecorder : public Recorder {
    public:
        QString folder;
        bool searchSubfolders() override
        {
            QDir(folder).removeRecursively();
            return true;
        }
    } removing;
    removing.folder = root + "/gone";
    walkFolder(root, removing);
    QCOMPARE(removing.listed, QStringList{root + "/kept.txt"});
    QFile::remove(root + "/kept.txt");

    // What a front needs to tell the user: the folder itself could not be searched.
    QCOMPARE(outcome.folderError, ENOENT);
    writeFile(root + "/plain.txt", "x");
    Recorder file;
    QCOMPARE(runSearch(root + "/plain.txt", QStringLiteral("x"), file).folderError, ENOTDIR);
    QVERIFY(file.events.contains(QStringLiteral("nothing found")));
    QFile::remove(root + "/plain.txt");

    QDir(root).mkpath("locked");
    writeFile(root + "/locked/secret.txt", "x");
    writeFile(root + "/open.txt", "x");
    testsupport::asOrdinaryUser(root, [&] {
        QVERIFY(QFile::setPermissions(root + "/locked", QFileDevice::Permissions()));
        const SearchOptions options = optionsInChild();
        Recorder recorder;
        const SearchOutcome whole = runSearch(root, QStringLiteral("x"), recorder, options);
        QCOMPARE(recorder.listed, QStringList{root + "/open.txt"});
        QCOMPARE(whole.folderError, 0);
        QCOMPARE(recorder.unreadable,
                 QStringList{QStringLiteral("%1/locked/ %2 0").arg(root).arg(EACCES)});
        QCOMPARE(whole.unreadable, 1);
        Recorder inside;
        QCOMPARE(runSearch(root + "/locked", QStringLiteral("x"), inside, options).folderError,
                 EACCES);
        QVERIFY(inside.listed.isEmpty());
    });
}

void SearchRunTest::unreadableFilesAreSkipped()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    for (const char *name : {"a.txt", "locked.txt", "z.txt", "others.txt"})
        writeFile(root + "/" + name, "word");
    // others.txt: readable, but someone else's. The access time may not be
    // spared there (only the owner may ask that): it is read all the same.
    const QString others = root + "/others.txt";
    testsupport::asOrdinaryUser(root, {others}, [&] {
        QVERIFY(QFile::setPermissions(root + "/locked.txt", QFileDevice::Permissions()));
        Recorder recorder;
        const SearchOutcome outcome =
            runSearch(root, QStringLiteral("word"), recorder, optionsInChild());
        QCOMPARE(recorder.listed.size(), 4); // listed, then left out when it cannot be read
        QCOMPARE(outcome.matches, 3);
        QVERIFY(!recorder.matched.contains(root + "/locked.txt"));
        QVERIFY(recorder.matched.contains(others));
        QCOMPARE(recorder.unreadable,
                 QStringList{QStringLiteral("%1/locked.txt %2 0").arg(root).arg(EACCES)});
        QCOMPARE(outcome.unreadable, 1);
        QCOMPARE(recorder.events.last(), QStringLiteral("ended 0 3"));
        // The viewer's whole-file read too.
        QByteArray bytes;
        std::shared_ptr<const void> mapping;
        QVERIFY(platform::readWholeFile(QFile::encodeName(others), bytes, mapping));
        QCOMPARE(bytes, QByteArray("word"));
    });
}

void SearchRunTest::pseudoFileSystemsAreLeftOut()
{
    // Every pseudo file system mounted here is known as one, and the volumes
    // that hold the tests' own files are not.
    const QStringList pseudo{"proc",        "sysfs",    "devtmpfs", "devpts",     "cgroup",
                             "cgroup2",     "debugfs",  "tracefs",  "securityfs", "pstore",
                             "bpf",         "configfs", "fusectl",  "mqueue",     "hugetlbfs",
                             "binfmt_misc", "efivarfs", "autofs"};
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    QVERIFY(table.open(QIODevice::ReadOnly));
    int checked = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (dash < 5 || dash + 1 >= fields.size() || fields[4].contains('\\'))
            continue; // a mount point with an escaped character: not worth decoding here
        const int fd = open(fields[4].constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            continue; // hidden by a later mount, or not ours to open
        struct stat st;
        QCOMPARE(fstat(fd, &st), 0);
        const bool expected = pseudo.contains(QString::fromUtf8(fields[dash + 1]));
        // Only where the mount point shows this mount, not one stacked on it.
        if (QByteArray::number(major(st.st_dev)) + ':' + QByteArray::number(minor(st.st_dev)) ==
            fields[2]) {
            QVERIFY2(platform::isPseudoFileSystem(fd, st.st_dev) == expected, line.constData());
            ++checked;
        }
        close(fd);
    }
    QVERIFY(checked > 0);

    // Links into them are not followed from outside; a walk that starts inside
    // one lists its files.
    QTemporaryDir tmp;
    const QString root = tmp.path();
    writeFile(root + "/own.txt", "x");
    QVERIFY(QFile::link("/proc", root + "/proc"));
    QVERIFY(QFile::link("/sys", root + "/sys"));
    // Nor are links to their files: reading one can take what others were owed.
    QVERIFY(QFile::link("/proc/self/environ", root + "/environ"));
    QVERIFY(QFile::link("/proc/self/status", root + "/status"));
    QVERIFY(QFile::link("/sys/kernel/uevent_seqnum", root + "/seqnum"));
    // A link to an ordinary file elsewhere is followed as before.
    QTemporaryDir elsewhere(testsupport::fastTemporaryFolder());
    writeFile(elsewhere.path() + "/there.txt", "x");
    QVERIFY(QFile::link(elsewhere.path() + "/there.txt", root + "/there"));
    Recorder recorder;
    walkFolder(root, recorder);
    QStringList expected{root + "/own.txt", root + "/there"};
    recorder.listed.sort();
    QCOMPARE(recorder.listed, expected);
    Recorder searching;
    QCOMPARE(runSearch(root, QStringLiteral("PATH"), searching).matches, 0);
    Recorder inside;
    inside.subfolders = false;
    walkFolder(QStringLiteral("/proc/self"), inside);
    QVERIFY(inside.listed.contains(QStringLiteral("/proc/self/status")));
    // Its own sub-folders too.
    Recorder below;
    walkFolder(QStringLiteral("/proc/sys/kernel"), below);
    QVERIFY(below.listed.contains(QStringLiteral("/proc/sys/kernel/random/boot_id")));
}

void SearchRunTest::fileThatReportsNoSize()
{
    // A proc file reports size 0 and hands out about a page per read. This
    // process's map of its memory is several pages (its libraries), and its
    // stack comes near the end: a reader that took the first short read for the
    // end would never reach it. (The walk leaves out files that links lead to
    // on such a file system, so the search's reader and matcher read it here.)
    const QByteArray maps("/proc/self/maps");
    QCOMPARE(QFileInfo(QFile::decodeName(maps)).size(), 0);
    QFile file(QFile::decodeName(maps));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    QVERIFY(file.readAll().indexOf("[stack]") > 8192);
    class ReaderSource : public ByteSource {
    public:
        explicit ReaderSource(platform::FileReader &reader) : m_reader(reader) {}
        qsizetype read(char *buffer, qsizetype max) override { return m_reader.read(buffer, max); }
        bool atEnd() const override { return m_reader.atEnd(); }

    private:
        platform::FileReader &m_reader;
    };
    platform::FileReader reader;
    QVERIFY(reader.open(maps));
    ReaderSource source(reader);
    KeywordMatcher matcher(QStringList{QStringLiteral("[stack]")});
    QVERIFY(matcher.matches(source, SearchOptions().blockSize));
}

// The reader asks for no more than the rest of the file as its size was at
// open and one byte: for a small file in a large block, the system need not
// pin the whole block (FUSE with direct I/O does). The byte more tells a file
// that grew since, which is still read whole; one that shrank ends where it
// now ends.
void SearchRunTest::fileThatChangesSizeAfterOpen()
{
    QTemporaryDir tmp;
    const QString path = tmp.path() + QStringLiteral("/grows.txt");
    writeFile(path, "0123456789");
    platform::FileReader reader;
    QVERIFY(reader.open(QFile::encodeName(path)));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(" and more after the open");
    }
    QByteArray read;
    std::vector<char> block(1 << 20);
    qsizetype n = reader.read(block.data(), qsizetype(block.size()));
    QCOMPARE(n, 11); // the size at open and one byte
    read.append(block.data(), n);
    while (!reader.atEnd() && (n = reader.read(block.data(), qsizetype(block.size()))) > 0)
        read.append(block.data(), n);
    QVERIFY(reader.atEnd());
    QCOMPARE(read, QByteArray("0123456789 and more after the open"));
    reader.close();

    QVERIFY(reader.open(QFile::encodeName(path)));
    QVERIFY(QFile::resize(path, 4));
    read.clear();
    while (!reader.atEnd() && (n = reader.read(block.data(), qsizetype(block.size()))) > 0)
        read.append(block.data(), n);
    QVERIFY(n >= 0);
    QVERIFY(reader.atEnd());
    QCOMPARE(read, QByteArray("0123"));
}

void SearchRunTest::bindMountIsEnteredOnce()
{
    // A bind mount shows a folder a second time with the same device and inode,
    // without a link: the walk enters it through whichever name comes first.
    // Mounting needs a mount namespace of our own, and so the super-user.
    if (!testsupport::isSuperUser())
        QSKIP("mounting needs the super-user");
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QDir(root).mkpath("real/inner");
    QDir(root).mkpath("mounted");
    writeFile(root + "/real/inner/file.txt", "x");
    std::fflush(stdout);
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        const QByteArray real = QFile::encodeName(root + "/real");
        const QByteArray mounted = QFile::encodeName(root + "/mounted");
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(real.constData(), mounted.constData(), nullptr, MS_BIND, nullptr) != 0)
            _exit(77);
        Recorder recorder;
        walkFolder(root, recorder);
        const QStringList top = readdirOrder(root);
        const QString first = top.indexOf("real") < top.indexOf("mounted") ? "real" : "mounted";
        QCOMPARE(recorder.listed, QStringList{root + "/" + first + "/inner/file.txt"});
        _exit(QTest::currentTestFailed() ? 1 : 0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    QVERIFY(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        QSKIP("no mount namespace here");
    QCOMPARE(WEXITSTATUS(status), 0);
}

void SearchRunTest::deeperThanThePathLimit()
{
    // 3,000 levels: a path of about 6,000 bytes, past the 4,096 the kernel
    // takes in one call. A second branch far down makes the walk come back to
    // a folder whose descriptor it gave up.
    QTemporaryDir tmp(testsupport::fastTemporaryFolder());
    const QByteArray root = QFile::encodeName(tmp.path());
    const QByteArray deep =
        testsupport::buildDeepTree(root, 3000, "deep.txt", "alpha beta\r\n", 1500);
    QVERIFY(!deep.isEmpty());
    QVERIFY(deep.size() > 6000);
    const QByteArray side = root + QByteArray("/d").repeated(1500) + "/e/side.txt";

    Recorder recorder;
    const SearchOutcome outcome = runSearch(tmp.path(), QStringLiteral("beta alpha"), recorder);
    QStringList listed = recorder.listed;
    listed.sort();
    QStringList expected{QString::fromUtf8(deep), QString::fromUtf8(side)};
    expected.sort();
    QCOMPARE(listed, expected);
    QCOMPARE(outcome.matches, 2);
    QStringList matched = recorder.matched;
    matched.sort();
    QCOMPARE(matched, expected);

    // Starting below the limit: the start folder opens in pieces.
    Recorder below;
    const QString start = QString::fromUtf8(deep.left(deep.lastIndexOf('/')));
    runSearch(start, QStringLiteral("alpha"), below);
    QCOMPARE(below.matched, QStringList{QString::fromUtf8(deep)});

    QVERIFY(testsupport::emptyFolder(root));
}

void SearchRunTest::startFolderAtThePathLimit_data()
{
    // The length of the start folder's path with its final "/", about
    // PATH_MAX: the most the kernel takes in one call is PATH_MAX - 1 bytes.
    QTest::addColumn<int>("length");
    QTest::newRow("one below") << PATH_MAX - 1;
    QTest::newRow("exactly") << PATH_MAX;
    QTest::newRow("one above") << PATH_MAX + 1;
}

void SearchRunTest::startFolderAtThePathLimit()
{
    QFETCH(int, length);
    QTemporaryDir tmp(testsupport::fastTemporaryFolder());
    const QByteArray root = QFile::encodeName(tmp.path());
    // Folders of 200-byte names, made relative to their parent, and a last one
    // that brings the path to the length.
    QByteArray folder = root;
    int fd = open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    for (qsizetype rest = length - root.size() - 1; fd >= 0 && rest > 0;) {
        const QByteArray name(rest > 256 ? 200 : rest - 1, 'p');
        rest -= name.size() + 1;
        const int next = mkdirat(fd, name.constData(), 0755) == 0
                             ? openat(fd, name.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                             : -1;
        close(fd);
        fd = next;
        folder += '/' + name;
    }
    QVERIFY(fd >= 0);
    const bool written = testsupport::writeFileAt(fd, "f.txt", "limit\r\n");
    close(fd);
    QVERIFY(written);
    QCOMPARE(folder.size() + 1, length);

    for (int workers : {1, 2}) {
        SearchOptions options;
        options.workers = workers;
        Recorder recorder;
        const SearchOutcome outcome =
            runSearchNative(folder, QStringLiteral("limit"), recorder, options);
        QCOMPARE(outcome.folderError, 0);
        QCOMPARE(recorder.matched, QStringList{QString::fromUtf8(folder + "/f.txt")});
    }
    QVERIFY(testsupport::emptyFolder(root));
}

void SearchRunTest::folderSwappedWhileAwayIsGivenUp()
{
    // 40 levels down the walk keeps no descriptor of the folder it is in while
    // it walks a sub-folder, and opens it again by name to go on. Meanwhile that
    // folder is moved aside and another made in its place: the walk must not go
    // on in a folder it never listed.
    QTemporaryDir tmp;
    const QString root = tmp.path();
    const QString parent = root + QStringLiteral("/d").repeated(39);
    const QString folder = parent + "/d";
    QVERIFY(QDir(folder).mkpath("a") && QDir(folder).mkpath("b"));
    writeFile(folder + "/a/x.txt", "x");
    writeFile(folder + "/b/x.txt", "x");
    const QStringList order = readdirOrder(folder);
    QCOMPARE(order.size(), 2);
    const QString first = folder + "/" + order[0] + "/x.txt";
    const QString second = order[1];

    Recorder recorder;
    recorder.onListed = [&](const FoundFile &file) {
        if (file.path() != first)
            return;
        QVERIFY(QDir(parent).rename("d", "moved"));
        QVERIFY(QDir(folder).mkpath(second));
        writeFile(folder + "/" + second + "/intruder.txt", "x");
    };
    walkFolder(root, recorder);
    QCOMPARE(recorder.listed, QStringList{first});
}

void SearchRunTest::pathLongerThanAListBlock()
{
    // The list keeps paths in blocks of 256 KiB; a longer one (not a real path:
    // the list takes any bytes) gets a block of its own, between short ones.
    FileList list;
    QByteArray longPath(16 << 20, 'l');
    longPath[0] = '/';
    longPath.back() = 'L';
    list.append("/a");
    list.append(longPath);
    list.append("/b");
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.nativePath(0).toByteArray(), QByteArray("/a"));
    QVERIFY(list.nativePath(1) == longPath);
    QCOMPARE(list.nativePath(1).data()[longPath.size()], '\0');
    QCOMPARE(list.nativePath(2).toByteArray(), QByteArray("/b"));
}

void SearchRunTest::runReportsInOrder()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    writeFile(root + "/only.txt", "alpha beta\r\n");
    Recorder recorder;
    recorder.subfolders = false;
    const SearchOutcome outcome = runSearch(root, QStringLiteral("beta alpha"), recorder);
    const QString file = root + "/only.txt";
    QCOMPARE(recorder.events,
             (QStringList{"work list cleared", "status " + texts::analysingFolders,
                          "viewer cleared", "status " + texts::searching, "results cleared",
                          "status " + texts::searchingFile + file,
                          "status " + texts::searchingFile + file + texts::foundSuffix,
                          "matched " + file, "status " + texts::productName,
                          "status 1" + texts::countSuffix, "ended 0 1"}));
    QCOMPARE(texts::searchingFile + file + texts::foundSuffix,
             QStringLiteral("検索中...") + file + QStringLiteral(" 見つかりました"));
    QCOMPARE(outcome.matches, 1);
    QVERIFY(!outcome.keywordEmpty);

    // Three files, in walk order, and the count.
    writeFile(root + "/two.txt", "beta alpha");
    writeFile(root + "/three.txt", "alpha\rbeta\nalpha beta");
    writeFile(root + "/no.txt", "alpha\r\nbeta");
    Recorder three;
    runSearch(root, QStringLiteral("alpha beta"), three);
    QStringList expected;
    expectedWalk(root, false, expected);
    expected.removeAll(root + "/no.txt");
    QCOMPARE(three.matched, expected);
    QCOMPARE(three.events.at(three.events.size() - 2), QStringLiteral("status 3個見つかりました"));
    QVERIFY(!three.events.contains("nothing found"));
}

void SearchRunTest::nothingFoundEndsWithProductName()
{
    QTemporaryDir tmp;
    writeFile(tmp.path() + "/a.txt", "ALPHA");
    Recorder recorder;
    runSearch(tmp.path(), QStringLiteral("alpha"), recorder);
    QCOMPARE(recorder.events.mid(recorder.events.size() - 3),
             (QStringList{"status Tarnwell", "nothing found", "ended 0 0"}));
    QVERIFY(recorder.matched.isEmpty());
}

void SearchRunTest::emptyKeywordStopsAfterTheWalk_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::newRow("empty") << QString();
    QTest::newRow("spaces only") << QStringLiteral("   ");
}

void SearchRunTest::emptyKeywordStopsAfterTheWalk()
{
    QFETCH(QString, keyword);
    QTemporaryDir tmp;
    writeFile(tmp.path() + "/a.txt", "anything");
    Recorder recorder;
    const SearchOutcome outcome = runSearch(tmp.path(), keyword, recorder);
    QVERIFY(outcome.keywordEmpty);
    QCOMPARE(recorder.listed.size(), 1); // the walk still ran
    QCOMPARE(recorder.events, (QStringList{"work list cleared", "status " + texts::analysingFolders,
                                           "viewer cleared", "ended 1 0"}));
}

void SearchRunTest::keywordEdgeCases()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    writeFile(root + "/alpha.txt", "alpha only");
    writeFile(root + "/both.txt", "beta and alpha");
    // Two spaces: both words still count.
    Recorder recorder;
    runSearch(root, QStringLiteral("alpha  beta"), recorder);
    QCOMPARE(recorder.matched, QStringList{root + "/both.txt"});
    // A word no byte sequence can give: every file is still announced, none read.
    Recorder never;
    runSearch(root, QStringLiteral("alpha ¥"), never);
    QVERIFY(never.matched.isEmpty());
    QVERIFY(never.events.contains("status " + texts::searchingFile + root + "/both.txt"));
    // A tiny read block changes nothing.
    Recorder tiny;
    SearchOptions options;
    options.blockSize = 3;
    runSearch(root, QStringLiteral("beta alpha"), tiny, options);
    QCOMPARE(tiny.matched, recorder.matched);
}

void SearchRunTest::vanishedFileIsSkipped()
{
    QTemporaryDir tmp;
    const QString root = tmp.path();
    for (const char *name : {"a.txt", "b.txt", "c.txt"})
        writeFile(root + "/" + name, "word");
    Recorder recorder;
    QString removed;
    recorder.onListed = [&](const FoundFile &file) {
        if (removed.isEmpty()) { // the first file listed goes away before the scan
            removed = file.path();
            QFile::remove(file.path());
        }
    };
    const SearchOutcome outcome = runSearch(root, QStringLiteral("word"), recorder);
    QCOMPARE(outcome.matches, 2);
    QVERIFY(!recorder.matched.contains(removed));
    QCOMPARE(recorder.events.last(), QStringLiteral("ended 0 2"));
}

void SearchRunTest::nameThatIsNotText()
{
    QTemporaryDir tmp;
    const QByteArray name = QFile::encodeName(tmp.path()) + "/\xff\xfe.txt";
    FILE *file = fopen(name.constData(), "wb");
    QVERIFY(file);
    fputs("\x83\x41\x83\x8B", file); // アル
    fclose(file);

    class NativeRecorder : public Recorder {
    public:
        QList<QByteArray> native;
        void fileMatched(const FoundFile &file) override
        {
            Recorder::fileMatched(file);
            native << file.nativePath.toByteArray();
        }
    } recorder;
    runSearch(tmp.path(), QStringLiteral("アル"), recorder);
    QCOMPARE(recorder.native, QList<QByteArray>{name});
    QVERIFY(recorder.matched.front().contains(QChar(0xFFFD)));
    unlink(name.constData()); // QTemporaryDir removes by text names, which this is not
}

void SearchRunTest::listingThatBreaksOff()
{
    // A listing that the file system breaks off part-way (EIO from
    // getdents64, which cannot be brought about here: the fault is injected)
    // keeps what was read and is reported, never taken for the whole folder.
    QTemporaryDir tmp;
    const QString root = tmp.path();
    for (const char *name : {"a.txt", "b.txt", "c.txt", "d.txt"})
        writeFile(root + "/" + name, "x");
    const QStringList names = readdirOrder(root);
    const ListingFaultOff off;
    platform::testing::setListingFault(EIO, 2, 1);
    Recorder recorder;
    const SearchOutcome outcome = runSearch(root, QStringLiteral("x"), recorder);
    QCOMPARE(recorder.listed, (QStringList{root + "/" + names[0], root + "/" + names[1]}));
    QCOMPARE(recorder.matched, recorder.listed);
    QCOMPARE(recorder.unreadable, QStringList{QStringLiteral("%1/ %2 1").arg(root).arg(EIO)});
    QCOMPARE(outcome.unreadable, 1);
    QCOMPARE(outcome.resourceError, 0);
}

void SearchRunTest::listingThatBreaksOffWhileReadAhead()
{
    // A listing read ahead of the walk that breaks off is left to the walk,
    // which reports it: the run tells the same as one without read-ahead,
    // whichever listings the helpers came to first.
    QTemporaryDir tmp;
    buildTernaryTree(tmp.path(), 4, 5); // 81 folders of 5 files below 3-entry ones
    const ListingFaultOff off;
    platform::testing::setListingFault(EIO, 4, -1); // every folder of 4 or more
    auto run = [&](int readAhead) {
        SearchOptions options;
        options.readAhead = readAhead;
        options.workers = 2;
        Recorder recorder;
        const SearchOutcome outcome = runSearch(tmp.path(), QStringLiteral("x"), recorder, options);
        recorder.unreadable.sort();
        recorder.matched.sort();
        return std::make_pair(outcome.unreadable, recorder.unreadable + recorder.matched);
    };
    const auto reference = run(-1);
    QCOMPARE(reference.first, 81);
    for (int round = 0; round < 5; ++round)
        QCOMPARE(run(8), reference);
}

void SearchRunTest::folderRemovedWhileListed()
{
    // A folder removed while it is listed (getdents64 then says ENOENT) has
    // ended its listing, as readdir() takes it: no error, nothing broke off.
    QTemporaryDir tmp;
    const QString gone = tmp.path() + QStringLiteral("/gone");
    QVERIFY(QDir().mkdir(gone));
    const platform::Folder folder = platform::Folder::open(QFile::encodeName(gone));
    QVERIFY(folder.isOpen());
    QVERIFY(QDir().rmdir(gone));
    std::vector<platform::FolderEntry> entries;
    platform::FolderError error = 0, brokenOff = 0;
    QVERIFY(folder.list(entries, &error, &brokenOff));
    QCOMPARE(error, 0);
    QCOMPARE(brokenOff, 0);
    QVERIFY(entries.empty());
}

void SearchRunTest::entriesOfUnknownType()
{
    // Where the file system tells no entry types, each entry is looked at:
    // the same files and folders are found.
    QTemporaryDir tmp;
    buildTernaryTree(tmp.path(), 2, 2);
    QVERIFY(QFile::link(tmp.path() + QStringLiteral("/s0"), tmp.path() + QStringLiteral("/link")));
    Recorder typed;
    runSearch(tmp.path(), QStringLiteral("x"), typed);
    QCOMPARE(typed.matched.size(), 9 * 2); // each folder once, the link too
    const ListingFaultOff off;
    platform::testing::setEntryTypesUnknown(true);
    Recorder untyped;
    runSearch(tmp.path(), QStringLiteral("x"), untyped);
    QCOMPARE(untyped.events, typed.events);
}

void SearchRunTest::shortOfResourcesIsNotUnreadable()
{
    // EMFILE, ENFILE and ENOMEM say nothing of the folder: the walk waits and
    // tries again, and when that does not help the run fails as a whole.
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QVERIFY(QDir(root).mkpath("sub/deeper"));
    for (const char *name : {"a.txt", "sub/b.txt", "sub/deeper/c.txt"})
        writeFile(root + "/" + name, "x");
    Recorder normal;
    runSearch(root, QStringLiteral("x"), normal);
    QCOMPARE(normal.matched.size(), 3);

    const ListingFaultOff off;
    const struct {
        int error;
        int entries;
        int times;
    } passing[] = {{EMFILE, 0, 3}, {ENFILE, 0, 1}, {ENOMEM, 1, 2}};
    for (const auto &fault : passing) {
        for (const int workers : {1, 4}) {
            platform::testing::setListingFault(fault.error, fault.entries, fault.times);
            SearchOptions options;
            options.workers = workers;
            Recorder recorder;
            const SearchOutcome outcome = runSearch(root, QStringLiteral("x"), recorder, options);
            QCOMPARE(recorder.events, normal.events);
            QCOMPARE(outcome.resourceError, 0);
        }
    }

    for (const int error : {EMFILE, ENOMEM}) {
        platform::testing::setListingFault(error, 0, -1);
        Recorder failed;
        const SearchOutcome outcome = runSearch(root, QStringLiteral("x"), failed);
        QCOMPARE(outcome.resourceError, error);
        QCOMPARE(outcome.folderError, 0);
        QVERIFY(failed.unreadable.isEmpty());
        QVERIFY(!failed.events.contains(QStringLiteral("nothing found")));
        QCOMPARE(
            failed.events.mid(failed.events.size() - 2),
            (QStringList{QStringLiteral("failed %1").arg(error), QStringLiteral("ended 0 0")}));
    }
}

void SearchRunTest::folderCheckMountsNothing()
{
    // The kernel mounts an automount point that is not mounted yet when the
    // lookup of it asks for a folder (O_DIRECTORY), opens it for reading or
    // creates in it. The check of a sub-folder does none of these, so that an
    // automount point is seen for what it is (autofs) and left alone.
    const int flags = platform::childCheckFlags();
    QVERIFY(!(flags & O_DIRECTORY));
    QVERIFY(flags & O_PATH);
    QVERIFY(!(flags & (O_WRONLY | O_RDWR | O_CREAT)));

    // Without O_DIRECTORY the check itself tells folders from the rest.
    QTemporaryDir tmp;
    const QString root = tmp.path();
    QVERIFY(QDir(root).mkdir("folder"));
    writeFile(root + "/file", "x");
    QVERIFY(QFile::link(root + "/folder", root + "/to-folder"));
    QVERIFY(QFile::link(root + "/file", root + "/to-file"));
    const platform::Folder parent = platform::Folder::open(QFile::encodeName(root));
    QVERIFY(parent.isOpen());
    const platform::Folder folder = platform::Folder::openChild(parent, "folder");
    QVERIFY(folder.isOpen());
    const platform::Folder linked = platform::Folder::openChild(parent, "to-folder");
    QVERIFY(linked.isOpen());
    QVERIFY(linked.id() == folder.id());
    for (const char *name : {"file", "to-file"}) {
        platform::FolderError error = 0;
        QVERIFY(!platform::Folder::openChild(parent, name, &error).isOpen());
        QCOMPARE(error, ENOTDIR);
    }
}

void SearchRunTest::movedFromFileListIsEmpty()
{
    FileList first;
    for (const char *path : {"/a/one", "/a/two", "/b/three"})
        first.append(QByteArrayView(path));
    FileList second(std::move(first));
    QCOMPARE(second.size(), 3);
    QCOMPARE(second.nativePath(2), QByteArrayView("/b/three"));
    QCOMPARE(first.size(), 0); // NOLINT(bugprone-use-after-move): the point of the test
    QVERIFY(first.isEmpty());
    first.append(QByteArrayView("/c/again"));
    QCOMPARE(first.size(), 1);
    QCOMPARE(first.nativePath(0), QByteArrayView("/c/again"));

    FileList third;
    third.append(QByteArrayView("/d/old"));
    third = std::move(second);
    QCOMPARE(third.size(), 3);
    QCOMPARE(third.nativePath(0), QByteArrayView("/a/one"));
    QVERIFY(second.isEmpty()); // NOLINT(bugprone-use-after-move)
    second.append(QByteArrayView("/e/new"));
    QCOMPARE(second.nativePath(0), QByteArrayView("/e/new"));
}

QTEST_GUILESS_MAIN(SearchRunTest)
#include "tst_search_run.moc"
