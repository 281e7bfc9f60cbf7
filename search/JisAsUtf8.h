// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// An EUC-JP or ISO-2022-JP file read through its UTF-8 form, so that a
// matcher of UTF-8 lines reads it too (the folded search does).

#include "search/KeywordMatcher.h"
#include "text/JisEncodings.h"

#include <QByteArray>

// The bytes `held` (already read from `bytes`), then the rest of `bytes`,
// decoded as EUC-JP or ISO-2022-JP; each error reads as the byte FF, which no
// word ever matches (text/JisEncodings.h).
class JisAsUtf8 final : public ByteSource {
public:
    JisAsUtf8(ByteSource &bytes, bool iso2022, const char *held, qsizetype size)
        : m_bytes(bytes), m_iso2022(iso2022), m_held(held, size)
    {}
    qsizetype read(char *buffer, qsizetype max) override
    {
        qsizetype n = 0;
        while (n < max) {
            if (m_pendingAt < m_pending.size()) {
                const qsizetype take = std::min(max - n, m_pending.size() - m_pendingAt);
                memcpy(buffer + n, m_pending.constData() + m_pendingAt, size_t(take));
                n += take;
                m_pendingAt += take;
                continue;
            }
            if (m_done)
                break;
            if (!refill())
                return n > 0 ? n : -1;
        }
        return n;
    }
    bool atEnd() const override { return m_done && m_pendingAt == m_pending.size(); }

private:
    // Decodes the next piece of raw bytes into m_pending; false on a read error.
    bool refill()
    {
        QByteArray &raw = m_raw; // kept, so that short reads cost no more than long ones
        bool last = false;
        if (!m_held.isEmpty()) {
            raw.swap(m_held);
            m_held.clear();
        } else {
            raw.resize(65536);
            const qsizetype got = m_bytes.read(raw.data(), raw.size());
            if (got < 0)
                return false;
            raw.resize(got);
            last = got == 0 || m_bytes.atEnd();
        }
        m_pending.resize(jis::EucJpDecoder::utf8Room(raw.size()) + 16);
        char *out = m_pending.data();
        char *end = m_iso2022 ? m_iso.appendUtf8(raw.constData(), raw.size(), out)
                              : m_euc.appendUtf8(raw.constData(), raw.size(), out);
        if (last) {
            end = m_iso2022 ? m_iso.finishUtf8(end) : m_euc.finishUtf8(end);
            m_done = true;
        }
        m_pending.resize(end - out);
        m_pendingAt = 0;
        return true;
    }

    ByteSource &m_bytes;
    bool m_iso2022;
    QByteArray m_held;
    QByteArray m_raw;
    QByteArray m_pending;
    qsizetype m_pendingAt = 0;
    bool m_done = false;
    jis::EucJpDecoder m_euc;
    jis::Iso2022JpDecoder m_iso;
};
