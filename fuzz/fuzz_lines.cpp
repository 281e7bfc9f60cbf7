// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The line building of the zip readers: any sequence of paragraphs, rows,
// cells, runs and parts, nested any way, must lose and invent no character
// (only tabs and spaces are added, line breaks become spaces), and keep the
// result's rules.

#include "fuzz/DocumentChecks.h"

#include "documents/XmlParts.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    documents::Limits limits = fuzzLimits();
    if (in.flag())
        limits.textUnits = qint64(in.below(64)) + 1;
    documents::TextSink sink(documents::Kind::Word, limits);
    documents::LineBuilder lines(sink, limits);
    QString given;
    int parts = 0;
    while (in.remaining() > 0) {
        switch (in.below(8)) {
        case 0:
            lines.beginParagraph();
            break;
        case 1:
            lines.endParagraph();
            break;
        case 2:
            lines.beginRow();
            break;
        case 3:
            lines.endRow();
            break;
        case 4:
            lines.beginCell(qint64(in.below(70000)) - 10);
            break;
        case 5:
            lines.beginPart(QString::number(++parts));
            break;
        default: {
            static constexpr char16_t kUnits[] = u"ab\u55b6\t \n\r\U0001F600";
            QString run;
            for (std::size_t n = in.below(6); n > 0; --n)
                run += QChar(kUnits[in.below(std::size(kUnits) - 1)]);
            given += run;
            lines.text(run);
            break;
        }
        }
    }
    lines.finish();
    const bool overLimit = lines.overLimit();
    documents::ReadResult result{documents::Failure::None, {}, sink.take()};
    if (overLimit)
        return 0;
    checkResult(result, limits);
    auto kept = [](QString text) {
        text.removeIf([](QChar c) { return c == u'\t' || c == u' ' || c == u'\n' || c == u'\r'; });
        std::sort(text.begin(), text.end());
        return text;
    };
    QString got;
    for (const QString &line : result.text.lines)
        got += line;
    if (kept(got) != kept(given))
        fuzzFail("characters lost or invented", codesOf(given) + " -> " + codesOf(got));
    return 0;
}
