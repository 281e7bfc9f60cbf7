// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The first look at a file, by its content alone (never its name): whether it
// may be a document, and so is worth handing to a reader helper. The helper
// makes the final decision (a zip may be neither Office Open XML nor
// OpenDocument; it then answers Failure::NotDocument and the file is read as
// text).

#include <QtGlobal>

namespace documents {

// Archive: an archive or a compressed file (sniffArchive()); appended last,
// as the container is sent to the reader helper by its number.
enum class Container : quint8 { None, Zip, Pdf, Compound, Rtf, Archive };

// How many of a file's first bytes sniff() wants (fewer when the file is shorter).
constexpr qsizetype kSniffBytes = 1024;

// From the file's first bytes: "PK\3\4" at the start: Zip; "%PDF-" within the
// first 1,024 bytes: Pdf; D0 CF 11 E0 A1 B1 1A E1 at the start: Compound;
// "{\rtf" at the start: Rtf.
Container sniff(const char *data, qsizetype size);

// From the same bytes: Archive when they begin as an archive or a compressed
// stream that libarchive may read (gzip, bzip2, xz, lzma, zstd, lz4,
// compress, 7z, LZH, RAR, cab, cpio, tar of any kind by its magic or by a
// sound header checksum); Zip for "PK\3\4", "PK\5\6" (an empty zip) and
// "PK\7\8" (a spanned one), for the caller to tell a document from an
// archive; else None. An ISO 9660 image (its mark at byte 32,769) is out of
// reach of these bytes and is not recognised.
Container sniffArchive(const char *data, qsizetype size);

} // namespace documents
