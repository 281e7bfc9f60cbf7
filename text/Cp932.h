// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Code page 932 (Microsoft's Shift_JIS), decoded exactly as Windows'
// MultiByteToWideChar(932, 0) does: Microsoft's table, a lead byte and the next
// byte form one unit unless the lead is the last byte of the line or the next
// byte is 00, and a unit that is not in the table becomes U+30FB.
//
// Callers split lines on raw CR / CR-LF first and decode each line with fresh
// state: 0D and 0A are never the trail byte of a valid pair.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringView>

namespace cp932 {

// What undefined units decode to (KATAKANA MIDDLE DOT, Windows' default char).
inline constexpr char16_t kReplacement = u'\u30FB';

// 81-9F and E0-FC: the first byte of a two-byte unit.
constexpr bool isLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Decodes one whole line (its bytes without terminator) with fresh state and
// appends the text to out. Every byte gives at most one UTF-16 unit, so the text
// is never longer than the bytes. Safe to call from several threads at once.
void appendDecoded(const char *data, qsizetype size, QString &out);
QString decode(const char *data, qsizetype size);
// Text of several lines, its CR and LF bytes kept as units: each line decoded
// as appendDecoded() decodes it (a lead byte before CR or LF stands alone),
// in one pass.
void appendDecodedLines(const char *data, qsizetype size, QString &out);
// The character of a lead byte and the byte after it; kReplacement where the
// pair is not in the table.
char16_t decodePair(unsigned char lead, unsigned char trail);
inline QString decode(const QByteArray &bytes)
{
    return decode(bytes.constData(), bytes.size());
}

// Decodes a line that arrives in pieces (a line longer than a read block).
// Holds back a lead byte that ends a piece until the next piece tells whether it
// pairs; finish() flushes it as a unit of its own.
class LineDecoder {
public:
    void appendDecoded(const char *data, qsizetype size, QString &out);
    void finish(QString &out);
    void reset() { m_pendingLead = -1; }

private:
    int m_pendingLead = -1;
};

// How a text can appear in raw code-page-932 bytes.
enum class Form {
    Unique,     // exactly one byte sequence decodes to it: a byte search is exact
    Ambiguous,  // some character has several byte forms, or is U+30FB
    Impossible, // some character is produced by no byte sequence: it never matches
};

struct Encoding {
    Form form = Form::Impossible;
    QByteArray bytes; // the byte form when form == Unique
};

// The byte form of text under the decoding above. Impossible wins over Ambiguous;
// the empty text is Unique with no bytes. A character outside the BMP (a
// surrogate pair) is Impossible, as is any lone surrogate. Thread-safe: the
// inverse tables are built from the forward table on first use.
Encoding encode(QStringView text);

// The first character of text that no byte sequence decodes to (both halves of
// a character outside the BMP), or the empty text when there is none: the
// character that makes encode() Impossible.
QString firstUnrepresentable(QStringView text);

// True when the character has exactly one byte form (and is not U+30FB).
bool hasUniqueForm(char16_t c);

// Every unit in the table that decodes to c (one or two bytes each), in byte
// order; empty for U+30FB, which undefined units decode to as well, and for a
// character no unit decodes to. A decoded c always comes from one of these,
// starting at a unit boundary.
QList<QByteArray> unitForms(char16_t c);

// True iff decoding from lineStart (a unit boundary) starts a unit at p:
// byte[p] is 00, or the run of lead-range bytes just before p has even length.
// lineStart <= p < end of the line. Reads byte[p] only when that run is odd; at
// the end of the line use the overload below.
bool isUnitBoundary(const unsigned char *lineStart, const unsigned char *p);

// The same for lineStart <= p <= lineEnd, never reading byte[lineEnd]. The end of
// the line is always a boundary: a lead byte that is the last byte stands alone.
bool isUnitBoundary(const unsigned char *lineStart, const unsigned char *p,
                    const unsigned char *lineEnd);

} // namespace cp932
