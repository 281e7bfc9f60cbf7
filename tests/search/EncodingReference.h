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
#include "text/JisEncodings.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <string>

namespace reference {

enum class Mode { Cp932, Utf8, Auto, EucJp };
enum class Kind { Cp932, Utf8, Utf16LE, Utf16BE, EucJp, Iso2022Jp };

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

// A JIS X 0208 character by its row and cell from 1 (kError where there is
// none): the Shift_JIS bytes of that row and cell, read as code page 932.
inline char32_t jis0208(int row, int cell)
{
    const int lead = row <= 62 ? 0x81 + (row - 1) / 2 : 0xE0 + (row - 63) / 2;
    const int trail = row % 2 ? (cell <= 63 ? 0x3F + cell : 0x40 + cell) : 0x9E + cell;
    const char bytes[2] = {char(lead), char(trail)};
    const QString s = cp932::decode(bytes, 2);
    if (s.size() != 1 || (s[0] == QChar(0x30FB) && !(row == 1 && cell == 6)))
        return kError;
    return s[0].unicode();
}

// The WHATWG Encoding Standard's EUC-JP decoder step by step, with the
// tables above, except that any byte that cannot continue the sequence it
// breaks (outside A1-FE, or outside A1-DF after 8E) is read again, not only
// an ASCII byte.
inline std::u32string decodeEucJp(const QByteArray &bytes, bool *valid = nullptr)
{
    std::u32string out;
    unsigned lead = 0;
    bool x0212 = false;
    bool ok = true;
    auto error = [&] {
        out += kError;
        ok = false;
    };
    for (qsizetype i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size()) { // end of stream
            if (lead != 0)
                error();
            break;
        }
        const unsigned b = static_cast<unsigned char>(bytes[i]);
        if (lead == 0x8E && b >= 0xA1 && b <= 0xDF) {
            lead = 0;
            out += char32_t(0xFF61 - 0xA1 + b);
            continue;
        }
        if (lead == 0x8F && b >= 0xA1 && b <= 0xFE) {
            x0212 = true;
            lead = b;
            continue;
        }
        if (lead != 0) {
            const unsigned l = lead;
            lead = 0;
            char32_t cp = kError;
            if (l >= 0xA1 && l <= 0xFE && b >= 0xA1 && b <= 0xFE) {
                if (x0212) {
                    const char16_t c = jis::jis0212(int(l - 0xA1), int(b - 0xA1));
                    cp = c ? char32_t(c) : kError;
                } else {
                    cp = jis0208(int(l - 0xA0), int(b - 0xA0));
                }
            }
            x0212 = false;
            if (cp != kError) {
                out += cp;
                continue;
            }
            error();
            if (b < 0xA1 || b == 0xFF || l == 0x8E)
                --i; // prepended to the stream
            continue;
        }
        if (b <= 0x7F)
            out += char32_t(b);
        else if (b == 0x8E || b == 0x8F || (b >= 0xA1 && b <= 0xFE))
            lead = b;
        else
            error();
    }
    if (valid)
        *valid = ok;
    return out;
}

// ISO-2022-JP: the sets and their escape sequences (any other ESC is one
// error), controls as themselves in every set, ASCII again after CR or LF but in Roman
// (JisEncodings.h).
inline std::u32string decodeIso2022Jp(const QByteArray &bytes)
{
    enum { Ascii, Roman, Jis, Kana, Jis0212 } set = Ascii;
    std::u32string out;
    int lead = -1;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const unsigned b = static_cast<unsigned char>(bytes[i]);
        if (b == 0x1B) {
            if (lead >= 0) {
                out += kError;
                lead = -1;
            }
            const QByteArray after = bytes.mid(i + 1, 3);
            int length = 3;
            if (after.startsWith("$B") || after.startsWith("$@"))
                set = Jis;
            else if (after.startsWith("(B"))
                set = Ascii;
            else if (after.startsWith("(J"))
                set = Roman;
            else if (after.startsWith("(I"))
                set = Kana;
            else if (after == "$(D")
                set = Jis0212, length = 4;
            else
                out += kError, length = 1; // ESC alone; what follows is text
            i += length;
            continue;
        }
        ++i;
        if (lead >= 0) {
            const int l = lead;
            lead = -1;
            if (b >= 0x21 && b <= 0x7E) {
                if (set == Jis0212) {
                    const char16_t c = jis::jis0212(l - 0x21, int(b) - 0x21);
                    out += c ? char32_t(c) : kError;
                } else {
                    out += jis0208(l - 0x20, int(b) - 0x20);
                }
                continue;
            }
            out += kError;
        }
        if (b >= 0x80) {
            out += kError;
        } else if (b <= 0x20 || b == 0x7F || set == Ascii) {
            out += char32_t(b);
            if ((b == '\r' || b == '\n') && set != Roman)
                set = Ascii; // a line starts in ASCII, or Roman
        } else if (set == Roman) {
            out += b == 0x5C ? U'\u00A5' : b == 0x7E ? U'\u203E' : char32_t(b);
        } else if (set == Kana) {
            out += b <= 0x5F ? char32_t(0xFF61 - 0x21 + b) : kError;
        } else {
            lead = int(b);
        }
    }
    if (lead >= 0)
        out += kError;
    return out;
}

inline bool looksIso2022Jp(const QByteArray &b)
{
    for (char c : b) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    for (const char *d : {"\x1B$B", "\x1B$@", "\x1B(B", "\x1B(J", "\x1B(I"}) {
        if (b.contains(d))
            return true;
    }
    return false;
}

// Bytes valid as EUC-JP that are EUC-JP rather than code page 932
// half-width katakana: with a byte 8E, 8F or from E0 up; else when, taking
// each run of bytes from 80 up as pairs, more pairs start with A1-A5 than
// with A6-AF or D0-DF.
inline bool eucJpOverHalfWidth(const QByteArray &b)
{
    int kana = 0, rare = 0;
    qsizetype run = 0; // bytes from 80 up before this one, since the last byte below
    for (const char c : b) {
        const unsigned u = static_cast<unsigned char>(c);
        if (u >= 0xE0 || u == 0x8E || u == 0x8F)
            return true;
        if (u < 0x80) {
            run = 0;
            continue;
        }
        if (run++ % 2 == 0) {
            kana += u >= 0xA1 && u <= 0xA5;
            rare += (u >= 0xA6 && u <= 0xAF) || u >= 0xD0;
        }
    }
    return kana > rare;
}

inline Kind kindOf(Mode mode, const QByteArray &b)
{
    if (mode == Mode::Cp932)
        return Kind::Cp932;
    if (mode == Mode::EucJp)
        return Kind::EucJp;
    if (mode == Mode::Utf8 || b.startsWith("\xEF\xBB\xBF"))
        return Kind::Utf8;
    if (b.startsWith("\xFF\xFE"))
        return Kind::Utf16LE;
    if (b.startsWith("\xFE\xFF"))
        return Kind::Utf16BE;
    if (looksIso2022Jp(b))
        return Kind::Iso2022Jp;
    bool valid = false;
    decodeUtf8(b, 0, &valid);
    if (valid)
        return Kind::Utf8;
    decodeEucJp(b, &valid);
    return valid && eucJpOverHalfWidth(b) ? Kind::EucJp : Kind::Cp932;
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
    else if (kind == Kind::EucJp)
        text = decodeEucJp(bytes);
    else if (kind == Kind::Iso2022Jp)
        text = decodeIso2022Jp(bytes);
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
