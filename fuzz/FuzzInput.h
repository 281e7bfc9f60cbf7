// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Reads a fuzzer's input as a stream of choices from its front and data from
// the rest. Past the end every choice is 0, so any input is a valid one.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t *data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::size_t remaining() const { return m_size - m_pos; }
    bool flag() { return (byte() & 1) != 0; }
    // A number in [0, n), n >= 1, from one byte or, for n above 256, two.
    std::size_t below(std::size_t n)
    {
        if (n <= 256)
            return byte() % n;
        const std::size_t high = byte();
        return (high << 8 | byte()) % n;
    }
    // Up to n bytes, as they are.
    QByteArray take(std::size_t n)
    {
        const std::size_t count = n < m_size - m_pos ? n : m_size - m_pos;
        const QByteArray out(reinterpret_cast<const char *>(m_data + m_pos), qsizetype(count));
        m_pos += count;
        return out;
    }
    QByteArray rest() { return take(m_size - m_pos); }

    // The rest read as pieces, so that a short input can stand for a long run of
    // a repeated pattern (as 9F 88 9F 88 ... for megabytes), which mutating
    // bytes one at a time never builds. Each piece starts with a byte h:
    //   h < 80: the next h + 1 bytes, as they are;
    //   h >= 80: a pattern of 1 + (h & 7) bytes repeated 1 to 65,536 times (two
    //            bytes, high first, then the pattern).
    // The result stops at maxSize bytes.
    QByteArray runs(qsizetype maxSize)
    {
        QByteArray out;
        while (m_pos < m_size && out.size() < maxSize) {
            const std::uint8_t h = byte();
            if (h < 0x80) {
                out += take(std::size_t(h) + 1);
                continue;
            }
            const std::size_t times = below(65536) + 1;
            const QByteArray pattern = take(1 + (h & 7));
            if (pattern.isEmpty())
                break;
            const qsizetype fit = (maxSize - out.size() + pattern.size() - 1) / pattern.size();
            out += pattern.repeated(std::min<qsizetype>(qsizetype(times), fit));
        }
        out.truncate(maxSize);
        return out;
    }

private:
    const std::uint8_t *m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

// Bytes that trip a code-page-932 scanner: lead bytes, 5C (a trail byte that is
// also the path separator of the old system), CR, LF, NUL, trail bytes and
// bytes outside the table. A fuzzer byte below 80 picks one of these; from 80
// on it stands for itself, so every byte value stays reachable.
inline char textByte(std::uint8_t b)
{
    static const unsigned char kBytes[64] = {
        0x81, 0x82, 0x83, 0x87, 0x88, 0x89, 0x95, 0x9F, 0xE0, 0xE3, 0xED, 0xEE, 0xFA,
        0xFB, 0xFC, 0x81, 0x83, 0x84, 0x85, 0x86, 0xEA, 0x5C, 0x5C, 0x5C, 0x5C, 0x5C,
        0x5C, 0x0D, 0x0D, 0x0D, 0x0D, 0x0D, 0x0A, 0x0A, 0x0A, 0x0A, 0x00, 0x00, 0x40,
        0x41, 0x42, 0x45, 0x5B, 0x5D, 0x60, 0x7E, 0x7F, 'a',  'b',  ' ',  '-',  0xA1,
        0xB1, 0xDF, 0x80, 0xA0, 0xFD, 0xFE, 0xFF, 0xE6, 0x9A, 0xF0, 0x8A, 0x9B};
    return char(b < 0x80 ? kBytes[b & 63] : b);
}

inline QByteArray textBytes(const QByteArray &raw)
{
    QByteArray out = raw;
    for (char &c : out)
        c = textByte(std::uint8_t(c));
    return out;
}

// Reports a wrong answer and stops, so that libFuzzer keeps the input (and the
// corpus driver fails).
[[noreturn]] inline void fuzzFail(const char *what, const QByteArray &detail = {})
{
    std::fprintf(stderr, "fuzz check failed: %s\n%s\n", what, detail.constData());
    std::abort();
}

inline QByteArray hexOf(const QByteArray &bytes)
{
    return bytes.toHex(' ');
}

inline QByteArray codesOf(const QString &text)
{
    QByteArray out;
    for (QChar c : text)
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0') + ' ';
    return out;
}
