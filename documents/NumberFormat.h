// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A spreadsheet cell as its author sees it: Excel number format codes
// ("#,##0.00", "0%", "yyyy\"年\"m\"月\"d\"日\"", "[$-411]ggge\"年\"", "# ?/?",
// "0.00E+00", sections and conditions, "@") applied to a cell's value, the
// built-in formats a workbook names only by number, and the texts of error
// cells. Dates count days from 1900 (with its nonexistent 29 February 1900)
// or from 1904. Locale-dependent choices follow a Japanese Excel: the short
// date is yyyy/m/d, the era names are Japanese, currency is the yen.

#include <QString>

#include <vector>

namespace documents {

enum class DateSystem : quint8 { From1900, From1904 };

class NumberFormat {
public:
    NumberFormat() = default; // General
    explicit NumberFormat(QStringView code);

    bool isGeneral() const { return m_sections.empty(); }
    // The number as a cell with this format shows it.
    QString number(double value, DateSystem system) const;
    // A text cell under this format: through its text section when it has one.
    QString text(const QString &value) const;
    bool hasTextSection() const { return m_textSection >= 0; }

    struct Token {
        enum Kind : quint8 {
            Literal,
            Digit, // 0 # ?: `c` is the placeholder
            Point,
            Thousands, // a comma among the digits
            Scale,     // a comma after the last digit: divides by 1,000
            Percent,
            Exponent, // E+ or E-: `c` is the sign
            Slash,    // of a fraction
            General,
            At,
            Year,
            Month,
            Day,
            Hour,
            Minute,
            Second,
            SubSecond, // .0 to .000 after the seconds: `count` digits
            Elapsed,   // [h] [m] [s]: `c` is the unit
            AmPm,      // `text` is the format's "AM/PM" or "A/P"
            Era,       // g gg ggg
            EraYear,   // e ee
            Weekday,   // aaa aaaa
        };
        Kind kind;
        char16_t c = 0;
        int count = 0;
        QString text;
    };
    struct Section {
        std::vector<Token> tokens;
        bool date = false;
        bool hasCondition = false;
        char16_t op[2] = {0, 0};
        double operand = 0;
        bool twelveHour = false;
        int subSecond = 0;
        int numerals = 0;    // [DBNum1] to [DBNum3]: Japanese numerals
        bool gannen = false; // [$-ja-JP-x-gannen]: an era's first year as 元
        bool matches(double value) const;
    };

private:
    std::vector<Section> m_sections;
    int m_textSection = -1;
};

QString generalNumber(double value);

// The formats of a workbook's cell styles: the formats it writes out by id,
// the styles in their order each naming a format id, and its date system.
class CellFormats {
public:
    void addFormat(int id, const QString &code) { m_codes.push_back({id, code}); }
    void addStyle(int formatId) { m_styleIds.push_back(formatId); }
    // Once every format and style is added: each style's format parsed once.
    void finish();
    DateSystem system = DateSystem::From1900;

    // A number in the style with that index (General for an unknown style).
    QString number(qint64 style, double value) const
    {
        const int f = formatOf(style);
        return f < 0 ? generalNumber(value) : m_formats[size_t(f)].number(value, system);
    }
    QString text(qint64 style, const QString &value) const
    {
        const int f = formatOf(style);
        return f < 0 ? value : m_formats[size_t(f)].text(value);
    }
    bool isGeneral(qint64 style) const { return formatOf(style) < 0; }
    bool hasTextSection(qint64 style) const
    {
        const int f = formatOf(style);
        return f >= 0 && m_formats[size_t(f)].hasTextSection();
    }

private:
    int formatOf(qint64 style) const
    {
        return style >= 0 && style < qint64(m_styles.size()) ? m_styles[size_t(style)] : -1;
    }
    std::vector<std::pair<int, QString>> m_codes;
    std::vector<int> m_styleIds;
    std::vector<int> m_styles; // per style: an index into m_formats, or -1 for General
    std::vector<NumberFormat> m_formats;
};

// The code of a built-in format (ids 0-58 that a workbook may use without
// writing them out); empty for an id that has none.
QString builtinNumberFormat(int id);

// A number under the General format: up to 15 significant digits (what the
// cell shows; the shortest text that reads back the same double for any
// number typed in), integers without a point, very large or small numbers as
// 1.5E+20.
QString generalNumber(double value);

// A number written as in XML ("-1.5", "2.5E-3"): false for anything else.
bool parseNumber(QStringView text, double *value);

// The text of a binary workbook's error code (0x07: "#DIV/0!"); empty if unknown.
QString excelErrorText(quint8 code);

} // namespace documents
