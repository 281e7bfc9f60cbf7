// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The keyword matcher against the plain reference matcher (decode each line,
// look for each word), on bytes weighted towards code-page-932 traps, with
// words drawn partly from the bytes themselves, and random block and read sizes.
// In every encoding mode: the code page 932 matcher alone, or the encoding
// dispatcher in cp932, utf-8 or auto mode against the reference that decodes
// the file as the mode says (a byte order mark put in front as flags say).
//
// Input: flags, block size, read size, second block size, word count, then per
// word a kind and two bytes, then the file's bytes. A word of kind "explicit"
// takes its bytes from the front of the rest. With flag 8 the file's bytes are
// read as pieces (FuzzInput::runs), so long repeated runs are reachable: a file
// of up to kMaxRuns bytes, against which the per-input time limit (run.sh
// -timeout) catches work that grows faster than the file. Flags: bit 0 raw
// bytes, bits 1 and 2 the sources tell their end, bit 3 runs, bits 4-5 the
// mode, bits 6-7 the mark. A word kind of 0xF8 or more repeats one character
// or a short slice of the text up to a few hundred times, with another
// character at its end, its middle or its start, or none (the keywords that
// make a search comparing each candidate whole quadratic, over runs of them).
// Bits 2-4 of the word count's byte turn on the case, width and kana folds
// (modes 1 to 3), against the reference that folds each decoded line. In those
// modes the decoded text is matched too as a document's lines handed over at
// once, against the same matcher taking them one by one.

#include "fuzz/FuzzInput.h"
#include "search/KeywordMatcher.h"
#include "search/TextMatcher.h"
#include "tests/search/EncodingReference.h"
#include "tests/search/MemorySource.h"
#include "tests/search/ReferenceMatcher.h"
#include "text/Cp932.h"

#include <QStringList>

#include <array>

