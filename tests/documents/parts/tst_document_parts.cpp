// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The parts real documents have, each holding one planted word, in every
// format LibreOffice saves one document in (fixtures/make-fixtures.sh):
// headers and their text boxes, endnotes, footnotes, text boxes, merged,
// covered and empty cells, a nested table, tab stops against tabs. And the
// structure of the binary formats: a Word file re-laid out in a compound
// file large enough to list its allocation table in DIFAT sectors, a
// presentation saved twice, RTF's character sets.

#include "documents/CompoundFile.h"
#include "documents/ReadDocument.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

using namespace documents;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(PARTS_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ReadResult readBytes(const QByteArray &bytes)
{
    return readDocument(bytes, sniff(bytes.constData(), bytes.size()), Limits{});
}

QString joined(const ReadResult &result)
{
    QStringList lines;
    for (const QString &line : result.text.lines)
        lines << line;
    return lines.join(u'\n');
}

// Each part: its planted word, what must hold of the document's lines
// (joined by line ends), and the formats that hold it (empty: all).
struct Part {
    const char *name;
    const char *word;
    const char *pattern;
    QStringList formats;
};

const QStringList kFormats = {u"odt"_qs, u"docx"_qs, u"doc"_qs, u"rtf"_qs};

const Part kParts[] = {
    {"body", "plantbody", "^plantbody$", {}},
    {"header", "plantheader", "^plantheader$", {}},
    {"header text box", "plantheaderbox", "^plantheaderbox$", {}},
    // LibreOffice's RTF leaves the left pages' header out.
    {"header of left pages",
     "plantheaderleft",
     "^plantheaderleft$",
     {u"odt"_qs, u"docx"_qs, u"doc"_qs}},
    {"endnote", "plantendnote", "plantendnote$", {}},
    {"footnote", "plantfootnote", "plantfootnote$", {}},
    {"text box", "plantbodybox", "^plantbodybox$", {}},
    // The cells of a row on one line, a tab between cells, an empty,
    // covered or merged cell counted as the columns it stands for.
    {"merged down", "plantmergeddown", "^plantrowa\tplantmergeddown\tplantrowc$", {}},
    {"covered by a merge", "plantcovereda", "^plantcovereda\t\tplantcoveredc$", {}},
    {"merged across", "plantmergedacross", "^plantmergedacross\t+plantafterspan$", {}},
    {"empty cell", "plantemptya", "^plantemptya\t\tplantemptyc$", {}},
    // An empty first cell after the end of a row begins the next row.
    {"empty first cell",
     "plantemptyfirstb",
     "plantemptyc\n\t?plantemptyfirstb\tplantemptyfirstc$",
     {}},
    {"nested table",
     "plantinnera",
     "plantouter\\s+plantinnera\\s+plantinnerb\\s+plantouterright",
     {}},
    {"nested table, one row",
     "plantinnerb",
     "^plantouter plantinnera plantinnerb\tplantouterright$",
     {u"odt"_qs, u"docx"_qs}},
    {"tab stops", "planttabstops", "^planttabstops no tab here$", {}},
    {"tab", "planttaba", "^planttaba\tplanttabb$", {}},
};

// Writes a version 3 compound file (512-byte sectors) of these streams under
// its root, in the order given: streams under 4,096 bytes in the mini stream,
// the allocation table's first 109 sectors named in the header and the rest
// in a chain of DIFAT sectors.
QByteArray compoundFile(const std::vector<std::pair<QString, QByteArray>> &streams)
{
    constexpr quint32 kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFatSector = 0xFFFFFFFD,
                      kDifatSector = 0xFFFFFFFC;
    constexpr qint64 kSector = 512;
    const auto u32 = [](QByteArray &out, quint32 v) {
        for (int i = 0; i < 4; ++i)
            out.append(char(v >> (8 * i) & 0xFF));
    };
    QByteArray data; // the sectors after the header
    std::vector<quint32> fat;
    const auto place = [&](const QByteArray &bytes) -> quint32 {
        if (bytes.isEmpty())
            return kEnd;
        const quint32 first = quint32(fat.size());
        const qint64 count = (bytes.size() + kSector - 1) / kSector;
        for (qint64 i = 0; i < count; ++i)
            fat.push_back(i + 1 < count ? first + quint32(i) + 1 : kEnd);
        data += bytes;
        data.append(count * kSector - bytes.size(), '\0');
        return first;
    };
    QByteArray mini;
    QByteArray miniFat;
    std::vector<std::pair<quint32, quint32>> placed; // start, size
    for (const auto &[name, bytes] : streams) {
        if (bytes.size() < 4096) {
            const quint32 first = quint32(mini.size() / 64);
            const qint64 count = (bytes.size() + 63) / 64;
            for (qint64 i = 0; i < count; ++i)
                u32(miniFat, i + 1 < count ? first + quint32(i) + 1 : kEnd);
            mini += bytes;
            mini.append(count * 64 - bytes.size(), '\0');
            placed.emplace_back(bytes.isEmpty() ? kEnd : first, quint32(bytes.size()));
        } else {
            placed.emplace_back(place(bytes), quint32(bytes.size()));
        }
    }
    const quint32 miniStart = place(mini);
    const quint32 miniFatStart = place(miniFat);
    const auto entry = [&](const QString &name, int type, quint32 start, quint32 size,
                           quint32 right, quint32 child) {
        QByteArray e(128, '\0');
        for (qsizetype i = 0; i < name.size(); ++i) {
            e[2 * i] = char(name[i].unicode() & 0xFF);
            e[2 * i + 1] = char(name[i].unicode() >> 8);
        }
        e[0x40] = char(2 * (name.size() + 1));
        e[0x42] = char(type);
        e[0x43] = 1;
        QByteArray links;
        u32(links, kFree);
        u32(links, right);
        u32(links, child);
        e.replace(0x44, 12, links);
        QByteArray where;
        u32(where, start);
        u32(where, size);
        e.replace(0x74, 8, where);
        return e;
    };
    QByteArray directory = entry(u"Root Entry"_qs, 5, mini.isEmpty() ? kEnd : miniStart,
                                 quint32(mini.size()), kFree, 1);
    for (size_t i = 0; i < streams.size(); ++i)
        directory += entry(streams[i].first, 2, placed[i].first, placed[i].second,
                           i + 1 < streams.size() ? quint32(i + 2) : kFree, kFree);
    const quint32 directoryStart = place(directory);
    // The allocation table covers every sector, its own and the DIFAT's too.
    const qint64 dataSectors = qint64(fat.size());
    qint64 fatSectors = 0;
    qint64 difatSectors = 0;
    for (;;) {
        const qint64 total = dataSectors + fatSectors + difatSectors;
        const qint64 needFat = (total + 127) / 128;
        const qint64 needDifat = needFat > 109 ? (needFat - 109 + 126) / 127 : 0;
        if (needFat == fatSectors && needDifat == difatSectors)
            break;
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    for (qint64 i = 0; i < fatSectors; ++i)
        fat.push_back(kFatSector);
    for (qint64 i = 0; i < difatSectors; ++i)
        fat.push_back(kDifatSector);
    fat.resize(size_t(fatSectors * 128), kFree);
    QByteArray fatBytes;
    for (const quint32 v : fat)
        u32(fatBytes, v);
    QByteArray difat;
    std::vector<quint32> fatIds;
    for (qint64 i = 0; i < fatSectors; ++i)
        fatIds.push_back(quint32(dataSectors + i));
    for (qint64 d = 0; d < difatSectors; ++d) {
        QByteArray sector;
        for (qint64 i = 0; i < 127; ++i) {
            const qint64 k = 109 + d * 127 + i;
            u32(sector, k < fatSectors ? fatIds[size_t(k)] : kFree);
        }
        u32(sector, d + 1 < difatSectors ? quint32(dataSectors + fatSectors + d + 1) : kEnd);
        difat += sector;
    }
    QByteArray header("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
    header.append(16, '\0');
    for (const quint32 v : {0x3Eu, 3u, 0xFFFEu, 9u, 6u}) {
        header.append(char(v & 0xFF));
        header.append(char(v >> 8));
    }
    header.append(6, '\0');
    for (const quint32 v :
         {0u, quint32(fatSectors), directoryStart, 0u, 4096u,
          miniFat.isEmpty() ? kEnd : miniFatStart,
          quint32(miniFat.size() / kSector + (miniFat.size() % kSector ? 1 : 0)),
          difatSectors ? quint32(dataSectors + fatSectors) : kEnd, quint32(difatSectors)})
        u32(header, v);
    for (qint64 i = 0; i < 109; ++i)
        u32(header, i < fatSectors ? fatIds[size_t(i)] : kFree);
    return header + data + fatBytes + difat;
}

} // namespace

class TestDocumentParts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("pattern");
        for (const QString &format : kFormats) {
            for (const Part &part : kParts) {
                if (!part.formats.isEmpty() && !part.formats.contains(format))
                    continue;
                QTest::addRow("%s, %s", qPrintable(format), part.name)
                    << u"parts."_qs + format << QString::fromLatin1(part.word)
                    << QString::fromLatin1(part.pattern);
            }
        }
    }
    // The part's word is read once, and its line reads as the pattern says.
    void parts()
    {
        QFETCH(QString, file);
        QFETCH(QString, word);
        QFETCH(QString, pattern);
        const QByteArray bytes = fixture(file);
        QVERIFY(!bytes.isEmpty());
        const ReadResult result = readBytes(bytes);
        QVERIFY2(result.ok(), qPrintable(result.reason));
        const QString text = joined(result);
        QCOMPARE(text.count(QRegularExpression(u"\\b"_qs + word + u"\\b"_qs)), 1);
        const QRegularExpression expression(pattern, QRegularExpression::MultilineOption);
        QVERIFY2(expression.match(text).hasMatch(), qPrintable(text));
    }

    // A presentation saved, edited and saved again the way PowerPoint saves
    // (the changed slide and document record appended with a newer user
    // edit, which changed the first slide's text and deleted the second
    // slide): the newest edit of each is read, once.
    void presentationSavedTwice()
    {
        const ReadResult result = readBytes(fixture(u"parts-edited.ppt"_qs));
        QVERIFY2(result.ok(), qPrintable(result.reason));
        QCOMPARE(joined(result), u"plantnewsave!! on slide one"_qs);
        QCOMPARE(result.text.locations.size(), size_t(1));
        QCOMPARE(result.text.locations[0].label, u"スライド 1"_qs);
    }

    // 8-bit RTF text in the code page its font gives, or the default
    // font's before one is chosen, or the document's.
    void rtfCharacterSets_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("line");
        const QByteArray fonts =
            "{\\fonttbl{\\f0\\fcharset128 MS Mincho;}{\\f1\\fcharset0 Arial;}}";
        QTest::newRow("default font")
            << "{\\rtf1\\ansi\\deff0" + fonts + "\\pard \\'93\\'fa\\'96\\'7b\\par}" << u"日本"_qs;
        QTest::newRow("default font, then another")
            << "{\\rtf1\\ansi\\deff0" + fonts + "\\pard\\f1 caf\\'e9\\par}" << u"café"_qs;
        QTest::newRow("font chosen")
            << "{\\rtf1\\ansi\\deff1" + fonts + "\\pard\\f0 \\'93\\'fa\\'96\\'7b\\par}"
            << u"日本"_qs;
        QTest::newRow("the document's code page")
            << QByteArray("{\\rtf1\\ansi\\ansicpg932 \\'93\\'fa\\'96\\'7b\\par}") << u"日本"_qs;
        QTest::newRow("no code page") << QByteArray("{\\rtf1\\ansi caf\\'e9\\par}") << u"café"_qs;
    }
    void rtfCharacterSets()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, line);
        const ReadResult result = readBytes(rtf);
        QVERIFY2(result.ok(), qPrintable(result.reason));
        QCOMPARE(joined(result), line);
    }

    // The Word file's streams laid out again, after 16 MiB of another
    // stream, so that its allocation table needs more sectors than the header
    // names and the rest are listed in DIFAT sectors: it reads as the file
    // LibreOffice wrote does.
    void allocationTableInDifatSectors()
    {
        const QByteArray original = fixture(u"parts.doc"_qs);
        QString reason;
        const auto file = cfb::CompoundFile::open(original, &reason);
        QVERIFY2(file, qPrintable(reason));
        std::vector<std::pair<QString, QByteArray>> streams;
        streams.emplace_back(u"Filler"_qs, QByteArray(16 << 20, 'f'));
        for (const QString &name : {u"WordDocument"_qs, u"1Table"_qs, u"0Table"_qs, u"Data"_qs}) {
            QByteArray bytes;
            if (file->read(name, &bytes, &reason))
                streams.emplace_back(name, bytes);
        }
        QVERIFY(streams.size() >= 3);
        const QByteArray relaid = compoundFile(streams);
        QVERIFY(relaid.size() > (8 << 20));
        const ReadResult expected = readBytes(original);
        const ReadResult got = readBytes(relaid);
        QVERIFY2(got.ok(), qPrintable(got.reason));
        QCOMPARE(joined(got), joined(expected));
        QVERIFY(joined(got).contains(u"plantendnote"));
        // The same streams without the filler need no DIFAT: the writer
        // above is checked against the file too.
        streams.erase(streams.begin());
        QCOMPARE(joined(readBytes(compoundFile(streams))), joined(expected));
        // A stream of exactly 4,096 bytes, the least kept in regular sectors
        // rather than the mini stream: the table stream, padded at its end.
        for (auto &[name, bytes] : streams) {
            if (name.endsWith(u"Table") && bytes.size() < 4096)
                bytes.append(4096 - bytes.size(), '\0');
        }
        QCOMPARE(joined(readBytes(compoundFile(streams))), joined(expected));
        // Without the Word streams, a compound file of another application:
        // named as not read, not searched as text.
        const ReadResult other = readBytes(compoundFile({{u"VisioDocument"_qs, "plantx"}}));
        QCOMPARE(other.failure, documents::Failure::Unsupported);
        QVERIFY2(other.reason.contains(u"compound file"), qPrintable(other.reason));
    }
};

QTEST_GUILESS_MAIN(TestDocumentParts)
#include "tst_document_parts.moc"
