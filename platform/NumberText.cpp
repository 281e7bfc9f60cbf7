// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "NumberText.h"

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <limits>

namespace numbertext {
namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Scans the leading number of text and returns it as plain ASCII
// (sign, mantissa, exponent), or an empty array when there is none.
QByteArray leadingNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    QByteArray out;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            out += '-';
        ++i;
    }
    int digits = 0;
    while (i < n && isDigit(text[i])) {
        out += char(text[i].unicode());
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        out += '.';
        ++i;
        while (i < n && isDigit(text[i])) {
            out += char(text[i].unicode());
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return {};
    // An exponent counts only when at least one digit follows its letter.
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        QByteArray exponent = "e";
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            exponent += char(text[j].unicode());
            ++j;
        }
        if (j < n && isDigit(text[j])) {
            while (j < n && isDigit(text[j])) {
                exponent += char(text[j].unicode());
                ++j;
            }
            out += exponent;
        }
    }
    return out;
}

// Whether a decimal text that std::from_chars found out of range is too large
// (rather than too small) for a double.
bool overflows(const QByteArray &number)
{
    const qsizetype e = number.indexOf('e');
    const QByteArray mantissa = number.left(e < 0 ? number.size() : e);
    long long exponent = 0;
    if (e >= 0) {
        const QByteArray digits = number.mid(e + 1);
        // Saturate: the exponent's sign is all that matters for a huge one.
        bool ok = false;
        exponent = digits.toLongLong(&ok);
        if (!ok)
            exponent = digits.startsWith('-') ? -100000 : 100000;
    }
    const qsizetype point = mantissa.indexOf('.');
    const QByteArray whole = mantissa.left(point < 0 ? mantissa.size() : point);
    qsizetype significant = 0;
    for (char c : whole) {
        if (c >= '1' && c <= '9')
            break;
        if (c == '0')
            ++significant;
    }
    qsizetype wholeDigits = 0;
    for (char c : whole)
        wholeDigits += (c >= '0' && c <= '9') ? 1 : 0;
    return wholeDigits - significant + exponent > 0;
}

QString withSign(bool negative, const QString &digits)
{
    return (negative ? QStringLiteral("-") : QStringLiteral(" ")) + digits;
}

} // namespace

double read(const QString &text)
{
    const QByteArray number = leadingNumber(text);
    if (number.isEmpty())
        return 0.0;
    const bool negative = number.startsWith('-');
    const char *first = number.constData() + (negative ? 1 : 0);
    const char *last = number.constData() + number.size();
    double value = 0.0;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = overflows(number) ? std::numeric_limits<double>::infinity() : 0.0;
    else if (result.ec != std::errc())
        value = 0.0;
    return negative ? -value : value;
}

std::optional<std::int64_t> toInteger(double value, std::int64_t min, std::int64_t max)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // The default rounding mode sends halves to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (rounded < double(min) || rounded > double(max))
        return std::nullopt;
    return std::int64_t(rounded);
}

std::optional<float> toSingle(double value)
{
    if (!std::isfinite(value) || std::fabs(value) > double(std::numeric_limits<float>::max()))
        return std::nullopt;
    return float(value);
}

QString write(std::int64_t value)
{
    const bool negative = value < 0;
    // Magnitude as unsigned so that the smallest int64 has a text too.
    const std::uint64_t magnitude =
        negative ? std::uint64_t(0) - std::uint64_t(value) : std::uint64_t(value);
    return withSign(negative, QString::number(magnitude));
}

QString writeSingle(float value)
{
    if (std::isnan(value))
        return QStringLiteral(" 0");
    const bool negative = std::signbit(value) && value != 0.0f;
    const double magnitude = std::fabs(double(value));
    if (std::isinf(value))
        return withSign(negative, QStringLiteral("3.402823E+38"));
    if (magnitude == std::nearbyint(magnitude) && magnitude < 1e7)
        return withSign(negative, QString::number(std::int64_t(magnitude)));
    // Seven significant digits; plain notation while the decimal exponent lies in
    // the range where that needs no more than those digits, E notation otherwise.
    QString text = QString::number(magnitude, 'e', 6); // d.dddddde+XX
    const qsizetype e = text.indexOf(u'e');
    QString mantissa = text.left(e);
    const int exponent = text.mid(e + 1).toInt();
    mantissa.remove(u'.');
    while (mantissa.size() > 1 && mantissa.endsWith(u'0'))
        mantissa.chop(1);
    QString digits;
    if (exponent >= 7 || exponent < -7) {
        digits = mantissa.left(1);
        if (mantissa.size() > 1)
            digits += u'.' + mantissa.mid(1);
        digits += (exponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+")) +
                  QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QChar(u'0'));
    } else if (exponent >= 0) {
        const qsizetype wholeDigits = exponent + 1;
        if (mantissa.size() <= wholeDigits) {
            digits = mantissa + QString(wholeDigits - mantissa.size(), u'0');
        } else {
            digits = mantissa.left(wholeDigits) + u'.' + mantissa.mid(wholeDigits);
        }
    } else {
        digits = QStringLiteral("0.") + QString(-exponent - 1, u'0') + mantissa;
    }
    return withSign(negative, digits);
}

} // namespace numbertext
