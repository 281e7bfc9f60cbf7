// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/NumberFormat.h"

#include <QDate>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace documents {

namespace {

using Token = NumberFormat::Token;
using Section = NumberFormat::Section;

char16_t lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool startsWithNoCase(QStringView s, qsizetype at, QStringView word)
{
    return s.size() - at >= word.size() &&
           s.sliced(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

int runOf(QStringView s, qsizetype at, char16_t c)
{
    int n = 0;
    while (at + n < s.size() && lower(s[at + n].unicode()) == c)
        ++n;
    return n;
}

bool isDateKind(Token::Kind k)
{
    return k >= Token::Year;
}

void addLiteral(std::vector<Token> &tokens, QStringView text)
{
    if (!tokens.empty() && tokens.back().kind == Token::Literal)
        tokens.back().text.append(text);
    else
        tokens.push_back({Token::Literal, 0, 0, text.toString()});
}

// A bracketed item: a condition, an elapsed time unit, a currency or
// locale ("[$€-407]", "[$-411]"); colours and the rest show nothing.
void parseBracket(QStringView inner, Section &section)
{
    if (inner.isEmpty())
        return;
    const char16_t first = inner[0].unicode();
    if (first == u'<' || first == u'>' || first == u'=') {
        qsizetype i = 1;
        section.op[0] = first;
        if (inner.size() > 1 && (inner[1] == u'=' || inner[1] == u'>')) {
            section.op[1] = inner[1].unicode();
            i = 2;
        }
        bool ok = false;
        section.operand = inner.sliced(i).trimmed().toDouble(&ok);
        section.hasCondition = ok;
        return;
    }
    if (startsWithNoCase(inner, 0, u"DBNum") && inner.size() == 6 && inner[5] >= u'1' &&
        inner[5] <= u'3') {
        section.numerals = inner[5].unicode() - u'0';
        return;
    }
    if (first == u'$') {
        section.gannen = section.gannen || inner.contains(u"-x-gannen", Qt::CaseInsensitive);
        const qsizetype dash = inner.indexOf(u'-');
        // [$-1D030411]: a locale whose top byte names the numerals (1B to
        // 1D the Japanese ones, as [DBNum1] to [DBNum3]), as .xls keeps them.
        bool hex = false;
        const uint lcid = dash < 0 ? 0 : inner.sliced(dash + 1).toUInt(&hex, 16);
        if (hex && (lcid >> 24) >= 0x1B && (lcid >> 24) <= 0x1D)
            section.numerals = int(lcid >> 24) - 0x1A;
        const QStringView symbol = inner.sliced(1, (dash < 0 ? inner.size() : dash) - 1);
        if (!symbol.isEmpty())
            addLiteral(section.tokens, symbol);
        return;
    }
    const char16_t unit = lower(first);
    if ((unit == u'h' || unit == u'm' || unit == u's') && runOf(inner, 0, unit) == inner.size()) {
        section.tokens.push_back({Token::Elapsed, unit, int(inner.size()), {}});
        section.date = true;
    }
}

Section parseSection(QStringView code)
{
    Section section;
    std::vector<Token> &tokens = section.tokens;
    // System long date and time ([$-F800], [$-F400]): their Japanese forms.
    if (code.contains(u"[$-F800]", Qt::CaseInsensitive))
        code = u"yyyy\"年\"m\"月\"d\"日\"";
    else if (code.contains(u"[$-F400]", Qt::CaseInsensitive))
        code = u"h:mm:ss";
    for (qsizetype i = 0; i < code.size();) {
        const char16_t c = code[i].unicode();
        const char16_t l = lower(c);
        if (c == u'"') {
            const qsizetype end = code.indexOf(u'"', i + 1);
            const qsizetype stop = end < 0 ? code.size() : end;
            addLiteral(tokens, code.sliced(i + 1, stop - i - 1));
            i = stop + 1;
        } else if (c == u'\\' || c == u'!') {
            if (i + 1 < code.size())
                addLiteral(tokens, code.sliced(i + 1, 1));
            i += 2;
        } else if (c == u'_') {
            addLiteral(tokens, u" ");
            i += 2;
        } else if (c == u'*') {
            i += 2; // a fill character: nothing when the text is not laid out
        } else if (c == u'[') {
            const qsizetype end = code.indexOf(u']', i + 1);
            const qsizetype stop = end < 0 ? code.size() : end;
            parseBracket(code.sliced(i + 1, stop - i - 1), section);
            i = stop + 1;
        } else if (c == u'0' || c == u'#' || c == u'?') {
            tokens.push_back({Token::Digit, c, 1, {}});
            ++i;
        } else if (c == u'.') {
            tokens.push_back({Token::Point, c, 1, {}});
            ++i;
        } else if (c == u',') {
            tokens.push_back({Token::Thousands, c, 1, {}});
            ++i;
        } else if (c == u'%') {
            tokens.push_back({Token::Percent, c, 1, {}});
            ++i;
        } else if (c == u'/') {
            tokens.push_back({Token::Slash, c, 1, {}});
            ++i;
        } else if (c == u'@') {
            tokens.push_back({Token::At, c, 1, {}});
            ++i;
        } else if (l == u'e' && i + 1 < code.size() &&
                   (code[i + 1] == u'+' || code[i + 1] == u'-')) {
            tokens.push_back({Token::Exponent, code[i + 1].unicode(), 0, {}});
            i += 2;
        } else if (startsWithNoCase(code, i, u"General")) {
            tokens.push_back({Token::General, 0, 0, {}});
            i += 7;
        } else if (startsWithNoCase(code, i, u"AM/PM") || startsWithNoCase(code, i, u"A/P")) {
            const qsizetype n = code[i + 1] == u'/' ? 3 : 5;
            tokens.push_back({Token::AmPm, 0, 0, code.sliced(i, n).toString()});
            section.twelveHour = true;
            section.date = true;
            i += n;
        } else if (l == u'y' || l == u'm' || l == u'd' || l == u'h' || l == u's' || l == u'g' ||
                   l == u'e' || (l == u'a' && runOf(code, i, u'a') >= 3) ||
                   (l == u'b' && runOf(code, i, u'b') >= 2)) {
            const int n = runOf(code, i, l);
            static constexpr struct {
                char16_t c;
                Token::Kind kind;
            } kDate[] = {{u'y', Token::Year},    {u'm', Token::Month},
                         {u'd', Token::Day},     {u'h', Token::Hour},
                         {u's', Token::Second},  {u'g', Token::Era},
                         {u'e', Token::EraYear}, {u'a', Token::Weekday},
                         {u'b', Token::Year}}; // bb, bbbb: the Buddhist era
            for (const auto &d : kDate)
                if (d.c == l)
                    tokens.push_back({d.kind, l, n, {}});
            section.date = true;
            i += n;
        } else {
            addLiteral(tokens, code.sliced(i, 1));
            ++i;
        }
    }
    if (section.date) {
        // Minutes: an m after hours or before seconds. A point followed by
        // zeros after the seconds: fractions of a second. Other digits and
        // number signs are plain characters.
        std::vector<Token> out;
        for (size_t i = 0; i < tokens.size(); ++i) {
            Token t = tokens[i];
            if (t.kind == Token::Month) {
                auto prev = std::find_if(out.rbegin(), out.rend(),
                                         [](const Token &p) { return isDateKind(p.kind); });
                auto next = std::find_if(tokens.begin() + qsizetype(i) + 1, tokens.end(),
                                         [](const Token &p) { return isDateKind(p.kind); });
                const bool afterHour =
                    prev != out.rend() && (prev->kind == Token::Hour ||
                                           (prev->kind == Token::Elapsed && prev->c == u'h'));
                const bool beforeSecond =
                    next != tokens.end() && (next->kind == Token::Second ||
                                             (next->kind == Token::Elapsed && next->c == u's'));
                if (t.count <= 2 && (afterHour || beforeSecond))
                    t.kind = Token::Minute;
                out.push_back(t);
            } else if (t.kind == Token::Point && i + 1 < tokens.size() &&
                       tokens[i + 1].kind == Token::Digit && tokens[i + 1].c == u'0') {
                int n = 0;
                while (i + 1 < tokens.size() && tokens[i + 1].kind == Token::Digit &&
                       tokens[i + 1].c == u'0') {
                    ++n;
                    ++i;
                }
                out.push_back({Token::SubSecond, 0, std::min(n, 3), {}});
                section.subSecond = std::max(section.subSecond, std::min(n, 3));
            } else if (t.kind == Token::Literal) {
                addLiteral(out, t.text);
            } else if (t.kind < Token::Year && t.kind != Token::General && t.kind != Token::At) {
                addLiteral(out, QStringView(&t.c, 1));
            } else {
                out.push_back(t);
            }
        }
        tokens = std::move(out);
        return section;
    }
    // A comma with no digit after it (before the point) scales by 1,000.
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Token::Thousands)
            continue;
        bool digitAfter = false;
        for (size_t j = i + 1; j < tokens.size(); ++j) {
            if (tokens[j].kind == Token::Point || tokens[j].kind == Token::Exponent)
                break;
            if (tokens[j].kind == Token::Digit)
                digitAfter = true;
        }
        bool digitBefore = false;
        for (size_t j = 0; j < i; ++j)
            digitBefore = digitBefore || tokens[j].kind == Token::Digit;
        if (!digitAfter)
            tokens[i].kind = digitBefore ? Token::Scale : Token::Literal;
        else if (!digitBefore)
            tokens[i].kind = Token::Literal;
        if (tokens[i].kind == Token::Literal)
            tokens[i].text = QStringLiteral(",");
    }
    return section;
}

// --- numbers -----------------------------------------------------------

// A non-negative value rounded half away from zero to `decimals` places,
// from its 15 significant digits (as a spreadsheet shows it): the digits
// before the point (no leading zeros; empty for 0) and exactly `decimals` after.
void roundDecimal(double v, int decimals, QString *integer, QString *fraction)
{
    integer->resize(0);
    fraction->resize(0);
    char buf[40];
    const auto written =
        std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::scientific, 14);
    *written.ptr = 0;
    // buf: d.dddddddddddddde[+-]XX. digits[1..] gets the 15 digits, with
    // room before them for a carry.
    constexpr int kDigits = 15;
    char digits[kDigits + 2];
    digits[0] = '0';
    digits[1] = buf[0];
    std::memcpy(digits + 2, buf + 2, kDigits - 1);
    const int exponent = std::atoi(buf + 17);
    if (v == 0)
        std::memset(digits + 1, '0', kDigits);
    // The value is 0.DIGITS x 10^(exponent + 1).
    char *d = digits + 1;
    int count = kDigits;
    int point = exponent + 1; // digits before the point
    int keep = point + decimals;
    if (keep < 0) {
        d[0] = '0';
        count = 1;
        point = 1;
        keep = 1 + decimals;
    }
    if (keep < count) {
        const bool up = d[keep] >= '5';
        count = keep;
        if (up) {
            int i = keep - 1;
            while (i >= 0 && d[i] == '9')
                d[i--] = '0';
            if (i >= 0) {
                ++d[i];
            } else {
                --d;
                d[0] = '1';
                ++count;
                ++point;
            }
        }
    }
    // Digits past the fifteenth are zeros.
    const auto digitAt = [&](int i) { return i >= 0 && i < count ? char16_t(d[i]) : u'0'; };
    if (point > 0) {
        int i = 0;
        while (i < point && digitAt(i) == u'0')
            ++i;
        for (; i < point; ++i)
            integer->append(QChar(digitAt(i)));
    }
    for (int i = 0; i < decimals; ++i)
        fraction->append(QChar(digitAt(point + i)));
}

