// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Finds a short run of ASCII bytes whose letters may be in either case (the
// candidates of a search that ignores case): the needle's two rarest bytes are
// tested at 16 starts at a time, each letter compared with its upper-case bit
// set, and only the starts that hold both are compared whole. The needle is at
// most kMaxCaseless bytes, so each start costs a bounded comparison and the
// search stays linear in the text.

#include "search/PairFind.h"

#include <QByteArray>

namespace search {

inline constexpr qsizetype kMaxCaseless = 16;

struct CaselessNeedle {
    QByteArray lower; // ASCII, letters in lower case; 1 to kMaxCaseless bytes
    qsizetype rare1 = 0, rare2 = 0;
};

// The needle for lower (truncated to kMaxCaseless bytes), its two rarest
// bytes chosen by ranks, a letter ranking as the commoner of its two cases.
CaselessNeedle caselessNeedle(const QByteArray &lower, const ByteRanks &ranks);

// The first start in [from, end) where the bytes equal the needle's, letters
// in either case; null when there is none.
const char *findCaseless(const char *from, const char *end, const CaselessNeedle &needle);

} // namespace search
