// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The Two-Way search of Crochemore and Perrin: the first occurrence of a needle
// in time linear in the text and the needle, whatever either holds, in constant
// room. The needle is cut at a critical point; its right part is compared left
// to right, then its left part right to left, and a periodic needle remembers
// how much of its period the last attempt already proved. A table of the last
// place of each unit (by its low byte) skips ahead when the unit under the
// needle's end does not occur there; the skip never passes an occurrence, and
// each unit of the text is compared a bounded number of times.
//
// The searches fall back to it when comparing their candidates whole keeps
// failing (a keyword of one repeated character over a run of it), where a
// search that compares each candidate from its start would take quadratic time.

#include <QtGlobal>

#include <algorithm>
#include <array>

namespace search {

template <typename Unit> class TwoWay {
public:
    // needle: size units, at least one; it must outlive the searcher.
    TwoWay(const Unit *needle, qsizetype size) : m_needle(needle), m_size(size)
    {
        qsizetype p1 = 1, p2 = 1;
        const qsizetype s1 = maximalSuffix(false, p1);
        const qsizetype s2 = maximalSuffix(true, p2);
        m_split = std::max(s1, s2) + 1; // the critical point
        m_period = s1 > s2 ? p1 : p2;
        m_periodic = std::equal(needle, needle + m_split, needle + m_period);
        if (!m_periodic)
            m_period = std::max(m_split, size - m_split) + 1;
        m_shift.fill(size);
        for (qsizetype i = 0; i < size; ++i)
            m_shift[lowByte(needle[i])] = size - 1 - i;
    }

    // The first occurrence in [from, end), or null.
    const Unit *find(const Unit *from, const Unit *end) const
    {
        const Unit *n = m_needle;
        const qsizetype size = m_size, split = m_split;
        qsizetype memory = 0; // units of the needle's start already proved here
        for (const Unit *h = from; end - h >= size;) {
            // The unit under the needle's end: no occurrence before its last place.
            const qsizetype shift = m_shift[lowByte(h[size - 1])];
            if (shift > 0) {
                h += (m_periodic && memory > 0 && shift < m_period) ? size - m_period : shift;
                memory = 0;
                continue;
            }
            qsizetype i = std::max(split, memory);
            while (i < size && n[i] == h[i])
                ++i;
            if (i < size) {
                h += i - split + 1;
                memory = 0;
                continue;
            }
            i = split;
            while (i > memory && n[i - 1] == h[i - 1])
                --i;
            if (i <= memory)
                return h;
            h += m_period;
            memory = m_periodic ? size - m_period : 0;
        }
        return nullptr;
    }

private:
    static unsigned char lowByte(Unit u) { return static_cast<unsigned char>(u & 0xFF); }

    // The start less one of the needle's greatest suffix in one order (reversed:
    // the other), and that suffix's period.
    qsizetype maximalSuffix(bool reversed, qsizetype &period) const
    {
        const Unit *n = m_needle;
        qsizetype i = -1, j = 0, k = 1;
        period = 1;
        while (j + k < m_size) {
            const Unit a = n[i + k], b = n[j + k];
            if (a == b) {
                if (k == period) {
                    j += period;
                    k = 1;
                } else {
                    ++k;
                }
            } else if (reversed ? a < b : a > b) {
                j += k;
                k = 1;
                period = j - i;
            } else {
                i = j++;
                k = period = 1;
            }
        }
        return i;
    }

    const Unit *m_needle;
    qsizetype m_size;
    qsizetype m_split = 0;
    qsizetype m_period = 1;
    bool m_periodic = false;
    std::array<qsizetype, 256> m_shift{};
};

} // namespace search
