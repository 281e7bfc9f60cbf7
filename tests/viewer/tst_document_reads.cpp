// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Listed documents read for the viewer on threads of their own: the answer
// comes on the thread that asked, a later start wins over a slow read (asked
// to stop, its late answer dropped), the reads end when their owner goes, and
// with no thread to be had the read is done in place.

#include "tests/common/FakeDocumentReader.h"
#include "tests/common/Limits.h"
#include "viewer/DocumentFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

Q_DECLARE_METATYPE(ListedDocument::State)

namespace {

const QByteArray kSlow = QByteArray("PK\x03\x04", 4) + "slow";
const QByteArray kQuick = QByteArray("PK\x03\x04", 4) + "quick";

// What a read handed back, and on which thread.
struct Answers {
    QList<ListedDocument> got;
    bool offThread = false;
    BackgroundDocumentReads::Done done()
    {
        return [this](ListedDocument document) {
            offThread = offThread || QThread::currentThread() != qApp->thread();
            got.append(std::move(document));
        };
    }
};

} // namespace

class TestDocumentReads : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    FakeDocumentReader m_reader;

    QByteArray file(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QString::number(qHash(content)));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return {};
        return QFile::encodeName(path);
    }

private Q_SLOTS:
    void init()
    {
        m_reader.release();
        m_reader.clearCalls();
        documents::DocumentText text;
        text.lines = {QStringLiteral("quick")};
        m_reader.setText(kQuick, text);
        m_reader.setResult(kSlow + "damaged", {documents::Failure::Damaged, {}, {}});
    }

    void answerComesOnTheStartingThread_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<ListedDocument::State>("state");
        QTest::newRow("document") << kQuick << ListedDocument::Document;
        QTest::newRow("no document after all") << kSlow + "text" << ListedDocument::Text;
        QTest::newRow("damaged") << kSlow + "damaged" << ListedDocument::Unreadable;
    }
    void answerComesOnTheStartingThread()
    {
        QFETCH(QByteArray, content);
        QFETCH(ListedDocument::State, state);
        BackgroundDocumentReads reads;
        Answers answers;
        OpenedListedFile opened(file(content));
        QCOMPARE(opened.state(), ListedDocument::Document);
        reads.start(std::move(opened), m_reader, answers.done());
        QVERIFY(reads.busy());
        QTRY_COMPARE(answers.got.size(), 1);
        QVERIFY(!answers.offThread);
        QVERIFY(!reads.busy());
        QCOMPARE(answers.got[0].state, state);
        QCOMPARE(answers.got[0].text.lines.size(), size_t(state == ListedDocument::Document));
    }

    void aLaterStartWins_data()
    {
        QTest::addColumn<bool>("heedStop");
        QTest::newRow("reader gives up") << true;
        QTest::newRow("reader never gives up") << false;
    }
    void aLaterStartWins()
    {
        QFETCH(bool, heedStop);
        BackgroundDocumentReads reads;
        Answers slow, quick;
        m_reader.hold(kSlow, heedStop);
        reads.start(OpenedListedFile(file(kSlow)), m_reader, slow.done());
        QTRY_COMPARE(m_reader.waiting(), 1);
        reads.start(OpenedListedFile(file(kQuick)), m_reader, quick.done());
        QTRY_COMPARE(quick.got.size(), 1);
        QCOMPARE(quick.got[0].text.lines.at(0), QStringLiteral("quick"));
        if (heedStop)
            QTRY_COMPARE(m_reader.stopped(), 1);
        else
            m_reader.release();
        QTRY_COMPARE(reads.running(), 0);
        QCoreApplication::processEvents();
        QVERIFY(slow.got.isEmpty());
        QCOMPARE(quick.got.size(), 1);
    }

    // Threads lowered for real to none: the document is still shown.
    void noThreadLeftReadsInPlace()
    {
        if (!testsupport::kThreadsInChild)
            QSKIP("ThreadSanitizer cannot follow a child of a threaded process");
        OpenedListedFile opened(file(kQuick)); // open before becoming nobody
        testsupport::inChild([&] {
            QVERIFY(testsupport::becomeNobodyIfRoot());
            QVERIFY(testsupport::lowerLimit(RLIMIT_NPROC, 1));
            BackgroundDocumentReads reads;
            Answers answers;
            reads.start(std::move(opened), m_reader, answers.done());
            QCOMPARE(answers.got.size(), 1);
            QVERIFY(!reads.busy());
            QCOMPARE(answers.got[0].text.lines.at(0), QStringLiteral("quick"));
        });
    }

    void goingEndsTheReads()
    {
        auto reads = std::make_unique<BackgroundDocumentReads>();
        Answers answers;
        m_reader.hold(kSlow);
        reads->start(OpenedListedFile(file(kSlow)), m_reader, answers.done());
        QTRY_COMPARE(m_reader.waiting(), 1);
        reads.reset(); // stops and joins
        QCOMPARE(m_reader.stopped(), 1);
        QCoreApplication::processEvents();
        QVERIFY(answers.got.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDocumentReads)
#include "tst_document_reads.moc"
