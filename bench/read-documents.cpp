// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Reads every file named on the command line with the document readers, in
// this process and on one thread, and prints how many lines and characters
// they gave: a narrow driver for instruction counts of the readers alone
// (valgrind --tool=callgrind bench/read-documents FILE...), without the
// helper processes and their start-up. With --match WORDS (the words
// separated by spaces) each file is matched as the helper matches a search's
// documents, its lines handed to the matcher as they are read where the
// reader can, and the files that match are counted.

#include "documents/QueryMatcher.h"
#include "documents/ReadDocument.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char **argv)
{
    qint64 lines = 0;
    qint64 units = 0;
    int failed = 0;
    int matched = 0;
    int first = 1;
    std::unique_ptr<documents::QueryMatcher> matcher;
    if (argc > 2 && std::strcmp(argv[1], "--match") == 0) {
        const documents::MatchQuery query{
            QString::fromLocal8Bit(argv[2]).split(u' ', Qt::SkipEmptyParts),
            {},
            {false, platform::EncodingMode::Auto}};
        matcher = std::make_unique<documents::QueryMatcher>(query);
        first = 3;
    }
    for (int i = first; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            ++failed;
            continue;
        }
        const QByteArray bytes = file.readAll();
        documents::LineCheck check = matcher ? matcher->lineCheck() : documents::LineCheck{};
        const documents::ReadResult result =
            documents::readDocument(bytes, documents::sniff(bytes.constData(), bytes.size()),
                                    documents::Limits{}, matcher ? &check : nullptr);
        if (!result.ok())
            ++failed;
        else if (matcher && (check.found || matcher->matchesLines(result.text.lines)))
            ++matched;
        lines += qint64(result.text.lines.size());
        for (const QString &line : result.text.lines)
            units += line.size();
    }
    std::printf("%d files, %lld lines, %lld UTF-16 units, %d not read", argc - first,
                static_cast<long long>(lines), static_cast<long long>(units), failed);
    if (matcher)
        std::printf(", %d matched", matched);
    std::printf("\n");
    return failed == argc - first && argc > first ? 1 : 0;
}