QString groupThousands(const QString &digits)
{
    QString out;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out.append(u',');
        out.append(digits[i]);
    }
    return out;
}

struct Layout {
    int integerDigits = 0; // placeholders before the point (or the exponent)
    int fractionDigits = 0;
    int exponentDigits = 0; // zeros after E
    bool grouping = false;
    int scale = 0;   // commas after the digits
    int percent = 0; // percent signs
    qsizetype point = -1;
    qsizetype exponent = -1;
    qsizetype slash = -1;
};

Layout layoutOf(const std::vector<Token> &tokens)
{
    Layout l;
    for (qsizetype i = 0; i < qsizetype(tokens.size()); ++i) {
        const Token &t = tokens[i];
        switch (t.kind) {
        case Token::Digit:
            if (l.exponent >= 0)
                l.exponentDigits += t.c == u'0' ? 1 : 0;
            else if (l.point >= 0)
                ++l.fractionDigits;
            else
                ++l.integerDigits;
            break;
        case Token::Point:
            if (l.point < 0 && l.exponent < 0)
                l.point = i;
            break;
        case Token::Thousands:
            l.grouping = true;
            break;
        case Token::Scale:
            ++l.scale;
            break;
        case Token::Percent:
            ++l.percent;
            break;
        case Token::Exponent:
            if (l.exponent < 0)
                l.exponent = i;
            break;
        case Token::Slash:
            if (l.slash < 0)
                l.slash = i;
            break;
        default:
            break;
        }
    }
    return l;
}

