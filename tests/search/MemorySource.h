// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
#include "search/KeywordMatcher.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

// Bytes from memory, handed out at most `chunk` at a time (short reads), and
// optionally telling the end before the final empty read, as a file does. With
// failAfter set, every read after that many fails (-1), as a file that becomes
// unreadable part-way (a disk error, a network volume gone) does.
class MemorySource : public ByteSource {
public:
    explicit MemorySource(QByteArray bytes, qsizetype chunk = 1 << 30, bool tellsEnd = false)
        : m_bytes(std::move(bytes)), m_chunk(chunk), m_tellsEnd(tellsEnd)
    {}
    qsizetype read(char *buffer, qsizetype max) override
    {
        if (failAfter >= 0 && m_reads >= failAfter) {
            ++m_failedReads;
            return -1;
        }
        const qsizetype n = std::min({max, m_chunk, m_bytes.size() - m_offset});
        std::memcpy(buffer, m_bytes.constData() + m_offset, size_t(n));
        m_offset += n;
        ++m_reads;
        return n;
    }
    bool atEnd() const override { return m_tellsEnd && m_offset == m_bytes.size(); }
    bool rewind() override
    {
        m_offset = 0;
        return true;
    }
    qsizetype offset() const { return m_offset; }
    int failedReads() const { return m_failedReads; }

    int failAfter = -1; // reads that succeed before every read fails; -1: none fails

private:
    QByteArray m_bytes;
    qsizetype m_chunk;
    bool m_tellsEnd;
    qsizetype m_offset = 0;
    int m_reads = 0;
    int m_failedReads = 0;
};
