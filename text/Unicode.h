// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// UTF-8 and UTF-16 as the WHATWG Encoding Standard reads them: a validator fed
// in pieces and the decoders, each error becoming one replacement character.

#include <QString>

#include <vector>

namespace platform {

// Checks UTF-8 validity as the WHATWG decoder sees it (no overlong forms, no
// surrogates, nothing past U+10FFFF), fed in pieces.
class Utf8Validator {
public:
    // False once any byte so far is part of an invalid sequence.
    bool feed(const char *data, qsizetype size);
    // False when the bytes so far end inside a sequence (or were invalid).
    bool finish() const { return m_valid && m_needed == 0; }
    bool valid() const { return m_valid; }

private:
    int m_needed = 0; // continuation bytes still to come
    unsigned char m_lower = 0x80, m_upper = 0xBF;
    bool m_valid = true;
};

// Decodes UTF-8 bytes (without the mark) as the WHATWG decoder does: each
// error becomes `replacement`. With `errors`, the index in `out` of each
// replacement is added to it (a U+FFFD that was in the text is not an error).
void appendUtf8(const char *data, qsizetype size, QString &out, char16_t replacement = u'\uFFFD',
                std::vector<qsizetype> *errors = nullptr);
// Decodes UTF-16 bytes (without the mark): a lone surrogate and a last odd
// byte each become `replacement`.
void appendUtf16(const char *data, qsizetype size, bool bigEndian, QString &out,
                 char16_t replacement = u'\uFFFD', std::vector<qsizetype> *errors = nullptr);

} // namespace platform
