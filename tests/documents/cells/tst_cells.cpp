// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Spreadsheet cells as their author sees them: format code x value -> text,
// then the xls, xlsx and ods readers against LibreOffice's rendering of the
// same workbooks.

#include "documents/NumberFormat.h"
#include "documents/ReadDocument.h"

#include <QFile>
#include <QTest>

#include <algorithm>

using documents::DateSystem;
using documents::NumberFormat;

class TestCells : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void format_data();
    void format();
    void againstLibreOffice_data();
    void againstLibreOffice();
    void unreadKindNamed();
    void otherProducers_data();
    void otherProducers();
};

void TestCells::format_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("from1904");
    QTest::addColumn<QString>("shown");
    static const struct {
        const char16_t *code;
        double value;
        bool from1904;
        const char16_t *shown;
    } kCases[] = {
        // General: 15 significant digits, integers whole, huge and tiny in E.
        {u"General", 0.83907639999999994, false, u"0.8390764"},
        {u"General", 0.1 + 0.2, false, u"0.3"},
        {u"General", 123456789012.0, false, u"123456789012"},
        {u"General", -0.5, false, u"-0.5"},
        {u"General", 1e20, false, u"1E+20"},
        {u"General", 1.5e-7, false, u"1.5E-07"},
        {u"General\"円\"", 500, false, u"500円"},
        // Places, rounding half away from zero on the shown digits, grouping, scaling.
        {u"0.00", 3.14159, false, u"3.14"},
        {u"0.00", 2.675, false, u"2.68"},
        {u"0", 2.5, false, u"3"},
        {u"#,##0", 1234567.891, false, u"1,234,568"},
        {u"#,##0.00", -1234.5, false, u"-1,234.50"},
        {u"#,##0,", 1234567, false, u"1,235"},
        {u"0.0,,", 1234567, false, u"1.2"},
        {u"00000", 42, false, u"00042"},
        {u"000-0000", 1234567, false, u"123-4567"},
        {u"#.##", 0.5, false, u".5"},
        {u"0.##", 2, false, u"2."},
        {u"0.0#", 1.5, false, u"1.5"},
        {u"\"$\"#,##0.00", 1234.5, false, u"$1,234.50"},
        {u"[$€-407] #,##0.00", 1234.5, false, u"€ 1,234.50"},
        {u"\\¥#,##0", -300, false, u"-¥300"},
        // Percent, scientific, fractions.
        {u"0%", 0.256, false, u"26%"},
        {u"0.0%", 0.0125, false, u"1.3%"},
        {u"0.00E+00", 123456, false, u"1.23E+05"},
        {u"0.00E+00", 0.000123, false, u"1.23E-04"},
        {u"0.00E+00", 9.999e5, false, u"1.00E+06"},
        {u"0.00E+00", 0, false, u"0.00E+00"},
        {u"##0.0E+0", 12345, false, u"12.3E+3"},
        {u"# ?/?", 1.5, false, u"1 1/2"},
        {u"# ?\?/??", 3.14159, false, u"3 14/99"},
        {u"?/?", 0.75, false, u"3/4"},
        {u"# ?/?", 2, false, u"2"},
        {u"# ?\?/100", 0.25, false, u" 25/100"},
        // Sections and conditions.
        {u"0;(0)", -5, false, u"(5)"},
        {u"0.00_);(0.00)", 1.5, false, u"1.50 "},
        {u"0;-0;\"zero\"", 0, false, u"zero"},
        {u"0;;", -7, false, u""},
        {u"[<1000]0;[>=1000]#,##0", 5000, false, u"5,000"},
        {u"[>=100]\"big\";\"small\"", 50, false, u"small"},
        {u"[Red]0.0;[Blue]-0.0", -2, false, u"-2.0"},
        {u"@", 1.5, false, u"1.5"},
        // Values past what a format can show fall back to General.
        {u"0.00E+00", 4.9e-324, false, u"4.94065645841247E-324"},
        {u"0%", 1e308, false, u"1E+308"},
        {u"# ?/?", 1e16, false, u"1E+16"},
        // Dates and times, the 1900 leap-year day and the 1904 system.
        {u"yyyy/m/d", 41757, false, u"2014/4/28"},
        {u"d-mmm-yy", 38230, false, u"31-Aug-04"},
        {u"mmmm d, yyyy", 38230, false, u"August 31, 2004"},
        {u"mmmmm ddd dddd", 38230, false, u"A Tue Tuesday"},
        {u"yyyy/m/d", 59, false, u"1900/2/28"},
        {u"yyyy/m/d", 60, false, u"1900/2/29"},
        {u"yyyy/m/d", 61, false, u"1900/3/1"},
        {u"yyyy/m/d", 0, false, u"1900/1/0"},
        {u"yyyy/m/d", 0, true, u"1904/1/1"},
        {u"yyyy/m/d", 38230, true, u"2008/9/1"},
        {u"yyyy/m/d", -1, false, u"-1"},
        {u"yyyy/mm/dd hh:mm", 41757.75, false, u"2014/04/28 18:00"},
        {u"h:mm AM/PM", 0.5, false, u"12:00 PM"},
        {u"h:mm a/p", 0.25, false, u"6:00 a"},
        {u"h:mm:ss", 0.999999999, false, u"0:00:00"},
        {u"[h]:mm:ss", 1.5, false, u"36:00:00"},
        {u"mmss.0", 0.0001, false, u"0008.6"},
        {u"mm:ss.00", 1.0 / 86400, false, u"00:01.00"},
        // Japanese dates: 年月日, weekdays, eras and their boundaries.
        {u"yyyy\"年\"m\"月\"d\"日\"", 41757, false, u"2014年4月28日"},
        {u"yyyy/m/d(aaa)", 38230, false, u"2004/8/31(火)"},
        {u"aaaa", 38230, false, u"火曜日"},
        {u"[$-411]ggge\"年\"m\"月\"d\"日\"", 43586, false, u"令和1年5月1日"},
        {u"[$-411]ggge\"年\"m\"月\"d\"日\"", 43585, false, u"平成31年4月30日"},
        {u"[$-411]ggge\"年\"", 32515, false, u"昭和64年"},
        {u"[$-411]ge.m.d", 41757, false, u"H26.4.28"},
        {u"[$-411]gge", 32516, false, u"平1"},
        {u"[$-411]ee", 41757, false, u"26"},
        {u"h\"時\"mm\"分\"", 0.5208333333, false, u"12時30分"},
        {u"[$-F800]dddd, mmmm dd, yyyy", 41757, false, u"2014年4月28日"},
        // Japanese numerals, as LibreOffice shows them in a Japanese format.
        {u"[DBNum1][$-411]General", 123456789, false, u"一億二千三百四十五万六千七百八十九"},
        {u"[DBNum1][$-411]General", 1010, false, u"一千十"},
        {u"[DBNum1][$-411]General", 110, false, u"百十"},
        {u"[DBNum1][$-411]General", -15, false, u"-十五"},
        {u"[DBNum1][$-411]General", 0, false, u"〇"},
        {u"[DBNum1][$-411]0.00", 1234.5, false, u"一千二百三十四・五〇"},
        {u"[DBNum1][$-411]#,##0", 1234, false, u"一千二百三十四"},
        {u"[DBNum2][$-411]General", 123456789, false, u"壱億弐阡参百四拾伍萬六阡七百八拾九"},
        {u"[DBNum2][$-411]General", 1.5, false, u"壱・伍"},
        {u"[DBNum3][$-411]#,##0", 1234, false, u"１，２３４"},
        {u"[DBNum3][$-411]General", 1.5, false, u"１．５"},
        {u"[DBNum1][$-411]ggge\"年\"m\"月\"d\"日\"", 45635, false, u"令和六年十二月九日"},
        {u"[DBNum2][$-411]ggge\"年\"m\"月\"d\"日\"", 45635, false, u"令和六年拾弐月九日"},
        {u"[DBNum3][$-411]ggge\"年\"m\"月\"d\"日\"", 45635, false, u"令和６年１２月９日"},
        {u"[DBNum1][$-411]yyyy\"年\"m\"月\"d\"日\"", 45635, false, u"二〇二四年十二月九日"},
        {u"[DBNum3][$-411]yyyy\"年\"mm\"月\"dd\"日\"", 45635, false, u"２０２４年１２月０９日"},
        {u"[DBNum1][$-411]ggge\"年\"mm\"月\"dd\"日\"", 45657, false, u"令和六年十二月三十一日"},
        {u"[DBNum1][$-411]h\"時\"mm\"分\"", 45635.6284722222, false, u"十五時五分"},
        {u"[$-1D030411]ggge\\年m\\月d\\日", 45635, false, u"令和６年１２月９日"},
        {u"[$-1C000411]General", 1234, false, u"壱阡弐百参拾四"},
        // An era's first year as Excel shows it with the gannen tag; the
        // Buddhist era (543 years before the common one).
        {u"[$-ja-JP-x-gannen]ggge\"年\"m\"月\"d\"日\"", 43586, false, u"令和元年5月1日"},
        {u"[$-ja-JP-x-gannen]ggge\"年\"", 43831, false, u"令和2年"},
        {u"bbbb/mm/dd", 45635, false, u"2567/12/09"},
        {u"bb\"年\"", 45635, false, u"67年"},
    };
    for (const auto &c : kCases)
        QTest::addRow("%s | %.10g%s", qPrintable(QString::fromUtf16(c.code)), c.value,
                      c.from1904 ? " (1904)" : "")
            << QString::fromUtf16(c.code) << c.value << c.from1904 << QString::fromUtf16(c.shown);
    // Built-in formats by id.
    static const struct {
        int id;
        double value;
        const char16_t *shown;
    } kBuiltin[] = {
        {14, 41757, u"2014/4/28"},     {22, 41757.5, u"2014/4/28 12:00"},
        {31, 41757, u"2014年4月28日"}, {58, 41757, u"平成26年4月28日"},
        {57, 41757, u"H26.4.28"},      {33, 0.75, u"18時00分00秒"},
        {10, 0.5, u"50.00%"},          {11, 1234, u"1.23E+03"},
        {38, -1234, u"(1,234)"},       {46, 2.25, u"54:00:00"},
        {3, 1234.5, u"1,235"},         {0, 0.25, u"0.25"},
    };
    for (const auto &b : kBuiltin)
        QTest::addRow("built-in %d | %g", b.id, b.value)
            << documents::builtinNumberFormat(b.id) << b.value << false
            << QString::fromUtf16(b.shown);
}