namespace {

constexpr qsizetype kMaxRuns = 1 << 20; // a file built from repeated runs: 1 MiB at most

qsizetype blockSizeOf(std::uint8_t b)
{
    if (b < 200)
        return 1 + b % 64;
    if (b < 255)
        return 64 + (b - 200) * 8;
    return 65536;
}

struct WordChoice {
    std::uint8_t kind, a, b;
    QByteArray bytes;
};

// extended: the modes that read UTF-8 and UTF-16 draw from six more words;
// the code page 932 matcher's seeds keep their words.
QString pooled(std::uint8_t i, bool extended)
{
    static const std::array<const char16_t *, 30> kPool = {
        u"A",    u"\\", u"a",    u"ab",     u"\n",     u"A\\",    u"a\nb",   u"~",
        u"\x7F", u"ア", u"ソ",   u"表",     u"・",     u"∵",      u"≒",      u"纊",
        u"ｱ",    u"　", u"ア\\", u"表・",   u"\uE000", u"\uF8F1", u"\u00A5", u"\r",
        u"設定", u"é",  u"😀",    u"\uFFFD", u"\uFEFF", u"\u4100"};
    return QString::fromUtf16(kPool[i % (extended ? kPool.size() : 24)]);
}

QString repeated(const WordChoice &choice, const QString &text, bool extended)
{
    QString unit = pooled(choice.a, extended);
    if ((choice.kind & 1) && !text.isEmpty()) {
        unit = text.mid(choice.a % text.size(), 1 + choice.b % 3);
        unit.remove(u'\r');
        if (unit.isEmpty())
            unit = pooled(choice.a, extended);
    }
    const QString base = unit.repeated(2 + (choice.b * 5) % 250);
    const QString other = pooled(choice.a + 1, extended);
    switch ((choice.kind >> 1) & 3) {
    case 1:
        return base + other;
    case 2:
        return base.left(base.size() / 2) + other + base.mid(base.size() / 2);
    case 3:
        return other + base;
    default:
        return base;
    }
}

QString wordOf(const WordChoice &choice, const QByteArray &file, const QString &text, bool extended)
{
    if (choice.kind >= 0xF8)
        return repeated(choice, text, extended);
    const qsizetype length = 1 + choice.b % 6;
    switch (choice.kind % 4) {
    case 0: { // a slice of the decoded text: likely to occur
        if (text.isEmpty())
            return pooled(choice.a, extended);
        QString slice = text.mid(choice.a % text.size(), length);
        slice.remove(u'\r');
        return slice;
    }
    case 1: // a slice of the bytes decoded on its own: may cut a pair
        if (file.isEmpty())
            return pooled(choice.a, extended);
        return cp932::decode(file.mid(choice.a % file.size(), length));
    case 2:
        return pooled(choice.a, extended);
    default:
        return cp932::decode(choice.bytes);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const qsizetype blockSize = blockSizeOf(in.byte());
    const std::uint8_t readByte = in.byte();
    const qsizetype chunk = readByte == 0 ? qsizetype(1) << 30 : readByte;
    const qsizetype secondBlockSize = blockSizeOf(in.byte());
    const std::uint8_t countByte = in.byte();
    const int wordCount = 1 + countByte % 4;
    // Bits 2-4 of the same byte: the folds of loose matching, in modes 1 to 3.
    const textfold::Folds folds{(countByte & 4) != 0, (countByte & 8) != 0, (countByte & 16) != 0};
    std::array<WordChoice, 4> choices;
    for (int i = 0; i < wordCount; ++i) {
        choices[i] = {in.byte(), in.byte(), in.byte(), {}};
        if (choices[i].kind % 4 == 3)
            choices[i].bytes = textBytes(in.take(1 + choices[i].b % 6));
    }
    const QByteArray raw = (flags & 8) ? in.runs(kMaxRuns) : in.rest();
    // 0: KeywordMatcher alone; 1 to 3: TextMatcher in cp932, utf-8, auto.
    const int mode = (flags >> 4) & 3;
    static const char *const kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
    // utf-8 mode with the UTF-16BE mark's flags: euc-jp mode, no mark.
    const bool eucJp = mode == 2 && ((flags >> 6) & 3) == 3;
    const QByteArray file = QByteArray(mode >= 2 && !eucJp ? kMarks[(flags >> 6) & 3] : "") +
                            ((flags & 1) ? raw : textBytes(raw));
    const QString text = mode >= 2 ? QString::fromUtf8(file) : cp932::decode(file);
    // A long file is read in at most about 65,536 pieces: a megabyte read two
    // bytes at a time is half a million calls, 0.7 s under the sanitizers,
    // which a loaded machine stretches past the time limit; pieces of 16 bytes
    // still leave a long word's overlap many times the piece, and the small
    // files meet every block and read size.
    const qsizetype least = file.size() / 65536;
    const qsizetype firstBlock = std::max(blockSize, least);
    const qsizetype secondBlock = std::max(secondBlockSize, least);
    const qsizetype readSize = std::max(chunk, least);

    QStringList words;
    for (int i = 0; i < wordCount; ++i)
        words << wordOf(choices[i], file, text, mode >= 2);
    words.removeAll(QString());
    if (words.isEmpty())
        return 0;

    if (mode != 0) {
        const reference::Mode refMode = mode == 1   ? reference::Mode::Cp932
                                        : eucJp     ? reference::Mode::EucJp
                                        : mode == 2 ? reference::Mode::Utf8
                                                    : reference::Mode::Auto;
        const platform::EncodingMode engineMode = mode == 1   ? platform::EncodingMode::Cp932
                                                  : eucJp     ? platform::EncodingMode::EucJp
                                                  : mode == 2 ? platform::EncodingMode::Utf8
                                                              : platform::EncodingMode::Auto;
        const bool expected = reference::matches(refMode, file, words, folds);
        TextMatcher matcher(words, engineMode, folds);
        QByteArray detail = "mode " + QByteArray::number(mode) + ", folds " +
                            QByteArray::number(countByte >> 2 & 7) + ", bytes: " + hexOf(file) +
                            "\nblock " + QByteArray::number(firstBlock) + ", read " +
                            QByteArray::number(readSize) + ", expected " +
                            (expected ? "match" : "no match") + "\nwords:";
        for (const QString &word : std::as_const(words))
            detail += "\n  " + codesOf(word);
        if (matcher.neverMatches()) {
            if (expected)
                fuzzFail("a word said never to match occurs", detail);
            return 0;
        }
        MemorySource first(file, readSize, (flags & 2) != 0);
        if (matcher.matches(first, firstBlock) != expected)
            fuzzFail("encoding matcher and reference disagree", detail);
        MemorySource second(file, qsizetype(1) << 30, (flags & 4) != 0);
        if (matcher.matches(second, secondBlock) != expected)
            fuzzFail("encoding matcher and reference disagree on reuse", detail);
        // The decoded text as a document reader hands it over, its lines at
        // once, as UTF-16 and as UTF-8: found where one line alone is.
        if (text.size() <= 65536) {
            bool alone = false;
            for (const QStringView line : QStringView(text).tokenize(u'\n'))
                for (const QStringView part : line.tokenize(u'\r'))
                    alone = alone || (!part.isEmpty() && matcher.matchesLine(part));
            if (matcher.matchesLinesIn(text) != alone ||
                matcher.matchesUtf8LinesIn(text.toUtf8()) != alone)
                fuzzFail("lines handed over at once and one by one disagree", detail);
        }
        return 0;
    }

    const bool expected = referenceMatches(file, words);
    KeywordMatcher matcher(words);
    auto report = [&](const char *what, qsizetype block) {
        QByteArray detail = "bytes: " + hexOf(file) + "\nblock " + QByteArray::number(block) +
                            ", read " + QByteArray::number(readSize) + ", expected " +
                            (expected ? "match" : "no match") + "\nwords:";
        for (const QString &word : std::as_const(words))
            detail += "\n  " + codesOf(word);
        fuzzFail(what, detail);
    };
    if (matcher.neverMatches()) {
        if (expected)
            report("a word said never to match occurs", firstBlock);
        return 0;
    }
    // The same matcher twice: nothing of one file may leak into the next.
    MemorySource first(file, readSize, (flags & 2) != 0);
    if (matcher.matches(first, firstBlock) != expected)
        report("matcher and reference disagree", firstBlock);
    MemorySource second(file, qsizetype(1) << 30, (flags & 4) != 0);
    if (matcher.matches(second, secondBlock) != expected)
        report("matcher and reference disagree on reuse", secondBlock);
    return 0;
}
