// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Reads every file named on the command line with the document readers, in
// this process and on one thread, and prints how many lines and characters
// they gave: a narrow driver for instruction counts of the readers alone
// (valgrind --tool=callgrind bench/read-documents FILE...), without the
// helper processes and their start-up.

#include "documents/ReadDocument.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    qint64 lines = 0;
    qint64 units = 0;
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            ++failed;
            continue;
        }
        const QByteArray bytes = file.readAll();
        const documents::ReadResult result = documents::readDocument(
            bytes, documents::sniff(bytes.constData(), bytes.size()), documents::Limits{});
        if (!result.ok())
            ++failed;
        lines += qint64(result.text.lines.size());
        for (const QString &line : result.text.lines)
            units += line.size();
    }
    std::printf("%d files, %lld lines, %lld UTF-16 units, %d not read\n", argc - 1,
                static_cast<long long>(lines), static_cast<long long>(units), failed);
    return failed == argc - 1 && argc > 1 ? 1 : 0;
}
