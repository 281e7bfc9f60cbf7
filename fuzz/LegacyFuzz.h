// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Shared by the binary Office fuzz targets: a compound file built around
// streams the fuzzer writes (so that its mutations reach the stream reader,
// not only the container), and the checks every read result must pass.

#include "documents/ReadDocument.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace legacyfuzz {

[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "legacy reader check failed: %s\n", what);
    std::abort();
}

// A version 3 compound file holding `streams` under the root, every stream
// in regular 512-byte sectors (the header's mini stream cutoff is 0).
inline QByteArray compound(const std::vector<std::pair<QString, QByteArray>> &streams)
{
    constexpr int kSector = 512;
    auto put32 = [](QByteArray &b, qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = char(v >> (8 * i));
    };
    std::vector<quint32> starts;
    QByteArray body;
    std::vector<quint32> fat;
    auto place = [&](const QByteArray &data) {
        const quint32 first = quint32(fat.size());
        const qsizetype count = (data.size() + kSector - 1) / kSector;
        for (qsizetype i = 0; i < count; ++i)
            fat.push_back(i + 1 < count ? first + quint32(i) + 1 : 0xFFFFFFFE);
        QByteArray padded = data;
        padded.resize(count * kSector, '\0');
        body += padded;
        return count ? first : 0xFFFFFFFE;
    };
    for (const auto &s : streams)
        starts.push_back(place(s.second));
    QByteArray directory((qsizetype(streams.size()) + 1) * 128, '\0');
    auto entry = [&](int i, const QString &name, int type, quint32 start, quint32 size,
                     quint32 child, quint32 right) {
        const qsizetype at = i * 128;
        for (qsizetype k = 0; k < name.size() && k < 31; ++k) {
            directory[at + 2 * k] = char(name[k].unicode());
            directory[at + 2 * k + 1] = char(name[k].unicode() >> 8);
        }
        directory[at + 0x40] = char(2 * (std::min<qsizetype>(name.size(), 31) + 1));
        directory[at + 0x42] = char(type);
        put32(directory, at + 0x44, 0xFFFFFFFF);
        put32(directory, at + 0x48, right);
        put32(directory, at + 0x4C, child);
        put32(directory, at + 0x74, start);
        put32(directory, at + 0x78, size);
    };
    entry(0, QStringLiteral("Root Entry"), 5, 0xFFFFFFFE, 0, streams.empty() ? 0xFFFFFFFF : 1,
          0xFFFFFFFF);
    for (size_t i = 0; i < streams.size(); ++i)
        entry(int(i) + 1, streams[i].first, 2, starts[i], quint32(streams[i].second.size()),
              0xFFFFFFFF, i + 1 < streams.size() ? quint32(i) + 2 : 0xFFFFFFFF);
    const quint32 directoryStart = place(directory);
    // The table's own sectors follow; they are marked as such in it.
    const qsizetype perSector = kSector / 4;
    qsizetype fatSectors = 1;
    while (qsizetype(fat.size()) + fatSectors > fatSectors * perSector)
        ++fatSectors;
    const quint32 fatStart = quint32(fat.size());
    for (qsizetype i = 0; i < fatSectors; ++i)
        fat.push_back(0xFFFFFFFD);
    QByteArray table(fatSectors * kSector, '\xFF');
    for (size_t i = 0; i < fat.size(); ++i)
        put32(table, qsizetype(i) * 4, fat[i]);
    QByteArray header(512, '\0');
    header.replace(0, 8, QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8));
    const char fixed[] = {0x3E, 0, 3, 0, char(0xFE), char(0xFF), 9, 0, 6, 0};
    header.replace(0x18, 10, QByteArray(fixed, 10));
    put32(header, 0x2C, quint32(fatSectors));
    put32(header, 0x30, directoryStart);
    put32(header, 0x38, 0);          // every stream in regular sectors
    put32(header, 0x3C, 0xFFFFFFFE); // no mini table
    put32(header, 0x44, 0xFFFFFFFE); // no DIFAT sectors
    for (int i = 0; i < 109; ++i)
        put32(header, 0x4C + 4 * i, i < fatSectors ? fatStart + quint32(i) : 0xFFFFFFFF);
    return header + body + table;
}

// What every answer must be: text within the limit, parts in order and on
// lines that exist, a reason with every failure and no text with it.
inline void check(const documents::ReadResult &result, const documents::Limits &limits)
{
    if (!result.ok()) {
        if (result.reason.isEmpty() && result.failure != documents::Failure::NotDocument)
            fail("a failure without a reason");
        if (!result.text.lines.empty())
            fail("a failure with text");
        return;
    }
    qint64 units = 0;
    for (const QString &line : result.text.lines)
        units += line.size() + 1;
    if (units > limits.textUnits)
        fail("more text than the limit");
    qsizetype last = -1;
    for (const documents::Location &location : result.text.locations) {
        if (location.line <= last && last >= 0)
            fail("parts out of order");
        if (location.line < 0 || location.line > qsizetype(result.text.lines.size()))
            fail("a part past the last line");
        last = location.line;
    }
}

// Splits the input into a first stream of a length its first two bytes
// give and a second stream of the rest.
inline std::pair<QByteArray, QByteArray> split(const std::uint8_t *data, std::size_t size)
{
    const QByteArray all(reinterpret_cast<const char *>(data), qsizetype(size));
    if (all.size() < 2)
        return {all, {}};
    const qsizetype first =
        std::min<qsizetype>(quint8(all[0]) | quint8(all[1]) << 8, all.size() - 2);
    return {all.mid(2, first), all.mid(2 + first)};
}

} // namespace legacyfuzz
