// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The RTF reader on random input, as it is or (flag 1) as runs
// (FuzzInput::runs, for deep or long repeated groups and escapes): no
// undefined behaviour, no hang, no recursion, and the answer passes
// legacyfuzz::check; text that the reader decoded from 8-bit runs never
// holds more units than the input has bytes.

#include "fuzz/FuzzInput.h"
#include "fuzz/LegacyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const bool runs = in.flag();
    const QByteArray bytes = runs ? in.runs(1 << 20) : in.rest();
    documents::Limits limits;
    limits.textUnits = 1 << 16;
    const documents::ReadResult result = documents::readRtfDocument(bytes, limits);
    legacyfuzz::check(result, limits);
    qint64 units = 0;
    for (const QString &line : result.text.lines)
        units += line.size();
    if (units > bytes.size())
        legacyfuzz::fail("more text than bytes");
    return 0;
}
