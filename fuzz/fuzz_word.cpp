// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The Word 97-2003 and 6/95 reader on random WordDocument and table streams
// (the input's first two bytes give the first stream's length), put in a
// sound compound file: no undefined behaviour, no hang, and the answer
// passes legacyfuzz::check.

#include "fuzz/LegacyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto [word, table] = legacyfuzz::split(data, size);
    const QByteArray file = legacyfuzz::compound({{QStringLiteral("WordDocument"), word},
                                                  {QStringLiteral("1Table"), table},
                                                  {QStringLiteral("0Table"), table}});
    documents::Limits limits;
    limits.textUnits = 1 << 16;
    legacyfuzz::check(documents::readCompoundDocument(file, limits), limits);
    return 0;
}
