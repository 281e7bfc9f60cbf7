// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The PDF reader on files LibreOffice made (horizontal and vertical writing,
// an opening password), on dvipdfmx's (vertical writing with ruby, from
// pxrubrica's samples) and on hand-made ones (a font that is not embedded,
// fonts mixed on a baseline, dot leaders, a page tree that loops, random
// bytes after the header); right-to-left paragraphs from LibreOffice.

#include "documents/PdfDocument.h"

#include <QFile>
#include <QtTest>

using namespace documents;

namespace {

QByteArray fixture(const char *name)
{
    QFile file(QStringLiteral(PDF_FIXTURES "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// True when one line holds every word; "=line" when a line is that line.
bool oneLineHolds(const DocumentText &text, const QStringList &words)
{
    if (words[0].startsWith(u'='))
        return std::find(text.lines.begin(), text.lines.end(), words.join(u' ').mid(1)) !=
               text.lines.end();
    for (const QString &line : text.lines) {
        bool all = true;
        for (const QString &word : words)
            all = all && line.contains(word);
        if (all)
            return true;
    }
    return false;
}

} // namespace

class TestPdfReader : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("words");
        QTest::addColumn<bool>("found");
        // Runs split by formatting read whole; words on two lines match no line.
        QTest::newRow("split runs") << QByteArray("text.pdf") << u"請求書 未払い"_qs << true;
        QTest::newRow("two lines") << QByteArray("text.pdf") << u"議事録 予算案"_qs << false;
        QTest::newRow("second page") << QByteArray("text.pdf") << u"見積書 納品書"_qs << true;
        QTest::newRow("latin") << QByteArray("text.pdf") << u"English words"_qs << true;
        // A column of vertical text is one line; the next column another.
        QTest::newRow("column") << QByteArray("vertical.pdf") << u"契約書 確認する"_qs << true;
        QTest::newRow("next column") << QByteArray("vertical.pdf") << u"注文書"_qs << true;
        QTest::newRow("across columns")
            << QByteArray("vertical.pdf") << u"契約書 注文書"_qs << false;
        // Known only through poppler-data's character maps.
        QTest::newRow("not embedded")
            << QByteArray("not-embedded.pdf") << u"埋め込みなしの請求書"_qs << true;
        // Fonts of different heights on one baseline share the line; the
        // narrow gap between Japanese and Latin is no space, a typed one is.
        QTest::newRow("mixed fonts")
            << QByteArray("mixed.pdf") << u"=本製品はTarnwell 2.0で動作します"_qs << true;
        QTest::newRow("no typed space") << QByteArray("mixed.pdf") << u"=第5項による"_qs << true;
        QTest::newRow("line numbers")
            << QByteArray("mixed.pdf") << u"=3 return tarnwell_run();"_qs << true;
        // A table of contents: dot leaders stacked down the page are not
        // vertical writing.
        QTest::newRow("contents") << QByteArray("contents.pdf") << u"第3章 文書の種類 . . 17"_qs
                                  << true;
        // dvipdfmx pages (pxrubrica's samples): vertical writing known from
        // the font's writing mode, ruby left out of the column it annotates,
        // the vertical forms of punctuation read as typed.
        QTest::newRow("vertical ruby")
            << QByteArray("ruby-vertical.pdf") << u"=人に誨えて倦まず"_qs << true;
        QTest::newRow("vertical forms")
            << QByteArray("ruby-vertical.pdf") << u"=君子は和して同ぜず。"_qs << true;
        QTest::newRow("ruby is no line") << QByteArray("ruby-vertical.pdf") << u"くん"_qs << false;
        QTest::newRow("blocks in one column")
            << QByteArray("ruby-vertical-blocks.pdf") << u"=蓬頭 突鬢 引提げ"_qs << true;
        QTest::newRow("horizontal ruby")
            << QByteArray("ruby-contents.pdf") << u"=1 日本国憲法前文"_qs << true;
        // Right-to-left paragraphs (LibreOffice, glyphs in visual order) read
        // as written: from the right, numbers and Latin runs in their own
        // order, a shadda set apart on its letter, the lam-alef ligature
        // named in typed order, brackets as typed, presentation forms as the
        // letters; in a left-to-right paragraph only the Arabic run turns.
        QTest::newRow("arabic paragraph")
            << QByteArray("rtl.pdf") << u"=الفاتورة رقم 2026 من شركة Tarnwell Ltd للبرمجيات"_qs
            << true;
        QTest::newRow("marks, ligature, brackets")
            << QByteArray("rtl.pdf") << u"=السّلام عليكم (مثال) لا"_qs << true;
        // A word broken with a hyphen at a line's end reads whole, the line
        // going on; a dash, a capital, Japanese or an empty line between stay.
        QTest::newRow("hyphenated word")
            << QByteArray("hyphen.pdf") << u"=The search reads each environment variable once."_qs
            << true;
        QTest::newRow("hyphenated cyrillic")
            << QByteArray("hyphen.pdf") << u"=Слово инженерный переносится."_qs << true;
        for (const char16_t *kept : {u"=A list item -", u"=Names such as Smith-", u"=日本語の行-",
                                     u"=Ends with a hyphen-"})
            QTest::addRow("not a broken word: %s", qPrintable(QString::fromUtf16(kept).mid(1)))
                << QByteArray("hyphen.pdf") << QString::fromUtf16(kept) << true;
        QTest::newRow("hebrew paragraph") << QByteArray("rtl.pdf") << u"=שלום עולם 42"_qs << true;
        QTest::newRow("presentation forms") << QByteArray("rtl.pdf") << u"=مثال الحزمة"_qs << true;
        // Latin at one end, Arabic at the other: the page's direction decides.
        QTest::newRow("arabic paragraph from latin")
            << QByteArray("rtl.pdf") << u"=Tarnwell برنامج للبحث"_qs << true;
        // Persian ezafe (ٔ) drawn apart, ahead of its word or at the end of
        // the line in poppler's order; the spaces around it kept.
        QTest::newRow("ezafe ahead")
            << QByteArray("rtl.pdf")
            << u"=کسی کو خرد را ندارد ز پیش دلش گردد از کردهٔ خویش ریش هشیوار"_qs << true;
        QTest::newRow("ezafe behind")
            << QByteArray("rtl.pdf") << u"=از آغاز باید که دانی درست سر مایهٔ گوهران از نخست"_qs
            << true;
        QTest::newRow("arabic in a latin paragraph")
            << QByteArray("rtl.pdf") << u"=The word كتاب جديد means a new book"_qs << true;
    }
    void lines()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, words);
        QFETCH(bool, found);
        const QByteArray bytes = fixture(file.constData());
        QVERIFY(!bytes.isEmpty());
        const ReadResult result = readPdfDocument(bytes, Limits{});
        QVERIFY2(result.ok(), qPrintable(result.reason));
        QCOMPARE(result.text.kind, Kind::Pdf);
        QCOMPARE(oneLineHolds(result.text, words.split(u' ')), found);
    }

    void pagesAreParts()
    {
        const ReadResult result = readPdfDocument(fixture("text.pdf"), Limits{});
        QVERIFY(result.ok());
        QCOMPARE(result.text.locations.size(), size_t(2));
        QCOMPARE(result.text.locations[0].label, u"1 ページ"_qs);
        QCOMPARE(result.text.locations[1].label, u"2 ページ"_qs);
        const qsizetype second = result.text.locations[1].line;
        QVERIFY(result.text.lines.at(size_t(second)).contains(u"見積書"));
    }

    void hostile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Failure>("failure");
        QTest::newRow("encrypted") << QByteArray("encrypted.pdf") << Failure::Encrypted;
        QTest::newRow("random bytes") << QByteArray("random.pdf") << Failure::Damaged;
        QTest::newRow("truncated") << QByteArray("text.pdf:40") << Failure::Damaged;
    }
    void hostile()
    {
        QFETCH(QByteArray, file);
        QFETCH(Failure, failure);
        const QList<QByteArray> parts = file.split(':');
        QByteArray bytes = fixture(parts[0].constData());
        if (parts.size() > 1)
            bytes.truncate(parts[1].toInt());
        QCOMPARE(readPdfDocument(bytes, Limits{}).failure, failure);
    }

    // A page tree that loops is read as far as it goes, and ends.
    void loopingTree()
    {
        const ReadResult result = readPdfDocument(fixture("loop.pdf"), Limits{});
        QVERIFY(result.ok() || result.failure == Failure::Damaged);
        QVERIFY(result.text.lines.empty());
    }

    void textLimit()
    {
        Limits limits;
        limits.textUnits = 10;
        const ReadResult result = readPdfDocument(fixture("text.pdf"), limits);
        QCOMPARE(result.failure, Failure::OverLimit);
    }
};

QTEST_GUILESS_MAIN(TestPdfReader)
#include "tst_pdf_reader.moc"
