// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "TextEncoding.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

constexpr quint64 kHighBits = 0x8080808080808080ULL;

// The start of a sequence: how many continuation bytes follow (-1: the byte
// cannot start one) and the range the first of them must lie in.
int sequenceStart(unsigned char b, unsigned char &lower, unsigned char &upper)
{
    lower = 0x80;
    upper = 0xBF;
    if (b >= 0xC2 && b <= 0xDF)
        return 1;
    if (b >= 0xE0 && b <= 0xEF) {
        if (b == 0xE0)
            lower = 0xA0;
        else if (b == 0xED)
            upper = 0x9F;
        return 2;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (b == 0xF0)
            lower = 0x90;
        else if (b == 0xF4)
            upper = 0x8F;
        return 3;
    }
    return -1;
}

} // namespace

QString encodingModeName(EncodingMode mode)
{
    switch (mode) {
    case EncodingMode::Utf8:
        return QStringLiteral("utf-8");
    case EncodingMode::Auto:
        return QStringLiteral("auto");
    case EncodingMode::Cp932:
        break;
    }
    return QStringLiteral("cp932");
}

bool parseEncodingMode(QStringView name, EncodingMode &mode)
{
    for (EncodingMode m : {EncodingMode::Cp932, EncodingMode::Utf8, EncodingMode::Auto}) {
        if (name == encodingModeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}

bool decideByMark(EncodingMode mode, const char *data, qsizetype size, FileDecision &decision)
{
    const auto *b = reinterpret_cast<const unsigned char *>(data);
    const bool utf8Mark = size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
    switch (mode) {
    case EncodingMode::Cp932:
        decision = {FileEncoding::Cp932, 0};
        return true;
    case EncodingMode::Utf8:
        decision = {FileEncoding::Utf8, utf8Mark ? 3 : 0};
        return true;
    case EncodingMode::Auto:
        break;
    }
    if (utf8Mark) {
        decision = {FileEncoding::Utf8, 3};
        return true;
    }
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        decision = {FileEncoding::Utf16LE, 2};
        return true;
    }
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        decision = {FileEncoding::Utf16BE, 2};
        return true;
    }
    return false;
}

FileDecision decideEncoding(EncodingMode mode, const char *data, qsizetype size)
{
    FileDecision decision;
    if (decideByMark(mode, data, size, decision))
        return decision;
    Utf8Validator validator;
    validator.feed(data, size);
    decision.encoding = validator.finish() ? FileEncoding::Utf8 : FileEncoding::Cp932;
    decision.markSize = 0;
    return decision;
}

bool Utf8Validator::feed(const char *data, qsizetype size)
{
    if (!m_valid)
        return false;
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *e = p + size;
    int needed = m_needed;
    unsigned char lower = m_lower, upper = m_upper;
    while (p < e) {
        if (needed == 0) {
            // Plain ASCII eight bytes at a time.
            while (e - p >= 8) {
                quint64 w;
                std::memcpy(&w, p, 8);
                if (w & kHighBits)
                    break;
                p += 8;
            }
            if (p == e)
                break;
            const unsigned char b = *p;
            if (b < 0x80) {
                ++p;
                continue;
            }
            // The common whole sequences at once: two bytes, and three bytes
            // with a lead that takes any continuation (most of CJK).
            if (b >= 0xC2 && b <= 0xDF && e - p >= 2 && (p[1] & 0xC0) == 0x80) {
                p += 2;
                continue;
            }
            if (b >= 0xE1 && b <= 0xEF && b != 0xED && e - p >= 3 && (p[1] & 0xC0) == 0x80 &&
                (p[2] & 0xC0) == 0x80) {
                p += 3;
                continue;
            }
            ++p;
            needed = sequenceStart(b, lower, upper);
            if (needed < 0) {
                m_valid = false;
                return false;
            }
            continue;
        }
        const unsigned char b = *p++;
        if (b < lower || b > upper) {
            m_valid = false;
            return false;
        }
        lower = 0x80;
        upper = 0xBF;
        --needed;
    }
    m_needed = needed;
    m_lower = lower;
    m_upper = upper;
    return true;
}

void appendUtf8(const char *data, qsizetype size, QString &out, char16_t replacement)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const auto *e = p + size;
    out.reserve(out.size() + size);
    char32_t cp = 0;
    int needed = 0;
    unsigned char lower = 0x80, upper = 0xBF;
    while (p < e) {
        const unsigned char b = *p;
        if (needed == 0) {
            ++p;
            if (b < 0x80) {
                out += QChar(b);
                continue;
            }
            needed = sequenceStart(b, lower, upper);
            if (needed < 0) {
                needed = 0;
                out += QChar(replacement);
                continue;
            }
            cp = b & (0x3F >> needed);
            continue;
        }
        if (b < lower || b > upper) {
            // The sequence so far is one error; b starts afresh (not consumed).
            needed = 0;
            lower = 0x80;
            upper = 0xBF;
            out += QChar(replacement);
            continue;
        }
        ++p;
        lower = 0x80;
        upper = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        if (--needed == 0) {
            if (cp >= 0x10000) {
                out += QChar(QChar::highSurrogate(cp));
                out += QChar(QChar::lowSurrogate(cp));
            } else {
                out += QChar(char16_t(cp));
            }
        }
    }
    if (needed != 0)
        out += QChar(replacement);
}

void appendUtf16(const char *data, qsizetype size, bool bigEndian, QString &out,
                 char16_t replacement)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const qsizetype units = size / 2;
    out.reserve(out.size() + units + 1);
    auto unit = [&](qsizetype i) {
        const unsigned char a = p[2 * i], b = p[2 * i + 1];
        return char16_t(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t u = unit(i);
        if (QChar::isHighSurrogate(u) && i + 1 < units && QChar::isLowSurrogate(unit(i + 1))) {
            out += QChar(u);
            out += QChar(unit(++i));
        } else if (QChar::isSurrogate(u)) {
            out += QChar(replacement);
        } else {
            out += QChar(u);
        }
    }
    if (size % 2)
        out += QChar(replacement);
}

QString decodeUnicodeFile(const FileDecision &decision, const char *data, qsizetype size)
{
    QString text;
    const qsizetype mark = std::min(decision.markSize, size);
    data += mark;
    size -= mark;
    switch (decision.encoding) {
    case FileEncoding::Utf8:
        appendUtf8(data, size, text);
        break;
    case FileEncoding::Utf16LE:
    case FileEncoding::Utf16BE:
        appendUtf16(data, size, decision.encoding == FileEncoding::Utf16BE, text);
        break;
    case FileEncoding::Cp932:
        break;
    }
    return text;
}

} // namespace platform
