// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The reader pool: the real helpers on a PDF and a .doc, each kind reaching
// its own helper within the one limit, the test builds of the helpers
// misbehaving on request (a crash, a spin past its processor time, a sleep
// past its wall-clock time, a garbled answer, memory past its address space,
// an escape from its filter), a helper killed from outside, many threads at
// once, and the answer protocol on malformed bytes.

#include "documents/ReaderPool.h"
#include "documents/ReaderProtocol.h"
#include "tests/common/Limits.h"
#include "tests/documents/docpool/PoolTesting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace documents;
using namespace pooltesting;
using platform::EncodingMode;

Q_DECLARE_METATYPE(documents::Failure)
Q_DECLARE_METATYPE(documents::Container)

namespace {

QString fixture(const char *name)
{
    return QStringLiteral(PDF_FIXTURES "/") + QLatin1String(name);
}

// A Word 97 document, read by the helper for the kinds other than PDF.
QString wordFixture()
{
    return QStringLiteral(LEGACY_FIXTURES "/sample.doc");
}

ReaderPool::Options realHelpers(int helpers = 0)
{
    return helpersOf(DOCREADER, PDFREADER, helpers);
}

// The same programs, obeying the test words (a crash, a hang, an escape attempt).
ReaderPool::Options testHelper(int helpers = 1)
{
    return helpersOf(DOCREADER_TEST, PDFREADER_TEST, helpers);
}

// A document on which the test helper sleeps until it is ended.
const QByteArray kSleepingPdf("%PDF-SLEEP");

// True when the process sleeps in clock_nanosleep: the test helper has its
// document (a kill before then would find it starting, and the pool would
// take a new one for the same document).
bool sleepsOnDocument(int pid)
{
    QFile file(QStringLiteral("/proc/%1/syscall").arg(pid));
    return file.open(QIODevice::ReadOnly) &&
           file.readAll().split(' ').value(0).toInt() == SYS_clock_nanosleep;
}

// The processes this one started (on any of its threads), each once: a
// thread that ends hands its children to another, so that one look may find
// a child under both.
QList<int> childProcesses()
{
    QList<int> pids;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + QStringLiteral("/children"));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &pid : file.readAll().simplified().split(' ')) {
            if (!pid.isEmpty())
                pids << pid.toInt();
        }
    }
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    return pids;
}

// Waits until one helper runs and sleeps on its document (its pid in
// helpers); false after a minute.
bool oneHelperAsleep(QList<int> &helpers)
{
    return QTest::qWaitFor(
        [&] {
            return (helpers = childProcesses()).size() == 1 && sleepsOnDocument(helpers.front());
        },
        60000);
}

} // namespace

