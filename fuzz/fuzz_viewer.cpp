// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The viewer's line index and find against a plain reference: split the bytes
// at CR-LF, a lone CR or a lone LF, decode each line on its own, join the lines
// with "\n" and search that text with QString::indexOf.
//
// Input: flags, the word's source and length, the start, then the file's bytes.
// With flag 16 the file's bytes are read as pieces (FuzzInput::runs), so long
// repeated runs (a lead-range run of megabytes) are reachable.

#include "fuzz/FuzzInput.h"
#include "text/Cp932.h"
#include "viewer/LineIndex.h"
#include "viewer/TextFind.h"

#include <QStringList>

namespace {

constexpr qsizetype kMaxRuns = 1 << 20; // a file built from repeated runs: 1 MiB at most

QStringList referenceLines(const QByteArray &bytes)
{
    QStringList lines;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        lines += cp932::decode(bytes.mid(begin, i - begin));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        begin = i + 1;
    }
    lines += cp932::decode(bytes.mid(begin));
    return lines;
}

// A word's line breaks, in any of their forms, as the "\n" of the joined text.
QString plainWord(QString word)
{
    word.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    word.replace(u'\r', u'\n');
    return word;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const std::size_t wordLength = 1 + in.below(12);
    const std::size_t wordAt = in.below(65536);
    const std::size_t startAt = in.below(65536);
    const QByteArray rawWord = in.take(wordLength);
    const QByteArray raw = (flags & 16) ? in.runs(kMaxRuns) : in.rest();
    const QByteArray bytes = (flags & 1) ? raw : textBytes(raw);

    const QStringList lines = referenceLines(bytes);
    const QString text = lines.join(u'\n');

    LineIndex index;
    index.setBytes(bytes, nullptr);
    if (index.lineCount() != lines.size())
        fuzzFail("line count differs", hexOf(bytes));
    if (index.length() != text.size())
        fuzzFail("length differs", hexOf(bytes));
    if (index.textRange(0, index.length()) != text)
        fuzzFail("text differs", hexOf(bytes) + "\n" + codesOf(text));

    // Every line's place, by index and back from its offsets and raw positions.
    qsizetype offset = 0;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const LineIndex::Line line = index.lineAt(i);
        if (line.offset != offset || line.chars != lines[i].size() ||
            index.decodeRange(line.begin, line.end) != lines[i])
            fuzzFail("line differs", hexOf(bytes) + "\nline " + QByteArray::number(i));
        if (index.lineForOffset(offset + line.chars).index != i ||
            index.lineForRawPos(line.begin).index != i)
            fuzzFail("line lookup differs", hexOf(bytes) + "\nline " + QByteArray::number(i));
        offset += line.chars + 1;
    }

    // The word: a piece of the decoded text (found at least there), or bytes
    // of the input decoded as a word of its own.
    QString word;
    if ((flags & 2) && !text.isEmpty()) {
        const qsizetype at = qsizetype(wordAt % std::size_t(text.size()));
        word = text.mid(at, qsizetype(wordLength));
        if (flags & 4)
            word.replace(u'\n', QStringLiteral("\r\n"));
    } else {
        word = cp932::decode((flags & 8) ? rawWord : textBytes(rawWord));
    }
    const qsizetype start = qsizetype(startAt % std::size_t(text.size() + 1));
    const QString plain = plainWord(word);
    const qsizetype expected = plain.isEmpty() ? -1 : text.indexOf(plain, start);
    const FindHit hit = findText(index, word, start);
    if (hit.offset != expected || (expected >= 0 && hit.length != plain.size()))
        fuzzFail("find differs", "bytes: " + hexOf(bytes) + "\nword: " + codesOf(word) +
                                     "\nstart " + QByteArray::number(start) + ", expected " +
                                     QByteArray::number(expected) + ", found " +
                                     QByteArray::number(hit.offset));
    return 0;
}
