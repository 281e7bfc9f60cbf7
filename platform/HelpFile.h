// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The application-wide help file name. Start-up sets it to "tarnview.hlp"; the
// splitter empties it while a drag lasts and puts it back at the release. While
// it is empty, F1 and the help command find no help.

#include <QString>

namespace helpfile {

QString name();
void setName(const QString &name);

} // namespace helpfile
