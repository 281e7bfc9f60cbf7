// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The mail reader on random input. The first byte chooses: bit 0, the rest
// as runs (FuzzInput::runs, for deep multiparts, long boundaries, unending
// encoded words and tags); bits 1-2, what reads it: the whole reader
// (readMailDocument under fuzzLimits(), its answer checked as every
// document reader's is), a header value (decodeHeader), or a body in one of
// the charsets the reader knows by itself or through ICU (decodeCharset).
// No undefined behaviour, no hang, no recursion past its bound; a decoded
// header or body never holds more units than its input has bytes. The whole
// reader is run twice, keeping its lines and handing them to a check as a
// search in the helper does (now and then one that takes many lines at
// once), and the two must agree.

#include "fuzz/DocumentChecks.h"

#include "documents/MailCharset.h"
#include "documents/OutlookMessage.h"
#include "documents/ReadDocument.h"

#include <algorithm>

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
        const documents::ReadResult kept = documents::readMailDocument(bytes, limits);
        checkResult(kept, limits);
        // Read again handing the lines to a check, as a search in the helper
        // does: the same outcome, no line kept, and the check takes a line
        // holding the word exactly where a kept line holds it. The word is a
        // piece of a kept line, or one that is in none.
        const std::vector<QString> &lines = kept.text.lines;
        QString word = QStringLiteral("\u3042\u3093");
        if (!lines.empty() && (mode & 8)) {
            const QString &line = lines[(size_t(mode) >> 4) % lines.size()];
            word = line.mid(line.size() / 3, 3);
        }
        // Every other input, the check takes many lines at once too, as
        // UTF-16 and as UTF-8, as the search's does: split here apart from
        // the reader's own split.
        documents::LineCheck check{[](void *context, QStringView line) {
                                       return line.contains(*static_cast<const QString *>(context));
                                   },
                                   &word};
        if (mode & 64) {
            check.checkLines = [](void *context, QStringView text) {
                const QString &word = *static_cast<const QString *>(context);
                for (const QStringView line : text.tokenize(u'\n'))
                    for (const QStringView part : line.tokenize(u'\r'))
                        if (part.contains(word))
                            return true;
                return false;
            };
            check.checkUtf8Lines = [](void *context, QByteArrayView text) {
                const QString &word = *static_cast<const QString *>(context);
                for (const QStringView line : QString::fromUtf8(text).tokenize(u'\n'))
                    for (const QStringView part : line.tokenize(u'\r'))
                        if (part.contains(word))
                            return true;
                return false;
            };
        }
        const documents::ReadResult streamed = documents::readMailDocument(bytes, limits, &check);
        if (streamed.failure != kept.failure || streamed.reason != kept.reason)
            fuzzFail("read otherwise with its lines handed over");
        if (!streamed.text.lines.empty())
            fuzzFail("lines kept while handed over");
        const bool held = std::any_of(lines.begin(), lines.end(),
                                      [&](const QString &line) { return line.contains(word); });
        if (kept.ok() && check.found != held)
            fuzzFail("a line handed over differs from the line kept");
        break;
    }
    }
    return 0;
}
