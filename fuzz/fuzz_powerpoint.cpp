// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The PowerPoint 97-2003 reader on random Current User and PowerPoint
// Document streams (the input's first two bytes give the first stream's
// length) put in a sound compound file: no undefined behaviour, no hang,
// and the answer passes legacyfuzz::check.

#include "fuzz/LegacyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto [user, document] = legacyfuzz::split(data, size);
    const QByteArray file =
        legacyfuzz::compound({{QStringLiteral("Current User"), user},
                              {QStringLiteral("PowerPoint Document"), document}});
    documents::Limits limits;
    limits.textUnits = 1 << 16;
    legacyfuzz::check(documents::readCompoundDocument(file, limits), limits);
    return 0;
}
