// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A compact list of native paths: their bytes one after the other in a growing
// arena of fixed-size blocks, and a small record per path. Nothing moves once
// appended (blocks are never reallocated), so a path costs its own bytes, one
// or two bytes of length and its record. Display text is made only when asked.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class FileList {
public:
    FileList() = default;
    // A moved-from list is empty and may be appended to again.
    FileList(FileList &&other) noexcept;
    FileList &operator=(FileList &&other) noexcept;
    FileList(const FileList &) = delete;
    FileList &operator=(const FileList &) = delete;

    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }

    // The path's bytes, followed in memory by a NUL byte (not in the view);
    // valid and unmoved as long as the list is neither cleared nor destroyed,
    // whatever is appended meanwhile.
    QByteArrayView nativePath(qsizetype i) const;
    // The path as text for display (made anew on each call).
    QString path(qsizetype i) const;

    void append(QByteArrayView nativePath);
    void clear();

    // A byte of state per path for the owner's use (0 when appended). Marks are
    // apart from the paths: setting one races with no reading of a path.
    std::uint8_t mark(qsizetype i) const
    {
        return m_marks[size_t(i / kRecordsPerChunk)][size_t(i % kRecordsPerChunk)];
    }
    void setMark(qsizetype i, std::uint8_t mark)
    {
        m_marks[size_t(i / kRecordsPerChunk)][size_t(i % kRecordsPerChunk)] = mark;
    }

private:
    struct Record {
        std::uint32_t block;  // the arena block holding the path
        std::uint32_t offset; // where its length prefix starts in that block
    };
    static constexpr qsizetype kBlockBytes = 256 * 1024;
    static constexpr qsizetype kRecordsPerChunk = 8192;

    // Adds an arena block of at least `needed` bytes; the list is unchanged
    // when memory is refused.
    void newBlock(qsizetype needed);

    Record &record(qsizetype i)
    {
        return m_records[size_t(i / kRecordsPerChunk)][size_t(i % kRecordsPerChunk)];
    }
    const Record &record(qsizetype i) const
    {
        return m_records[size_t(i / kRecordsPerChunk)][size_t(i % kRecordsPerChunk)];
    }

    std::vector<std::unique_ptr<char[]>> m_blocks;
    qsizetype m_used = 0;                                 // bytes used in the last block
    qsizetype m_lastSize = 0;                             // size of the last block
    std::vector<std::unique_ptr<Record[]>> m_records;     // chunks of kRecordsPerChunk
    std::vector<std::unique_ptr<std::uint8_t[]>> m_marks; // the same
    qsizetype m_count = 0;
};
