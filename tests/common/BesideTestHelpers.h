// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Puts a program of the build into a folder of its own, beside links named
// tarnwell-docreader and tarnwell-pdfreader that lead to the test builds of
// the helpers (which obey test words such as "%PDF-SLEEP"): the program looks
// for its helpers beside itself first. The program itself must lie in the
// folder (/proc/self/exe names the file, not a link to it): a hard link, or a
// copy on another file system. DOCREADER_TEST and PDFREADER_TEST name the
// test builds.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <unistd.h>

inline bool placeBesideTestHelpers(const QString &folder, const char *program)
{
    const QString copy = QDir(folder).filePath(QFileInfo(QFile::decodeName(program)).fileName());
    return (::link(program, QFile::encodeName(copy).constData()) == 0 ||
            QFile::copy(QFile::decodeName(program), copy)) &&
           QFile::link(QStringLiteral(DOCREADER_TEST),
                       QDir(folder).filePath(QStringLiteral("tarnwell-docreader"))) &&
           QFile::link(QStringLiteral(PDFREADER_TEST),
                       QDir(folder).filePath(QStringLiteral("tarnwell-pdfreader")));
}