// The digits `digits` (no leading zeros) spread over the placeholders
// tokens[from, to): from the right, one a placeholder; the first takes any
// digits left over. A "0" shows a zero where no digit is left, a "?" a space.
void spreadDigits(const std::vector<Token> &tokens, qsizetype from, qsizetype to,
                  const QString &digits, bool grouping, QString &out)
{
    int placeholders = 0;
    qsizetype firstZero = -1;
    for (qsizetype i = from; i < to; ++i) {
        if (tokens[i].kind == Token::Digit) {
            if (tokens[i].c == u'0' && firstZero < 0)
                firstZero = placeholders;
            ++placeholders;
        }
    }
    if (grouping) {
        QString padded = digits;
        const qsizetype least = firstZero < 0 ? 0 : placeholders - firstZero;
        if (padded.size() < least)
            padded.prepend(QString(least - padded.size(), u'0'));
        bool written = false;
        for (qsizetype i = from; i < to; ++i) {
            if (tokens[i].kind == Token::Digit) {
                if (!written)
                    out.append(groupThousands(padded));
                written = true;
            } else if (tokens[i].kind == Token::Literal) {
                out.append(tokens[i].text);
            } else if (tokens[i].kind == Token::Percent) {
                out.append(u'%');
            }
        }
        return;
    }
    int index = 0;
    for (qsizetype i = from; i < to; ++i) {
        const Token &t = tokens[i];
        if (t.kind == Token::Literal) {
            out.append(t.text);
            continue;
        }
        if (t.kind == Token::Percent) {
            out.append(u'%');
            continue;
        }
        if (t.kind != Token::Digit)
            continue;
        const int fromRight = placeholders - 1 - index;
        if (index == 0 && digits.size() > placeholders)
            out.append(QStringView(digits).first(digits.size() - placeholders));
        if (fromRight < digits.size())
            out.append(digits[digits.size() - 1 - fromRight]);
        else if (t.c == u'0')
            out.append(u'0');
        else if (t.c == u'?')
            out.append(u' ');
        ++index;
    }
}

// The digits after the point over their placeholders: trailing zeros drop
// under "#" and become spaces under "?".
void spreadFraction(const std::vector<Token> &tokens, qsizetype from, qsizetype to,
                    const QString &digits, QString &out)
{
    std::vector<char16_t> marks;
    for (qsizetype i = from; i < to; ++i)
        if (tokens[i].kind == Token::Digit)
            marks.push_back(tokens[i].c);
    qsizetype significant = digits.size();
    while (significant > 0 && digits[significant - 1] == u'0' &&
           marks[size_t(significant - 1)] != u'0')
        --significant;
    int index = 0;
    for (qsizetype i = from; i < to; ++i) {
        const Token &t = tokens[i];
        if (t.kind == Token::Literal) {
            out.append(t.text);
        } else if (t.kind == Token::Percent) {
            out.append(u'%');
        } else if (t.kind == Token::Digit) {
            if (index < significant)
                out.append(digits[index]);
            else if (t.c == u'?')
                out.append(u' ');
            ++index;
        }
    }
}

void appendGeneral(const std::vector<Token> &tokens, double v, QString &out)
{
    for (const Token &t : tokens) {
        if (t.kind == Token::General)
            out.append(generalNumber(v));
        else if (t.kind == Token::Literal)
            out.append(t.text);
    }
}

