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

// Archive: an archive or a compressed file (sniffArchive()); the values are
// sent to the reader helper by their number, so new ones go last.
enum class Container : quint8 { None, Zip, Pdf, Compound, Rtf, Mail, Archive };

// How many of a file's first bytes sniff() wants (fewer when the file is shorter).
constexpr qsizetype kSniffBytes = 1024;
// An ISO 9660 image's mark, "CD001", stands at byte 32,769 (its first volume
// descriptor, after 32 KiB of system area): sniffArchive() sees it when handed
// at least kIsoSniffBytes bytes. The engine hands over its first block, which
// holds them for any file that long; a file system image is never shorter.
constexpr qsizetype kIso9660Mark = 32769;
constexpr qsizetype kIsoSniffBytes = kIso9660Mark + 5;
// A self-extracting LZH is a Windows or MS-DOS program ("MZ") with the
// archive after its code: sniffArchive() looks for the archive's first header
// within the first kSelfExtractingBytes (the engine's first read), as far as
// LHA's own stubs and the usual Windows ones reach. A program with the
// archive further in is taken as a program.
constexpr qsizetype kSelfExtractingBytes = qsizetype(64) << 10;
// As many bytes as sniffArchive() may look at.
constexpr qsizetype kArchiveSniffBytes = kSelfExtractingBytes;
static_assert(kArchiveSniffBytes >= kIsoSniffBytes);

// From the file's first bytes: "PK\3\4" at the start: Zip; "%PDF-" within the
// first 1,024 bytes: Pdf; D0 CF 11 E0 A1 B1 1A E1 at the start: Compound;
// "{\rtf" at the start: Rtf; a block of mail header lines at the start
// (looksLikeMail()): Mail.
Container sniff(const char *data, qsizetype size);

// A saved e-mail, an mbox or a saved web page of the same form: the bytes
// start with header lines ("Name: value", continued by lines that start with
// a blank), optionally after an mbox "From " line, that hold at least two of
// the fields mail carries (From, To, Subject, Date, Received, MIME-Version,
// Message-ID, Return-Path, Content-Type, ...), and end at an empty line or at
// the end of the bytes looked at. Anything else in that block (a line that is
// no header) makes it no mail.
bool looksLikeMail(const char *data, qsizetype size);
// From the same bytes: Archive when they begin as an archive or a compressed
// stream that libarchive may read (gzip, bzip2, xz, lzma, zstd, lz4,
// compress, 7z, LZH, RAR, cab, cpio, tar of any kind by its magic or by a
// sound header checksum); Zip for "PK\3\4", "PK\5\6" (an empty zip) and
// "PK\7\8" (a spanned one), for the caller to tell a document from an
// archive; Archive for an ISO 9660 image by its mark when `size` reaches
// kIsoSniffBytes; Archive for a program ("MZ") with an LZH header (method,
// level and checksum, or a level 2 header's sizes, all sound) within its
// first kSelfExtractingBytes; else None. Only fixed places are looked at (a
// program's bytes with memchr), so the bytes may be as many as the caller
// holds.
Container sniffArchive(const char *data, qsizetype size);
// A self-extracting zip is a program with a zip after its code: a Windows
// one ("MZ"), or an ELF one such as Info-ZIP's unzipsfx. Its stub is often
// longer than the first read, so it is told by the file's end instead: the
// zip's end record, whose comment reaches exactly to the end of the file and
// whose central directory lies before it. kZipTailBytes, one page, holds
// the record with a comment of up to 4,074 bytes (a zip's comment may be
// 65,535, but a self-extractor's is a line or two): a search of programs
// reads that much more of each, and a longer comment leaves the file a
// program.
constexpr qsizetype kZipTailBytes = 4096;
// True when the first bytes are a program's ("MZ", or ELF's "\x7FELF"):
// asked of every file a search looks at, so it is inline.
inline bool isProgram(const char *data, qsizetype size)
{
    return (size >= 2 && data[0] == 'M' && data[1] == 'Z') ||
           (size >= 4 && data[0] == '\x7F' && data[1] == 'E' && data[2] == 'L' && data[3] == 'F');
}
// True when `tail`, the last bytes (up to kZipTailBytes) of a file of
// `fileSize` bytes, ends with a zip's end record as above.
bool zipAtEnd(const char *tail, qsizetype size, qint64 fileSize);
// Whether a zip's end record ("PK\5\6", 22 bytes and its comment) starts at
// `at` of these `size` bytes, its comment reaching exactly their end.
bool isZipEndAt(const char *data, qsizetype size, qsizetype at);

// A UDF disc image (DVD, Blu-ray, Windows' own discs), which libarchive does
// not read: its volume recognition sequence, from byte 32,768 in 2,048-byte
// steps, names "NSR02" or "NSR03" within the bytes given and no ISO 9660
// descriptor stands first (an image with both is read as ISO 9660).
// sniffArchive() calls such an image an Archive, for its reader to name it.
bool isUdfImage(const char *data, qsizetype size);

} // namespace documents
