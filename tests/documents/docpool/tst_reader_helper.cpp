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

#include <csignal>

#include <unistd.h>

using namespace documents;
using namespace pooltesting;

Q_DECLARE_METATYPE(documents::Container)

namespace {

// The test build of the helpers, which obeys the test words.
ReaderPool::Options testHelper()
{
    return helpersOf(DOCREADER_TEST, PDFREADER_TEST, 1);
}

quint32 crc32(QByteArrayView bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

void put16(QByteArray &out, quint32 value)
{
    out.append(char(value & 0xFF)).append(char(value >> 8 & 0xFF));
}

void put32(QByteArray &out, quint32 value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

// A zip of stored members, laid out as the zip format has it:
// each member's local header and bytes, the central directory, its end.
QByteArray storedZip(const std::vector<std::pair<QByteArray, QByteArray>> &members)
{
    QByteArray zip;
    QByteArray directory;
    for (const auto &[name, bytes] : members) {
        const quint32 offset = quint32(zip.size());
        const quint32 crc = crc32(bytes);
        QByteArray common; // from the version needed to the extra field's size
        for (const quint32 value : {20u, 0u, 0u, 0u, 0x21u})
            put16(common, value); // version, flags, stored, time, date (1980-01-01)
        put32(common, crc);
        put32(common, quint32(bytes.size()));
        put32(common, quint32(bytes.size()));
        put16(common, quint32(name.size()));
        put16(common, 0);
        put32(zip, 0x04034b50);
        zip += common + name + bytes;
        put32(directory, 0x02014b50);
        put16(directory, 20); // made by
        directory += common;
        for (const quint32 value : {0u, 0u, 0u}) // comment, disk, internal attributes
            put16(directory, value);
        put32(directory, 0); // external attributes
        put32(directory, offset);
        directory += name;
    }
    const quint32 at = quint32(zip.size());
    zip += directory;
    put32(zip, 0x06054b50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, quint32(members.size()));
    put16(zip, quint32(members.size()));
    put32(zip, quint32(directory.size()));
    put32(zip, at);
    put16(zip, 0);
    return zip;
}

const QByteArray kMimetype("application/vnd.oasis.opendocument.text");

// An OpenDocument text of this content.xml (and styles.xml, when given), and
// `padding` empty members more.
QByteArray openDocument(const QByteArray &content, int padding = 0, const QByteArray &styles = {})
{
    std::vector<std::pair<QByteArray, QByteArray>> members{{"mimetype", kMimetype},
                                                           {"content.xml", content}};
    if (!styles.isEmpty())
        members.emplace_back("styles.xml", styles);
    for (int i = 0; i < padding; ++i)
        members.emplace_back("pad/" + QByteArray::number(i), QByteArray());
    return storedZip(members);
}

// content.xml with `spans` elements around the paragraph's text (so that it
// is 4 + spans deep), padded with a comment to `bytes` bytes when that is
// more than it needs.
QByteArray contentXml(const QByteArray &text, int spans = 0, qint64 bytes = 0)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
                     "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
                     "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\">"
                     "<office:body><office:text><text:p>";
    xml += QByteArray("<text:span>").repeated(spans) + text +
           QByteArray("</text:span>").repeated(spans);
    xml += "</text:p></office:text></office:body></office:document-content>";
    const qint64 comment = bytes - xml.size();
    if (comment >= 7)
        xml += "<!--" + QByteArray(comment - 7, 'x') + "-->";
    return xml;
}

// What each limit counts, and a document that holds `n` of it with the
// word "planted" in its text.
enum class Measure { FileBytes, ZipMembers, MemberBytes, DocumentBytes, XmlDepth, TextUnits };

QByteArray documentOf(Measure measure, qint64 n)
{
    switch (measure) {
    case Measure::FileBytes: {
        const QByteArray rtf("{\\rtf1\\ansi planted");
        return rtf + QByteArray(n - rtf.size() - 1, ' ') + '}';
    }
    case Measure::ZipMembers:
        return openDocument(contentXml("planted"), int(n) - 2);
    case Measure::MemberBytes:
        return openDocument(contentXml("planted", 0, n));
    case Measure::DocumentBytes: { // the mimetype member, content.xml and styles.xml
        const QByteArray content = contentXml("planted", 0, 1000);
        QByteArray styles = "<office:document-styles "
                            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"/>";
        styles += "<!--" +
                  QByteArray(n - kMimetype.size() - content.size() - styles.size() - 7, 'x') +
                  "-->";
        return openDocument(content, 0, styles);
    }
    case Measure::XmlDepth:
        return openDocument(contentXml("planted", int(n) - 4));
    case Measure::TextUnits: // the text and one unit for the end of its line
        return openDocument(contentXml("planted" + QByteArray(n - 8, 'y')));
    }
    return {};
}

// The limit that counts `measure`, set to `value`.
void setLimit(Limits &limits, Measure measure, qint64 value)
{
    switch (measure) {
    case Measure::FileBytes:
        limits.fileBytes = value;
        break;
    case Measure::ZipMembers:
        limits.zipMembers = int(value);
        break;
    case Measure::MemberBytes:
        limits.memberBytes = value;
        break;
    case Measure::DocumentBytes:
        limits.documentBytes = value;
        break;
    case Measure::XmlDepth:
        limits.xmlDepth = int(value);
        break;
    case Measure::TextUnits:
        limits.textUnits = value;
        break;
    }
}

// The helper processes this one started (one pool, one thread at a time).
QList<int> helperProcesses()
{
    QList<int> pids;
    QFile file(QStringLiteral("/proc/self/task/%1/children").arg(gettid()));
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &pid : file.readAll().simplified().split(' '))
            if (!pid.isEmpty())
                pids << pid.toInt();
    }
    return pids;
}