// The best fraction of `v` (0 <= v < 1) with a denominator of at most `maxDen`.
void bestFraction(double v, qint64 maxDen, qint64 *num, qint64 *den)
{
    // Stern-Brocot mediants with the continued fraction's steps.
    qint64 a0 = 0, b0 = 1, a1 = 1, b1 = 0; // convergents p/q
    double x = v;
    qint64 bestN = 0, bestD = 1;
    for (int iter = 0; iter < 64; ++iter) {
        const double ai = std::floor(x);
        if (ai > 1e12)
            break;
        const qint64 a = qint64(ai);
        const qint64 b2 = a * b1 + b0;
        if (b2 > maxDen) {
            // The best semiconvergent under the limit.
            const qint64 k = (maxDen - b0) / std::max<qint64>(b1, 1);
            const qint64 sn = k * a1 + a0, sd = k * b1 + b0;
            if (sd > 0 && sd <= maxDen &&
                std::fabs(v - double(sn) / double(sd)) <
                    std::fabs(v - double(bestN) / double(bestD)))
                bestN = sn, bestD = sd;
            break;
        }
        const qint64 a2 = a * a1 + a0;
        a0 = a1, b0 = b1, a1 = a2, b1 = b2;
        bestN = a1, bestD = b1;
        const double rest = x - ai;
        if (rest < 1e-12)
            break;
        x = 1 / rest;
    }
    *num = bestN;
    *den = bestD;
}

QString formatFraction(const std::vector<Token> &tokens, const Layout &l, double v)
{
    // Placeholders: [whole] literal numerator / denominator.
    qsizetype numStart = l.slash;
    while (numStart > 0 && tokens[numStart - 1].kind == Token::Digit)
        --numStart;
    qsizetype wholeEnd = -1; // the whole part's tokens are [0, wholeEnd)
    for (qsizetype i = 0; i < numStart; ++i)
        if (tokens[i].kind == Token::Digit)
            wholeEnd = i + 1;
    qsizetype denEnd = l.slash + 1;
    int denDigits = 0;
    QString fixed; // a denominator written out ("# ?\?/100")
    const auto digitLiteral = [&](qsizetype i) {
        return i < qsizetype(tokens.size()) && tokens[i].kind == Token::Literal &&
               !tokens[i].text.isEmpty() && tokens[i].text[0].isDigit();
    };
    if (digitLiteral(denEnd)) {
        const QString &text = tokens[denEnd].text;
        qsizetype n = 0;
        while (n < text.size() && text[n].isDigit())
            ++n;
        fixed = text.first(n);
        ++denEnd;
        while (n == text.size() && denEnd < qsizetype(tokens.size()) &&
               tokens[denEnd].kind == Token::Digit && tokens[denEnd].c == u'0') {
            fixed.append(u'0');
            ++denEnd;
        }
    } else {
        while (denEnd < qsizetype(tokens.size()) && tokens[denEnd].kind == Token::Digit) {
            ++denDigits;
            ++denEnd;
        }
    }
    double whole = 0;
    double part = v;
    if (wholeEnd >= 0) {
        whole = std::floor(v);
        part = v - whole;
    }
    qint64 num = 0, den = 1;
    if (!fixed.isEmpty()) {
        den = std::max<qint64>(fixed.toLongLong(), 1);
        num = qint64(std::llround(part * double(den)));
    } else {
        qint64 maxDen = 1;
        for (int i = 0; i < std::clamp(denDigits, 1, 7); ++i)
            maxDen *= 10;
        bestFraction(part, maxDen - 1, &num, &den);
    }
    if (wholeEnd >= 0 && num == den) {
        whole += 1;
        num = 0;
    }
    QString out;
    const QString wholeText = whole == 0 ? QString() : QString::number(qint64(whole));
    if (wholeEnd >= 0)
        spreadDigits(tokens, 0, wholeEnd, wholeText, false, out);
    else
        for (qsizetype i = 0; i < numStart; ++i)
            if (tokens[i].kind == Token::Literal)
                out.append(tokens[i].text);
    if (num == 0 && wholeEnd >= 0) {
        // No fraction: the whole number alone ("0" when nothing else shows).
        if (wholeText.isEmpty() && !out.contains(u'0'))
            out.append(u'0');
        return out;
    }
    const qsizetype literalsFrom = wholeEnd >= 0 ? wholeEnd : numStart;
    for (qsizetype i = literalsFrom; i < numStart; ++i)
        if (wholeEnd >= 0 && tokens[i].kind == Token::Literal)
            out.append(tokens[i].text);
    spreadDigits(tokens, numStart, l.slash, QString::number(num), false, out);
    out.append(u'/');
    if (!fixed.isEmpty()) {
        out.append(fixed);
    } else {
        QString d = QString::number(den);
        out.append(d);
        for (qsizetype i = d.size(); i < denDigits; ++i)
            out.append(u' ');
    }
    for (qsizetype i = denEnd; i < qsizetype(tokens.size()); ++i)
        if (tokens[i].kind == Token::Literal)
            out.append(tokens[i].text);
    return out;
}

