// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The PDF reader (poppler, in process) on any input that the search would
// hand it (documents::sniff() finds "%PDF-" in its first 1,024 bytes), held
// in read-only memory as the reader helper maps the file, under a small text
// limit: no undefined behaviour, no write to the input, no hang (run with
// -timeout=), and the answer passes checkResult. A crash inside poppler is
// contained by the helper process in the program; found here, it says which
// files end a helper.

#include "fuzz/DocumentChecks.h"

#include "documents/PdfDocument.h"
#include "documents/Recognize.h"

#include <cstring>

#include <sys/mman.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0 || documents::sniff(reinterpret_cast<const char *>(data), qsizetype(size)) !=
                         documents::Container::Pdf)
        return 0;
    // As the helper sees the file: a private read-only mapping.
    void *map = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map == MAP_FAILED)
        return 0;
    std::memcpy(map, data, size);
    mprotect(map, size, PROT_READ);
    const documents::Limits limits = fuzzLimits();
    const documents::ReadResult result = documents::readPdfDocument(
        QByteArrayView(static_cast<const char *>(map), qsizetype(size)), limits);
    munmap(map, size);
    checkResult(result, limits);
    if (result.ok() && result.text.kind != documents::Kind::Pdf)
        fuzzFail("a PDF read as another kind");
    return 0;
}
