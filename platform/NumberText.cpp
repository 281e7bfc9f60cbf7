// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/NumberText.h"

#include <QByteArray>

#include <algorithm>
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
    qsizetype digits = 0;
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
// (rather than too small) for a double. Its decimal order of magnitude (the power
// of ten of its first non-zero digit) decides: every double lies between about
// 1e-324 and 1e308, so a text out of range there is either far above or below 1.
bool overflows(const QByteArray &number)
{
    const qsizetype e = number.indexOf('e');
    const qsizetype mantissaEnd = e < 0 ? number.size() : e;
    qsizetype point = -1;        // digits left of the point, once it is seen
    qsizetype firstNonZero = -1; // index of the first non-zero digit among all
    qsizetype digitIndex = 0;
    for (qsizetype i = 0; i < mantissaEnd; ++i) {
        const char c = number[i];
        if (c == '.') {
            point = digitIndex;
            continue;
        }
        if (c < '0' || c > '9')
            continue;
        if (c != '0' && firstNonZero < 0)
            firstNonZero = digitIndex;
        ++digitIndex;
    }
    const qsizetype digitsBefore = point < 0 ? digitIndex : point;
    if (firstNonZero < 0)
        return false; // zero is never out of range; be safe all the same
    // The exponent saturates far beyond any digit count a text can hold, so that
    // neither it nor the sum below can overflow.
    constexpr long long kExponentLimit = 1000000000000000LL; // 10^15
    long long exponent = 0;
    bool negativeExponent = false;
    if (e >= 0) {
        qsizetype i = e + 1;
        if (i < number.size() && (number[i] == '+' || number[i] == '-')) {
            negativeExponent = number[i] == '-';
            ++i;
        }
        for (; i < number.size(); ++i)
            exponent = std::min(exponent * 10 + (number[i] - '0'), kExponentLimit);
        if (negativeExponent)
            exponent = -exponent;
    }
    // Digit counts stay far below 1e15, and so does their difference.
    const long long magnitude = (long long)(digitsBefore - firstNonZero - 1) + exponent;
    return magnitude >= 0;
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
    if (!std::isfinite(value) || min > max)
        return std::nullopt;
    // The default rounding mode sends halves to the even neighbour.
    const double rounded = std::nearbyint(value);
    // Only values in [-2^63, 2^63) convert to int64; the bounds are compared as
    // integers, since a double cannot hold every 64-bit bound exactly.
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (!(rounded >= -kTwoTo63 && rounded < kTwoTo63))
        return std::nullopt;
    const auto integer = std::int64_t(rounded);
    if (integer < min || integer > max)
        return std::nullopt;
    return integer;
}

std::optional<float> toSingle(double value)
{
    if (!std::isfinite(value))
        return std::nullopt;
    // Rounding to nearest takes everything below FLT_MAX plus half its last
    // place to FLT_MAX, and from there on to infinity.
    constexpr double kSingleLimit = 0x1.ffffffp127;
    constexpr float kMax = std::numeric_limits<float>::max();
    if (std::fabs(value) >= kSingleLimit)
        return std::nullopt;
    if (std::fabs(value) > double(kMax))
        return value < 0 ? -kMax : kMax;
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
