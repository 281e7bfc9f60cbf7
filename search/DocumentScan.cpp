// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/DocumentScan.h"

#include "documents/Recognize.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace search {

qsizetype SniffingSource::fill(char *buffer, qsizetype want)
{
    qsizetype have = 0;
    // A short read is not yet the end: ask again until `want` or the end.
    while (have < want && !m_file.atEnd()) {
        const qsizetype n = m_file.read(buffer + have, want - have);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        have += n;
    }
    return have;
}

qsizetype SniffingSource::read(char *buffer, qsizetype max)
{
    if (m_at < m_have) {
        const qsizetype n = std::min(max, m_have - m_at);
        std::memcpy(buffer, m_head + m_at, size_t(n));
        m_at += n;
        return n;
    }
    if (!m_first || !m_sniff)
        return m_file.read(buffer, max);
    m_first = false;
    // In place, the first read is the matcher's first block, but never more
    // than a text file of ordinary size: a document goes to its reader after
    // its first kilobyte, and what was read past it was read for nothing.
    const bool inPlace = max >= documents::kSniffBytes;
    char *head = inPlace ? buffer : m_head;
    const qsizetype n =
        fill(head, inPlace ? std::min(max, kFirstReadBytes) : documents::kSniffBytes);
    if (n < 0)
        return -1;
    // All of the first read: an archive's look goes past the first kilobyte
    // (an ISO 9660 image's mark) at fixed places, at no cost per byte.
    m_container = m_reader ? m_reader->recognize(head, n) : documents::sniff(head, n);
    if (m_container == documents::Container::None && m_reader && documents::isProgram(head, n))
        m_container = lookAtTail(head, n);
    if (m_container != documents::Container::None) {
        if (m_keepWhole && m_file.atEnd())
            m_whole = QByteArray(head, n);
        return -1; // the matcher stops: the file is for the document reader
    }
    if (inPlace)
        return n;
    m_have = n;
    return read(buffer, max);
}

documents::Container SniffingSource::lookAtTail(const char *head, qsizetype n)
{
    const qsizetype want = m_reader->tailBytes(head, n);
    if (want <= 0)
        return documents::Container::None;
    if (m_file.atEnd()) { // the first read holds the whole file
        const qsizetype size = std::min(n, want);
        return m_reader->recognizeTail(head + n - size, size, n);
    }
    std::vector<char> tail(static_cast<std::size_t>(want)); // for a program only
    qint64 fileSize = 0;
    const qsizetype got = m_file.readTail(tail.data(), want, fileSize);
    return got > 0 ? m_reader->recognizeTail(tail.data(), got, fileSize)
                   : documents::Container::None;
}

bool SniffingSource::rewind()
{
    m_at = m_have = 0;
    m_first = true;
    return m_file.rewind();
}

bool SniffingSource::rewindAsText()
{
    m_sniff = false;
    m_container = documents::Container::None;
    return rewind();
}

namespace {

// A member's bytes, read as a text file's are.
class MemberSource final : public ByteSource {
public:
    explicit MemberSource(QByteArrayView bytes) : m_bytes(bytes) {}
    qsizetype read(char *buffer, qsizetype max) override
    {
        const qsizetype n = std::min(max, m_bytes.size() - m_at);
        std::memcpy(buffer, m_bytes.data() + m_at, size_t(n));
        m_at += n;
        return n;
    }
    bool atEnd() const override { return m_at == m_bytes.size(); }
    bool rewind() override
    {
        m_at = 0;
        return true;
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
};

} // namespace

bool MemberMatcher::textMember(QByteArrayView bytes)
{
    MemberSource source(bytes);
    m_found = !m_matcher.neverMatches() && m_matcher.matches(source, m_blockSize);
    return m_found;
}

bool MemberMatcher::documentLines(const std::vector<QString> &lines)
{
    m_found = m_matcher.matchesLines(lines);
    return m_found;
}

DocumentOutcome matchDocument(documents::Container container, int descriptor, TextMatcher &matcher,
                              documents::DocumentReader &reader, std::stop_token stop,
                              qsizetype blockSize)
{
    MemberMatcher sink(matcher, blockSize);
    const documents::ReadResult result =
        reader.readInto(descriptor, container, sink, std::move(stop));
    return documentOutcome(result, sink.found());
}

DocumentOutcome documentOutcome(const documents::ReadResult &result, bool found)
{
    if (result.failure == documents::Failure::NotDocument)
        return {};
    // A member that matched counts, whatever came after it.
    if (found)
        return {DocumentOutcome::Matched, {}};
    if (!result.ok())
        return {DocumentOutcome::Unreadable, result.reason.isEmpty()
                                                 ? QStringLiteral("cannot be read as a document")
                                                 : result.reason};
    // An archive some of whose members were not read may hold the words there.
    if (result.text.kind == documents::Kind::Archive && !result.reason.isEmpty())
        return {DocumentOutcome::Unreadable, result.reason};
    return {DocumentOutcome::Unmatched, {}};
}

} // namespace search
