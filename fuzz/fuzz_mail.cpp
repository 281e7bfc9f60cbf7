// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The mail reader on random input. The first byte chooses: bit 0, the rest
// as runs (FuzzInput::runs, for deep multiparts, long boundaries, unending
// encoded words and tags); bits 1-2, what reads it: the whole reader
// (readMailDocument under fuzzLimits(), its answer checked as every
// document reader's is), a header value (decodeHeader), or a body in one of
// the charsets the reader knows by itself or through ICU (decodeCharset).
// No undefined behaviour, no hang, no recursion past its bound; a decoded
// header or body never holds more units than its input has bytes.

#include "fuzz/DocumentChecks.h"

#include "documents/MailCharset.h"
#include "documents/OutlookMessage.h"
#include "documents/ReadDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t mode = in.byte();
    const QByteArray bytes = (mode & 1) ? in.runs(1 << 20) : in.rest();
    switch ((mode >> 1) & 3) {
    case 1: {
        if (documents::mail::decodeHeader(bytes).size() > bytes.size())
            fuzzFail("a header longer than its bytes");
        break;
    }
    case 2: {
        static const char *const kCharsets[] = {"iso-2022-jp", "shift_jis", "euc-jp",     "utf-8",
                                                "us-ascii",    "",          "iso-8859-1", "x-none"};
        const char *charset = kCharsets[(mode >> 3) & 7];
        if (documents::mail::decodeCharset(bytes, charset).size() > bytes.size())
            fuzzFail("a body longer than its bytes", charset);
        if (documents::mail::decodeQuotedPrintable(bytes).size() > bytes.size() ||
            documents::mail::decodeBase64(bytes).size() > bytes.size())
            fuzzFail("a transfer decoding longer than its input");
        break;
    }
    case 3: {
        QByteArray rtf;
        QString reason;
        constexpr qint64 kMax = 1 << 20;
        if (!documents::decompressRtf(bytes, kMax, &rtf, &reason)) {
            if (reason.isEmpty())
                fuzzFail("a failure without a reason");
            break;
        }
        if (rtf.size() > kMax + 17)
            fuzzFail("more RTF than the limit");
        // As the .msg reader takes it: the RTF reader's text without its
        // empty lines.
        const documents::Limits limits = fuzzLimits();
        documents::ReadResult result = documents::readRtfDocument(rtf, limits);
        std::erase_if(result.text.lines, [](const QString &line) { return line.isEmpty(); });
        if (result.ok())
            result.text.locations.clear();
        checkResult(result, limits);
        break;
    }
    default: {
        const documents::Limits limits = fuzzLimits();
        checkResult(documents::readMailDocument(bytes, limits), limits);
        break;
    }
    }
    return 0;
}
