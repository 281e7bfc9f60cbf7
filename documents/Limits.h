// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What one document may cost. A document reader parses untrusted, compressed
// input: every count below is kept while reading (a zip member's size is
// counted while it is inflated, never taken from the zip's own header), and
// reaching any of them makes the file unreadable with Failure::OverLimit.

#include <QtGlobal>

namespace documents {

struct Limits {
    // The reader helper process: its address space, processor time per
    // document (in seconds) and wall-clock time per document (in ms).
    qint64 addressSpaceBytes = qint64(1) << 30;
    int cpuSecondsPerDocument = 20;
    int wallMillisecondsPerDocument = 30'000;
    // The file itself: larger ones are not read as documents.
    qint64 fileBytes = qint64(512) << 20;
    // Bytes inflated from one zip member, and from all members of a document.
    qint64 memberBytes = qint64(256) << 20;
    qint64 documentBytes = qint64(1) << 30;
    // Members in one zip.
    int zipMembers = 20'000;
    // Elements open at once in one XML part.
    int xmlDepth = 256;
    // UTF-16 units of text in one document (256 MiB of text).
    qint64 textUnits = qint64(128) << 20;

    // An archive (or a compressed file), counted while its members are
    // inflated: bytes of one member, of all members together (nested
    // archives' members included), members, archives inside archives, the
    // ratio of inflated bytes to the archive's own size once past
    // ratioFloorBytes, and the time spent. Reaching one ends the archive:
    // the members read so far keep their text, and the rest is named.
    qint64 archiveMemberBytes = qint64(64) << 20;
    qint64 archiveBytes = qint64(512) << 20;
    int archiveMembers = 100'000;
    int archiveDepth = 5;
    qint64 archiveRatio = 1000;
    qint64 archiveRatioFloorBytes = qint64(16) << 20;
    int archiveMilliseconds = 15'000;
    // Small gzip files and zip members inflated in one call (libdeflate),
    // where that gives what streaming them through libarchive gives; false:
    // everything streamed, the reference the tests compare it with.
    bool archiveWholeInflate = true;
    // For a search, the member bytes the helper sends before it waits to
    // hear whether they matched (a member larger goes alone): what the
    // program holds of an archive at once, and how far past the matching
    // member the helper may have read (nothing: it waits).
    qint64 archiveChunkBytes = qint64(1) << 20;
};

} // namespace documents
