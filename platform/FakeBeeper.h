// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A bell for tests: counts the beeps and makes no sound.

#include "platform/Beeper.h"

class FakeBeeper : public Beeper {
public:
    void beep() override { ++m_count; }
    int count() const { return m_count; }
    void clear() { m_count = 0; }

private:
    int m_count = 0;
};