class TestReaderPool : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void realHelper()
    {
        ReaderPool pool(realHelpers());
        const Fd file(fixture("text.pdf"));
        const ReadResult result = pool.read(file.fd, Container::Pdf);
        QVERIFY2(result.ok(), qPrintable(result.reason));
        QVERIFY(holds(result, u"請求書は未払い"_qs));
        QCOMPARE(result.text.locations.size(), size_t(2));
        const Fd encrypted(fixture("encrypted.pdf"));
        QCOMPARE(pool.read(encrypted.fd, Container::Pdf).failure, Failure::Encrypted);
        QCOMPARE(pool.started(), 1);
    }

    void misbehaving_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("limit"); // lowered for the row
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("started"); // helpers started by the end
        QTest::addColumn<Container>("container");
        QTest::newRow("crash") << QByteArray("%PDF-CRASH") << QString() << Failure::ReaderFailed
                               << u"reader crashed (signal 11)"_qs << 2 << Container::Pdf;
        QTest::newRow("processor time")
            << QByteArray("%PDF-SPIN") << u"cpu"_qs << Failure::ReaderFailed
            << u"over the 1 s processor time limit"_qs << 2 << Container::Pdf;
        QTest::newRow("wall clock")
            << QByteArray("%PDF-SLEEP") << u"wall"_qs << Failure::ReaderFailed
            << u"over the 5 s time limit"_qs << 2 << Container::Pdf;
        QTest::newRow("garbled") << QByteArray("%PDF-GARBLE") << QString() << Failure::ReaderFailed
                                 << u"reader gave a malformed answer"_qs << 2 << Container::Pdf;
        // Memory refused is an answer: the helper goes on.
        QTest::newRow("address space")
            << QByteArray("%PDF-EAT") << u"memory"_qs << Failure::OverLimit
            << u"over the 512 MiB memory limit"_qs << 1 << Container::Pdf;
        // Nothing gets through the filter: no file written, no socket, no
        // process, no thread.
        QTest::newRow("escape") << QByteArray("%PDF-ESCAPE") << QString() << Failure::Unsupported
                                << u"escaped: "_qs << 1 << Container::Pdf;
        // The helper for the other kinds is shut in and limited alike.
        QTest::newRow("escape, other kinds")
            << QByteArray("%PDF-ESCAPE") << QString() << Failure::Unsupported << u"escaped: "_qs
            << 1 << Container::Compound;
        QTest::newRow("processor time, other kinds")
            << QByteArray("%PDF-SPIN") << u"cpu"_qs << Failure::ReaderFailed
            << u"over the 1 s processor time limit"_qs << 2 << Container::Compound;
    }
    void misbehaving()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, limit);
        QFETCH(Failure, failure);
        QFETCH(QString, reason);
        QFETCH(int, started);
        QFETCH(Container, container);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.pdf"));
        QVERIFY(writeFile(path, body));
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        if (limit == u"memory")
            QSKIP("the sanitizers' helper runs without an address-space limit");
