// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The BIFF8 and BIFF5 workbook reader on a random Workbook stream put in a
// sound compound file: no undefined behaviour, no hang, and the answer
// passes legacyfuzz::check.

#include "fuzz/LegacyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray stream(reinterpret_cast<const char *>(data), qsizetype(size));
    const QByteArray file = legacyfuzz::compound({{QStringLiteral("Workbook"), stream}});
    documents::Limits limits;
    limits.textUnits = 1 << 16;
    legacyfuzz::check(documents::readCompoundDocument(file, limits), limits);
    return 0;
}
