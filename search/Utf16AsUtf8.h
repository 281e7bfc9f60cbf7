// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A UTF-16 file read through its UTF-8 form, so that a matcher of UTF-8
// lines reads it too (the folded search does).

#include "search/KeywordMatcher.h"

#include <QByteArray>
#include <QChar>

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
            if (m_pendingAt < m_pending.size()) {
                buffer[n++] = m_pending[m_pendingAt++];
                continue;
            }
            m_pending.clear();
            m_pendingAt = 0;
            if (m_raw.size() - m_rawAt >= 2) {
                const auto *r = reinterpret_cast<const unsigned char *>(m_raw.constData());
                const unsigned a = r[m_rawAt], b = r[m_rawAt + 1];
                m_rawAt += 2;
                put(char16_t(m_bigEndian ? (a << 8 | b) : (b << 8 | a)));
            } else if (!refill()) {
                if (m_error)
                    return n > 0 ? n : -1;
                // The end: an unpaired high surrogate, a last odd byte.
                if (m_high)
                    m_pending += char(0xFF);
                if (m_rawAt < m_raw.size())
                    m_pending += char(0xFF);
                m_high = 0;
                m_rawAt = m_raw.size();
                if (m_pending.isEmpty())
                    m_done = true;
            }
        }
        return n;
    }
    bool atEnd() const override { return m_done; }

private:
    // More raw bytes after those not yet used; false at the end or an error.
    bool refill()
    {
        if (m_atEnd || m_error)
            return false;
        QByteArray rest = m_raw.mid(m_rawAt);
        if (!m_held.isEmpty()) {
            rest += m_held;
            m_held.clear();
        } else {
            const qsizetype old = rest.size();
            rest.resize(old + 65536);
            const qsizetype got = m_bytes.read(rest.data() + old, 65536);
            if (got < 0) {
                m_error = true;
                return false;
            }
            rest.resize(old + got);
            if (got == 0 || m_bytes.atEnd())
                m_atEnd = true;
        }
        m_raw = rest;
        m_rawAt = 0;
        return true;
    }
    // Adds the UTF-8 form of a unit to m_pending.
    void put(char16_t u)
    {
        if (m_high) {
            if (QChar::isLowSurrogate(u)) {
                const char32_t cp = QChar::surrogateToUcs4(m_high, u);
                m_pending += char(0xF0 | cp >> 18);
                m_pending += char(0x80 | (cp >> 12 & 0x3F));
                m_pending += char(0x80 | (cp >> 6 & 0x3F));
                m_pending += char(0x80 | (cp & 0x3F));
                m_high = 0;
                return;
            }
            m_pending += char(0xFF);
            m_high = 0;
        }
        if (QChar::isHighSurrogate(u)) {
            m_high = u;
        } else if (QChar::isLowSurrogate(u)) {
            m_pending += char(0xFF);
        } else if (u < 0x80) {
            m_pending += char(u);
        } else if (u < 0x800) {
            m_pending += char(0xC0 | u >> 6);
            m_pending += char(0x80 | (u & 0x3F));
        } else {
            m_pending += char(0xE0 | u >> 12);
            m_pending += char(0x80 | (u >> 6 & 0x3F));
            m_pending += char(0x80 | (u & 0x3F));
        }
    }

    ByteSource &m_bytes;
    bool m_bigEndian;
    QByteArray m_held;
    QByteArray m_raw;
    qsizetype m_rawAt = 0;
    char16_t m_high = 0;
    QByteArray m_pending; // the UTF-8 bytes of the last unit not yet handed out
    qsizetype m_pendingAt = 0;
    bool m_atEnd = false;
    bool m_error = false;
    bool m_done = false;
};
