// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Room for a matcher's blocks, reused from file to file. A copy of it is room
// of the same size and nothing more: the bytes are not copied, and none of its
// pages is written until it is used. Each worker copies the matcher before it
// starts; copying a block's bytes (and writing every page of the copy) cost a
// millisecond or more per worker, longer than a small search takes.

#include <QtGlobal>

#include <memory>
#include <type_traits>

template <typename T> class ScratchBuffer {
    static_assert(std::is_trivial_v<T>);

public:
    ScratchBuffer() = default;
    ScratchBuffer(const ScratchBuffer &other) { reserve(other.m_size); }
    ScratchBuffer &operator=(const ScratchBuffer &other)
    {
        if (this != &other) {
            m_data.reset();
            m_size = 0;
            reserve(other.m_size);
        }
        return *this;
    }
    ScratchBuffer(ScratchBuffer &&) noexcept = default;
    ScratchBuffer &operator=(ScratchBuffer &&) noexcept = default;

    // At least `count` elements. Their values stay from one call to the next
    // unless the room had to grow; new room holds no particular values.
    // Throws std::bad_alloc when memory is refused.
    T *data(qsizetype count)
    {
        reserve(count);
        return m_data.get();
    }

    // At least `count` elements from an address that is a multiple of `align`
    // bytes (a power of two).
    T *aligned(qsizetype count, qsizetype align)
    {
        const qsizetype extra = (align + qsizetype(sizeof(T)) - 1) / qsizetype(sizeof(T));
        T *p = data(count + extra);
        const auto address = reinterpret_cast<quintptr>(p);
        const auto skip = (quintptr(align) - address % quintptr(align)) % quintptr(align);
        return reinterpret_cast<T *>(reinterpret_cast<char *>(p) + skip);
    }

private:
    void reserve(qsizetype count)
    {
        if (count <= m_size)
            return;
        m_data.reset();
        m_size = 0;
        m_data.reset(new T[size_t(count)]); // default-initialised: nothing written
        m_size = count;
    }

    std::unique_ptr<T[]> m_data;
    qsizetype m_size = 0;
};
