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

} // namespace documents
