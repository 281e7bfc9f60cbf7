// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Archives as they come: the first byte chooses whether documents inside are
// read (bit 0), the encoding mode (bits 1-2) and a search's reading (bit 3:
// members handed over, bit 4: the first taken), the rest is read as an
// archive or compressed file with small limits. The answer is text that
// keeps the result's rules or a failure with a reason; never a crash, a hang
// or memory beyond the limits, however the archive nests or lies; and the
// same answer whether small gzip files and zip members are inflated whole or
// everything is streamed.

#include "fuzz/DocumentChecks.h"

#include "documents/ArchiveDocument.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    documents::Limits limits = fuzzLimits();
    limits.archiveMemberBytes = 1 << 20;
    limits.archiveBytes = 4 << 20;
    limits.archiveMembers = 256;
    limits.archiveRatioFloorBytes = 1 << 20;
    limits.archiveMilliseconds = 2'000;
    documents::ArchiveChoice choice;
    choice.documents = (data[0] & 1) != 0;
    choice.encoding = platform::EncodingMode(((data[0] >> 1) & 3) % 3);
    const QByteArrayView bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] & 8) {
        // For a search: the members handed over, never more bytes than the
        // archive may inflate, none after the one taken (bit 4: the first).
        struct Members final : documents::MemberSink {
            qint64 bytes = 0;
            bool take = false;
            bool taken = false;
            bool textMember(QByteArrayView member) override
            {
                if (taken)
                    fuzzFail("a member after the one taken");
                bytes += member.size();
                taken = take;
                return take;
            }
            bool documentLines(const std::vector<QString> &) override
            {
                if (taken)
                    fuzzFail("a member after the one taken");
                taken = take;
                return take;
            }
        } members;
        members.take = (data[0] & 16) != 0;
        const documents::ReadResult result =
            documents::readArchiveDocument(bytes, choice, limits, members);
        if (members.bytes > limits.archiveBytes)
            fuzzFail("more member bytes than the archive limit");
        if (!result.text.lines.empty())
            fuzzFail("lines in a search's answer");
        return 0;
    }
    const documents::ReadResult result = documents::readArchiveDocument(bytes, choice, limits);
    // Inflating small gzip files and zip members whole gives what streaming
    // everything gives (but where the time limit cut either short).
    documents::Limits streamedLimits = limits;
    streamedLimits.archiveWholeInflate = false;
    const documents::ReadResult streamed =
        documents::readArchiveDocument(bytes, choice, streamedLimits);
    if (!result.reason.contains(u"time limit") && !streamed.reason.contains(u"time limit") &&
        (result.failure != streamed.failure || result.reason != streamed.reason ||
         result.text.lines != streamed.text.lines ||
         result.text.locations.size() != streamed.text.locations.size()))
        fuzzFail("the whole inflate differs from streaming",
                 (result.reason + QStringLiteral(" / ") + streamed.reason).toUtf8());
    if (!result.ok() || result.text.kind != documents::Kind::Archive) {
        checkResult(result, limits); // a failure, or a document's own text
        return 0;
    }
    // A member's text as a text file's: empty lines are lines, and in code
    // page 932 a lone LF stays inside one; never a CR.
    qint64 units = 0;
    for (const QString &line : result.text.lines) {
        if (line.contains(u'\r') ||
            (choice.encoding != platform::EncodingMode::Cp932 && line.contains(u'\n')))
            fuzzFail("a line break inside a line", codesOf(line));
        units += line.size() + 1;
    }
    if (units > limits.textUnits)
        fuzzFail("more text than the limit");
    checkLocations(result.text);
    for (const documents::Location &location : result.text.locations)
        if (location.label.contains(u'\n') || location.label.contains(u'\r'))
            fuzzFail("a member's name breaks its line", codesOf(location.label));
    return 0;
}
