// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/Recognize.h"

#include <cstring>

namespace documents {

namespace {

bool startsWith(const char *data, qsizetype size, const char *magic, qsizetype length)
{
    return size >= length && std::memcmp(data, magic, size_t(length)) == 0;
}

bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

// Field names that mail carries, lower case.
bool isMailField(const char *name, qsizetype length)
{
    static constexpr const char *kFields[] = {"from",
                                              "to",
                                              "cc",
                                              "subject",
                                              "date",
                                              "received",
                                              "message-id",
                                              "mime-version",
                                              "return-path",
                                              "content-type",
                                              "reply-to",
                                              "sender",
                                              "delivered-to",
                                              "in-reply-to",
                                              "references",
                                              "x-mailer",
                                              "user-agent",
                                              "content-transfer-encoding",
                                              "x-mozilla-status"};
    for (const char *field : kFields) {
        const qsizetype n = qsizetype(std::strlen(field));
        if (n != length)
            continue;
        qsizetype i = 0;
        while (i < n && lower(name[i]) == field[i])
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

// A tar header: 512 bytes whose checksum field (octal, at 148) is the sum of
// the header's bytes with that field taken as spaces. Old (v7) tar has no
// magic, so this is what tells it; a name must be there too.
bool isTarHeader(const unsigned char *h)
{
    if (h[0] == 0)
        return false;
    unsigned sum = 0;
    for (int i = 0; i < 512; ++i)
        sum += (i >= 148 && i < 156) ? unsigned(' ') : h[i];
    unsigned stored = 0;
    int i = 148;
    while (i < 156 && h[i] == ' ')
        ++i;
    int digits = 0;
    for (; i < 156 && h[i] >= '0' && h[i] <= '7'; ++i, ++digits)
        stored = stored * 8 + unsigned(h[i] - '0');
    if (digits == 0)
        return false;
    for (; i < 156; ++i)
        if (h[i] != ' ' && h[i] != 0)
            return false;
    return stored == sum;
}

// A whole LZH header at h (`room` bytes there): its method "-lh?-" or
// "-lz?-", its level, and its own sums: a level 0 or 1 header's byte sum, a
// level 2 header's extended headers, which fill its length exactly.
bool isLzhHeader(const unsigned char *h, qsizetype room)
{
    if (room < 26 || h[2] != '-' || h[3] != 'l' || (h[4] != 'h' && h[4] != 'z') || h[6] != '-')
        return false;
    if (h[20] == 0 || h[20] == 1) {
        const qsizetype size = h[0];
        if (size < 22 || size + 2 > room)
            return false;
        unsigned sum = 0;
        for (qsizetype i = 2; i < size + 2; ++i)
            sum += h[i];
        return (sum & 0xFF) == h[1];
    }
    if (h[20] != 2)
        return false;
    const qsizetype total = h[0] | (h[1] << 8);
    if (total < 26 || total > room)
        return false;
    qsizetype at = 26;
    for (qsizetype next = h[24] | (h[25] << 8); next != 0; next = h[at - 2] | (h[at - 1] << 8)) {
        if (next < 3 || at + next > total)
            return false;
        at += next;
    }
    // LHA adds a 0 after a header whose length's low byte would be 0.
    return at == total || (at + 1 == total && h[at] == 0);
}

// A self-extracting LZH: a program whose bytes hold an LZH header.
bool isSelfExtractingLzh(const char *data, qsizetype size)
{
    if (size < 64 || data[0] != 'M' || data[1] != 'Z')
        return false;
    const qsizetype end = size < kSelfExtractingBytes ? size : kSelfExtractingBytes;
    const auto *u = reinterpret_cast<const unsigned char *>(data);
    for (qsizetype at = 4; at < end;) {
        const void *dash = std::memchr(data + at, '-', size_t(end - at));
        if (!dash)
            return false;
        const qsizetype i = static_cast<const char *>(dash) - data;
        if (isLzhHeader(u + i - 2, end - (i - 2)))
            return true;
        at = i + 1;
    }
    return false;
}

} // namespace

bool looksLikeMail(const char *data, qsizetype size)
{
    // Nearly every text file fails on its first byte or its first word.
    if (size < 1 || !isLetter(data[0]))
        return false;
    const char *at = data;
    const char *const end = data + size;
    if (startsWith(data, size, "From ", 5)) { // an mbox's first separator line
        at = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
        if (!at)
            return false;
        ++at;
    }
    int known = 0, fields = 0;
    while (at < end) {
        const char *lineEnd = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
        const char *const next = lineEnd ? lineEnd + 1 : end;
        if (!lineEnd)
            lineEnd = end;
        if (lineEnd > at && lineEnd[-1] == '\r')
            --lineEnd;
        if (lineEnd == at) // the empty line after the headers
            return lineEnd < end && known >= 2;
        if (*at == ' ' || *at == '\t') {
            if (fields == 0)
                return false;
        } else {
            const char *name = at;
            while (name<lineEnd && * name> ' ' && *name < 127 && *name != ':')
                ++name;
            // A name, then a colon (RFC 5322 lets blanks stand before it).
            const char *colon = name;
            while (colon < lineEnd && (*colon == ' ' || *colon == '\t'))
                ++colon;
            if (name == at || colon == lineEnd || *colon != ':') {
                // The last line may be cut short by the end of the bytes looked at.
                return next == end && size >= kSniffBytes && known >= 2;
            }
            ++fields;
            if (isMailField(at, name - at))
                ++known;
        }
        at = next;
    }
    // No empty line: mail only when its headers run past the bytes looked at.
    return size >= kSniffBytes && known >= 2;
}

Container sniffArchive(const char *data, qsizetype size)
{
    const auto is = [&](const char *magic, qsizetype length) {
        return startsWith(data, size, magic, length);
    };
    const auto *u = reinterpret_cast<const unsigned char *>(data);
    if (is("PK\x03\x04", 4) || is("PK\x05\x06", 4) || is("PK\x07\x08", 4))
        return Container::Zip;
    if (is("\x1F\x8B", 2) || is("\x1F\x9D", 2) || // gzip, compress
        is("\xFD"
           "7zXZ\0",
           6) ||
        is("\x28\xB5\x2F\xFD", 4) || // xz, zstd
        is("\x04\x22\x4D\x18", 4) || // lz4
        is("7z\xBC\xAF\x27\x1C", 6) || is("Rar!\x1A\x07", 6) || is("MSCF\0\0\0\0", 8) ||
        is("070707", 6) || is("070701", 6) || is("070702", 6) || is("\xC7\x71", 2) ||
        is("\x71\xC7", 2))
        return Container::Archive;
    // bzip2: "BZh" and the block size, then a block's or the end's magic.
    if (size >= 10 && is("BZh", 3) && u[3] >= '1' && u[3] <= '9' &&
        (std::memcmp(data + 4, "\x31\x41\x59\x26\x53\x59", 6) == 0 ||
         std::memcmp(data + 4, "\x17\x72\x45\x38\x50\x90", 6) == 0))
        return Container::Archive;
    // lzma (the old .lzma form): properties below 225, a power-of-two-ish
    // dictionary, and a size that is known or "unknown" (all FF).
    if (size >= 13 && u[0] == 0x5D && u[1] == 0 && u[2] == 0 &&
        (std::memcmp(data + 5, "\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8) == 0 || u[12] == 0))
        return Container::Archive;
    // LZH: the header's size, its checksum, then the method "-lh?-" or "-lz?-".
    if (size >= 21 && u[2] == '-' && u[3] == 'l' && (u[4] == 'h' || u[4] == 'z') && u[6] == '-')
        return Container::Archive;
    // tar: "ustar" at 257 (POSIX "ustar\0", GNU "ustar  \0"), or old tar
    // told by its checksum alone.
    if (size >= 512 && (std::memcmp(data + 257, "ustar", 5) == 0 || isTarHeader(u)))
        return Container::Archive;
    // ISO 9660: the first volume descriptor's standard identifier.
    if (size >= kIsoSniffBytes && std::memcmp(data + kIso9660Mark, "CD001", 5) == 0)
        return Container::Archive;
    if (isSelfExtractingLzh(data, size) || isUdfImage(data, size))
        return Container::Archive;
    return Container::None;
}

bool isUdfImage(const char *data, qsizetype size)
{
    constexpr qsizetype kFirst = kIso9660Mark - 1, kStep = 2048;
    if (size < kFirst + 6 || std::memcmp(data + kFirst + 1, "CD001", 5) == 0)
        return false;
    for (qsizetype at = kFirst; at + 6 <= size && at < kFirst + 16 * kStep; at += kStep)
        if (std::memcmp(data + at + 1, "NSR02", 5) == 0 ||
            std::memcmp(data + at + 1, "NSR03", 5) == 0)
            return true;
    return false;
}

// Every file of a search with documents on comes here: a text file (nearly
// all of them) must cost next to nothing, so the scan for "%PDF-" skips to
// each '%' with memchr and compares only there.
Container sniff(const char *data, qsizetype size)
{
    if (startsWith(data, size, "PK\x03\x04", 4))
        return Container::Zip;
    if (startsWith(data, size, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
        return Container::Compound;
    if (startsWith(data, size, "{\\rtf", 5))
        return Container::Rtf;
    if (looksLikeMail(data, size < kSniffBytes ? size : kSniffBytes))
        return Container::Mail;
    constexpr qsizetype kPdfMagic = 5; // "%PDF-"
    const char *const end = data + (size < kSniffBytes ? size : kSniffBytes);
    for (const char *at = data; end - at >= kPdfMagic; ++at) {
        at = static_cast<const char *>(std::memchr(at, '%', size_t(end - at - kPdfMagic + 1)));
        if (!at)
            break;
        if (std::memcmp(at + 1, "PDF-", 4) == 0)
            return Container::Pdf;
    }
    return Container::None;
}

bool isZipEndAt(const char *data, qsizetype size, qsizetype at)
{
    const auto *u = reinterpret_cast<const unsigned char *>(data);
    constexpr qsizetype kRecord = 22;
    return at >= 0 && at + kRecord <= size && u[at] == 'P' && u[at + 1] == 'K' && u[at + 2] == 5 &&
           u[at + 3] == 6 && at + kRecord + qsizetype(u[at + 20] | u[at + 21] << 8) == size;
}

bool zipAtEnd(const char *tail, qsizetype size, qint64 fileSize)
{
    const auto *u = reinterpret_cast<const unsigned char *>(tail);
    const auto u16 = [u](qsizetype at) { return quint32(u[at] | u[at + 1] << 8); };
    const auto u32 = [&](qsizetype at) { return u16(at) | u16(at + 2) << 16; };
    constexpr qsizetype kRecord = 22;
    // From the end back: most programs' zips have no comment.
    for (qsizetype at = size - kRecord; at >= 0 && at >= size - kZipTailBytes; --at) {
        if (!isZipEndAt(tail, size, at))
            continue;
        const quint32 entries = u16(at + 10);
        const quint32 directory = u32(at + 12); // its size
        const quint32 offset = u32(at + 16);    // from the zip's start, or the file's
        // One disk; the comment ends the file; the directory holds its
        // entries (46 bytes each at least) and ends before this record,
        // whether its offset counts from the file's start (zip -A adjusted
        // it) or from the zip's, which is further in.
        const qint64 record = fileSize - size + at;
        if (u16(at + 4) == 0 && u16(at + 6) == 0 && u16(at + 8) == entries && entries > 0 &&
            directory >= 46 * entries && qint64(offset) + qint64(directory) <= record)
            return true;
    }
    return false;
}

} // namespace documents
