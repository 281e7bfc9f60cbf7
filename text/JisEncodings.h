// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// EUC-JP and ISO-2022-JP: the two other ways Japanese text is written with
// the JIS character sets, decoded in pieces.
//
// JIS X 0208 reads as code page 932 reads it (Cp932.h), the NEC special
// characters of row 13 and the NEC-selected IBM extensions of rows 89-92
// included, so that one text gives the same characters in all three
// encodings (U+FF5E for 1-33, U+FF0D for 1-61 and so on). JIS X 0212 reads as
// its standard table does.
//
// EUC-JP: 00-7F as ASCII; A1-FE A1-FE a JIS X 0208 character; 8E A1-DF a
// half-width katakana; 8F A1-FE A1-FE a JIS X 0212 character. A first byte
// that starts nothing is one error; a sequence broken by a byte that cannot
// continue it (outside A1-FE, or outside A1-DF after 8E) is one error and that
// byte is read again, as ICU reads it (it may start the next sequence; the
// WHATWG Encoding Standard reads again only ASCII bytes); a sequence of A1-FE
// bytes that names no character is one error.
//
// ISO-2022-JP: ESC ( B selects ASCII, ESC ( J JIS X 0201 Roman (5C is the yen
// sign, 7E the overline), ESC ( I half-width katakana (21-5F), ESC $ B and
// ESC $ @ JIS X 0208 (two bytes 21-7E each). The text starts in ASCII, and
// a CR or LF in any set but Roman selects ASCII again (as ICU reads it, and
// as RFC 1468 has writers do before a line ends). Control bytes and the space
// (00-20, 7F) stand for themselves in every set, so lines end where the bytes
// say; bytes 80-FF are errors. ESC $ ( D selects JIS X 0212 (ISO-2022-JP-1).
// Any other escape is one error and the bytes after ESC are read again as text.
//
// Every error decodes to U+FFFD, or to the byte FF in UTF-8 output (a byte no
// UTF-8 text holds, so no word ever matches it).

#include <QString>

#include <vector>

