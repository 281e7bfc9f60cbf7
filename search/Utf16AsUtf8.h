// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A UTF-16 file read through its UTF-8 form, so that a matcher of UTF-8
// lines reads it too (the folded search does).

#include "search/KeywordMatcher.h"

#include <QByteArray>
#include <QChar>

#include <memory>

// UTF-16 bytes (after the mark) read as their UTF-8 form, each lone surrogate
// and a last odd byte as the byte FF, which never starts a UTF-8 sequence.
class Utf16AsUtf8 final : public ByteSource {
public:
    Utf16AsUtf8(ByteSource &bytes, bool bigEndian, const char *held, qsizetype size)
        : m_bytes(bytes), m_bigEndian(bigEndian), m_held(held, size)
    {}
    qsizetype read(char *buffer, qsizetype max) override
    {
        qsizetype n = 0;
        while (n < max && !m_done) {
            if (m_pendingAt < m_pendingSize) {
                buffer[n++] = m_pending[m_pendingAt++];
                continue;
            }
            m_pendingSize = 0;
            m_pendingAt = 0;
            if (m_rawSize - m_rawAt >= 2) {
                const auto *r = reinterpret_cast<const unsigned char *>(m_rawData);
                const unsigned a = r[m_rawAt], b = r[m_rawAt + 1];
                m_rawAt += 2;
                put(char16_t(m_bigEndian ? (a << 8 | b) : (b << 8 | a)));
            } else if (!refill()) {
                if (m_error)
                    return n > 0 ? n : -1;
                // The end: an unpaired high surrogate, a last odd byte.
                if (m_high)
                    pend(char(0xFF));
                if (m_rawAt < m_rawSize)
                    pend(char(0xFF));
                m_high = 0;
                m_rawAt = m_rawSize;
                if (m_pendingSize == 0)
                    m_done = true;
            }
        }
        return n;
    }
    bool atEnd() const override { return m_done; }

private:
    // More raw bytes after those not yet used; false at the end or an error.
    // The held bytes first, as they are; then reads into one room, reused, so
    // that short reads cost no more than long ones.
    bool refill()
    {
        if (m_atEnd || m_error)
            return false;
        const qsizetype left = m_rawSize - m_rawAt; // 0 or 1: units are taken whole
        if (!m_heldUsed) {
            m_heldUsed = true;
            if (!m_held.isEmpty()) {
                m_rawData = m_held.constData();
                m_rawSize = m_held.size();
                m_rawAt = 0;
                return true;
            }
        }
        if (!m_room)
            m_room = std::make_unique_for_overwrite<char[]>(size_t(kRead + 1));
        if (left > 0)
            m_room[0] = m_rawData[m_rawAt];
        const qsizetype got = m_bytes.read(m_room.get() + left, kRead);
        if (got < 0) {
            m_error = true;
            return false;
        }
        if (got == 0 || m_bytes.atEnd())
            m_atEnd = true;
        m_rawData = m_room.get();
        m_rawSize = left + got;
        m_rawAt = 0;
        return true;
    }
    void pend(char c) { m_pending[m_pendingSize++] = c; }
    // Adds the UTF-8 form of a unit to m_pending.
    void put(char16_t u)
    {
        if (m_high) {
            if (QChar::isLowSurrogate(u)) {
                const char32_t cp = QChar::surrogateToUcs4(m_high, u);
                pend(char(0xF0 | cp >> 18));
                pend(char(0x80 | (cp >> 12 & 0x3F)));
                pend(char(0x80 | (cp >> 6 & 0x3F)));
                pend(char(0x80 | (cp & 0x3F)));
                m_high = 0;
                return;
            }
            pend(char(0xFF));
            m_high = 0;
        }
        if (QChar::isHighSurrogate(u)) {
            m_high = u;
        } else if (QChar::isLowSurrogate(u)) {
            pend(char(0xFF));
        } else if (u < 0x80) {
            pend(char(u));
        } else if (u < 0x800) {
            pend(char(0xC0 | u >> 6));
            pend(char(0x80 | (u & 0x3F)));
        } else {
            pend(char(0xE0 | u >> 12));
            pend(char(0x80 | (u >> 6 & 0x3F)));
            pend(char(0x80 | (u & 0x3F)));
        }
    }

    ByteSource &m_bytes;
    bool m_bigEndian;
    static constexpr qsizetype kRead = 65536;
    QByteArray m_held;
    bool m_heldUsed = false;
    std::unique_ptr<char[]> m_room;
    const char *m_rawData = nullptr; // the held bytes, or the room
    qsizetype m_rawSize = 0;
    qsizetype m_rawAt = 0;
    char16_t m_high = 0;
    // The UTF-8 bytes of the last unit not yet handed out (an FF for a lone
    // surrogate before it at most).
    char m_pending[8] = {};
    qsizetype m_pendingSize = 0;
    qsizetype m_pendingAt = 0;
    bool m_atEnd = false;
    bool m_error = false;
    bool m_done = false;
};
