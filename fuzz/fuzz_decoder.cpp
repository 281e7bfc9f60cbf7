// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The line decoder fed a line in random pieces against the one-shot decode of
// the whole line, and the unit-boundary test against where decoding starts
// units. The same bytes in the same pieces also go to the UTF-8 validator,
// against the UTF-8 decoder: valid exactly when decoding finds no error.
//
// Input: flags, cut count and cut positions, then the line's bytes.

#include "fuzz/FuzzInput.h"
#include "text/Cp932.h"
#include "text/EncodingMode.h"

#include <algorithm>
#include <vector>

namespace {

// Where decoding puts a unit start, by a plain walk of the rule: a lead byte
// pairs with the next byte unless it is the last one or the next is 00.
std::vector<bool> unitStarts(const QByteArray &line)
{
    std::vector<bool> starts(size_t(line.size()) + 1, false);
    qsizetype i = 0;
    while (i < line.size()) {
        starts[size_t(i)] = true;
        const bool pairs =
            cp932::isLeadByte(std::uint8_t(line[i])) && i + 1 < line.size() && line[i + 1] != '\0';
        i += pairs ? 2 : 1;
    }
    starts[size_t(line.size())] = true;
    return starts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const int cutCount = int(in.below(8));
    std::vector<std::uint8_t> cutBytes;
    for (int i = 0; i < cutCount; ++i)
        cutBytes.push_back(in.byte());
    const QByteArray raw = in.rest();
    const QByteArray line = (flags & 1) ? raw : textBytes(raw);

    const QString whole = cp932::decode(line);
    if (whole.size() > line.size())
        fuzzFail("decoded text longer than its bytes", hexOf(line));

    // Cut points from the input, sorted; empty pieces are allowed.
    std::vector<qsizetype> cuts;
    for (std::uint8_t b : cutBytes)
        cuts.push_back(line.isEmpty() ? 0 : b % (line.size() + 1));
    std::sort(cuts.begin(), cuts.end());

    // One decoder for the whole process: finish() must leave nothing behind.
    static cp932::LineDecoder decoder;
    QString pieces = QStringLiteral("prefix");
    qsizetype from = 0;
    for (qsizetype to : cuts) {
        decoder.appendDecoded(line.constData() + from, to - from, pieces);
        from = to;
    }
    decoder.appendDecoded(line.constData() + from, line.size() - from, pieces);
    decoder.finish(pieces);
    if (pieces != QStringLiteral("prefix") + whole) {
        QByteArray cutText;
        for (qsizetype c : cuts)
            cutText += QByteArray::number(c) + ' ';
        fuzzFail("pieces decode differently",
                 "bytes: " + hexOf(line) + "\ncuts: " + cutText + "\nwhole: " + codesOf(whole) +
                     "\npieces: " + codesOf(QStringView(pieces).mid(6).toString()));
    }

    // Decoding with two different replacements gives the same text exactly
    // when there was nothing to replace.
    platform::Utf8Validator validator;
    from = 0;
    for (qsizetype to : cuts) {
        validator.feed(line.constData() + from, to - from);
        from = to;
    }
    validator.feed(line.constData() + from, line.size() - from);
    QString a, b;
    platform::appendUtf8(line.constData(), line.size(), a, u'\xDFFE');
    platform::appendUtf8(line.constData(), line.size(), b, u'\xDFFF');
    if (validator.finish() != (a == b))
        fuzzFail(validator.finish() ? "invalid UTF-8 passed as valid" : "valid UTF-8 refused",
                 "bytes: " + hexOf(line));

    // The boundary test walks back over lead bytes: keep long all-lead inputs cheap.
    if (line.size() > 1024)
        return 0;
    const std::vector<bool> starts = unitStarts(line);
    const auto *begin = reinterpret_cast<const unsigned char *>(line.constData());
    const auto *end = begin + line.size();
    for (qsizetype at = 0; at <= line.size(); ++at) {
        if (cp932::isUnitBoundary(begin, begin + at, end) != starts[size_t(at)])
            fuzzFail("unit boundary wrong",
                     "bytes: " + hexOf(line) + "\nat " + QByteArray::number(at));
        if (at < line.size() && cp932::isUnitBoundary(begin, begin + at) != starts[size_t(at)])
            fuzzFail("unit boundary wrong (inside)",
                     "bytes: " + hexOf(line) + "\nat " + QByteArray::number(at));
    }
    return 0;
}
