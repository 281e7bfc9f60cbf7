// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Reads every archive or compressed file named on the command line as a
// search does (each text member matched against a word that is nowhere, so
// that every member is read), in this process and on one thread, and prints
// how many were read: a narrow driver for instruction counts of the archive
// reading alone (valgrind --tool=callgrind bench/read-archives FILE...),
// without the helper processes. --stream streams every member through
// libarchive, the reference to the whole inflate of small gzip files and zip
// members.

#include "documents/ArchiveDocument.h"
#include "documents/QueryMatcher.h"

#include <QFile>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    documents::Limits limits;
    int first = 1;
    if (argc > 1 && std::strcmp(argv[1], "--stream") == 0) {
        limits.archiveWholeInflate = false;
        first = 2;
    }
    documents::MatchQuery query;
    query.words = QStringList{QStringLiteral("xyzzyqq")};
    query.choice = {false, platform::EncodingMode::Cp932};
    documents::QueryMatcher matcher(query);
    const documents::MemberCalls calls{
        [&matcher](QByteArrayView bytes) { return matcher.matchesText(bytes); },
        [&matcher](const std::vector<QString> &lines) { return matcher.matchesLines(lines); }};
    int read = 0;
    for (int i = first; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray bytes = file.readAll();
        read += documents::readArchiveDocument(bytes, query.choice, limits, &calls).ok() ? 1 : 0;
    }
    std::printf("%d files, %d read\n", argc - first, read);
    return read == 0 && argc > first ? 1 : 0;
}
