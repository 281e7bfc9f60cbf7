// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Unit boundaries of one code-page-932 line, asked about at increasing positions.
//
// cp932::isUnitBoundary() answers for one position by reading the run of
// lead-range bytes before it back to the line start. On a line that is one long
// run of such bytes (9F 88 9F 88 ...) every answer costs the whole run, and a
// search that asks at each raw hit takes quadratic time. BoundaryCursor
// remembers the last position it proved to start a unit and never reads back
// past it (the idea of GNU grep's mb_goback): over one line's increasing
// positions each byte is read a bounded number of times. Its answers are
// exactly isUnitBoundary()'s.
//
// The cursor knows only the code-page-932 pairing rule (cp932::isLeadByte: a
// lead byte and the next byte form one unit unless that byte is 00). Another
// encoding's rule belongs in a cursor of its own with the same three calls.
//
// Header-only so that the hot loops of the matcher and the viewer's find inline it.

#include "text/Cp932.h"

#include <QtGlobal>

namespace cp932 {

class BoundaryCursor {
public:
    // start: the start of a line, or any position known to start a unit (the
    // positions asked about are counted from there).
    explicit BoundaryCursor(const unsigned char *start) : m_known(start) {}

    // The last position proved to start a unit: at first the start.
    const unsigned char *known() const { return m_known; }

    // True iff decoding from the start begins a unit at p: isUnitBoundary(start, p).
    // known() <= p < the end of the line (byte[p] is read); the positions asked
    // about never decrease.
    bool isBoundary(const unsigned char *p)
    {
        Q_ASSERT(p >= m_known);
        const unsigned char *q = p;
        while (q > m_known && isLeadByte(q[-1]))
            --q;
        // q starts the run of lead-range bytes before p, or is known() with only
        // lead-range bytes from there to p: a boundary either way, and from a
        // boundary on such bytes pair up, so units start at even offsets.
        if (((p - q) & 1) == 0 || *p == 0) {
            m_known = p;
            return true;
        }
        m_known = p + 1; // p is the second byte of the pair that starts at p - 1
        return false;
    }

    // Moves known() over whole units of two lead-range bytes (a lead byte and a
    // second byte that is not 00) that end before end and whose first byte b
    // does not satisfy stop(b), and returns where it stopped: a boundary whose
    // unit is not such a pair, or starts with a stop byte, or does not end before
    // end. A search whose raw hits fall inside such pairs (every other byte of a
    // long lead-range run) crosses them here two bytes at a time instead of one
    // hit at a time; with stop true for the first bytes of what it looks for, no
    // occurrence at a boundary is stepped over.
    template <typename Stop> const unsigned char *skipLeadPairs(const unsigned char *end, Stop stop)
    {
        const unsigned char *p = m_known;
        while (end - p >= 2 && isLeadByte(p[0]) && isLeadByte(p[1]) && !stop(p[0]))
            p += 2;
        m_known = p;
        return p;
    }

private:
    const unsigned char *m_known;
};

} // namespace cp932
