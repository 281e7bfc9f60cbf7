// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/HelpFile.h"

namespace {
QString &storage()
{
    static QString name;
    return name;
}
} // namespace

namespace helpfile {

QString name()
{
    return storage();
}
void setName(const QString &name)
{
    storage() = name;
}

} // namespace helpfile
