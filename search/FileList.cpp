// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/FileList.h"

#include "platform/DirectoryListing.h"

#include <algorithm>
#include <cstring>

// Each path is stored as its length (7 bits a byte, low bits first, the high bit
// set on every byte but the last), its bytes and a NUL, so that a path can be
// handed to the system without a copy.

FileList::FileList(FileList &&other) noexcept
    : m_blocks(std::move(other.m_blocks)), m_used(other.m_used), m_lastSize(other.m_lastSize),
      m_records(std::move(other.m_records)), m_marks(std::move(other.m_marks)),
      m_count(other.m_count)
{
    other.clear(); // the vectors' moved-from state is not promised to be empty
}

FileList &FileList::operator=(FileList &&other) noexcept
{
    if (this != &other) {
        m_blocks = std::move(other.m_blocks);
        m_used = other.m_used;
        m_lastSize = other.m_lastSize;
        m_records = std::move(other.m_records);
        m_marks = std::move(other.m_marks);
        m_count = other.m_count;
        other.clear();
    }
    return *this;
}

QByteArrayView FileList::nativePath(qsizetype i) const
{
    const Record &r = record(i);
    const auto *p = reinterpret_cast<const unsigned char *>(m_blocks[r.block].get() + r.offset);
    qsizetype length = 0;
    for (int shift = 0;; shift += 7) {
        const unsigned char b = *p++;
        length |= qsizetype(b & 0x7F) << shift;
        if (!(b & 0x80))
            break;
    }
    return QByteArrayView(reinterpret_cast<const char *>(p), length);
}

QString FileList::path(qsizetype i) const
{
    const QByteArrayView bytes = nativePath(i);
    return platform::displayPath(QByteArray::fromRawData(bytes.data(), bytes.size()));
}

namespace {

// Grows a vector's capacity ahead of a push_back, which then cannot throw.
template <typename Vector> void roomForOneMore(Vector &v)
{
    if (v.size() == v.capacity())
        v.reserve(std::max<std::size_t>(16, 2 * v.capacity()));
}

} // namespace

void FileList::newBlock(qsizetype needed)
{
    // A path longer than a block gets a block of its own size.
    const qsizetype size = std::max(kBlockBytes, needed);
    roomForOneMore(m_blocks);
    m_blocks.push_back(std::make_unique_for_overwrite<char[]>(size_t(size)));
    m_lastSize = size;
    m_used = 0;
}

void FileList::append(QByteArrayView nativePath)
{
    unsigned char prefix[10];
    int prefixLength = 0;
    for (quint64 length = quint64(nativePath.size());;) {
        const unsigned char low = length & 0x7F;
        length >>= 7;
        prefix[prefixLength++] = length ? (low | 0x80) : low;
        if (!length)
            break;
    }
    const qsizetype needed = prefixLength + nativePath.size() + 1;
    // Memory is taken before anything changes: should it be refused
    // (std::bad_alloc), the list is as it was and the same path may be
    // appended again.
    if (m_count % kRecordsPerChunk == 0) {
        roomForOneMore(m_records);
        roomForOneMore(m_marks);
        auto records = std::make_unique_for_overwrite<Record[]>(size_t(kRecordsPerChunk));
        auto marks = std::make_unique<std::uint8_t[]>(size_t(kRecordsPerChunk));
        if (m_blocks.empty() || m_lastSize - m_used < needed)
            newBlock(needed);
        m_records.push_back(std::move(records));
        m_marks.push_back(std::move(marks));
    } else if (m_blocks.empty() || m_lastSize - m_used < needed) {
        newBlock(needed);
    }
    char *at = m_blocks.back().get() + m_used;
    std::memcpy(at, prefix, size_t(prefixLength));
    if (!nativePath.isEmpty())
        std::memcpy(at + prefixLength, nativePath.data(), size_t(nativePath.size()));
    at[prefixLength + nativePath.size()] = 0;

    Record &r = m_records.back()[size_t(m_count % kRecordsPerChunk)];
    r.block = std::uint32_t(m_blocks.size() - 1);
    r.offset = std::uint32_t(m_used);
    m_used += needed;
    ++m_count;
}

void FileList::clear()
{
    m_blocks.clear();
    m_records.clear();
    m_marks.clear();
    m_used = 0;
    m_lastSize = 0;
    m_count = 0;
}
