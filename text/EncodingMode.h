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
//   anything else: code page 932.
// In utf-8 and auto, a line ends at CR-LF, a lone CR or a lone LF, whatever
// the file's encoding.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include "text/Unicode.h"

#include <vector>

namespace platform {

enum class EncodingMode { Cp932, Utf8, Auto };

// How one file is read.
enum class FileEncoding { Cp932, Utf8, Utf16LE, Utf16BE };

// "cp932", "utf-8", "auto": the names the settings store and the command line use.
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
// true and the decision when there is one. In auto mode a file without a mark
// is UTF-8 exactly when it is valid UTF-8 throughout (Utf8Validator).
bool decideByMark(EncodingMode mode, const char *data, qsizetype size, FileDecision &decision);

// The whole text of a file read as UTF-8 or UTF-16 (decision.encoding is not
// Cp932), from its bytes including the mark. Line ends are kept as they are;
// each error shows as U+FFFD, and `errors` (when given) receives where.
QString decodeUnicodeFile(const FileDecision &decision, const char *data, qsizetype size,
                          std::vector<qsizetype> *errors = nullptr);

} // namespace platform