#endif
        ReaderPool::Options options = testHelper();
        // Only the limit of the row can end the helper, however loaded the
        // machine: the wall clock waits long for a spin past 1 s of processor
        // time, and 5 s leaves the next document time enough.
        if (limit == u"cpu") {
            options.limits.cpuSecondsPerDocument = 1;
            options.limits.wallMillisecondsPerDocument = 600'000;
        }
        if (limit == u"wall")
            options.limits.wallMillisecondsPerDocument = 5'000;
        if (limit == u"memory")
            options.limits.addressSpaceBytes = qint64(512) << 20;
        ReaderPool pool(options);
        const Fd file(path);
        const ReadResult result = pool.read(file.fd, container);
        QCOMPARE(result.failure, failure);
        QCOMPARE(result.reason, reason);
        QFile::remove(QStringLiteral("/tmp/tarnwell-docreader-escape"));
        // The next document is read, by a new helper where the last one died.
        const bool pdf = container == Container::Pdf;
        const Fd good(pdf ? fixture("text.pdf") : wordFixture());
        const ReadResult next = pool.read(good.fd, container);
        QVERIFY2(next.ok(), qPrintable(next.reason));
        QVERIFY(holds(next, pdf ? u"見積書"_qs : u"plantedone"_qs));
        QCOMPARE(pool.started(), started);
    }

    // Documents sent ahead are answered in order, each by what it holds; the
    // one the helper crashes on takes the blame, those after it (and those
    // before it whose answers the helper held back) are handed back to be
    // read alone, and the queue then starts a new helper.
    void queueAnswersInOrder()
    {
        QTemporaryDir dir;
        const QString crash = dir.filePath(QStringLiteral("crash.doc"));
        QVERIFY(writeFile(crash, "%PDF-CRASH"));
        ReaderPool pool(testHelper());
        const std::unique_ptr<DocumentQueue> queue = pool.queue();
        QVERIFY(queue);
        const Fd word(wordFixture());
        const Fd bad(crash);
        const std::stop_token none;
        QVERIFY(!queue->send(word.fd, Container::Archive, none)); // archives talk back
        QVERIFY(!queue->send(word.fd, Container::Pdf, none));     // another helper's
        // The second and the third go whole, in their requests.
        QFile wordFile(wordFixture());
        QVERIFY(wordFile.open(QIODevice::ReadOnly));
        const QByteArray wordBytes = wordFile.readAll();
        const QByteArray crashBytes("%PDF-CRASH");
        const int sent[] = {word.fd, word.fd, bad.fd, word.fd};
        const QByteArrayView whole[] = {{}, wordBytes, crashBytes, {}};
        for (int i = 0; i < 4; ++i)
            QVERIFY(queue->send(sent[i], Container::Compound, none, whole[i]));
        QCOMPARE(queue->waiting(), 4);
        bool again = true;
        std::optional<bool> found;
        for (int i = 0; i < 2; ++i) {
            const ReadResult read = queue->take(again, none, found);
            QVERIFY(!found); // no query: the lines
            QVERIFY2(read.ok(), qPrintable(read.reason));
            QVERIFY(again || holds(read, u"plantedone"_qs));
        }
        const ReadResult crashed = queue->take(again, none, found);
        QVERIFY(!again);
        QCOMPARE(crashed.reason, u"reader crashed (signal 11)"_qs);
        queue->take(again, none, found);
        QVERIFY(again);
        QCOMPARE(queue->waiting(), 0);
        QVERIFY(queue->send(word.fd, Container::Compound, none));
        const ReadResult after = queue->take(again, none, found);
        QVERIFY(!again && holds(after, u"plantedone"_qs));
        QCOMPARE(pool.started(), 2);
        // Given back: a read alone takes the same helper.
        QVERIFY(holds(pool.read(word.fd, Container::Compound), u"plantedone"_qs));
        QCOMPARE(pool.started(), 2);
    }

    // Documents sent at once are answered at once, the helper holding its
    // answers back; each still has its own time, from when the helper began
    // it: three that take 1.2 s each fit a 3 s limit, and the one the helper
    // sleeps on takes the blame, not the first whose answer waited.
    void queueKeepsEachDocumentsTime()
    {
        ReaderPool::Options options = testHelper();
        options.limits.wallMillisecondsPerDocument = 3'000;
        ReaderPool pool(options);
        const std::unique_ptr<DocumentQueue> queue = pool.queue();
        const QByteArray nap("%PDF-NAP 1200");
        const Fd file(wordFixture()); // not read: each goes whole, in its request
        const std::stop_token go;
        for (const QByteArray &body : {nap, nap, nap, kSleepingPdf})
            QVERIFY(queue->send(file.fd, Container::Compound, go, body));
        bool again = true;
        std::optional<bool> found;
        for (int i = 0; i < 3; ++i) {
            const ReadResult read = queue->take(again, go, found);
            QVERIFY2(!again && read.ok(), qPrintable(read.reason));
            QCOMPARE(read.text.lines, std::vector<QString>{u"rested"_qs});
        }
        const ReadResult slept = queue->take(again, go, found);
        QVERIFY(!again);
        QCOMPARE(slept.reason, u"over the 3 s time limit"_qs);
    }

    // The helper's progress page is believed only as far as it could be
    // true. A helper that says it began far more documents than it was sent
    // gains the document it sleeps on no time, and that document takes the
    // blame; one that says it began the next document at a time to come
    // gives that document its time from now, not from then.
    void queueDoubtsItsHelpersWord()
    {
        ReaderPool::Options options = testHelper();
        options.limits.wallMillisecondsPerDocument = 2'000;
        ReaderPool pool(options);
        const Fd file(wordFixture()); // not read: each goes whole, in its request
        const std::stop_token go;
        bool again = true;
        std::optional<bool> found;
        {
            const std::unique_ptr<DocumentQueue> queue = pool.queue();
            QVERIFY(queue->send(file.fd, Container::Compound, go, "%PDF-AHEAD"));
            const ReadResult lied = queue->take(again, go, found);
            QVERIFY(!again);
            QCOMPARE(lied.reason, u"over the 2 s time limit"_qs);
        }
        // The first document's answer is held back while the helper sleeps
        // on the second, and dies with it: the first is read again alone.
        const std::unique_ptr<DocumentQueue> queue = pool.queue();
        for (const char *body : {"%PDF-NAP 500", "%PDF-LATER", "%PDF-NAP 1"})
            QVERIFY(queue->send(file.fd, Container::Compound, go, body));
        queue->take(again, go, found);
        QVERIFY(again);
        const ReadResult lied = queue->take(again, go, found);
        QVERIFY(!again);
        QCOMPARE(lied.reason, u"over the 2 s time limit"_qs);
        queue->take(again, go, found);
        QVERIFY(again);
    }

    // Many long messages sent whole, each answered with more text than the
    // socket holds: the queue sends the rest by their descriptors rather
    // than wait for a helper that waits for it to take an answer.
    void queueNeverBlocksOnItsHelper()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.eml"));
        QByteArray mail = "From: a@example.com\r\nSubject: long\r\n\r\n";
        while (mail.size() < protocol::kMostInlineBytes - 100)
            mail += "line of a long message, marked planted\r\n";
        QVERIFY(writeFile(path, mail));
        ReaderPool pool(testHelper());
        const std::unique_ptr<DocumentQueue> queue = pool.queue();
        const Fd file(path);
        const std::stop_token none;
        for (int i = 0; i < 16; ++i)
            QVERIFY(queue->send(file.fd, Container::Mail, none, mail));
        bool again = true;
        std::optional<bool> found;
        for (int i = 0; i < 16; ++i) {
            const ReadResult read = queue->take(again, none, found);
            QVERIFY2(!again && read.ok(), qPrintable(read.reason));
            QCOMPARE(read.text.lines.size(),
                     size_t(mail.count("planted") + 2)); // and subject, sender
        }
    }

    // With a search's query the helper matches each document where it reads
    // it and sends the verdict alone: a Word file handed over whole and by
    // its descriptor, and an archive, whose text members are read as the
    // search reads text files. Each search's queue tells the one helper its
    // own query.
    void queueMatchesWhereItReads()
    {
        ReaderPool pool(testHelper());
        QFile wordFile(wordFixture());
        QVERIFY(wordFile.open(QIODevice::ReadOnly));
        const QByteArray wordBytes = wordFile.readAll();
        const Fd word(wordFixture());
        const Fd zip(QStringLiteral(ARCHIVE_FIXTURES "/infozip.zip"));
        const std::stop_token none;
        struct Case {
            QStringList words;
            bool caseless;
            bool inWord, inZip;
        };
        const Case cases[] = {
            {{u"plantedone"_qs}, false, true, false},
            {{u"PLANTEDONE"_qs}, false, false, false},
            {{u"PLANTEDONE"_qs}, true, true, false},
            {{u"見積書"_qs, u"納品書"_qs}, false, false, true},
            {{u"ALPHA"_qs, u"beta"_qs}, true, false, true},
            {{u"alpha"_qs, u"納品書"_qs}, false, false, false}, // two members
        };
        for (const Case &c : cases) {
            MatchQuery query{c.words, {c.caseless, false, false}, {false, EncodingMode::Auto}};
            const std::unique_ptr<DocumentQueue> queue = pool.queue(&query);
            QVERIFY(queue->send(word.fd, Container::Compound, none, wordBytes));
            QVERIFY(queue->send(word.fd, Container::Compound, none));
            QVERIFY(queue->send(zip.fd, Container::Archive, none));
            for (const bool expected : {c.inWord, c.inWord, c.inZip}) {
                bool again = true;
                std::optional<bool> found;
                const ReadResult read = queue->take(again, none, found);
                QVERIFY2(!again && read.ok(), qPrintable(read.reason));
                QVERIFY(found && read.text.lines.empty());
                QCOMPARE(*found, expected);
            }
        }
        QCOMPARE(pool.started(), 1);
    }

    void killedFromOutside()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("slow.pdf"));
        QVERIFY(writeFile(path, kSleepingPdf));
        ReaderPool pool(testHelper());
        const Fd file(path);
        ReadResult result;
        std::thread reader([&] { result = pool.read(file.fd, Container::Pdf); });
        QList<int> helpers;
        QVERIFY(oneHelperAsleep(helpers));
        for (const int pid : helpers)
            ::kill(pid, SIGKILL);
        reader.join();
        QCOMPARE(result.failure, Failure::ReaderFailed);
        QCOMPARE(result.reason, u"reader killed (signal 9)"_qs);
    }

    // A stop ends a read waiting for a helper and one whose helper is in the
    // middle of the document (that helper is ended and reaped); the next
    // document gets a new helper.
    void stopEndsARead()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("slow.pdf"));
        QVERIFY(writeFile(path, kSleepingPdf));
        ReaderPool pool(testHelper());
        const Fd file(path);
        std::stop_source first, second;
        ReadResult reading, waiting;
        std::thread a(
            [&] { reading = pool.readStoppable(file.fd, Container::Pdf, first.get_token()); });
        QList<int> helpers;
        QVERIFY(oneHelperAsleep(helpers));
        std::thread b(
            [&] { waiting = pool.readStoppable(file.fd, Container::Pdf, second.get_token()); });
        second.request_stop();
        b.join();
        first.request_stop();
        a.join();
        for (const ReadResult *result : {&reading, &waiting}) {
            QCOMPARE(result->failure, Failure::ReaderFailed);
            QCOMPARE(result->reason, QString::fromLatin1(DocumentReader::kCancelled));
        }
        QVERIFY(childProcesses().isEmpty());
        const Fd good(fixture("text.pdf"));
        QVERIFY(pool.read(good.fd, Container::Pdf).ok());
        QCOMPARE(pool.started(), 2);
    }

    // Workers call read() at once: at most `helpers` run, each answer whole.
    void manyThreads()
    {
        ReaderPool pool(realHelpers(2));
        std::atomic<int> good{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&] {
                for (int i = 0; i < 6; ++i) {
                    const Fd file(fixture(i % 2 ? "vertical.pdf" : "text.pdf"));
                    const ReadResult result = pool.read(file.fd, Container::Pdf);
                    good += result.ok() && holds(result, i % 2 ? u"注文書"_qs : u"請求書"_qs);
                }
            });
        }
        for (std::thread &t : threads)
            t.join();
        QCOMPARE(good.load(), 24);
        QVERIFY(pool.started() <= 2);
    }

    // A PDF goes to the PDF helper, every other kind to the other helper,
    // which reads no PDF (the PDF helper reads every kind, for the files with
    // a PDF inside); with room for one helper the idle one of the other
    // program is ended before the next one starts.
    void eachKindItsHelper()
    {
        const Fd pdf(fixture("text.pdf"));
        const Fd word(wordFixture());
        {
            ReaderPool::Options swapped = realHelpers();
            std::swap(swapped.program, swapped.pdfProgram);
            ReaderPool wrong(swapped);
            const ReadResult pdfThere = wrong.read(pdf.fd, Container::Pdf);
            QCOMPARE(pdfThere.failure, Failure::Unsupported);
            QCOMPARE(pdfThere.reason, u"PDF is read by tarnwell-pdfreader"_qs);
            QVERIFY(wrong.read(word.fd, Container::Compound).ok());
        }

        ReaderPool pool(realHelpers(1));
        for (int round = 0; round < 2; ++round) {
            const ReadResult a = pool.read(pdf.fd, Container::Pdf);
            QVERIFY2(a.ok() && holds(a, u"見積書"_qs), qPrintable(a.reason));
            QCOMPARE(childProcesses().size(), 1);
            const ReadResult b = pool.read(word.fd, Container::Compound);
            QVERIFY2(b.ok() && holds(b, u"plantedone"_qs), qPrintable(b.reason));
            QCOMPARE(b.text.kind, Kind::Word97);
            QCOMPARE(childProcesses().size(), 1);
        }
        QCOMPARE(pool.started(), 4);
    }

    // Started under an address-space limit below the helpers' own (a user's
    // `ulimit -v`), the helpers keep that limit and read: they cannot raise
    // it, and must not refuse to start for it.
    void helpersKeepALowerLimit()
    {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        QSKIP("the sanitizers reserve more address space than the limit");
#endif
        testsupport::inChild([] {
            QVERIFY(testsupport::lowerLimit(RLIMIT_AS, rlim_t(768) << 20));
            ReaderPool pool(realHelpers(1));
            for (const auto &[path, container, word] :
                 {std::tuple(wordFixture(), Container::Compound, u"plantedone"_qs),
                  std::tuple(fixture("text.pdf"), Container::Pdf, u"見積書"_qs)}) {
                const Fd file(path);
                const ReadResult result = pool.read(file.fd, container);
                QVERIFY2(result.ok(), qPrintable(result.reason));
                QVERIFY(holds(result, word));
            }
        });
    }

    // An answer longer than the pool's first read arrives whole.
    void longAnswer()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.rtf"));
        QByteArray rtf("{\\rtf1\\ansi ");
        for (int i = 0; i < 20000; ++i)
            rtf += "line " + QByteArray::number(i) + "\\par ";
        rtf += "}";
        QVERIFY(writeFile(path, rtf));
        ReaderPool pool(realHelpers(1));
        const Fd fd(path);
        const ReadResult result = pool.read(fd.fd, Container::Rtf);
        QVERIFY2(result.ok(), qPrintable(result.reason));
        QCOMPARE(result.text.lines.size(), size_t(20000));
        QCOMPARE(result.text.lines.back(), u"line 19999"_qs);
    }

    // Threads reading both kinds at once: never more helpers running than
    // the limit, however the two programs take turns, and every answer whole.
    void mixedKindsShareTheLimit()
    {
        ReaderPool pool(realHelpers(2));
        std::atomic<bool> done{false};
        int most = 0;
        // /proc lists each thread's children apart: one look may see a helper
        // just reaped by one thread beside its successor started by another.
        // A helper seen by two looks in a row lived through the moment
        // between them, so the two looks' common helpers all ran at once.
        std::thread watch([&] {
            QList<int> last;
            while (!done) {
                QList<int> now = childProcesses();
                int both = 0;
                for (const int pid : now)
                    both += last.contains(pid);
                most = std::max(most, both);
                last = std::move(now);
            }
        });
        std::atomic<int> good{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < 6; ++i) {
                    const bool pdf = (i + t) % 2 == 0;
                    const Fd file(pdf ? fixture("text.pdf") : wordFixture());
                    const ReadResult result =
                        pool.read(file.fd, pdf ? Container::Pdf : Container::Compound);
                    good += result.ok() && holds(result, pdf ? u"請求書"_qs : u"plantedone"_qs);
                }
            });
        }
        for (std::thread &t : threads)
            t.join();
        done = true;
        watch.join();
        QCOMPARE(good.load(), 18);
        QVERIFY2(most <= 2, qPrintable(QString::number(most)));
        QVERIFY(pool.started() >= 2);
    }

    void noProgram()
    {
        ReaderPool::Options options;
        options.pdfProgram = "/nonexistent/tarnwell-pdfreader";
        ReaderPool pool(options);
        const Fd file(fixture("text.pdf"));
        const ReadResult result = pool.read(file.fd, Container::Pdf);
        QCOMPARE(result.failure, Failure::ReaderFailed);
        QVERIFY2(result.reason.startsWith(u"cannot start the document reader"),
                 qPrintable(result.reason));
    }

    // Every cut of a valid answer, and every byte of it changed, is refused
    // or decoded within its bytes; only the whole answer decodes to it.
    void malformedAnswers()
    {
        ReadResult sent;
        sent.text.kind = Kind::Pdf;
        sent.text.lines = {u"請求書"_qs, QString(), u"a\tb"_qs};
        sent.text.locations = {{0, u"1 ページ"_qs}, {2, u"2 ページ"_qs}};
        const QByteArray answer = protocol::encodeAnswer(sent);
        const QByteArrayView header(answer.constData(), protocol::kHeaderBytes);
        QCOMPARE(protocol::payloadSize(header), answer.size() - protocol::kHeaderBytes);
        const QByteArray payload = answer.mid(protocol::kHeaderBytes);
        ReadResult got;
        QVERIFY(protocol::decodeAnswer(payload, got));
        QVERIFY(got.text.lines == sent.text.lines);
        QCOMPARE(got.text.locations[1].label, sent.text.locations[1].label);
        for (qsizetype cut = 0; cut < payload.size(); ++cut)
            QVERIFY(!protocol::decodeAnswer(payload.first(cut), got));
        for (qsizetype at = 0; at < payload.size(); ++at) {
            QByteArray changed = payload;
            changed[at] = char(0xff);
            if (protocol::decodeAnswer(changed, got)) // a unit of text changed
                QCOMPARE(got.text.lines.size(), sent.text.lines.size());
        }
        QCOMPARE(protocol::payloadSize("TWRS\xff\xff\xff\xff"), -1);
        QCOMPARE(protocol::payloadSize("XXXX\x01\0\0\0"), -1);
        // A verdict: whole it decodes, cut or with a bad flag it is refused.
        ReadResult failed{Failure::Damaged, u"damaged zip"_qs, {}};
        const QByteArray verdict = protocol::encodeVerdict(failed, true);
        std::optional<bool> found;
        QVERIFY(protocol::decodeAnyAnswer(verdict, got, found));
        QVERIFY(found && *found && got.failure == Failure::Damaged);
        QCOMPARE(got.reason, failed.reason);
        QVERIFY(protocol::decodeAnyAnswer(answer, got, found) && !found);
        for (qsizetype cut = 0; cut < verdict.size(); ++cut)
            QVERIFY(!protocol::decodeAnyAnswer(verdict.first(cut), got, found));
        QByteArray flagged = verdict;
        flagged[protocol::kHeaderBytes + 2] = 2;
        QVERIFY(!protocol::decodeAnyAnswer(flagged, got, found));
        // A header that agrees with a payload a byte short, or a byte long.
        for (const QByteArray &framed : {verdict.chopped(1), verdict + 'x'}) {
            QByteArray told = framed;
            qToLittleEndian(quint32(told.size() - protocol::kHeaderBytes), told.data() + 4);
            QVERIFY(!protocol::decodeAnyAnswer(told, got, found));
        }
    }

    // A chunk of a search's members: whole, it hands over every member; cut
    // anywhere, only whole members before the cut, or it is refused; a large
    // member's own head frames the same bytes as a gathered one.
    void malformedChunks()
    {
        struct Seen final : MemberSink {
            QByteArrayList members;
            bool textMember(QByteArrayView bytes) override
            {
                members << "t" + bytes.toByteArray();
                return false;
            }
            bool documentLines(const std::vector<QString> &lines) override
            {
                members << "d" + QByteArray::number(qsizetype(lines.size()));
                return false;
            }
        };
        protocol::MemberChunk chunk;
        chunk.addText("見積書\r\n納品書");
        chunk.addLines({u"請求書"_qs, QString()});
        chunk.addText({});
        const QByteArray whole = chunk.finish(protocol::kWait).toByteArray();
        quint32 magic = 0;
        QCOMPARE(protocol::frameSize(QByteArrayView(whole).first(protocol::kHeaderBytes), magic),
                 whole.size() - protocol::kHeaderBytes);
        QCOMPARE(magic, protocol::kMembersMagic);
        const QByteArray payload = whole.mid(protocol::kHeaderBytes);
        const QByteArrayList all{"t見積書\r\n納品書", "d2", "t"};
        bool wait = false, found = false;
        Seen seen;
        QVERIFY(protocol::decodeMembers(payload, seen, wait, found));
        QVERIFY(wait && !found);
        QCOMPARE(seen.members, all);
        for (qsizetype cut = 0; cut < payload.size(); ++cut) {
            Seen part;
            if (protocol::decodeMembers(payload.first(cut), part, wait, found))
                QVERIFY(part.members.size() < all.size() &&
                        all.mid(0, part.members.size()) == part.members);
        }
        for (qsizetype at = 0; at < payload.size(); ++at) {
            QByteArray changed = payload;
            changed[at] = char(0xff);
            Seen any;
            protocol::decodeMembers(changed, any, wait, found); // within its bytes
        }
        chunk.clear();
        chunk.addText("abc");
        QCOMPARE(chunk.finish(protocol::kMore).toByteArray(),
                 protocol::MemberChunk::textHead(3, protocol::kMore) + "abc");
        QCOMPARE(protocol::frameSize("TWRM\xff\xff\xff\xff", magic), -1);
    }
};

QTEST_GUILESS_MAIN(TestReaderPool)
#include "tst_reader_pool.moc"
