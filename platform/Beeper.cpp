// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/Beeper.h"

#include <QApplication>

namespace {

class SystemBeeper : public Beeper {
public:
    void beep() override { QApplication::beep(); }
};

} // namespace

Beeper &Beeper::system()
{
    static SystemBeeper beeper;
    return beeper;
}
