// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// `Drive1`: the drive list of the folder picker. Its entries are the volumes of
// the platform's volume list, each shown as its root with its label in brackets
// where it has one; its value is the current entry's text.

#include <QComboBox>

#include "platform/Volumes.h"

class DriveList : public QComboBox {
    Q_OBJECT
public:
    explicit DriveList(const VolumeList &volumes, QWidget *parent = nullptr);

    // The current entry's text, e.g. "/" or "/media/usb [USB]".
    QString value() const { return currentText(); }
    // Selects the entry whose text is `text`, else the volume whose root is the
    // longest prefix of the path `text`. Returns false, changing nothing, when no
    // volume matches (an empty text included).
    bool setValue(const QString &text);
    // Root folder of the current entry; empty when the list is empty.
    QString currentRoot() const;

Q_SIGNALS:
    // Raised on every change of the current volume, by the user or by setValue.
    void changed();

private:
    QList<Volume> m_volumes;
};
