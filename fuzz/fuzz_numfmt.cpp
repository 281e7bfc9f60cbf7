// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The number-format engine on any format code a workbook may hold: parsing
// the code and showing a value under it ends, without undefined behaviour,
// in a text whose length the code's length bounds.
//
// Input: one byte of flags (the date system), eight bytes of a double, then
// the format code as UTF-8.

#include "fuzz/FuzzInput.h"

#include "documents/NumberFormat.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const auto system =
        in.flag() ? documents::DateSystem::From1904 : documents::DateSystem::From1900;
    const QByteArray raw = in.take(8);
    double value = 0;
    if (raw.size() == 8)
        std::memcpy(&value, raw.constData(), 8);
    const QString code = QString::fromUtf8(in.rest());
    const documents::NumberFormat format(code);
    // Each character of a code shows at most a few (a weekday name, a year),
    // and the number's digits appear once.
    const qsizetype bound = 5 * code.size() + 1000;
    for (const double v : {value, -value, 0.0, 45000.25}) {
        const QString shown = format.number(v, system);
        if (shown.size() > bound) {
            std::fprintf(stderr, "%lld units shown for a code of %lld\n",
                         static_cast<long long>(shown.size()), static_cast<long long>(code.size()));
            std::abort();
        }
    }
    if (format.text(QStringLiteral("text")).size() > bound)
        std::abort();
    return 0;
}
