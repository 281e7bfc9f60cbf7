// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A volume list for tests: volumes over folders a test makes, each with a
// readiness flag the test flips (e.g. from a message box answer).

#include "platform/Volumes.h"

#include <QSet>

class FakeVolumeList : public VolumeList {
public:
    void add(const QString &root, const QString &label = QString(), bool ready = true);
    void setReady(const QString &root, bool ready);

    QList<Volume> volumes() const override { return m_volumes; }
    // A volume is ready when its flag is set and its root folder can be opened,
    // so a test may also make a volume "not ready" by removing its folder.
    bool isReady(const QString &root) const override;

private:
    QList<Volume> m_volumes;
    QSet<QString> m_notReady;
};