void TestCells::format()
{
    QFETCH(QString, code);
    QFETCH(double, value);
    QFETCH(bool, from1904);
    QFETCH(QString, shown);
    const NumberFormat format(code);
    QCOMPARE(format.number(value, from1904 ? DateSystem::From1904 : DateSystem::From1900), shown);
}

namespace {

// A CSV line's fields (quoted fields with doubled quotes inside).
QStringList csvFields(QStringView line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted && c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
            field.append(c);
            ++i;
        } else if (c == u'"') {
            quoted = !quoted;
        } else if (c == u',' && !quoted) {
            fields.append(field);
            field.clear();
        } else {
            field.append(c);
        }
    }
    fields.append(field);
    return fields;
}

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(TARNWELL_CELLS_FIXTURES "/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Each workbook's cells against LibreOffice's CSV export of the same file
// (made by fixtures/make-fixtures.py). Rows LibreOffice shows otherwise than
// Excel are left out of the comparison, each with its reason.
void TestCells::againstLibreOffice_data()
{
    QTest::addColumn<QString>("workbook");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("otherwise"); // rows LibreOffice shows otherwise than Excel
    // LibreOffice has no 29 February 1900 and counts the days before it one
    // off; it reads "aaa" (a Japanese weekday) only in a Japanese locale.
    const QStringList excel = {u"leap day"_qs, u"曜日"_qs};
    // Its own xls holds booleans as formulas =TRUE() whose results it shows
    // as 1 and 0, and an error as the formula =#N/A with the cached result
    // #DIV/0!, which it computes again where Excel shows the cached result.
    const QStringList ownXls = excel + QStringList{u"true"_qs, u"false"_qs, u"division error"_qs};
    QTest::newRow("xlsx") << u"cells.xlsx"_qs << u"cells.xlsx.csv"_qs << excel;
    QTest::newRow("xlsx, 1904 dates")
        << u"cells-1904.xlsx"_qs << u"cells-1904.xlsx.csv"_qs << QStringList();
    QTest::newRow("xls") << u"cells.xls"_qs << u"cells.xls.csv"_qs << ownXls;
    QTest::newRow("ods") << u"cells.ods"_qs << u"cells.ods.csv"_qs << excel;
    QTest::newRow("ods, mimetype not first") << u"rezipped.ods"_qs << u"cells.ods.csv"_qs << excel;
    QTest::newRow("xlsx, workbook typed by Default")
        << u"default-types.xlsx"_qs << u"cells.xlsx.csv"_qs << excel;
}

void TestCells::againstLibreOffice()
{
    QFETCH(QString, workbook);
    QFETCH(QString, expected);
    QFETCH(QStringList, otherwise);
    const QByteArray bytes = fixture(workbook);
    QVERIFY(!bytes.isEmpty());
    const documents::ReadResult result =
        documents::readDocument(bytes, documents::sniff(bytes.constData(), bytes.size()), {});
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QStringList csv = QString::fromUtf8(fixture(expected)).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(qsizetype(result.text.lines.size()), csv.size());
    int compared = 0;
    for (qsizetype i = 0; i < csv.size(); ++i) {
        const QStringList want = csvFields(csv[i].trimmed());
        const QStringList got = result.text.lines[size_t(i)].split(u'\t');
        QCOMPARE(got.value(0), want.value(0));
        if (otherwise.contains(want.value(0)))
            continue;
        QCOMPARE(got.value(1).trimmed(), want.value(1).trimmed());
        ++compared;
    }
    QVERIFY(compared > 0);
}

// A package recognised by its mimetype but of a kind that is not read says
// so, rather than being searched as plain text.
void TestCells::unreadKindNamed()
{
    const QByteArray bytes = fixture(u"unknown-kind.odg"_qs);
    QVERIFY(!bytes.isEmpty());
    const documents::ReadResult result =
        documents::readDocument(bytes, documents::sniff(bytes.constData(), bytes.size()), {});
    QCOMPARE(result.failure, documents::Failure::Unsupported);
    QVERIFY2(result.reason.contains(u"graphics"), qPrintable(result.reason));
}

// Workbooks from another producer (fixtures/readxl: Excel files shipped in
// Debian's r-cran-readxl): dates, booleans and text cells as Excel shows them.
void TestCells::otherProducers_data()
{
    QTest::addColumn<QString>("workbook");
    QTest::addColumn<QString>("line");
    QTest::newRow("xlsx: dates and a boolean")
        << u"readxl/deaths.xlsx"_qs << u"David Bowie\tmusician\t69\tTRUE\t1947/1/8\t2016/1/10"_qs;
    QTest::newRow("xlsx: false") << u"readxl/deaths.xlsx"_qs
                                 << u"Alan Rickman\tactor\t69\tFALSE\t1946/2/21\t2016/1/14"_qs;
    QTest::newRow("xls: date") << u"readxl/type-me.xls"_qs << u"2016/1/1\tdatetime"_qs;
    QTest::newRow("xls: boolean") << u"readxl/type-me.xls"_qs << u"TRUE\tboolean true"_qs;
    QTest::newRow("xls: date and time")
        << u"readxl/type-me.xls"_qs << u"04/28/2016 11:30:00 AM\tdate and time format"_qs;
    QTest::newRow("xls: a number") << u"readxl/type-me.xls"_qs << u"4.3\t4.3 (numeric)"_qs;
}

void TestCells::otherProducers()
{
    QFETCH(QString, workbook);
    QFETCH(QString, line);
    const QByteArray bytes = fixture(workbook);
    QVERIFY(!bytes.isEmpty());
    const documents::ReadResult result =
        documents::readDocument(bytes, documents::sniff(bytes.constData(), bytes.size()), {});
    QVERIFY2(result.ok(), qPrintable(result.reason));
    const auto &lines = result.text.lines;
    QVERIFY2(std::find(lines.begin(), lines.end(), line) != lines.end(), qPrintable(line));
}

QTEST_GUILESS_MAIN(TestCells)
#include "tst_cells.moc"
