// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/Recognize.h"

#include <cstring>

namespace documents {

namespace {

bool startsWith(const char *data, qsizetype size, const char *magic, qsizetype length)
{
    return size >= length && std::memcmp(data, magic, size_t(length)) == 0;
}

} // namespace

// Every file of a search with documents on comes here: a text file (nearly
// all of them) must cost next to nothing, so the scan for "%PDF-" skips to
// each '%' with memchr and compares only there.
Container sniff(const char *data, qsizetype size)
{
    if (startsWith(data, size, "PK\x03\x04", 4))
        return Container::Zip;
    if (startsWith(data, size, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return Container::Compound;
    if (startsWith(data, size, "{\\rtf", 5))
        return Container::Rtf;
    constexpr qsizetype kPdfMagic = 5; // "%PDF-"
    const char *const end = data + (size < kSniffBytes ? size : kSniffBytes);
    for (const char *at = data; end - at >= kPdfMagic; ++at) {
        at = static_cast<const char *>(std::memchr(at, '%', size_t(end - at - kPdfMagic + 1)));
        if (!at)
            break;
        if (std::memcmp(at + 1, "PDF-", 4) == 0)
            return Container::Pdf;
    }
    return Container::None;
}

} // namespace documents
