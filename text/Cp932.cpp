// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "text/Cp932.h"

#include "text/AsciiRun.h"

#include <cstdint>

namespace cp932 {
namespace {

#include "text/Cp932Table.inc"

constexpr char16_t kLeadFlag = 0xFFFF; // kSingleByte entry of a lead byte

static_assert(sizeof(QChar) == sizeof(char16_t));

// The character of the unit formed by a lead byte and the non-zero byte after it.
inline char16_t pairUnit(unsigned char lead, unsigned char trail)
{
    if (trail < kFirstTrail)
        return kReplacement;
    const int row = lead - (lead < 0xA0 ? 0x81 : 0xC1);
    const char16_t c = kPairs[row][trail - kFirstTrail];
    return c != 0 ? c : kReplacement;
}

// Decodes [p, end) into dst, which has room for end - p characters, and returns
// the end of what it wrote. A lead byte that is the last byte becomes a unit of
// its own, unless heldLead is given: then it is left undecoded and stored there
// (-1 otherwise), for the caller to pair with the first byte of the next piece.
// kLinesInside: CR and LF end lines within the bytes, and no lead byte takes
// one for its trail.
template <bool kLinesInside = false>
char16_t *decodeBytes(const unsigned char *p, const unsigned char *end, char16_t *dst,
                      int *heldLead)
{
    if (heldLead)
        *heldLead = -1;
    while (p < end) {
        const unsigned char b = *p;
        if (b < 0x80) {
            // ASCII runs eight bytes at a time; Japanese text, whose pairs
            // come one after another, goes past this at once.
            *dst++ = b;
            ++p;
            asciirun::widen(p, end, dst);
            continue;
        }
        const char16_t c = kSingleByte[b];
        if (c != kLeadFlag) {
            *dst++ = c;
            ++p;
            continue;
        }
        if (end - p >= 2 && p[1] != 0 && (!kLinesInside || (p[1] != '\r' && p[1] != '\n'))) {
            *dst++ = pairUnit(b, p[1]);
            p += 2;
            continue;
        }
        if (end - p == 1 && heldLead) {
            *heldLead = b;
            break;
        }
        // A lead byte before 00 or at the end of the line stands alone.
        *dst++ = kReplacement;
        ++p;
    }
    return dst;
}

inline char16_t *writableEnd(QString &out, qsizetype used)
{
    return reinterpret_cast<char16_t *>(out.data()) + used;
}

inline void trimTo(QString &out, const char16_t *written)
{
    out.resize(written - reinterpret_cast<const char16_t *>(out.constData()));
}

// Every character that some unit decodes to, with its number of byte forms.
// Built once from the forward table, on first use (thread-safe static).
class InverseTable {
public:
    InverseTable()
    {
        for (int b = 0; b < 256; ++b) {
            if (!isLeadByte(static_cast<unsigned char>(b)))
                add(kSingleByte[b], static_cast<std::uint16_t>(b));
        }
        for (int lead = 0; lead < 256; ++lead) {
            if (!isLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (int trail = kFirstTrail; trail < 256; ++trail) {
                const int row = lead - (lead < 0xA0 ? 0x81 : 0xC1);
                if (const char16_t c = kPairs[row][trail - kFirstTrail])
                    add(c, static_cast<std::uint16_t>(lead << 8 | trail));
            }
        }
        // 8145 is its only form in the table, but every undefined unit decodes to
        // it as well, so it has many.
        m_forms[kReplacement] = 2;
    }

    int forms(char16_t c) const { return m_forms[c]; }
    // The byte form of a character with exactly one: a single byte (< 0x100) or a
    // lead byte and a trail byte (lead << 8 | trail).
    std::uint16_t form(char16_t c) const { return m_form[c]; }

private:
    void add(char16_t c, std::uint16_t bytes)
    {
        if (m_forms[c] < 2)
            ++m_forms[c];
        m_form[c] = bytes;
    }

    std::uint8_t m_forms[0x10000] = {};
    std::uint16_t m_form[0x10000] = {};
};

const InverseTable &inverseTable()
{
    static const InverseTable table;
    return table;
}

// Decodes bytes with nothing held over into the room after out's text.
template <bool kLinesInside> void appendWhole(const char *data, qsizetype size, QString &out)
{
    if (size <= 0)
        return;
    const qsizetype used = out.size();
    out.resize(used + size);
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    trimTo(out, decodeBytes<kLinesInside>(p, p + size, writableEnd(out, used), nullptr));
}

} // namespace

void appendDecoded(const char *data, qsizetype size, QString &out)
{
    appendWhole<false>(data, size, out);
}

void appendDecodedLines(const char *data, qsizetype size, QString &out)
{
    appendWhole<true>(data, size, out);
}

char16_t decodePair(unsigned char lead, unsigned char trail)
{
    return pairUnit(lead, trail);
}

QString decode(const char *data, qsizetype size)
{
    QString out;
    appendDecoded(data, size, out);
    return out;
}

void LineDecoder::appendDecoded(const char *data, qsizetype size, QString &out)
{
    if (size <= 0)
        return;
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *end = p + size;
    const qsizetype used = out.size();
    out.resize(used + size + 1); // the held lead byte may add one unit
    char16_t *dst = writableEnd(out, used);
    if (m_pendingLead >= 0) {
        const auto lead = static_cast<unsigned char>(m_pendingLead);
        if (*p != 0)
            *dst++ = pairUnit(lead, *p++);
        else
            *dst++ = kReplacement; // 00 is decoded on its own below
        m_pendingLead = -1;
    }
    trimTo(out, decodeBytes(p, end, dst, &m_pendingLead));
}

void LineDecoder::finish(QString &out)
{
    if (m_pendingLead >= 0)
        out.append(QChar(kReplacement));
    m_pendingLead = -1;
}

Encoding encode(QStringView text)
{
    const InverseTable &table = inverseTable();
    Encoding result;
    result.form = Form::Unique;
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        const int forms = table.forms(c);
        if (forms == 0)
            return Encoding{Form::Impossible, {}};
        if (forms > 1)
            result.form = Form::Ambiguous;
        if (result.form != Form::Unique)
            continue;
        const std::uint16_t bytes = table.form(c);
        if (bytes > 0xFF)
            result.bytes.append(static_cast<char>(bytes >> 8));
        result.bytes.append(static_cast<char>(bytes & 0xFF));
    }
    if (result.form != Form::Unique)
        result.bytes.clear();
    return result;
}

QString firstUnrepresentable(QStringView text)
{
    const InverseTable &table = inverseTable();
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (table.forms(text[i].unicode()) != 0)
            continue;
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        return text.mid(i, pair ? 2 : 1).toString();
    }
    return QString();
}

