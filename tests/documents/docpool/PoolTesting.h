// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What the reader pool's tests share: an open descriptor, a file written
// whole, a word looked for in a document's lines, the helper programs.

#include "documents/DocumentText.h"
#include "documents/ReaderPool.h"

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

namespace pooltesting {

// An open descriptor, closed at the end of the scope.
struct Fd {
    explicit Fd(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC))
    {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int fd;
};

// Writes a file of these bytes; false when it cannot be written whole.
inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline bool holds(const documents::ReadResult &result, const QString &word)
{
    for (const QString &line : result.text.lines) {
        if (line.contains(word))
            return true;
    }
    return false;
}

inline documents::ReaderPool::Options helpersOf(const char *program, const char *pdfProgram,
                                                int helpers)
{
    documents::ReaderPool::Options options;
    options.program = program;
    options.pdfProgram = pdfProgram;
    options.helpers = helpers;
    return options;
}

} // namespace pooltesting
