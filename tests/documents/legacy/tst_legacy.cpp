// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The binary Office readers and the RTF reader on files written by
// LibreOffice and by make-old-formats.py, on patched copies of them, and on
// damaged and hostile input.

#include "documents/ReadDocument.h"
#include "text/Cp932.h"

#include <QFile>
#include <QTest>

using namespace documents;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(TARNWELL_LEGACY_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

ReadResult readBytes(const QByteArray &bytes)
{
    return readDocument(bytes, sniff(bytes.constData(), bytes.size()), Limits{});
}

// The offset of the first 512-byte sector of the file that starts with `head`.
qsizetype sectorStarting(const QByteArray &bytes, QByteArrayView head)
{
    for (qsizetype at = 512; at + head.size() <= bytes.size(); at += 512)
        if (QByteArrayView(bytes).sliced(at, head.size()) == head)
            return at;
    qFatal("no sector starts with the expected bytes");
}

void put32(QByteArray &bytes, qsizetype at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (8 * i));
}

// A Word 97 file's information block starts its WordDocument stream.
qsizetype wordFib(const QByteArray &doc)
{
    return sectorStarting(doc, "\xEC\xA5");
}

const QString kBetween = cp932::decode(QByteArray("\xFA\x96")); // inside 日本 (93 FA 96 7B)

} // namespace

class TestLegacy : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void fails_data();
    void fails();
};