bool hasUniqueForm(char16_t c)
{
    return inverseTable().forms(c) == 1;
}

QList<QByteArray> unitForms(char16_t c)
{
    QList<QByteArray> forms;
    if (c == kReplacement || inverseTable().forms(c) == 0)
        return forms;
    for (int b = 0; b < 256; ++b) {
        if (!isLeadByte(static_cast<unsigned char>(b)) && kSingleByte[b] == c)
            forms.append(QByteArray(1, static_cast<char>(b)));
    }
    for (int lead = 0; lead < 256 && c != 0; ++lead) { // 0 in the table: no character
        if (!isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        const int row = lead - (lead < 0xA0 ? 0x81 : 0xC1);
        for (int trail = kFirstTrail; trail < 256; ++trail) {
            if (kPairs[row][trail - kFirstTrail] == c) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                forms.append(QByteArray(pair, 2));
            }
        }
    }
    return forms;
}

bool isUnitBoundary(const unsigned char *lineStart, const unsigned char *p)
{
    const unsigned char *q = p;
    while (q > lineStart && isLeadByte(q[-1]))
        --q;
    // Within a run of lead bytes that follows a boundary, pairs start at even offsets.
    if (((p - q) & 1) == 0)
        return true;
    // The lead byte before p pairs with byte[p] unless byte[p] is 00.
    return *p == 0;
}

bool isUnitBoundary(const unsigned char *lineStart, const unsigned char *p,
                    const unsigned char *lineEnd)
{
    // A lead byte that is the last byte of the line is a unit of its own.
    if (p == lineEnd)
        return true;
    return isUnitBoundary(lineStart, p);
}

} // namespace cp932
