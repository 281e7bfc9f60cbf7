// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What every document reader's result must keep, whatever its input, and a
// stored (uncompressed) zip writer for targets that wrap markup in an archive.

#include "fuzz/FuzzInput.h"

#include "documents/DocumentText.h"
#include "documents/Limits.h"

#include <QByteArray>

#include <cstdint>
#include <utility>
#include <vector>

// Limits small enough that a fuzzer's input reaches them.
inline documents::Limits fuzzLimits()
{
    documents::Limits limits;
    limits.memberBytes = 1 << 20;
    limits.documentBytes = 4 << 20;
    limits.zipMembers = 64;
    limits.xmlDepth = 64;
    limits.textUnits = 1 << 18;
    return limits;
}

// The locations ascend and point at lines.
inline void checkLocations(const documents::DocumentText &text)
{
    qsizetype last = -1;
    for (const documents::Location &location : text.locations) {
        if (location.line <= last || location.line >= qsizetype(text.lines.size()))
            fuzzFail("a location out of order or past the last line");
        last = location.line;
    }
}

// A result holds text only when it succeeded; its lines hold no line break
// and none is empty; its locations ascend and point at lines; its text keeps
// to the limit.
inline void checkResult(const documents::ReadResult &result, const documents::Limits &limits)
{
    if (!result.ok()) {
        if (!result.text.lines.empty() || !result.text.locations.empty())
            fuzzFail("a failed read returned text");
        if (result.failure != documents::Failure::NotDocument && result.reason.isEmpty())
            fuzzFail("a failure without a reason");
        return;
    }
    qint64 units = 0;
    for (const QString &line : result.text.lines) {
        if (line.isEmpty())
            fuzzFail("an empty line");
        if (line.contains(u'\n') || line.contains(u'\r'))
            fuzzFail("a line break inside a line", codesOf(line));
        units += line.size() + 1;
    }
    if (units > limits.textUnits)
        fuzzFail("more text than the limit");
    checkLocations(result.text);
}

inline std::uint32_t crc32Of(const QByteArray &data)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= std::uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A zip of stored members, in the order given.
inline QByteArray storedZip(const std::vector<std::pair<QByteArray, QByteArray>> &members)
{
    QByteArray out, directory;
    auto le = [](QByteArray &to, std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            to.append(char((value >> (8 * i)) & 0xFF));
    };
    for (const auto &[name, data] : members) {
        const std::uint32_t offset = std::uint32_t(out.size());
        const std::uint32_t crc = crc32Of(data);
        le(out, 0x04034b50, 4);
        le(out, 20, 2);
        le(out, 0, 2);
        le(out, 0, 2);
        le(out, 0, 4);
        le(out, crc, 4);
        le(out, std::uint32_t(data.size()), 4);
        le(out, std::uint32_t(data.size()), 4);
        le(out, std::uint32_t(name.size()), 2);
        le(out, 0, 2);
        out += name;
        out += data;
        le(directory, 0x02014b50, 4);
        le(directory, 20, 2);
        le(directory, 20, 2);
        le(directory, 0, 2);
        le(directory, 0, 2);
        le(directory, 0, 4);
        le(directory, crc, 4);
        le(directory, std::uint32_t(data.size()), 4);
        le(directory, std::uint32_t(data.size()), 4);
        le(directory, std::uint32_t(name.size()), 2);
        le(directory, 0, 2);
        le(directory, 0, 2);
        le(directory, 0, 2);
        le(directory, 0, 2);
        le(directory, 0, 4);
        le(directory, offset, 4);
        directory += name;
    }
    const std::uint32_t start = std::uint32_t(out.size());
    out += directory;
    le(out, 0x06054b50, 4);
    le(out, 0, 2);
    le(out, 0, 2);
    le(out, std::uint32_t(members.size()), 2);
    le(out, std::uint32_t(members.size()), 2);
    le(out, std::uint32_t(directory.size()), 4);
    le(out, start, 4);
    le(out, 0, 2);
    return out;
}
