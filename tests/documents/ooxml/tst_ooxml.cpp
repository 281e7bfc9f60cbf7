// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The zip readers on documents written by LibreOffice and by python-docx,
// openpyxl and odfpy (fixtures/make-fixtures.sh), and on the hostile set
// (hostile/make-hostile.py).

#include "documents/ReadDocument.h"

#include <QFile>
#include <QTest>

#include <algorithm>

using namespace documents;

Q_DECLARE_METATYPE(documents::Failure)
Q_DECLARE_METATYPE(documents::Kind)
Q_DECLARE_METATYPE(documents::Limits)

namespace {

ReadResult readFile(const QString &name, const Limits &limits = {})
{
    QFile file(QStringLiteral(TARNWELL_OOXML_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot open %s", qPrintable(file.fileName()));
    const QByteArray bytes = file.readAll();
    return readDocument(bytes, sniff(bytes.constData(), bytes.size()), limits);
}

// The line holding both words, or -1; -2 when each is on some line but never
// both on one.
qsizetype lineWithBoth(const DocumentText &text, const QString &a, const QString &b)
{
    bool seenA = false, seenB = false;
    for (qsizetype i = 0; i < qsizetype(text.lines.size()); ++i) {
        const QString &line = text.lines[size_t(i)];
        if (line.contains(a) && line.contains(b))
            return i;
        seenA |= line.contains(a);
        seenB |= line.contains(b);
    }
    return seenA && seenB ? -2 : -1;
}

} // namespace

class TestOoxml : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void fixtures_data();
    void fixtures();
    void variants_data();
    void variants();
    void hostile_data();
    void hostile();
};

void TestOoxml::fixtures_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QStringList>("lines");  // each exactly once, in this order
    QTest::addColumn<QStringList>("absent"); // in no line
    QTest::addColumn<QStringList>("labels"); // the locations, in order

    const QStringList sheetLines = {u"営業報告書\t請求書\t\t未払い"_qs, u"見積書"_qs,
                                    u"納期\t1234.5\t3"_qs, u"一行目 二行目"_qs, u"交通費\t980"_qs};
    const QStringList slideLines = {u"営業報告書 請求書 未払い"_qs,
                                    u"見積書の件"_qs,
                                    u"納期は来月"_qs,
                                    u"ノートの言葉"_qs,
                                    u"二枚目の題"_qs,
                                    u"品名\t数量"_qs,
                                    u"みかん\t5"_qs};
    const QStringList slideLabels = {u"スライド 1"_qs, u"スライド 1 のノート"_qs, u"スライド 2"_qs};