QString formatNumber(const Section &section, double value, bool showSign)
{
    const std::vector<Token> &tokens = section.tokens;
    const Layout l = layoutOf(tokens);
    double v = std::fabs(value);
    for (int i = 0; i < l.percent; ++i)
        v *= 100;
    for (int i = 0; i < l.scale; ++i)
        v /= 1000;
    if (!std::isfinite(v))
        return generalNumber(value);
    QString out;
    const bool negative = showSign && value < 0;
    if (l.integerDigits + l.fractionDigits == 0) {
        bool general = false;
        for (const Token &t : tokens)
            general = general || t.kind == Token::General;
        if (general) {
            appendGeneral(tokens, v, out);
        } else {
            for (const Token &t : tokens)
                if (t.kind == Token::Literal)
                    out.append(t.text);
                else if (t.kind == Token::Percent)
                    out.append(u'%');
        }
        return negative && general ? u'-' + out : out;
    }
    if (l.slash >= 0 && l.exponent < 0 && l.point < 0) {
        if (v >= 1e15) // no fraction left to show
            return generalNumber(showSign ? value : std::fabs(value));
        out = formatFraction(tokens, l, v);
        return negative ? u'-' + out : out;
    }
    const qsizetype end = qsizetype(tokens.size());
    const qsizetype integerEnd = l.point >= 0 ? l.point : (l.exponent >= 0 ? l.exponent : end);
    const qsizetype fractionEnd = l.exponent >= 0 ? l.exponent : end;
    int exponent = 0;
    if (l.exponent >= 0 && v != 0) {
        exponent = int(std::floor(std::log10(v)));
        const int step = std::max(l.integerDigits, 1);
        if (step > 1)
            exponent = int(std::floor(double(exponent) / step)) * step;
        v /= std::pow(10.0, exponent);
        if (!std::isfinite(v) || v == 0)
            return generalNumber(value);
    }
    // Kept from call to call: a workbook formats many numbers.
    thread_local QString integer, fraction;
    roundDecimal(v, l.fractionDigits, &integer, &fraction);
    if (l.exponent >= 0 && integer.size() > std::max(l.integerDigits, 1)) {
        // 9.99 rounded up to 10.0: one more power of ten.
        const int step = std::max(l.integerDigits, 1);
        exponent += step;
        v /= std::pow(10.0, step);
        roundDecimal(v, l.fractionDigits, &integer, &fraction);
    }
    spreadDigits(tokens, 0, integerEnd, integer, l.grouping, out);
    if (l.point >= 0) {
        out.append(u'.');
        spreadFraction(tokens, l.point + 1, fractionEnd, fraction, out);
    }
    if (l.exponent >= 0) {
        out.append(u'E');
        if (exponent < 0)
            out.append(u'-');
        else if (tokens[l.exponent].c == u'+')
            out.append(u'+');
        QString e = QString::number(std::abs(exponent));
        if (e.size() < l.exponentDigits)
            e.prepend(QString(l.exponentDigits - e.size(), u'0'));
        spreadDigits(tokens, l.exponent + 1, end, e, false, out);
    }
    if (negative) {
        bool nonzero = false;
        for (QChar c : out)
            nonzero = nonzero || (c >= u'1' && c <= u'9');
        if (nonzero)
            out.prepend(u'-');
    }
    return out;
}

// --- dates -------------------------------------------------------------

struct Era {
    QDate from;
    const char16_t *letter;
    const char16_t *initial;
    const char16_t *name;
};

const Era *eraOf(QDate date)
{
    static const Era kEras[] = {
        {QDate(2019, 5, 1), u"R", u"令", u"令和"},   {QDate(1989, 1, 8), u"H", u"平", u"平成"},
        {QDate(1926, 12, 25), u"S", u"昭", u"昭和"}, {QDate(1912, 7, 30), u"T", u"大", u"大正"},
        {QDate(1868, 1, 1), u"M", u"明", u"明治"},
    };
    for (const Era &era : kEras)
        if (date >= era.from)
            return &era;
    return &kEras[4];
}

// --- Japanese numerals ---------------------------------------------------
// As a Japanese format ([$-411]) shows them: [DBNum1] kanji with their units
// (一千二百三十四; 十, 百 without 一), [DBNum2] the forms of contracts and
// banks (壱阡弐百参拾四), [DBNum3] full-width digits (１２３４); a fraction's
// digits one by one after 「・」. A year is written digit by digit (二〇二四).

struct Numerals {
    const char16_t *digits; // 0 to 9
    const char16_t *small;  // 10, 100, 1,000
    const char16_t *large;  // 10^4, 10^8, 10^12, 10^16
};
constexpr Numerals kKanji{u"〇一二三四五六七八九", u"十百千", u"万億兆京"};
constexpr Numerals kDaiji{u"零壱弐参四伍六七八九", u"拾百阡", u"萬億兆京"};

const Numerals &numeralsOf(int style)
{
    return style == 2 ? kDaiji : kKanji;
}

void appendWithUnits(QString &out, quint64 n, const Numerals &numerals)
{
    if (n == 0) {
        out.append(QChar(numerals.digits[0]));
        return;
    }
    int groups[5] = {};
    int count = 0;
    for (quint64 rest = n; rest > 0 && count < 5; rest /= 10000)
        groups[count++] = int(rest % 10000);
    for (int k = count - 1; k >= 0; --k) {
        if (groups[k] == 0)
            continue;
        for (int place = 3; place >= 0; --place) {
            int d = groups[k];
            for (int i = 0; i < place; ++i)
                d /= 10;
            d %= 10;
            if (d == 0)
                continue;
            // 一 before 千 and alone, never before 百 or 十.
            if (place == 0 || place == 3 || d > 1)
                out.append(QChar(numerals.digits[d]));
            if (place > 0)
                out.append(QChar(numerals.small[place - 1]));
        }
        if (k > 0)
            out.append(QChar(numerals.large[k - 1]));
    }
}

// The ASCII digits of `shown` from `from` on, in the style's digits.
void toDigits(QString &shown, qsizetype from, int style)
{
    for (qsizetype i = from; i < shown.size(); ++i) {
        const char16_t c = shown[i].unicode();
        if (c >= u'0' && c <= u'9')
            shown[i] = style == 3 ? QChar(char16_t(0xFF10 + (c - u'0')))
                                  : QChar(numeralsOf(style).digits[c - u'0']);
    }
}

