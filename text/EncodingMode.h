// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The encodings a text file can be read in, and the rule that decides which
// one a file is read in. The search and the viewer both take it from here, so
// that a file is shown decoded exactly as the search read it.
//
// - cp932: every file is code page 932 (Cp932.h); lines end at CR-LF or a lone
//   CR, a lone LF stays inside a line.
// - utf-8: every file is UTF-8; a leading byte order mark is not text, and an
//   invalid sequence decodes to U+FFFD as the WHATWG Encoding Standard's
//   decoder does (each maximal invalid prefix is one U+FFFD, and decoding
//   resumes at the byte that broke it).
// - auto: per file, from its own bytes: the UTF-8 byte order mark (EF BB BF)
//   or bytes that are valid UTF-8 from the first to the last: UTF-8; FF FE or
//   FE FF at the start: UTF-16 of that byte order (the mark is not text);
//   bytes all below 80 with an ISO-2022-JP designation among them (ESC $ B,
//   ESC $ @, ESC ( B, ESC ( J, ESC ( I): ISO-2022-JP; then bytes that are
//   valid UTF-8 from the first to the last: UTF-8; then bytes that are valid
//   EUC-JP from the first to the last (JisEncodings.h: every byte from 80 up
//   in a whole sequence, A1-FE A1-FE, 8E A1-DF or 8F A1-FE A1-FE, that names
//   a character of the table): EUC-JP; anything else: code page 932.
//   This rule tells EUC-JP from code page 932: code page 932's kana and most
//   of its kanji start with 81-9F, which in EUC-JP only 8E and 8F may, and
//   8E A1-DF, 8F's forms or a pair of A1-FE bytes would then also have to
//   name a character at every high byte of the file. Text made of
//   half-width katakana (A1-DF alone) and ASCII can be valid in both; the
//   bytes are weighed (jis::EucJpEvidence): EUC-JP at a byte 8E, 8F or from
//   E0 up, else when its kana and punctuation outnumber the rows half-width
//   katakana falls in more often than Japanese text does, else code page 932.
// - euc-jp: every file is EUC-JP (JisEncodings.h), errors decoding to U+FFFD.
// In utf-8, euc-jp and auto, a line ends at CR-LF, a lone CR or a lone LF,
// whatever the file's encoding.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include "text/Unicode.h"

#include <vector>

namespace platform {

enum class EncodingMode { Cp932, Utf8, Auto, EucJp };

// How one file is read.
enum class FileEncoding { Cp932, Utf8, Utf16LE, Utf16BE, EucJp, Iso2022Jp };

// "cp932", "utf-8", "auto", "euc-jp": the names the settings store and the command line use.
QString encodingModeName(EncodingMode mode);
// The mode a name gives; false (mode untouched) for any other text.
bool parseEncodingMode(QStringView name, EncodingMode &mode);

// True when a lone LF ends a line in this mode.
constexpr bool lineFeedEndsLine(EncodingMode mode)
{
    return mode != EncodingMode::Cp932;
}

// The encoding a file with these bytes (all of them) is read in, and how many
// bytes of byte order mark go before its text.
struct FileDecision {
    FileEncoding encoding = FileEncoding::Cp932;
    qsizetype markSize = 0;
};
FileDecision decideEncoding(EncodingMode mode, const char *data, qsizetype size);

// The byte order mark that decides the file in `mode` by itself, from the
// file's first bytes (at least 3 of them, or the whole file when shorter):
// true and the decision when there is one (in cp932, utf-8 and euc-jp mode
// always). In auto mode a file without a mark is decided by the rest of the
// rule above.
bool decideByMark(EncodingMode mode, const char *data, qsizetype size, FileDecision &decision);

// The whole text of a file read as UTF-8, UTF-16, EUC-JP or ISO-2022-JP
// (decision.encoding is not Cp932), from its bytes including the mark. Line ends are kept as they
// are; each error shows as U+FFFD, and `errors` (when given) receives where.
QString decodeUnicodeFile(const FileDecision &decision, const char *data, qsizetype size,
                          std::vector<qsizetype> *errors = nullptr);

} // namespace platform
