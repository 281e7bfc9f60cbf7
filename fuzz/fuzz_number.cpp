// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The settings number parser on random texts: no undefined behaviour, and the
// value of the leading number is the nearest double, as the C library's
// correctly rounding strtod finds it. Then the integer and single conversions
// against exact comparisons in long double.
//
// Input: flags, 16 bytes of integer bounds, then the text (from an alphabet of
// number characters, or as Latin-1).

#include "fuzz/FuzzInput.h"
#include "platform/NumberText.h"

#include <QString>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

namespace {

// The leading number by the documented rule, written independently of the
// parser: blanks, sign, digits with one point, an exponent with digits.
std::string leadingNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto digit = [&](qsizetype at) { return at < n && text[at] >= u'0' && text[at] <= u'9'; };
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    std::string out;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        out += char(text[i++].unicode());
    bool any = false;
    while (digit(i)) {
        out += char(text[i++].unicode());
        any = true;
    }
    if (i < n && text[i] == u'.') {
        out += '.';
        ++i;
        while (digit(i)) {
            out += char(text[i++].unicode());
            any = true;
        }
    }
    if (!any)
        return {};
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        if (digit(j)) {
            out += 'e';
            for (qsizetype k = i + 1; k < n && (k < j || digit(k)); ++k)
                out += char(text[k].unicode());
        }
    }
    return out;
}

bool sameDouble(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::int64_t int64Of(const QByteArray &bytes, int at)
{
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | std::uint8_t(at + i < bytes.size() ? bytes[at + i] : 0);
    std::int64_t out;
    std::memcpy(&out, &v, sizeof out);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const QByteArray boundBytes = in.take(16);
    QByteArray raw = in.rest();
    if (!(flags & 1)) {
        static const char kAlphabet[] = "0000000001234567899..eE+- \t0x";
        for (char &c : raw)
            c = kAlphabet[std::uint8_t(c) % (sizeof kAlphabet - 1)];
    }
    const QString text = QString::fromLatin1(raw);

    const double value = numbertext::read(text);
    const std::string number = leadingNumber(text);
    const double expected = number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
    if (!sameDouble(value, expected))
        fuzzFail("number read differs from strtod",
                 QByteArray("text: ") + raw + "\nread " + QByteArray::number(value, 'g', 17) +
                     ", strtod " + QByteArray::number(expected, 'g', 17));

    // Integers: half to even, inside the bounds, compared exactly in long double
    // (its 64-bit mantissa holds every int64 and 2^63).
    std::int64_t min = int64Of(boundBytes, 0), max = int64Of(boundBytes, 8);
    if (flags & 2) { // narrow bounds, as the settings use them
        min = -32768;
        max = 32767;
    } else if (flags & 4) {
        min = std::numeric_limits<std::int64_t>::min();
        max = std::numeric_limits<std::int64_t>::max();
    }
    const auto integer = numbertext::toInteger(value, min, max);
    bool fits = false;
    long double rounded = 0;
    if (std::isfinite(value)) {
        rounded = std::nearbyint((long double)value);
        fits = rounded >= (long double)min && rounded <= (long double)max;
    }
    if (integer.has_value() != fits || (fits && (long double)*integer != rounded))
        fuzzFail("integer conversion wrong", QByteArray("text: ") + raw + "\nvalue " +
                                                 QByteArray::number(value, 'g', 17) + " bounds " +
                                                 QByteArray::number(qint64(min)) + ".." +
                                                 QByteArray::number(qint64(max)));

    // Singles: the nearest float, nothing when that is infinite.
    const auto single = numbertext::toSingle(value);
    // Under IEEE 754 a cast rounds to nearest, past the largest single to infinity.
    const float cast = std::isfinite(value) ? float(value) : 0.0f;
    const bool finite = std::isfinite(value) && std::isfinite(cast);
    if (single.has_value() != finite || (finite && !(*single == cast)))
        fuzzFail("single conversion wrong",
                 QByteArray("text: ") + raw + "\nvalue " + QByteArray::number(value, 'g', 17));

    // An integer's text reads back as the integer when a double holds it.
    const std::int64_t written = int64Of(boundBytes, 0) >> (flags >> 3);
    const double back = numbertext::read(numbertext::write(written));
    constexpr std::int64_t kExact = std::int64_t(1) << 53; // a double holds every integer to here
    if (written >= -kExact && written <= kExact &&
        numbertext::toInteger(back, min, max) != (written >= min && written <= max
                                                      ? std::optional<std::int64_t>(written)
                                                      : std::nullopt))
        fuzzFail("written integer reads back differently", numbertext::write(written).toLatin1());
    return 0;
}
