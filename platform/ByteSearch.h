// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The fastest search for a byte string that this system's C library offers.

#include <QByteArray>
#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <cstring>
#else
#include <algorithm>
#include <functional>
#endif

namespace platform {

// The first place of needle in [hay, hay + hayLen), or nullptr.
inline const char *findBytes(const char *hay, qsizetype hayLen, const QByteArray &needle)
{
#ifdef Q_OS_UNIX
    return static_cast<const char *>(
        memmem(hay, size_t(hayLen), needle.constData(), size_t(needle.size())));
#else
    const char *end = hay + hayLen;
    const char *hit =
        std::search(hay, end, std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return hit == end ? nullptr : hit;
#endif
}

} // namespace platform