// A number as a format showed it (digits, grouping commas, a point), its
// numbers in the style's numerals; the rest as it is.
QString withNumerals(QStringView shown, int style)
{
    QString out;
    out.reserve(shown.size());
    const auto isDigit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    for (qsizetype i = 0; i < shown.size();) {
        if (!isDigit(shown[i])) {
            out.append(shown[i++]);
            continue;
        }
        qsizetype end = i;
        while (end < shown.size() &&
               (isDigit(shown[end]) ||
                (shown[end] == u',' && end + 1 < shown.size() && isDigit(shown[end + 1]))))
            ++end;
        if (style == 3) {
            for (; i < end; ++i)
                out.append(shown[i] == u',' ? QChar(u'，')
                                            : QChar(0xFF10 + (shown[i].unicode() - u'0')));
            if (i + 1 < shown.size() && shown[i] == u'.' && isDigit(shown[i + 1])) {
                out.append(u'．');
                ++i;
            }
            continue;
        }
        quint64 n = 0;
        int digits = 0;
        for (qsizetype k = i; k < end; ++k)
            if (shown[k] != u',')
                n = n * 10 + (shown[k].unicode() - u'0'), ++digits;
        if (digits > 19) { // past what the units name: digit by digit
            const qsizetype at = out.size();
            for (qsizetype k = i; k < end; ++k)
                if (shown[k] != u',')
                    out.append(shown[k]);
            toDigits(out, at, style);
        } else {
            appendWithUnits(out, n, numeralsOf(style));
        }
        i = end;
        if (i + 1 < shown.size() && shown[i] == u'.' && isDigit(shown[i + 1])) {
            out.append(u'・');
            const qsizetype at = out.size();
            for (++i; i < shown.size() && isDigit(shown[i]); ++i)
                out.append(shown[i]);
            toDigits(out, at, style);
        }
    }
    return out;
}

void appendPadded(QString &out, qint64 n, int width)
{
    char16_t buf[24];
    int at = 24;
    const bool negative = n < 0;
    quint64 u = negative ? quint64(-n) : quint64(n);
    do {
        buf[--at] = char16_t(u'0' + u % 10);
        u /= 10;
    } while (u > 0);
    while (24 - at < width && at > 1)
        buf[--at] = u'0';
    if (negative)
        buf[--at] = u'-';
    out.append(QStringView(buf + at, 24 - at));
}

// A part of a date or time: its number, padded to `width`, in the section's
// numerals (a year and a fraction of a second digit by digit).
void appendPart(QString &out, qint64 n, int width, int numerals, bool digitByDigit = false)
{
    if (numerals == 0 || n < 0) {
        appendPadded(out, n, width);
    } else if (numerals == 3 || digitByDigit) {
        const qsizetype at = out.size();
        appendPadded(out, n, width);
        toDigits(out, at, numerals);
    } else {
        appendWithUnits(out, quint64(n), numeralsOf(numerals));
    }
}

QString formatDate(const Section &section, double value, DateSystem system)
{
    qint64 scale = 1;
    for (int i = 0; i < section.subSecond; ++i)
        scale *= 10;
    const qint64 perDay = 86400 * scale;
    qint64 days = qint64(std::floor(value));
    qint64 units = std::llround((value - double(days)) * double(perDay));
    if (units >= perDay) {
        ++days;
        units -= perDay;
    }
    // The calendar date: the 1900 system counts a 29 February 1900 (day 60)
    // and a day 0 (0 January 1900).
    int year, month, day;
    QDate date;
    int weekday; // 0: Sunday
    if (system == DateSystem::From1904) {
        date = QDate(1904, 1, 1).addDays(days);
        weekday = int((days + 5) % 7);
    } else {
        weekday = int((days + 6) % 7);
        if (days == 60)
            date = QDate(1900, 2, 28);
        else
            date = QDate(1899, 12, days < 60 ? 31 : 30).addDays(days);
    }
    year = date.year();
    month = date.month();
    day = date.day();
    if (system == DateSystem::From1900 && days == 60)
        day = 29;
    if (system == DateSystem::From1900 && days == 0)
        year = 1900, month = 1, day = 0;
    const qint64 fraction = units % scale;
    const qint64 seconds = units / scale;
    const int hour = int(seconds / 3600);
    const int minute = int(seconds / 60 % 60);
    const int second = int(seconds % 60);
    static const char16_t *const kMonths[] = {u"January",   u"February", u"March",    u"April",
                                              u"May",       u"June",     u"July",     u"August",
                                              u"September", u"October",  u"November", u"December"};
    static const char16_t *const kDays[] = {u"Sunday",   u"Monday", u"Tuesday", u"Wednesday",
                                            u"Thursday", u"Friday", u"Saturday"};
    static const char16_t kJaDays[] = u"日月火水木金土";
    const Era *era = nullptr;
    const auto eraNow = [&] {
        if (!era)
            era = eraOf(date.isValid() ? date : QDate(1900, 1, 1));
        return era;
    };
    QString out;
    const int n = section.numerals;
    for (const Token &t : section.tokens) {
        switch (t.kind) {
        case Token::Literal:
            out.append(t.text);
            break;
        case Token::Year: {
            const int shown = t.c == u'b' ? year + 543 : year;
            if (t.count <= 2)
                appendPart(out, shown % 100, 2, n, true);
            else
                appendPart(out, shown, 4, n, true);
            break;
        }
        case Token::Month:
            if (t.count <= 2)
                appendPart(out, month, t.count, n);
            else if (t.count == 3)
                out.append(QStringView(kMonths[month - 1]).first(3));
            else if (t.count == 4)
                out.append(QStringView(kMonths[month - 1]));
            else
                out.append(QStringView(kMonths[month - 1]).first(1));
            break;
        case Token::Day:
            if (t.count <= 2)
                appendPart(out, day, t.count, n);
            else if (t.count == 3)
                out.append(QStringView(kDays[weekday]).first(3));
            else
                out.append(QStringView(kDays[weekday]));
            break;
        case Token::Weekday:
            out.append(QChar(kJaDays[weekday]));
            if (t.count >= 4)
                out.append(u"曜日");
            break;
        case Token::Hour: {
            int h = hour;
            if (section.twelveHour)
                h = h % 12 == 0 ? 12 : h % 12;
            appendPart(out, h, std::min(t.count, 2), n);
            break;
        }
        case Token::Minute:
            appendPart(out, minute, std::min(t.count, 2), n);
            break;
        case Token::Second:
            appendPart(out, second, std::min(t.count, 2), n);
            break;
        case Token::SubSecond: {
            out.append(u'.');
            qint64 f = fraction;
            for (int i = t.count; i < section.subSecond; ++i)
                f /= 10;
            appendPart(out, f, t.count, n, true);
            break;
        }
        case Token::Elapsed: {
            const qint64 total = days * 86400 + seconds;
            const qint64 elapsed = t.c == u'h' ? total / 3600 : t.c == u'm' ? total / 60 : total;
            appendPart(out, elapsed, t.count, n);
            break;
        }
        case Token::AmPm: {
            const bool pm = hour >= 12;
            if (t.text.size() == 3)
                out.append(t.text[pm ? 2 : 0]);
            else
                out.append(t.text.sliced(pm ? 3 : 0, 2));
            break;
        }
        case Token::Era:
            out.append(QStringView(t.count == 1   ? eraNow()->letter
                                   : t.count == 2 ? eraNow()->initial
                                                  : eraNow()->name));
            break;
        case Token::EraYear: {
            const int eraYear = year - eraNow()->from.year() + 1;
            if (eraYear == 1 && section.gannen)
                out.append(u'元');
            else
                appendPart(out, eraYear, std::min(t.count, 2), n);
            break;
        }
        default:
            break;
        }
    }
    return out;
}