// True once the process has ended (and waits to be reaped).
bool ended(int pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray stat = file.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2, 1) == "Z";
}

} // namespace

Q_DECLARE_METATYPE(Measure)

class TestReaderHelper : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Each limit, lowered for real in the helper, at its edge: a document one
    // under it and one at it is read, one over it is refused as over the
    // limit, and the same helper then reads the one at it again.
    void limitsAtTheirEdges_data()
    {
        QTest::addColumn<Measure>("measure");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<Container>("container");
        QTest::newRow("file bytes") << Measure::FileBytes << qint64(2000) << Container::Rtf;
        QTest::newRow("zip members") << Measure::ZipMembers << qint64(40) << Container::Zip;
        QTest::newRow("bytes of a member")
            << Measure::MemberBytes << qint64(4096) << Container::Zip;
        QTest::newRow("bytes of a document")
            << Measure::DocumentBytes << qint64(4096) << Container::Zip;
        QTest::newRow("XML depth") << Measure::XmlDepth << qint64(40) << Container::Zip;
        QTest::newRow("text units") << Measure::TextUnits << qint64(1000) << Container::Zip;
    }
    void limitsAtTheirEdges()
    {
        QFETCH(Measure, measure);
        QFETCH(qint64, limit);
        QFETCH(Container, container);
        ReaderPool::Options options = helpersOf(DOCREADER, PDFREADER, 1);
        setLimit(options.limits, measure, limit);
        ReaderPool pool(options);
        QTemporaryDir dir;
        for (const qint64 n : {limit - 1, limit, limit + 1, limit}) {
            const QString path = dir.filePath(QString::number(n));
            const QByteArray document = documentOf(measure, n);
            if (measure == Measure::FileBytes)
                QCOMPARE(document.size(), n);
            QVERIFY(writeFile(path, document));
            const Fd fd(path);
            const ReadResult result = pool.read(fd.fd, container);
            const QByteArray what = QByteArray::number(n) + ": " + result.reason.toUtf8();
            if (n <= limit) {
                QVERIFY2(result.ok() && holds(result, u"planted"_qs), what.constData());
            } else {
                QVERIFY2(result.failure == Failure::OverLimit, what.constData());
                QVERIFY2(result.reason.startsWith(u"over the "), what.constData());
            }
        }
        QCOMPARE(pool.started(), 1);
    }

    // One helper reads documents of every kind it reads, again and again:
    // each answer is the same as the first time, no descriptor is kept
    // (the helper may hold a few dozen), and no new helper is needed.
    void hundredsOfDocumentsInARow()
    {
        const QStringList paths = {
            QStringLiteral(LEGACY_FIXTURES "/sample.doc"),
            QStringLiteral(LEGACY_FIXTURES "/sample.xls"),
            QStringLiteral(LEGACY_FIXTURES "/sample.ppt"),
            QStringLiteral(LEGACY_FIXTURES "/sample.rtf"),
            QStringLiteral(OOXML_FIXTURES "/lo-text.docx"),
            QStringLiteral(OOXML_FIXTURES "/lo-sheet.ods"),
            QStringLiteral(OOXML_FIXTURES "/lo-slides.pptx"),
        };
        const Container containers[] = {
            Container::Compound, Container::Compound, Container::Compound, Container::Rtf,
            Container::Zip,      Container::Zip,      Container::Zip};
        ReaderPool pool(helpersOf(DOCREADER, PDFREADER, 1));
        std::vector<QStringList> first(paths.size());
        for (int i = 0; i < 300; ++i) {
            const qsizetype which = i % paths.size();
            const Fd fd(paths[which]);
            const ReadResult result = pool.read(fd.fd, containers[which]);
            QVERIFY2(result.ok(), qPrintable(QString::number(i) + u' ' + result.reason));
            const QStringList lines(result.text.lines.begin(), result.text.lines.end());
            if (first[which].isEmpty())
                first[which] = lines;
            QVERIFY(!lines.isEmpty());
            QCOMPARE(lines, first[which]);
        }
        QCOMPARE(pool.started(), 1);
    }

    // A helper that died while idle (killed from outside) is replaced
    // before the next document, which is read.
    void idleHelperKilled()
    {
        ReaderPool pool(helpersOf(DOCREADER, PDFREADER, 1));
        const Fd fd(QStringLiteral(LEGACY_FIXTURES "/sample.rtf"));
        QVERIFY(pool.read(fd.fd, Container::Rtf).ok());
        const QList<int> helpers = helperProcesses();
        QCOMPARE(helpers.size(), 1);
        ::kill(helpers.front(), SIGKILL);
        QVERIFY(QTest::qWaitFor([&] { return ended(helpers.front()); }, 60000));
        const ReadResult result = pool.read(fd.fd, Container::Rtf);
        QVERIFY2(result.ok(), qPrintable(result.reason));
        QCOMPARE(pool.started(), 2);
        QVERIFY(!helperProcesses().contains(helpers.front()));
    }

    // Answers that break the protocol are refused, the helper that gave one
    // is ended, and the next document gets a new one.
    void malformedAnswers_data()
    {
        QTest::addColumn<QByteArray>("word");
        QTest::newRow("locations out of order") << QByteArray("%PDF-DISORDER");
        QTest::newRow("a location past the end") << QByteArray("%PDF-PASTEND");
        QTest::newRow("bytes after the last location") << QByteArray("%PDF-TRAILING");
        QTest::newRow("more than the header announces") << QByteArray("%PDF-MORE");
        QTest::newRow("a verdict to a request for the lines") << QByteArray("%PDF-VERDICT");
    }
    void malformedAnswers()
    {
        QFETCH(QByteArray, word);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("bad.pdf"));
        QVERIFY(writeFile(path, word));
        const QString good = dir.filePath(QStringLiteral("good.pdf"));
        QVERIFY(writeFile(good, "%PDF-NAP 0"));
        ReaderPool pool(testHelper());
        const Fd bad(path);
        const ReadResult result = pool.read(bad.fd, Container::Pdf);
        QCOMPARE(result.failure, Failure::ReaderFailed);
        QCOMPARE(result.reason, u"reader gave a malformed answer"_qs);
        const Fd next(good);
        const ReadResult after = pool.read(next.fd, Container::Pdf);
        QVERIFY2(after.ok() && holds(after, u"rested"_qs), qPrintable(after.reason));
        QCOMPARE(pool.started(), 2);
    }

    // The wall clock: a document well within it is read, one past it ends
    // its helper, and the next document gets a new one.
    void wallClock_data()
    {
        QTest::addColumn<int>("milliseconds");
        QTest::addColumn<int>("sleep");
        QTest::addColumn<QString>("reason"); // empty: read
        QTest::newRow("well within") << 3000 << 100 << QString();
        QTest::newRow("past it") << 1000 << 4000 << u"over the 1 s time limit"_qs;
    }
    void wallClock()
    {
        QFETCH(int, milliseconds);
        QFETCH(int, sleep);
        QFETCH(QString, reason);
        ReaderPool::Options options = testHelper();
        options.limits.wallMillisecondsPerDocument = milliseconds;
        ReaderPool pool(options);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("nap.pdf"));
        QVERIFY(writeFile(path, "%PDF-NAP " + QByteArray::number(sleep)));
        const QString quick = dir.filePath(QStringLiteral("quick.pdf"));
        QVERIFY(writeFile(quick, "%PDF-NAP 0"));
        const Fd fd(path);
        const ReadResult result = pool.read(fd.fd, Container::Pdf);
        if (reason.isEmpty()) {
            QVERIFY2(result.ok() && holds(result, u"rested"_qs), qPrintable(result.reason));
        } else {
            QCOMPARE(result.failure, Failure::ReaderFailed);
            QCOMPARE(result.reason, reason);
        }
        const Fd next(quick);
        QVERIFY(pool.read(next.fd, Container::Pdf).ok());
        QCOMPARE(pool.started(), reason.isEmpty() ? 1 : 2);
    }

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
        // A long allowance is given whole too.
        options.limits.cpuSecondsPerDocument = 100;
        ReaderPool generous(options);
        const Fd fd(report);
        const ReadResult result = generous.read(fd.fd, Container::Pdf);
        QVERIFY2(result.ok() && !result.text.lines.empty(), qPrintable(result.reason));
        const QStringList numbers = result.text.lines.front().split(u' ');
        QVERIFY(numbers.value(0).toLongLong() * 1'000'000 - numbers.value(1).toLongLong() >
                100 * allowance - 20'000);
    }
};

QTEST_GUILESS_MAIN(TestReaderHelper)
#include "tst_reader_helper.moc"
