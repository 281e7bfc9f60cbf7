// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What the folder picker reads and writes on the window that opened it: the
// search folder `path` and the folder box's edit text.

#include <QString>

class FolderPickerHost {
public:
    virtual ~FolderPickerHost() = default;
    virtual QString path() const = 0;
    virtual void setPath(const QString &path) = 0;
    virtual void setFolderBoxText(const QString &text) = 0;
};