// 1 January 10000 in the 1900 system: later serials are no date.
constexpr double kLastSerial = 2958466;

} // namespace

bool NumberFormat::Section::matches(double value) const
{
    switch (op[0]) {
    case u'<':
        return op[1] == u'='   ? value <= operand
               : op[1] == u'>' ? value != operand
                               : value < operand;
    case u'>':
        return op[1] == u'=' ? value >= operand : value > operand;
    case u'=':
        return value == operand;
    default:
        return true;
    }
}

NumberFormat::NumberFormat(QStringView code)
{
    // Excel keeps a format code to 255 characters; a longer one (only a
    // hostile file writes it) would cost its length on every cell: General.
    constexpr qsizetype kLongestCode = 1024;
    if (code.compare(u"General", Qt::CaseInsensitive) == 0 || code.isEmpty() ||
        code.size() > kLongestCode)
        return;
    // Sections split at semicolons outside quotes, brackets and escapes.
    qsizetype start = 0;
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i <= code.size(); ++i) {
        if (i < code.size()) {
            const QChar c = code[i];
            if (c == u'\\' && !quoted) {
                ++i;
                continue;
            }
            if (c == u'"')
                quoted = !quoted;
            else if (!quoted && c == u'[')
                bracket = true;
            else if (!quoted && c == u']')
                bracket = false;
            if (c != u';' || quoted || bracket)
                continue;
        }
        if (m_sections.size() < 4)
            m_sections.push_back(parseSection(code.sliced(start, i - start)));
        start = i + 1;
    }
    for (size_t i = 0; i < m_sections.size(); ++i) {
        const auto &tokens = m_sections[i].tokens;
        const bool at = std::any_of(tokens.begin(), tokens.end(),
                                    [](const Token &t) { return t.kind == Token::At; });
        if (at || i == 3) {
            m_textSection = int(i);
            m_sections.resize(i + 1);
            break;
        }
    }
}

QString NumberFormat::number(double value, DateSystem system) const
{
    if (!std::isfinite(value))
        return generalNumber(value);
    const int count = m_textSection >= 0 ? m_textSection : int(m_sections.size());
    if (count == 0)
        return generalNumber(value);
    const Section *section = &m_sections[0];
    bool showSign = true;
    const bool conditional =
        m_sections[0].hasCondition || (count > 1 && m_sections[1].hasCondition);
    if (conditional) {
        if (m_sections[0].matches(value))
            section = &m_sections[0];
        else if (count > 1 && m_sections[1].matches(value))
            section = &m_sections[1], showSign = m_sections[1].hasCondition;
        else if (count > 2)
            section = &m_sections[2], showSign = false;
        else
            return generalNumber(value);
    } else if (count >= 2 && value < 0) {
        section = &m_sections[1];
        showSign = false;
    } else if (count >= 3 && value == 0) {
        section = &m_sections[2];
    }
    if (section->date) {
        if (value < 0 || value >= kLastSerial)
            return generalNumber(value);
        return formatDate(*section, value, system);
    }
    if (section->numerals)
        return withNumerals(formatNumber(*section, value, showSign), section->numerals);
    return formatNumber(*section, value, showSign);
}

QString NumberFormat::text(const QString &value) const
{
    if (m_textSection < 0)
        return value;
    QString out;
    for (const Token &t : m_sections[size_t(m_textSection)].tokens) {
        if (t.kind == Token::At)
            out.append(value);
        else if (t.kind == Token::Literal)
            out.append(t.text);
    }
    return out;
}

void CellFormats::finish()
{
    m_styles.clear();
    m_formats.clear();
    std::vector<std::pair<int, int>> byId; // format id -> index into m_formats
    for (const int id : m_styleIds) {
        auto known = std::find_if(byId.begin(), byId.end(),
                                  [&](const std::pair<int, int> &p) { return p.first == id; });
        if (known == byId.end()) {
            // A format the workbook writes out wins over a built-in one (the
            // last of several with one id).
            QString code;
            for (const auto &[codeId, text] : m_codes)
                if (codeId == id)
                    code = text;
            if (code.isEmpty())
                code = builtinNumberFormat(id);
            NumberFormat format(code);
            int index = -1;
            if (!format.isGeneral()) {
                index = int(m_formats.size());
                m_formats.push_back(std::move(format));
            }
            byId.emplace_back(id, index);
            known = byId.end() - 1;
        }
        m_styles.push_back(known->second);
    }
}