    QTest::newRow("LibreOffice docx")
        << u"fixtures/lo-text.docx"_qs << Kind::Word
        << QStringList{u"月次の報告"_qs,
                       u"営業報告書 請求書 未払い"_qs,
                       u"漢字の読み"_qs,
                       u"本文に注あり"_qs,
                       u"意見です"_qs,
                       u"品名\t数量\t備考"_qs,
                       u"りんご\t\t赤い 甘い"_qs,
                       u"末尾   の段落\tタブ"_qs,
                       u"社外秘ヘッダー"_qs,
                       u"フッター文言"_qs,
                       u"\t注の本文"_qs,
                       u"コメント本文"_qs}
        << QStringList{u"かんじ"_qs, u"削除済みの語"_qs}
        << QStringList{u"本文"_qs, u"ヘッダー"_qs, u"フッター"_qs, u"脚注"_qs, u"コメント"_qs};
    QTest::newRow("python-docx, patched")
        << u"fixtures/second.docx"_qs << Kind::Word
        << QStringList{u"営業報告書 請求書 未払い"_qs,
                       u"品名\t\t備考"_qs,
                       u"りんご\t3\t赤い 甘い"_qs,
                       u"漢字の読み"_qs,
                       u"頁7番"_qs,
                       u"残る挿入語"_qs,
                       u"箱の中の言葉"_qs,
                       u"箱の前箱の後"_qs,
                       u"ヘッダー語"_qs,
                       u"フッター語"_qs,
                       u"コメントの言葉"_qs}
        << QStringList{u"かんじ"_qs, u"命令語"_qs, u"PAGE"_qs, u"削除語"_qs, u"説明文"_qs}
        << QStringList{u"本文"_qs, u"ヘッダー"_qs, u"フッター"_qs, u"コメント"_qs};
    QTest::newRow("LibreOffice odt")
        << u"fixtures/lo-text.odt"_qs << Kind::OpenDocumentText
        << QStringList{u"月次の報告"_qs,
                       u"営業報告書 請求書 未払い"_qs,
                       u"漢字の読み"_qs,
                       u"注の本文"_qs,
                       u"本文に注あり"_qs,
                       u"コメント本文"_qs,
                       u"意見です"_qs,
                       u"品名\t数量\t備考"_qs,
                       u"りんご\t\t赤い 甘い"_qs,
                       u"末尾   の段落\tタブ"_qs,
                       u"社外秘ヘッダー"_qs,
                       u"フッター文言"_qs}
        << QStringList{u"かんじ"_qs, u"削除済みの語"_qs, u"reviewer"_qs, u"2026"_qs}
        << QStringList{u"本文"_qs, u"ヘッダー"_qs, u"フッター"_qs};
    QTest::newRow("LibreOffice xlsx") << u"fixtures/lo-sheet.xlsx"_qs << Kind::Excel << sheetLines
                                      << QStringList{} << QStringList{u"売上"_qs, u"経費"_qs};
    QTest::newRow("openpyxl, patched")
        << u"fixtures/second.xlsx"_qs << Kind::Excel
        << QStringList{u"営業報告書\t請求書\t\t未払い"_qs, u"見積書"_qs, u"納期\t42.5\t3"_qs,
                       u"一行目 二行目"_qs, u"別シートの語"_qs}
        << QStringList{u"エイギョウ"_qs, u"1+2"_qs} << QStringList{u"一覧"_qs, u"二枚目"_qs};
    QTest::newRow("LibreOffice ods")
        << u"fixtures/lo-sheet.ods"_qs << Kind::OpenDocumentSpreadsheet << sheetLines
        << QStringList{} << QStringList{u"売上"_qs, u"経費"_qs};
    QTest::newRow("odfpy ods, repeated rows and cells")
        << u"fixtures/second.ods"_qs << Kind::OpenDocumentSpreadsheet
        << QStringList{u"請求書\t\t\t未払い"_qs, u"見積書"_qs, u"納期"_qs, u"繰り返し行"_qs}
        << QStringList{} << QStringList{u"表"_qs};
    QTest::newRow("LibreOffice pptx") << u"fixtures/lo-slides.pptx"_qs << Kind::PowerPoint
                                      << slideLines << QStringList{} << slideLabels;
    QTest::newRow("LibreOffice odp")
        << u"fixtures/lo-slides.odp"_qs << Kind::OpenDocumentPresentation << slideLines
        << QStringList{} << slideLabels;
}

void TestOoxml::fixtures()
{
    QFETCH(QString, file);
    QFETCH(Kind, kind);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, absent);
    QFETCH(QStringList, labels);
    const ReadResult result = readFile(file);
    QCOMPARE(result.failure, Failure::None);
    const DocumentText &text = result.text;
    QCOMPARE(text.kind, kind);

    qsizetype previous = -1;
    for (const QString &line : lines) {
        const auto at = std::find(text.lines.begin(), text.lines.end(), line);
        QVERIFY2(at != text.lines.end(), qPrintable(u"missing line: "_qs + line));
        QVERIFY2(std::count(text.lines.begin(), text.lines.end(), line) == 1,
                 qPrintable(u"twice: "_qs + line));
        QVERIFY2(at - text.lines.begin() > previous, qPrintable(u"out of order: "_qs + line));
        previous = at - text.lines.begin();
    }
    for (const QString &line : text.lines)
        for (const QString &word : absent)
            QVERIFY2(!line.contains(word), qPrintable(u"should not be read: "_qs + word));
    // Every fixture plants words on one line and others over two.
    QVERIFY(lineWithBoth(text, u"請求書"_qs, u"未払い"_qs) >= 0);
    QCOMPARE(lineWithBoth(text, u"見積書"_qs, u"納期"_qs), -2);

    QStringList got;
    qsizetype last = -1;
    for (const Location &location : text.locations) {
        got << location.label;
        QVERIFY(location.line > last && location.line < qsizetype(text.lines.size()));
        last = location.line;
    }
    QCOMPARE(got, labels);
}

