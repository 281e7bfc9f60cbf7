// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The seed of a randomised test: a fresh one each run, or TARNWELL_SEED's, so
// that a failure can be repeated. It is printed either way.

#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>

namespace testing_seed {

inline quint32 seed()
{
    quint32 s = QRandomGenerator::global()->generate();
    if (qEnvironmentVariableIsSet("TARNWELL_SEED"))
        s = qEnvironmentVariable("TARNWELL_SEED").toUInt();
    qInfo("seed %u (set TARNWELL_SEED to repeat)", s);
    return s;
}

} // namespace testing_seed
