// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/DocumentScan.h"

#include "documents/Recognize.h"

#include <algorithm>
#include <cstring>

namespace search {

bool PeekedSource::peek(qsizetype want)
{
    char *data = m_room.data(want);
    m_data = data;
    m_have = m_at = 0;
    m_end = false;
    // A short read is not yet the end: ask again until `want` or the end.
    while (m_have < want && !m_file.atEnd()) {
        const qsizetype n = m_file.read(data + m_have, want - m_have);
        if (n < 0) {
            m_error = true;
            return false;
        }
        if (n == 0)
            break;
        m_have += n;
    }
    m_end = m_file.atEnd() || m_have < want;
    return true;
}

qsizetype PeekedSource::read(char *buffer, qsizetype max)
{
    if (m_error)
        return -1;
    if (m_at < m_have) {
        const qsizetype n = std::min(max, m_have - m_at);
        std::memcpy(buffer, m_data + m_at, size_t(n));
        m_at += n;
        return n;
    }
    return m_end ? 0 : m_file.read(buffer, max);
}

bool PeekedSource::rewind()
{
    m_at = m_have = 0;
    m_end = false;
    return !m_error && m_file.rewind();
}

DocumentOutcome matchIfDocument(PeekedSource &source, int descriptor, TextMatcher &matcher,
                                documents::DocumentReader &reader, qsizetype blockSize)
{
    if (!source.peek(std::max(blockSize, documents::kSniffBytes)))
        return {};
    const QByteArrayView head = source.peeked();
    const documents::Container container =
        documents::sniff(head.data(), std::min(head.size(), documents::kSniffBytes));
    if (container == documents::Container::None)
        return {};
    const documents::ReadResult result = reader.read(descriptor, container);
    if (result.failure == documents::Failure::NotDocument)
        return {};
    if (!result.ok())
        return {DocumentOutcome::Unreadable, result.reason.isEmpty()
                                                 ? QStringLiteral("cannot be read as a document")
                                                 : result.reason};
    return {matcher.matchesLines(result.text.lines) ? DocumentOutcome::Matched
                                                    : DocumentOutcome::Unmatched,
            {}};
}

ScratchBuffer<char> &peekRoom()
{
    thread_local ScratchBuffer<char> room;
    return room;
}

} // namespace search