namespace jis {

// The character of JIS X 0208 row row + 1, cell cell + 1 (0 <= row, cell < 94),
// or 0 where there is none.
char16_t jis0208(int row, int cell);
// The same for JIS X 0212.
char16_t jis0212(int row, int cell);

// The byte each error becomes in UTF-8 output.
inline constexpr unsigned char kUtf8Error = 0xFF;

// A decoder fed in pieces; a sequence cut by a piece's end waits for the next
// piece, and finish() ends the text (a sequence still open is one error).
template <typename State> class Decoder {
public:
    // Appends the characters of the next piece to out; with `errors`, the
    // index in out of each U+FFFD that stands for an error.
    void append(const char *data, qsizetype size, QString &out,
                std::vector<qsizetype> *errors = nullptr);
    void finish(QString &out, std::vector<qsizetype> *errors = nullptr);
    // The same as UTF-8 into out, which has room for utf8Room(size) bytes;
    // returns the end of what was written.
    char *appendUtf8(const char *data, qsizetype size, char *out);
    char *finishUtf8(char *out);
    static constexpr qsizetype utf8Room(qsizetype size) { return 3 * size + 16; }
    // Only counts the errors of the next piece (and of the end): for
    // deciding whether a text is in this encoding. EUC-JP's stops counting
    // at the first error (errors() is then not 0).
    void check(const char *data, qsizetype size);
    void finishCheck();

    // Errors so far: a text with none is valid in this encoding.
    qsizetype errors() const { return m_state.errors; }
    void reset() { m_state = State(); }

private:
    State m_state;
};

struct EucJpState {
    unsigned char lead = 0;
    bool jis0212 = false;
    qsizetype errors = 0;
};

struct Iso2022JpState {
    unsigned char set = 0;    // ASCII, Roman, JIS X 0208, katakana, JIS X 0212
    unsigned char lead = 0;   // a first byte of a two-byte set waiting for its second
    unsigned char escape = 0; // bytes of an escape sequence read so far
    unsigned short intermediates = 0;
    qsizetype errors = 0;
};

using EucJpDecoder = Decoder<EucJpState>;
using Iso2022JpDecoder = Decoder<Iso2022JpState>;

// EUC-JP's check skips 64 bytes at a time where they are plainly valid, and
// stops at the first error.
template <> void Decoder<EucJpState>::check(const char *data, qsizetype size);

// True when the bytes are EUC-JP without a single error.
bool isValidEucJp(const char *data, qsizetype size);

// Weighs bytes that are valid EUC-JP against the same bytes read as code
// page 932, where every byte A1-DF alone is a half-width katakana (or its
// punctuation), so that text of half-width katakana and ASCII is often valid
// EUC-JP too, its bytes taken two by two. The bytes are EUC-JP:
// - at once, at a byte 8E, 8F or from E0 up: text of half-width katakana
//   has none, and nearly every EUC-JP text has one among its first
//   characters (hiragana and katakana from む and ム on, and a third of every
//   kanji's second bytes);
// - else, where every byte from 80 up is A1-DF, when the EUC-JP characters
//   whose first byte is A1-A5 (punctuation, symbols, full-width letters,
//   hiragana, katakana: what most Japanese text is made of) outnumber those
//   whose first byte is A6-AF or D0-DF (Greek, Cyrillic, box drawing, empty
//   rows, the second-level kanji: rare in Japanese text, but what
//   half-width katakana's small kana, ﾐ to ﾝ and its voiced marks become).
//   The first-level kanji (B0-CF) weigh nothing, both readings have them
//   often; a tie is code page 932, whose text is the likelier of the two.
// Each run of bytes from 80 up is taken as pairs from its first byte, as
// valid EUC-JP without 8E and 8F is.
class EucJpEvidence {
public:
    // The next piece of the text; once settled, looks no further.
    void feed(const char *data, qsizetype size);
    // True when a byte settled the text as EUC-JP.
    bool settled() const { return m_settled; }
    // True when valid EUC-JP bytes, all fed, read as EUC-JP.
    bool eucJp() const { return m_settled || m_kana > m_rare; }

private:
    qsizetype m_kana = 0;
    qsizetype m_rare = 0;
    bool m_second = false; // the next byte from 80 up ends a pair
    bool m_settled = false;
};

// True when the bytes are valid EUC-JP and read as EUC-JP rather than as
// code page 932 (EucJpEvidence).
bool looksEucJp(const char *data, qsizetype size);

// The EUC-JP bytes of text where each of its characters has exactly one
// byte form that decodes to it here (ASCII, half-width katakana, the JIS X
// 0208 and 0212 characters that one cell holds); empty otherwise. Text that
// decodes from EUC-JP to hold text holds these bytes.
QByteArray eucJpUniqueForm(QStringView text);

// The first character of text (a surrogate pair whole) that no EUC-JP bytes
// decode to here, or the empty text when there is none: ASCII, half-width
// katakana and the characters of JIS X 0208 and 0212 are what EUC-JP holds.
QString firstNotInEucJp(QStringView text);

// Finds the designations that mark ISO-2022-JP (ESC $ B, ESC $ @, ESC ( B,
// ESC ( J, ESC ( I) in bytes fed in pieces.
class DesignationFinder {
public:
    // True once a designation was seen in the bytes so far.
    bool feed(const char *data, qsizetype size);
    bool found() const { return m_found; }
    // The same, but looking no further once a byte from 80 up was seen
    // (sawHigh()): after one, no designation makes the text ISO-2022-JP. On
    // text with such bytes near its start, this costs next to nothing.
    bool feedUntilHigh(const char *data, qsizetype size);
    bool sawHigh() const { return m_high; }
    // After feedUntilHigh found no designation: how many bytes of its piece
    // came before the first byte from 80 up (all of them without one; none
    // when one came in an earlier piece). They are ASCII.
    qsizetype asciiLength() const { return m_ascii; }

private:
    unsigned char m_escape = 0; // ESC, ESC $ or ESC ( at the end of the last piece
    bool m_found = false;
    bool m_high = false;
    qsizetype m_ascii = 0;
};

// True when every byte is below 80 and a designation is among them.
bool looksIso2022Jp(const char *data, qsizetype size);

} // namespace jis