void TestLegacy::reads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("lines");    // lines present exactly
    QTest::addColumn<QStringList>("together"); // words found on one line
    QTest::addColumn<QStringList>("absent");   // text on no line
    QTest::addColumn<QStringList>("parts");    // location labels in order

    const QStringList sampleLines = {u"請求書 未払い plantedone"_qs,
                                     u"営業報告書 boldsplit"_qs,
                                     u"セルA\tcellb\tセルC"_qs,
                                     u"row2a\t\trow2c"_qs,
                                     u"Café déjà vu – “quoted” 𠮷野家"_qs,
                                     u"ヘッダー文字 headerword"_qs,
                                     u"フッター 1"_qs};
    const QStringList split = {u"splitalpha"_qs, u"splitbeta"_qs};
    // Footnotes and text boxes are read, on lines of their own.
    const QStringList words = split + QStringList{u"footnoteword"_qs, u"boxword"_qs};
    // Field instructions, font and style tables never read as text.
    const QStringList hidden = {u"PAGE"_qs,
                                u"Times New Roman"_qs,
                                u"Heading"_qs,
                                u"splitalpha splitbeta"_qs,
                                u"脚注つき footnoteword"_qs,
                                u"枠の段落 boxword"_qs};
    QTest::newRow("word 97") << fixture(u"sample.doc"_qs) << Kind::Word97 << sampleLines << words
                             << hidden << QStringList{};
    QTest::newRow("rtf") << fixture(u"sample.rtf"_qs) << Kind::Rtf << sampleLines << words << hidden
                         << QStringList{};
    QTest::newRow("excel 97") << fixture(u"sample.xls"_qs) << Kind::Excel97
                              << QStringList{u"請求書\t未払い plantedone\t42\t3.25"_qs,
                                             u"splitalpha\t1234567.891\t-7"_qs,
                                             u"secondsheet 二枚目\tCafé"_qs}
                              << split << QStringList{u"splitalpha splitbeta"_qs}
                              << QStringList{u"売上"_qs, u"Second"_qs};
    QTest::newRow("excel 97 continued strings, formulas, mulrk")
        << fixture(u"excel97-continue.xls"_qs) << Kind::Excel97
        << QStringList{u"continued請求書未払い\t二番目"_qs, u"式の結果\t2.5"_qs, u"7\t0.5"_qs}
        << QStringList{} << QStringList{QString(QChar(0xAAAA))} << QStringList{u"S1"_qs};
    QTest::newRow("powerpoint 97")
        << fixture(u"sample.ppt"_qs) << Kind::PowerPoint97
        << QStringList{u"請求書 未払い plantedone"_qs, u"二枚目 secondslide"_qs,
                       u"ノート noteword"_qs}
        << split << QStringList{u"splitalpha splitbeta"_qs, u"Click"_qs}
        << QStringList{u"スライド 1"_qs, u"スライド 2"_qs, u"スライド 1 のノート"_qs};
    // Code page 932 in an 8-bit piece and in BIFF5 strings; the character
    // made of the middle bytes of 日本 is never found.
    QTest::newRow("word 95 cp932")
        << fixture(u"word95-ja.doc"_qs) << Kind::Word95
        << QStringList{u"請求書 未払い word95"_qs, u"日本語の文書ｶﾀｶﾅ"_qs} << QStringList{}
        << QStringList{kBetween} << QStringList{};
    // Word 6 table rows: the row-end property (sprmPTtp) in the paragraph
    // pages ends a row; the same text fast-saved, in pieces stored out of
    // order, reads the same.
    const QStringList word6Lines = {u"前文 word6table"_qs, u"セル一\tcell two"_qs,
                                    u"二行目\trow2b"_qs, u"後文"_qs};
    const QStringList word6Absent = {u"two 二行目"_qs, u"row2b 後文"_qs};
    QTest::newRow("word 6 table") << fixture(u"word6-table.doc"_qs) << Kind::Word95 << word6Lines
                                  << QStringList{} << word6Absent << QStringList{};
    QTest::newRow("word 6 fast-saved")
        << fixture(u"word6-fastsaved.doc"_qs) << Kind::Word95 << word6Lines << QStringList{}
        << word6Absent << QStringList{};
    QTest::newRow("excel 95 cp932")
        << fixture(u"excel95-ja.xls"_qs) << Kind::Excel95
        << QStringList{u"請求書\t未払い excel95\t42"_qs, u"日本\t2.5"_qs, u"second95"_qs}
        << QStringList{} << QStringList{kBetween} << QStringList{u"売上"_qs, u"二枚目"_qs};
    // RTF: two escapes make one double-byte character, by \ansicpg932 or by
    // a \fcharset128 font; \uN's fallback is skipped; cells and rows.
    QTest::newRow("rtf cp932 escapes")
        << QByteArray("{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fnil MS Mincho;}}"
                      "{\\info{\\title \\'90\\'bf}}\\f0 \\'90\\'bf\\'8b\\'81\\'8f\\'91 \\'93\\'fa"
                      "\\'96\\'7b\\par\\uc1\\u26412?\\u35486?x\\par}")
        << Kind::Rtf << QStringList{u"請求書 日本"_qs, u"本語x"_qs} << QStringList{}
        << QStringList{kBetween, u"?"_qs, u"請求書 日本請"_qs} << QStringList{};
    QTest::newRow("rtf fcharset128")
        << QByteArray("{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset128 Gothic;}}"
                      "\\f0 caf\\'e9 {\\f1 \\'93\\'fa\\'96\\'7b}\\par"
                      "\\trowd a\\cell\\cell {\\field{\\*\\fldinst PAGE}{\\fldrslt 7}}\\cell\\row}")
        << Kind::Rtf << QStringList{u"café 日本"_qs, u"a\t\t7"_qs} << QStringList{}
        << QStringList{kBetween, u"PAGE"_qs} << QStringList{};
}

