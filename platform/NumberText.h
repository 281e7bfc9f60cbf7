// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The text form of numbers in the settings store.
//
// Reading takes the longest leading decimal number of a text: blanks (spaces and
// tabs) are skipped, then an optional sign, digits with at most one full stop as
// the decimal point (whatever the locale), and an optional exponent. A text that
// does not begin with a number reads as 0.
//
// Writing puts one blank before a number that is not negative and a minus sign
// before a negative one, uses no digit grouping and a full stop as the decimal
// point, and shows a fraction only when the value has one.

#include <QString>

#include <cstdint>
#include <optional>

namespace numbertext {

// The numeric value of the text's leading number, 0 when there is none, rounded
// to the nearest double. A number too large for a double reads as plus or minus
// infinity, one too small for the smallest subnormal as 0. Any text, however
// long its digits or exponent, reads without overflow.
double read(const QString &text);

// The nearest integer to value, a half going to the even neighbour; nothing when
// value is not finite or the integer lies outside [min, max].
std::optional<std::int64_t> toInteger(double value, std::int64_t min, std::int64_t max);

// The value rounded to single precision; nothing when it is not finite there
// (rounds to infinity).
std::optional<float> toSingle(double value);

// An integer in the store's form: " 1450", "-60".
QString write(std::int64_t value);

// A single-precision value in the store's form, with at most 7 significant
// digits: " 1450", " 1234.567", "-0.5", " 1.234568E+07".
QString writeSingle(float value);

} // namespace numbertext
