// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The memory a matcher reads blocks into, reused from file to file. Its bytes
// are scratch: a copy has the same size but not the bytes, and they are not
// set to anything when it grows. A worker's copy of a matcher so has its
// buffer from the start without a byte being written, and the system backs it
// with pages only as reads fill them (one for a small file): copying 256 KiB
// for each of 64 workers took the walk's thread 8 % of the search's processor
// time where storage waits.

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

class BlockBuffer {
public:
    BlockBuffer() = default;
    BlockBuffer(const BlockBuffer &other)
        : m_data(other.m_size > 0 ? new char[other.m_size] : nullptr), m_size(other.m_size)
    {}
    BlockBuffer &operator=(const BlockBuffer &other)
    {
        if (this != &other) {
            m_data.reset(other.m_size > 0 ? new char[other.m_size] : nullptr);
            m_size = other.m_size;
        }
        return *this;
    }
    BlockBuffer(BlockBuffer &&) noexcept = default;
    BlockBuffer &operator=(BlockBuffer &&) noexcept = default;

    char *data() { return m_data.get(); }
    std::size_t size() const { return m_size; }

    // At least `size` bytes; those held are kept.
    void resize(std::size_t size)
    {
        if (size <= m_size)
            return;
        std::unique_ptr<char[]> grown(new char[size]);
        if (m_size > 0)
            std::memcpy(grown.get(), m_data.get(), m_size);
        m_data = std::move(grown);
        m_size = size;
    }

private:
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
};
