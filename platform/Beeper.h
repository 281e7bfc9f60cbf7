// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The system bell as a seam: a window that tells the user "nothing more here"
// with a beep calls it, and tests count the beeps.

class Beeper {
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;

    // The real bell (the toolkit's), shared by every window.
    static Beeper &system();
};
