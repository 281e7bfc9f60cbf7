// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Why a file or folder could not be searched, in the words tarnwell-find
// prints after its path and the window lists (SearchObserver::cannotRead()).

#include <QString>

#include <cerrno>
#include <cstring>

inline QString cannotReadReason(int error, bool brokenOff)
{
    const QString why = QString::fromLocal8Bit(std::strerror(error));
    return brokenOff ? QStringLiteral("listing broke off: ") + why : why;
}

// Why the folder to search could not be searched (SearchOutcome::folderError).
inline QString folderErrorReason(int error)
{
    switch (error) {
    case ENOENT:
        return QStringLiteral("no such folder");
    case ENOTDIR:
        return QStringLiteral("not a folder");
    default:
        return QStringLiteral("cannot be listed: ") + QString::fromLocal8Bit(std::strerror(error));
    }
}