void TestLegacy::reads()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Kind, kind);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, together);
    QFETCH(QStringList, absent);
    QFETCH(QStringList, parts);
    const ReadResult result = readBytes(bytes);
    QCOMPARE(result.reason, QString());
    QVERIFY(result.ok());
    QCOMPARE(result.text.kind, kind);
    const auto &text = result.text.lines;
    for (const QString &line : lines)
        QVERIFY2(std::find(text.begin(), text.end(), line) != text.end(), qPrintable(line));
    // Each word is found, but never two of `together` on one line: they were
    // planted on lines of their own.
    for (const QString &word : together)
        QVERIFY2(std::any_of(text.begin(), text.end(),
                             [&](const QString &line) { return line.contains(word); }),
                 qPrintable(word));
    for (const QString &word : absent)
        QVERIFY2(std::none_of(text.begin(), text.end(),
                              [&](const QString &line) {
                                  const QStringList all = word.split(u' ');
                                  return std::all_of(all.begin(), all.end(), [&](const QString &w) {
                                      return line.contains(w);
                                  });
                              }),
                 qPrintable(word));
    QStringList labels;
    for (const Location &location : result.text.locations) {
        QVERIFY(location.line >= 0 && location.line < qsizetype(text.size()));
        labels << location.label;
    }
    QCOMPARE(labels, parts);
}

void TestLegacy::fails_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("reason");

    QByteArray doc = fixture(u"sample.doc"_qs);
    const qsizetype fib = wordFib(doc);
    QByteArray encryptedDoc = doc;
    encryptedDoc[fib + 0x0B] = char(encryptedDoc[fib + 0x0B] | 0x01);
    QTest::newRow("word encrypted") << encryptedDoc << Failure::Encrypted << u"encrypted"_qs;
    QByteArray xls = fixture(u"sample.xls"_qs);
    const qsizetype bof = sectorStarting(xls, "\x09\x08\x10\x00\x00\x06\x05\x00");
    xls[bof + 20] = 0x2F; // the record after BOF becomes FILEPASS
    xls[bof + 21] = 0x00;
    QTest::newRow("excel filepass") << xls << Failure::Encrypted << u"encrypted"_qs;
    QTest::newRow("encrypted package")
        << fixture(u"encrypted-package.docx"_qs) << Failure::Encrypted << u"encrypted"_qs;

    QByteArray clxOutside = doc;
    put32(clxOutside, fib + 0x1A6, 0x7FFFFFF0);
    QTest::newRow("piece table outside its stream")
        << clxOutside << Failure::Damaged
        << u"damaged Word document: piece table outside its stream"_qs;
    QTest::newRow("chain loops") << fixture(u"hostile/chain-loop.doc"_qs) << Failure::Damaged
                                 << u"damaged compound file: chain loops"_qs;
    QTest::newRow("chain past the end")
        << fixture(u"hostile/chain-past-end.doc"_qs) << Failure::Damaged
        << u"damaged compound file: chain points past the end"_qs;
    QTest::newRow("stream larger than the file")
        << fixture(u"hostile/stream-too-large.doc"_qs) << Failure::Damaged
        << u"damaged compound file: stream larger than the file"_qs;
    QTest::newRow("continue cut inside a character")
        << fixture(u"hostile/continue-cut.xls"_qs) << Failure::Damaged
        << u"damaged Excel workbook: shared string cut inside a character"_qs;
    QByteArray truncated = doc.left(2048);
    QTest::newRow("truncated compound file")
        << truncated << Failure::Damaged
        << u"damaged compound file: directory: chain points past the end"_qs;

    QByteArray deep = "{\\rtf1 ";
    deep += QByteArray(100'000, '{') + "deep" + QByteArray(100'000, '}');
    QTest::newRow("rtf nested 100,000 deep")
        << deep << Failure::Damaged << u"damaged RTF: groups nested too deep"_qs;
    QTest::newRow("rtf only opens groups")
        << (QByteArray("{\\rtf1 ") + QByteArray(1 << 20, '{')) << Failure::Damaged
        << u"damaged RTF: groups nested too deep"_qs;
}

void TestLegacy::fails()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Failure, failure);
    QFETCH(QString, reason);
    const ReadResult result = readBytes(bytes);
    QCOMPARE(result.reason, reason);
    QCOMPARE(result.failure, failure);
    QVERIFY(result.text.lines.empty());
}

QTEST_GUILESS_MAIN(TestLegacy)
#include "tst_legacy.moc"