// The same documents under the other content types of their kind.
void TestOoxml::variants_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<Kind>("kind");
    QTest::newRow("macro-enabled Word") << u"variant.docm"_qs << Failure::None << Kind::Word;
    QTest::newRow("Word template") << u"variant.dotx"_qs << Failure::None << Kind::Word;
    QTest::newRow("macro-enabled Excel template")
        << u"variant.xltm"_qs << Failure::None << Kind::Excel;
    QTest::newRow("binary Excel") << u"variant.xlsb"_qs << Failure::Unsupported << Kind::Word;
    QTest::newRow("unknown main part")
        << u"variant-unknown.xlsx"_qs << Failure::Unsupported << Kind::Word;
}

void TestOoxml::variants()
{
    QFETCH(QString, file);
    QFETCH(Failure, failure);
    QFETCH(Kind, kind);
    const ReadResult result = readFile(u"fixtures/"_qs + file);
    QCOMPARE(result.failure, failure);
    if (failure == Failure::None) {
        QCOMPARE(result.text.kind, kind);
        QVERIFY(lineWithBoth(result.text, u"請求書"_qs, u"未払い"_qs) >= 0);
    }
}

void TestOoxml::hostile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Limits>("limits");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("reason");

    const Limits plain;
    Limits smallMember, smallDocument, fewMembers, littleText, shallow;
    smallMember.memberBytes = 4 << 20;
    smallDocument.documentBytes = 4 << 20;
    fewMembers.zipMembers = 3;
    littleText.textUnits = 20;
    shallow.xmlDepth = 4;

    QTest::newRow("truncated") << u"hostile/truncated.docx"_qs << plain << Failure::Damaged
                               << u"damaged zip"_qs;
    QTest::newRow("1 GiB bomb") << u"hostile/bomb.docx"_qs << plain << Failure::OverLimit
                                << u"256 MiB zip member limit"_qs;
    QTest::newRow("bomb with lying sizes, member")
        << u"hostile/lying-bomb.docx"_qs << smallMember << Failure::OverLimit
        << u"4 MiB zip member limit"_qs;
    QTest::newRow("bomb with lying sizes, document")
        << u"hostile/lying-bomb.docx"_qs << smallDocument << Failure::OverLimit
        << u"4 MiB inflated document limit"_qs;
    QTest::newRow("nested entities") << u"hostile/entities.xlsx"_qs << plain << Failure::Damaged
                                     << u"document type declaration"_qs;
    QTest::newRow("a million repeated rows")
        << u"hostile/million-rows.ods"_qs << plain << Failure::None << QString();
    QTest::newRow("deep XML") << u"hostile/deep.docx"_qs << plain << Failure::OverLimit
                              << u"256 XML depth"_qs;
    QTest::newRow("shallow limit")
        << u"fixtures/lo-text.docx"_qs << shallow << Failure::OverLimit << u"4 XML depth"_qs;
    QTest::newRow("encrypted members")
        << u"hostile/encrypted.docx"_qs << plain << Failure::Encrypted << u"encrypted"_qs;
    QTest::newRow("password-protected odt")
        << u"hostile/encrypted.odt"_qs << plain << Failure::Encrypted << u"encrypted"_qs;
    QTest::newRow("a zip of text")
        << u"hostile/plain.zip"_qs << plain << Failure::NotDocument << QString();
    QTest::newRow("too many members")
        << u"fixtures/lo-text.docx"_qs << fewMembers << Failure::OverLimit << u"3 zip entries"_qs;
    for (const char *name :
         {"lo-text.docx", "second.xlsx", "lo-sheet.ods", "lo-slides.pptx", "lo-text.odt"})
        QTest::addRow("too much text: %s", name)
            << u"fixtures/"_qs + QLatin1StringView(name) << littleText << Failure::OverLimit
            << u"text limit"_qs;
}

void TestOoxml::hostile()
{
    QFETCH(QString, file);
    QFETCH(Limits, limits);
    QFETCH(Failure, failure);
    QFETCH(QString, reason);
    const ReadResult result = readFile(file, limits);
    QCOMPARE(result.failure, failure);
    QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
    if (failure == Failure::None) // the repeated row is read once, the empty ones not at all
        QCOMPARE(result.text.lines, std::vector<QString>{u"繰り返し"_qs});
    else
        QVERIFY(result.text.lines.empty());
}

QTEST_GUILESS_MAIN(TestOoxml)
#include "tst_ooxml.moc"
