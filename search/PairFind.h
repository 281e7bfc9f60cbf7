// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Finds a byte string by its two rarest bytes at their offsets (the memchr
// crate's "packed pair"): 32 or 16 starts at a time are tested for both bytes
// with vector compares, and only the starts that hold both are compared whole.
// Searching for one byte alone stops at every occurrence of it, which for a
// common byte ("f" of "snprintf" in C, a continuation byte of Japanese in
// UTF-8) costs a call per few dozen bytes; the pair is far rarer.

#include <QtGlobal>

#include <array>

namespace search {

// How common each byte is in some kind of text, from 0 (the rarest) to 255
// (the commonest). Only a guide for which two bytes of a needle to look for;
// any choice is correct.
using ByteRanks = std::array<unsigned char, 256>;
extern const ByteRanks kCp932TextRanks; // code page 932 text, C and English
extern const ByteRanks kUtf8TextRanks;  // UTF-8 text, C and English

// The offsets of the needle's two rarest bytes (the first of equally rare
// ones), rare1 < rare2; both 0 for a one-byte needle. Where the needle holds
// kLongRun or more of its rarest byte in a row, the second is a byte unlike
// it (where there is one).
inline constexpr qsizetype kLongRun = 3;
void choosePair(const char *needle, qsizetype size, const ByteRanks &ranks, qsizetype &rare1,
                qsizetype &rare2);

struct PairNeedle {
    const char *bytes;
    qsizetype size;
    qsizetype rare1, rare2; // from choosePair()
};

// The first occurrence of the needle in [from, end), or null.
const char *findPair(const char *from, const char *end, const PairNeedle &needle);

} // namespace search