QString builtinNumberFormat(int id)
{
    static constexpr struct {
        int id;
        const char16_t *code;
    } kBuiltin[] = {
        {0, u"General"},
        {1, u"0"},
        {2, u"0.00"},
        {3, u"#,##0"},
        {4, u"#,##0.00"},
        {5, u"\"¥\"#,##0;\"¥\"\\-#,##0"},
        {6, u"\"¥\"#,##0;[Red]\"¥\"\\-#,##0"},
        {7, u"\"¥\"#,##0.00;\"¥\"\\-#,##0.00"},
        {8, u"\"¥\"#,##0.00;[Red]\"¥\"\\-#,##0.00"},
        {9, u"0%"},
        {10, u"0.00%"},
        {11, u"0.00E+00"},
        {12, u"# ?/?"},
        {13, u"# ?\?/??"},
        {14, u"yyyy/m/d"},
        {15, u"d-mmm-yy"},
        {16, u"d-mmm"},
        {17, u"mmm-yy"},
        {18, u"h:mm AM/PM"},
        {19, u"h:mm:ss AM/PM"},
        {20, u"h:mm"},
        {21, u"h:mm:ss"},
        {22, u"yyyy/m/d h:mm"},
        {27, u"[$-411]ge.m.d"},
        {28, u"[$-411]ggge\"年\"m\"月\"d\"日\""},
        {29, u"[$-411]ggge\"年\"m\"月\"d\"日\""},
        {30, u"m/d/yy"},
        {31, u"yyyy\"年\"m\"月\"d\"日\""},
        {32, u"h\"時\"mm\"分\""},
        {33, u"h\"時\"mm\"分\"ss\"秒\""},
        {34, u"yyyy\"年\"m\"月\""},
        {35, u"m\"月\"d\"日\""},
        {36, u"[$-411]ge.m.d"},
        {37, u"#,##0 ;(#,##0)"},
        {38, u"#,##0 ;[Red](#,##0)"},
        {39, u"#,##0.00;(#,##0.00)"},
        {40, u"#,##0.00;[Red](#,##0.00)"},
        {41, u"_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ "},
        {42, u"_ \"¥\"* #,##0_ ;_ \"¥\"* \\-#,##0_ ;_ \"¥\"* \"-\"_ ;_ @_ "},
        {43, u"_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ "},
        {44, u"_ \"¥\"* #,##0.00_ ;_ \"¥\"* \\-#,##0.00_ ;_ \"¥\"* \"-\"??_ ;_ @_ "},
        {45, u"mm:ss"},
        {46, u"[h]:mm:ss"},
        {47, u"mmss.0"},
        {48, u"##0.0E+0"},
        {49, u"@"},
        {50, u"[$-411]ge.m.d"},
        {51, u"[$-411]ggge\"年\"m\"月\"d\"日\""},
        {52, u"yyyy\"年\"m\"月\""},
        {53, u"m\"月\"d\"日\""},
        {54, u"[$-411]ggge\"年\"m\"月\"d\"日\""},
        {55, u"yyyy\"年\"m\"月\""},
        {56, u"m\"月\"d\"日\""},
        {57, u"[$-411]ge.m.d"},
        {58, u"[$-411]ggge\"年\"m\"月\"d\"日\""},
    };
    for (const auto &b : kBuiltin)
        if (b.id == id)
            return QString::fromUtf16(b.code);
    return {};
}

QString generalNumber(double value)
{
    if (std::isfinite(value) && value == std::floor(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    if (!std::isfinite(value))
        return QString::number(value);
    const double magnitude = std::fabs(value);
    if (magnitude >= 1e15 || magnitude < 1e-4) {
        // 1.5E+20, 1E-10: up to 15 significant digits, no trailing zeros.
        char buf[40];
        const auto written =
            std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
        QString s = QString::fromLatin1(buf, written.ptr - buf).toUpper();
        const qsizetype e = s.indexOf(u'E');
        qsizetype cut = e;
        while (cut > 0 && s[cut - 1] == u'0')
            --cut;
        if (s[cut - 1] == u'.')
            --cut;
        QString exponent = s.sliced(e + 2);
        while (exponent.size() > 2 && exponent.startsWith(u'0'))
            exponent.remove(0, 1);
        return s.first(cut) + u'E' + s[e + 1] + exponent;
    }
    char buf[40];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return QString::fromLatin1(buf, written.ptr - buf);
}

bool parseNumber(QStringView text, double *value)
{
    char buf[64];
    if (text.size() >= qsizetype(sizeof buf))
        return false;
    qsizetype n = 0;
    for (const QChar c : text) {
        if (c.unicode() > 0x7F)
            return false;
        buf[n++] = char(c.unicode());
    }
    const char *from = buf;
    if (n > 0 && buf[0] == '+')
        ++from;
    const auto parsed = std::from_chars(from, buf + n, *value);
    return parsed.ec == std::errc() && parsed.ptr == buf + n && n > 0;
}

QString excelErrorText(quint8 code)
{
    switch (code) {
    case 0x00:
        return QStringLiteral("#NULL!");
    case 0x07:
        return QStringLiteral("#DIV/0!");
    case 0x0F:
        return QStringLiteral("#VALUE!");
    case 0x17:
        return QStringLiteral("#REF!");
    case 0x1D:
        return QStringLiteral("#NAME?");
    case 0x24:
        return QStringLiteral("#NUM!");
    case 0x2A:
        return QStringLiteral("#N/A");
    case 0x2B:
        return QStringLiteral("#GETTING_DATA");
    default:
        return {};
    }
}

} // namespace documents
