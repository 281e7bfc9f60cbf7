// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The plain way to decide a match in every encoding mode, kept as the oracle
// for the engine and written apart from it: decide the file's encoding from
// its bytes, decode the whole text into code points (each decoding error is
// kError, which is no character), split lines by the mode's rule and look for
// every word in each line.

#include "text/Cp932.h"
#include "text/Fold.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

namespace reference {

enum class Mode { Cp932, Utf8, Auto };
enum class Kind { Cp932, Utf8, Utf16LE, Utf16BE };

constexpr char32_t kError = 0xFFFFFFFF;

// The WHATWG Encoding Standard's UTF-8 decoder, step by step as it is written.
inline std::u32string decodeUtf8(const QByteArray &bytes, qsizetype from, bool *valid = nullptr)
{
    std::u32string out;
    char32_t cp = 0;
    int seen = 0, needed = 0;
    unsigned lower = 0x80, upper = 0xBF;
    bool ok = true;
    qsizetype i = from;
    while (i < bytes.size()) {
        const unsigned b = static_cast<unsigned char>(bytes[i]);
        if (needed == 0) {
            ++i;
            if (b <= 0x7F) {
                out += char32_t(b);
            } else if (b >= 0xC2 && b <= 0xDF) {
                needed = 1;
                cp = b & 0x1F;
            } else if (b >= 0xE0 && b <= 0xEF) {
                if (b == 0xE0)
                    lower = 0xA0;
                if (b == 0xED)
                    upper = 0x9F;
                needed = 2;
                cp = b & 0xF;
            } else if (b >= 0xF0 && b <= 0xF4) {
                if (b == 0xF0)
                    lower = 0x90;
                if (b == 0xF4)
                    upper = 0x8F;
                needed = 3;
                cp = b & 0x7;
            } else {
                out += kError;
                ok = false;
            }
            continue;
        }
        if (b < lower || b > upper) {
            cp = 0;
            needed = seen = 0;
            lower = 0x80;
            upper = 0xBF;
            out += kError; // the byte is read again ("prepended to the stream")
            ok = false;
            continue;
        }
        ++i;
        lower = 0x80;
        upper = 0xBF;
        cp = (cp << 6) | (b & 0x3F);
        if (++seen == needed) {
            out += cp;
            cp = 0;
            needed = seen = 0;
        }
    }
    if (needed != 0) {
        out += kError;
        ok = false;
    }
    if (valid)
        *valid = ok;
    return out;
}

inline std::u32string decodeUtf16(const QByteArray &bytes, qsizetype from, bool bigEndian)
{
    std::u32string out;
    auto unit = [&](qsizetype i) {
        const unsigned a = static_cast<unsigned char>(bytes[i]);
        const unsigned b = static_cast<unsigned char>(bytes[i + 1]);
        return char32_t(bigEndian ? (a << 8 | b) : (b << 8 | a));
    };
    qsizetype i = from;
    for (; i + 1 < bytes.size(); i += 2) {
        const char32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size() && unit(i + 2) >= 0xDC00 &&
            unit(i + 2) <= 0xDFFF) {
            out += 0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out += kError;
        } else {
            out += u;
        }
    }
    if (i < bytes.size())
        out += kError;
    return out;
}

inline Kind kindOf(Mode mode, const QByteArray &b)
{
    if (mode == Mode::Cp932)
        return Kind::Cp932;
    if (mode == Mode::Utf8 || b.startsWith("\xEF\xBB\xBF"))
        return Kind::Utf8;
    if (b.startsWith("\xFF\xFE"))
        return Kind::Utf16LE;
    if (b.startsWith("\xFE\xFF"))
        return Kind::Utf16BE;
    bool valid = false;
    decodeUtf8(b, 0, &valid);
    return valid ? Kind::Utf8 : Kind::Cp932;
}

// The words as code points; false when a word holds a lone surrogate (no
// decoder ever gives one, so it never matches).
inline bool wordPoints(const QStringList &words, std::vector<std::u32string> &out)
{
    for (const QString &w : words) {
        std::u32string points;
        for (qsizetype i = 0; i < w.size(); ++i) {
            const QChar c = w[i];
            if (c.isHighSurrogate() && i + 1 < w.size() && w[i + 1].isLowSurrogate()) {
                points += QChar::surrogateToUcs4(c, w[i + 1]);
                ++i;
            } else if (c.isSurrogate()) {
                return false;
            } else {
                points += c.unicode();
            }
        }
        out.push_back(points);
    }
    return true;
}

inline bool lineHolds(const std::u32string &line, const std::vector<std::u32string> &words)
{
    for (const std::u32string &w : words) {
        if (line.find(w) == std::u32string::npos)
            return false;
    }
    return true;
}

// The line and the words folded as whole texts (a decoding error as a lone
// surrogate, which no folded word holds).
inline std::u32string foldPoints(const std::u32string &points, textfold::Folds folds)
{
    QString text;
    for (const char32_t c : points) {
        if (c == kError)
            text += QChar(0xDFFF);
        else
            text += QString::fromUcs4(&c, 1);
    }
    const QString f = textfold::folded(text, folds);
    std::u32string out;
    for (qsizetype i = 0; i < f.size(); ++i) {
        if (f[i].isHighSurrogate() && i + 1 < f.size() && f[i + 1].isLowSurrogate()) {
            out += QChar::surrogateToUcs4(f[i], f[i + 1]);
            ++i;
        } else {
            out += f[i].isSurrogate() ? kError : char32_t(f[i].unicode());
        }
    }
    return out;
}

inline bool matches(Mode mode, const QByteArray &bytes, const QStringList &words,
                    textfold::Folds folds = {})
{
    std::vector<std::u32string> points;
    if (!wordPoints(words, points) || points.empty())
        return false;
    const auto lineHolds = [&](const std::u32string &line, std::vector<std::u32string> &words) {
        if (!folds.any())
            return reference::lineHolds(line, words);
        return reference::lineHolds(foldPoints(line, folds), words);
    };
    if (folds.any()) {
        for (std::u32string &w : points)
            w = foldPoints(w, folds);
    }
    const Kind kind = kindOf(mode, bytes);
    if (kind == Kind::Cp932) {
        // Lines split on raw bytes (LF too, except in cp932 mode), each decoded
        // with fresh state.
        const bool lf = mode != Mode::Cp932;
        qsizetype start = 0;
        for (;;) {
            qsizetype end = start;
            while (end < bytes.size() && bytes[end] != '\r' && !(lf && bytes[end] == '\n'))
                ++end;
            const QString text = cp932::decode(bytes.constData() + start, end - start);
            std::u32string line;
            for (QChar c : text)
                line += c.unicode();
            if (lineHolds(line, points))
                return true;
            if (end == bytes.size())
                return false;
            start = end + 1;
            if (bytes[end] == '\r' && start < bytes.size() && bytes[start] == '\n')
                start += 1;
        }
    }
    std::u32string text;
    if (kind == Kind::Utf8)
        text = decodeUtf8(bytes, bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0);
    else
        text = decodeUtf16(bytes, 2, kind == Kind::Utf16BE);
    std::u32string line;
    for (char32_t c : text) {
        if (c == U'\r' || c == U'\n') {
            if (lineHolds(line, points))
                return true;
            line.clear();
        } else {
            line += c;
        }
    }
    return lineHolds(line, points);
}

} // namespace reference
