// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// One reader helper over many documents: every limit renewed for each
// document and held at its edge (one under, at, one over), descriptors given
// back, a helper that died while idle replaced, and answers that break the
// protocol refused.

#include "documents/ReaderPool.h"
#include "tests/documents/docpool/PoolTesting.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace documents;
using namespace pooltesting;

namespace {

// The test build of the helpers, which obeys the test words.
ReaderPool::Options testHelper()
{
    return helpersOf(DOCREADER_TEST, PDFREADER_TEST, 1);
}

} // namespace

class TestReaderHelper : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every document gets at least its whole processor time, however the
    // time used before it splits into user and system time: two documents
    // leave both well into their second (where rounding each down loses up
    // to a second), then hundreds more through the same helper each find
    // the limit renewed at least the allowance, and at most a second more,
    // ahead of the time used.
    void processorTimeRenewedForEachDocument()
    {
        QTemporaryDir dir;
        const QString burnSystem = dir.filePath(QStringLiteral("system.pdf"));
        const QString burnUser = dir.filePath(QStringLiteral("user.pdf"));
        const QString report = dir.filePath(QStringLiteral("report.pdf"));
        QVERIFY(writeFile(burnSystem, "%PDF-BURN-SYSTEM"));
        QVERIFY(writeFile(burnUser, "%PDF-BURN-USER"));
        QVERIFY(writeFile(report, "%PDF-CPU"));
        ReaderPool::Options options = testHelper();
        options.limits.cpuSecondsPerDocument = 1;
        options.limits.wallMillisecondsPerDocument = 600'000;
        ReaderPool pool(options);
        const qint64 allowance = 1'000'000;
        for (const QString &path : {burnSystem, burnUser}) {
            const Fd fd(path);
            const ReadResult burnt = pool.read(fd.fd, Container::Pdf);
            QVERIFY2(burnt.ok() && holds(burnt, u"burnt"_qs), qPrintable(burnt.reason));
        }
        for (int i = 0; i < 300; ++i) {
            const Fd fd(report);
            const ReadResult result = pool.read(fd.fd, Container::Pdf);
            QVERIFY2(result.ok(), qPrintable(QString::number(i) + u' ' + result.reason));
            QCOMPARE(result.text.lines.size(), size_t(1));
            const QStringList numbers = result.text.lines.front().split(u' ');
            QCOMPARE(numbers.size(), 2);
            // What is left when the document begins (a few microseconds
            // after the limit was set).
            const qint64 left = numbers[0].toLongLong() * 1'000'000 - numbers[1].toLongLong();
            QVERIFY2(left > allowance - 20'000 && left <= 2 * allowance,
                     qPrintable(QStringLiteral("document %1: %2 µs left").arg(i).arg(left)));
        }
        QCOMPARE(pool.started(), 1);
    }
};

QTEST_GUILESS_MAIN(TestReaderHelper)
#include "tst_reader_helper.moc"
