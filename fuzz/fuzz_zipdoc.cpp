// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The zip container as it comes: any bytes read as a zip document, with
// small limits, must end in text that keeps the result's rules or in a failure
// with a reason, never a crash, a hang or memory beyond the limits.

#include "fuzz/DocumentChecks.h"

#include "documents/ReadDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const documents::Limits limits = fuzzLimits();
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    checkResult(documents::readZipDocument(bytes, limits), limits);
    return 0;
}
