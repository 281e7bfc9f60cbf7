// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Stopping a run: from the run's own thread while it waits (as the window
// does) and from another thread (as a signal does), during the walk, in a
// document being read and in a text file too big to read to its end. The run
// ends at once, reports only what it had settled before the stop, in the
// one-thread order, and leaves nothing reading.

#include "resources/Texts.h"
#include "search/SearchRun.h"
#include "tests/common/FakeDocumentReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <stop_token>
#include <thread>

#include <unistd.h>

namespace {

const QByteArray kSlowDocument = "%PDF-1.4 held until stopped\n";

// m-files hold the keyword, n-files do not; `slow` is the file the run waits for.
struct Tree {
    QTemporaryDir dir;
    QString slow;
    QStringList walkOrder;

    Tree(bool sparseText)
    {
        for (int i = 0; i < 24; ++i) {
            const bool match = i % 3 != 1;
            write(QStringLiteral("%1%2.txt").arg(match ? 'm' : 'n').arg(i),
                  match ? "one\r\nalpha beta\r\n" : "alpha\r\n");
        }
        slow = dir.path() + (sparseText ? "/huge.txt" : "/slow.pdf");
        if (sparseText) {
            // 64 GiB of zero bytes without a line: minutes to read to the end.
            QFile f(slow);
            if (f.open(QIODevice::WriteOnly))
                f.resize(qint64(64) << 30);
        } else {
            write(QStringLiteral("slow.pdf"), kSlowDocument);
        }
        struct Listing : SearchObserver {
            QStringList files;
            void statusTextChanged(const QString &) override {}
            void fileListed(const FoundFile &file) override { files << file.path(); }
            bool searchSubfolders() override { return true; }
            void fileMatched(const FoundFile &) override {}
        } listing;
        walkFolder(dir.path(), listing);
        walkOrder = listing.files;
    }
    void write(const QString &name, const QByteArray &bytes)
    {
        QFile f(dir.path() + u'/' + name);
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }
    // What the run reports before it reaches the slow file.
    QStringList matchedBeforeSlow() const
    {
        QStringList out;
        for (const QString &path : walkOrder) {
            if (path == slow)
                break;
            if (QFileInfo(path).fileName().startsWith(u'm'))
                out << path;
        }
        return out;
    }
};

class Stopper : public SearchObserver {
public:
    explicit Stopper(std::stop_source &stop) : m_stop(stop) {}

    QStringList matched;
    QStringList statuses;
    int waits = 0;
    bool nothing = false;
    bool ended = false;
    // Stop when the run waits for this file (named in the last status text).
    QString stopAtWait;
    // Stop as this many files are listed (0: never).
    int stopAtListed = 0;

    void statusTextChanged(const QString &text) override { statuses << text; }
    void fileListed(const FoundFile &) override
    {
        if (++m_listed == stopAtListed)
            m_stop.request_stop();
    }
    bool searchSubfolders() override { return true; }
    void fileMatched(const FoundFile &file) override { matched << file.path(); }
    void stillWaiting() override
    {
        ++waits;
        if (!stopAtWait.isEmpty() && statuses.last() == texts::searchingFile + stopAtWait)
            m_stop.request_stop();
    }
    void nothingFound() override { nothing = true; }
    void runEnded(bool, qsizetype) override { ended = true; }

private:
    std::stop_source &m_stop;
    int m_listed = 0;
};

SearchOptions stoppable(std::stop_source &stop, documents::DocumentReader *documents)
{
    SearchOptions options;
    options.workers = 4;
    options.window = 4; // so that the workers soon wait for the slow file too
    options.blockSize = 4096;
    options.documents = documents;
    options.stop = stop.get_token();
    return options;
}

} // namespace

class SearchStopTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The window's way: the run waits for the file, tells the observer
    // every few milliseconds, and the observer stops it.
    void stopWhileWaitingForAFile_data()
    {
        QTest::addColumn<bool>("sparseText");
        QTest::newRow("document being read") << false;
        QTest::newRow("text file too big to read") << true;
    }
    void stopWhileWaitingForAFile()
    {
        QFETCH(bool, sparseText);
        Tree tree(sparseText);
        FakeDocumentReader reader;
        reader.hold(kSlowDocument);
        std::stop_source stop;
        Stopper observer(stop);
        observer.stopAtWait = tree.slow;

        const SearchOutcome outcome = runSearch(tree.dir.path(), QStringLiteral("alpha beta"),
                                                observer, stoppable(stop, &reader));
        QVERIFY(outcome.stopped);
        QVERIFY(observer.waits > 0);
        QCOMPARE(observer.matched, tree.matchedBeforeSlow());
        QCOMPARE(outcome.matches, observer.matched.size());
        QCOMPARE(observer.statuses.last(), texts::searchStopped(observer.matched.size()));
        QVERIFY(!observer.statuses.contains(texts::productName));
        QVERIFY(!observer.nothing);
        QVERIFY(observer.ended);
        // The read in progress was given up, and nothing reads any more.
        QCOMPARE(reader.stopped(), sparseText ? 0 : 1);
        QCOMPARE(reader.waiting(), 0);
    }

    // A signal's way: another thread stops the run at any moment. Whatever
    // it reported is a prefix of the one-thread run's results.
    void stopFromAnotherThread()
    {
        Tree tree(false);
        FakeDocumentReader reader;
        reader.hold(kSlowDocument);
        for (int round = 0; round < 20; ++round) {
            std::stop_source stop;
            Stopper observer(stop);
            std::atomic<bool> go{false};
            std::thread stopper([&] {
                while (!go.load())
                    std::this_thread::yield();
                // Now, or once the held document is being read.
                for (int i = 0; i < round * 50 && reader.waiting() == 0; ++i)
                    usleep(100);
                stop.request_stop();
            });
            go = true;
            const SearchOutcome outcome = runSearch(tree.dir.path(), QStringLiteral("alpha beta"),
                                                    observer, stoppable(stop, &reader));
            stopper.join();
            QVERIFY(outcome.stopped);
            const QStringList expected = tree.matchedBeforeSlow();
            QCOMPARE(observer.matched, expected.mid(0, observer.matched.size()));
            QCOMPARE(observer.statuses.last(), texts::searchStopped(observer.matched.size()));
            QVERIFY(!observer.nothing);
            QCOMPARE(reader.waiting(), 0);
        }
    }

    // Stopped during the walk: nothing is reported as found, not even the
    // files matched already, and no box says that nothing was found.
    void stopDuringTheWalk()
    {
        Tree tree(false);
        std::stop_source stop;
        Stopper observer(stop);
        observer.stopAtListed = 3;
        const SearchOutcome outcome = runSearch(tree.dir.path(), QStringLiteral("alpha beta"),
                                                observer, stoppable(stop, nullptr));
        QVERIFY(outcome.stopped);
        QVERIFY(observer.matched.isEmpty());
        QCOMPARE(observer.statuses.last(), texts::searchStopped(0));
        QVERIFY(!observer.nothing);
        QVERIFY(observer.ended);
    }
};

QTEST_GUILESS_MAIN(SearchStopTest)
#include "tst_search_stop.moc"
