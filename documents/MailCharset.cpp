// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/MailCharset.h"

#include "text/AsciiRun.h"
#include "text/Cp932.h"
#include "text/EncodingMode.h"
#include "text/Unicode.h"

#include <QByteArray>
#include <QStringDecoder>

#include <array>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace documents::mail {

namespace {

// No charset name is this long; a longer one is taken for none.
constexpr qsizetype kMaxCharsetName = 64;

enum class Charset { Auto, Jis, Cp932, EucJp, Utf8, Other };

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

QByteArray normalName(QByteArrayView name)
{
    name = name.trimmed();
    while (!name.isEmpty() && (name.front() == '"' || name.front() == '\''))
        name = name.sliced(1);
    while (!name.isEmpty() && (name.back() == '"' || name.back() == '\''))
        name.chop(1);
    if (name.size() > kMaxCharsetName)
        return {};
    QByteArray out(name.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < name.size(); ++i)
        out[i] = lower(name[i]);
    return out;
}

Charset charsetOf(const QByteArray &name)
{
    using namespace std::string_view_literals;
    static constexpr std::array kJis = {"iso-2022-jp"sv,   "iso-2022-jp-1"sv,  "iso-2022-jp-2"sv,
                                        "iso-2022-jp-3"sv, "iso-2022-jp-ms"sv, "csiso2022jp"sv,
                                        "cp50220"sv,       "cp50221"sv,        "cp50222"sv};
    static constexpr std::array kCp932 = {"shift_jis"sv,  "shift-jis"sv,    "sjis"sv,
                                          "x-sjis"sv,     "windows-31j"sv,  "cp932"sv,
                                          "ms932"sv,      "ms_kanji"sv,     "csshiftjis"sv,
                                          "x-ms-cp932"sv, "cswindows31j"sv, "windows-932"sv};
    static constexpr std::array kEuc = {"euc-jp"sv,   "x-euc-jp"sv,           "eucjp"sv,
                                        "eucjp-ms"sv, "euc-jp-ms"sv,          "cp51932"sv,
                                        "x-euc"sv,    "cseucpkdfmtjapanese"sv};
    const std::string_view n(name.constData(), size_t(name.size()));
    if (n.empty() || n == "us-ascii" || n == "ascii" || n == "unknown-8bit" || n == "x-unknown" ||
        n == "default")
        return Charset::Auto;
    for (std::string_view jis : kJis)
        if (n == jis)
            return Charset::Jis;
    for (std::string_view cp : kCp932)
        if (n == cp)
            return Charset::Cp932;
    for (std::string_view euc : kEuc)
        if (n == euc)
            return Charset::EucJp;
    if (n == "utf-8" || n == "utf8")
        return Charset::Utf8;
    return Charset::Other;
}

bool isSevenBit(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    return asciirun::skip(p, p + bytes.size()) == p + bytes.size();
}

bool isUtf8(QByteArrayView bytes)
{
    platform::Utf8Validator validator;
    validator.feed(bytes.data(), bytes.size());
    return validator.finish();
}

// Code page 932 bytes, their line ends kept (a lead byte never takes a line
// end for its trail byte).
void appendCp932(QByteArrayView bytes, QString &out)
{
    cp932::appendDecodedLines(bytes.data(), bytes.size(), out);
}

// A JIS X 0212 code, through ICU's EUC-JP (code page 932 has no such plane).
void appendJisX0212(uchar c1, uchar c2, QString &out)
{
    const char bytes[3] = {char(0x8F), char(c1 | 0x80), char(c2 | 0x80)};
    QStringDecoder decoder("EUC-JP");
    const QString text = decoder.isValid() ? decoder.decode(QByteArrayView(bytes, 3)) : QString();
    out += text.isEmpty() || decoder.hasError() ? QString(QChar(0xFFFD)) : text;
}

// Text that collects code page 932 bytes and decodes them when something
// else comes between. Each input byte gives at most one byte here.
class Cp932Builder {
public:
    explicit Cp932Builder(qsizetype size) : m_bytes(size, Qt::Uninitialized), m_at(m_bytes.data())
    {
        m_out.reserve(size);
    }
    void byte(char c) { *m_at++ = c; }
    void bytes(const char *from, qsizetype size)
    {
        std::memcpy(m_at, from, size_t(size));
        m_at += size;
    }
    void pair(uchar c1, uchar c2)
    {
        *m_at++ = char(((c1 + 1) >> 1) + (c1 <= 0x5E ? 0x70 : 0xB0));
        *m_at++ = char(c2 + ((c1 & 1) ? (c2 >= 0x60 ? 0x20 : 0x1F) : 0x7E));
    }
    QString &text()
    {
        flush();
        return m_out;
    }
    QString take() { return std::move(text()); }

private:
    void flush()
    {
        appendCp932(QByteArrayView(m_bytes.constData(), m_at - m_bytes.constData()), m_out);
        m_at = m_bytes.data();
    }
    QByteArray m_bytes;
    char *m_at;
    QString m_out;
};

// Where an ISO-2022-JP run of single bytes ends: the first ESC, SO or SI from
// p on, or end. Sixteen bytes at a time where SSE2 is.
const char *singleByteRunEnd(const char *p, const char *end)
{
#if defined(__SSE2__)
    const __m128i escape = _mm_set1_epi8(0x1B);
    const __m128i shift = _mm_set1_epi8(0x0F); // SO (0E) and SI (0F) with their low bit set
    const __m128i low = _mm_set1_epi8(0x01);
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit =
            _mm_or_si128(_mm_cmpeq_epi8(v, escape), _mm_cmpeq_epi8(_mm_or_si128(v, low), shift));
        if (const int mask = _mm_movemask_epi8(hit))
            return p + __builtin_ctz(unsigned(mask));
    }
#endif
    while (p < end && *p != 0x1B && *p != 0x0E && *p != 0x0F)
        ++p;
    return p;
}

QString decodeIso2022Jp(QByteArrayView b)
{
    enum State { Ascii, Roman, Kanji, Kana, Supplement };
    State state = Ascii, shifted = Ascii;
    Cp932Builder out(b.size());
    const qsizetype n = b.size();
    const auto graphic = [](uchar c) { return c >= 0x21 && c <= 0x7E; };
    for (qsizetype i = 0; i < n; ++i) {
        // The runs most text is made of, taken whole; what ends a run is
        // read below.
        if (state == Ascii) {
            const qsizetype from = i;
            i = singleByteRunEnd(b.data() + i, b.data() + n) - b.data();
            out.bytes(b.data() + from, i - from);
        } else if (state == Kanji) {
            for (; i + 1 < n && graphic(uchar(b[i])) && graphic(uchar(b[i + 1])); i += 2)
                out.pair(uchar(b[i]), uchar(b[i + 1]));
        }
        if (i == n)
            break;
        const uchar c = uchar(b[i]);
        if (c == 0x1B && i + 2 < n) {
            const char x = b[i + 1], y = b[i + 2];
            if (x == '(' && (y == 'B' || y == 'J' || y == 'I')) {
                state = y == 'B' ? Ascii : y == 'J' ? Roman : Kana;
                i += 2;
                continue;
            }
            if (x == '$' && (y == '@' || y == 'B')) {
                state = Kanji;
                i += 2;
                continue;
            }
            if (x == '$' && y == '(' && i + 3 < n &&
                (b[i + 3] == 'D' || b[i + 3] == 'Q' || b[i + 3] == 'O' || b[i + 3] == 'B')) {
                state = b[i + 3] == 'D' ? Supplement : Kanji;
                i += 3;
                continue;
            }
        }
        if (c == 0x0E) { // shift out: half-width katakana until shift in
            shifted = state;
            state = Kana;
            continue;
        }
        if (c == 0x0F) {
            state = shifted;
            continue;
        }
        const bool pairs = graphic(c) && i + 1 < n && graphic(uchar(b[i + 1]));
        if (state == Kanji && pairs) {
            out.pair(c, uchar(b[++i]));
        } else if (state == Supplement && pairs) {
            appendJisX0212(c, uchar(b[i + 1]), out.text());
            ++i;
        } else if (state == Kana && c >= 0x21 && c <= 0x5F) {
            out.byte(char(c + 0x80));
        } else if (state == Roman && (c == 0x5C || c == 0x7E)) {
            out.text().append(QChar(c == 0x5C ? 0x00A5 : 0x203E));
        } else {
            out.byte(char(c));
        }
    }
    return out.take();
}

QString decodeEucJp(QByteArrayView b)
{
    Cp932Builder out(b.size());
    const qsizetype n = b.size();
    const auto high = [&](qsizetype at) {
        return at < n && uchar(b[at]) >= 0xA1 && uchar(b[at]) <= 0xFE;
    };
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(b[i]);
        if (c < 0x80) {
            out.byte(char(c));
        } else if (c == 0x8E && i + 1 < n && uchar(b[i + 1]) >= 0xA1 && uchar(b[i + 1]) <= 0xDF) {
            out.byte(b[++i]);
        } else if (c == 0x8F && high(i + 1) && high(i + 2)) {
            appendJisX0212(uchar(b[i + 1]) & 0x7F, uchar(b[i + 2]) & 0x7F, out.text());
            i += 2;
        } else if (c >= 0xA1 && c <= 0xFE && high(i + 1)) {
            out.pair(c & 0x7F, uchar(b[++i]) & 0x7F);
        } else {
            out.text().append(QChar(0xFFFD));
        }
    }
    return out.take();
}

bool hasJisEscape(QByteArrayView bytes)
{
    for (qsizetype at = bytes.indexOf('\x1B'); at >= 0; at = bytes.indexOf('\x1B', at + 1)) {
        const QByteArrayView next = bytes.sliced(at + 1);
        if (next.startsWith("$B") || next.startsWith("$@") || next.startsWith("(I"))
            return true;
    }
    return false;
}

QString decodeAuto(QByteArrayView bytes)
{
    if (isSevenBit(bytes)) {
        if (hasJisEscape(bytes))
            return decodeIso2022Jp(bytes);
        return QString::fromLatin1(bytes);
    }
    const platform::FileDecision decision =
        platform::decideEncoding(platform::EncodingMode::Auto, bytes.data(), bytes.size());
    if (decision.encoding != platform::FileEncoding::Cp932)
        return platform::decodeUnicodeFile(decision, bytes.data(), bytes.size());
    QString out;
    out.reserve(bytes.size());
    appendCp932(bytes, out);
    return out;
}

} // namespace

bool readsAsUtf8(QByteArrayView bytes, QByteArrayView charsetName)
{
    return charsetOf(normalName(charsetName)) == Charset::Utf8 && isUtf8(bytes);
}

QString decodeCharset(QByteArrayView bytes, QByteArrayView charsetName)
{
    const QByteArray name = normalName(charsetName);
    switch (charsetOf(name)) {
    case Charset::Auto:
        break;
    case Charset::Jis:
        if (isSevenBit(bytes))
            return decodeIso2022Jp(bytes);
        break;
    case Charset::Cp932: {
        QString out;
        out.reserve(bytes.size());
        appendCp932(bytes, out);
        return out;
    }
    case Charset::EucJp:
        if (!hasJisEscape(bytes))
            return decodeEucJp(bytes);
        break;
    case Charset::Utf8:
        if (isUtf8(bytes)) {
            QString out;
            out.reserve(bytes.size());
            platform::appendUtf8(bytes.data(), bytes.size(), out);
            return out;
        }
        break;
    case Charset::Other: {
        QStringDecoder decoder(name.constData());
        if (decoder.isValid())
            return decoder.decode(bytes);
        break;
    }
    }
    return decodeAuto(bytes);
}

QByteArray decodeBase64(QByteArrayView bytes)
{
    static constexpr auto kValues = [] {
        std::array<signed char, 256> values{};
        values.fill(-1);
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        for (int i = 0; i < 64; ++i)
            values[uchar(alphabet[i])] = static_cast<signed char>(i);
        return values;
    }();
    QByteArray out(bytes.size() / 4 * 3 + 3, Qt::Uninitialized);
    char *to = out.data();
    quint32 bits = 0;
    int count = 0;
    const char *from = bytes.data();
    const char *const end = from + bytes.size();
    // Whole groups of four valid letters at once, between groups (all of a
    // line but its end); anything else one letter at a time below.
    for (;;) {
        while (count == 0 && end - from >= 4) {
            const int a = kValues[uchar(from[0])], b = kValues[uchar(from[1])],
                      c = kValues[uchar(from[2])], d = kValues[uchar(from[3])];
            if ((a | b | c | d) < 0)
                break;
            const quint32 group =
                quint32(a) << 18 | quint32(b) << 12 | quint32(c) << 6 | quint32(d);
            to[0] = char(group >> 16);
            to[1] = char(group >> 8);
            to[2] = char(group);
            to += 3;
            from += 4;
        }
        if (from == end)
            break;
        const char c = *from++;
        if (c == '=')
            break;
        const int value = kValues[uchar(c)];
        if (value < 0)
            continue;
        bits = (bits << 6) | quint32(value);
        if (++count == 4) {
            *to++ = char(bits >> 16);
            *to++ = char(bits >> 8);
            *to++ = char(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count >= 2) {
        bits <<= 6 * (4 - count);
        *to++ = char(bits >> 16);
        if (count == 3)
            *to++ = char(bits >> 8);
    }
    out.truncate(to - out.data());
    return out;
}

QByteArray decodeQuotedPrintable(QByteArrayView bytes, bool header)
{
    static constexpr auto kHex = [] {
        std::array<signed char, 256> values{};
        values.fill(-1);
        for (int i = 0; i < 10; ++i)
            values['0' + i] = static_cast<signed char>(i);
        for (int i = 0; i < 6; ++i)
            values['a' + i] = values['A' + i] = static_cast<signed char>(10 + i);
        return values;
    }();
    const auto hex = [](char c) { return int(kHex[uchar(c)]); };
    QByteArray out(bytes.size(), Qt::Uninitialized);
    char *to = out.data();
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (!header && bytes[i] != '=') { // the run up to the next '=' as it is
            const void *equals = std::memchr(bytes.data() + i, '=', size_t(n - i));
            const qsizetype stop = equals ? static_cast<const char *>(equals) - bytes.data() : n;
            std::memcpy(to, bytes.data() + i, size_t(stop - i));
            to += stop - i;
            i = stop;
            if (i == n)
                break;
        }
        const char c = bytes[i];
        if (c == '_' && header) {
            *to++ = ' ';
            continue;
        }
        if (c != '=') {
            *to++ = c;
            continue;
        }
        if (i + 2 < n && hex(bytes[i + 1]) >= 0 && hex(bytes[i + 2]) >= 0) {
            *to++ = char(hex(bytes[i + 1]) * 16 + hex(bytes[i + 2]));
            i += 2;
            continue;
        }
        // A soft line break: '=', perhaps blanks, then the line's end.
        qsizetype j = i + 1;
        while (j < n && (bytes[j] == ' ' || bytes[j] == '\t'))
            ++j;
        if (j < n && (bytes[j] == '\r' || bytes[j] == '\n')) {
            i = (bytes[j] == '\r' && j + 1 < n && bytes[j + 1] == '\n') ? j + 1 : j;
            continue;
        }
        if (j == n) {
            i = j;
            continue;
        }
        *to++ = c;
    }
    out.truncate(to - out.data());
    return out;
}

QString decodeHeader(QByteArrayView value)
{
    // Unfolded: a line end inside a field is dropped, its blanks kept.
    QByteArray bytes(value.size(), Qt::Uninitialized);
    char *kept = bytes.data();
    for (const char c : value)
        if (c != '\r' && c != '\n')
            *kept++ = c;
    bytes.truncate(kept - bytes.constData());
    const qsizetype n = bytes.size();
    QString out;
    QByteArray pending, pendingCharset;
    const auto flush = [&] {
        if (!pending.isEmpty())
            out += decodeCharset(pending, pendingCharset);
        pending.clear();
    };
    const auto isBlank = [](QByteArrayView text) {
        for (const char c : text)
            if (c != ' ' && c != '\t')
                return false;
        return true;
    };
    qsizetype plain = 0;      // the first byte not yet written
    qsizetype wordEnd = -1;   // the last "?=" found, kept so that no search repeats
    bool lastWasWord = false; // whether the text before `plain` ended in an encoded word
    for (qsizetype at = 0; at < n;) {
        const qsizetype start = bytes.indexOf("=?", at);
        if (start < 0)
            break;
        const qsizetype q1 = bytes.indexOf('?', start + 2);
        if (q1 < 0)
            break;
        if (q1 + 3 >= n || bytes[q1 + 2] != '?' ||
            !(lower(bytes[q1 + 1]) == 'b' || lower(bytes[q1 + 1]) == 'q')) {
            at = start + 2;
            continue;
        }
        if (wordEnd < q1 + 3)
            wordEnd = bytes.indexOf("?=", q1 + 3);
        if (wordEnd < 0)
            break; // no encoded word ends after here
        QByteArrayView charset = QByteArrayView(bytes).sliced(start + 2, q1 - start - 2);
        if (const qsizetype star = charset.indexOf('*'); star >= 0)
            charset = charset.first(star); // RFC 2231's language
        const QByteArrayView text = QByteArrayView(bytes).sliced(q1 + 3, wordEnd - q1 - 3);
        if (charset.isEmpty() || charset.size() > kMaxCharsetName || charset.contains(' ')) {
            at = start + 2;
            continue;
        }
        const QByteArrayView between = QByteArrayView(bytes).sliced(plain, start - plain);
        if (!(lastWasWord && isBlank(between))) {
            flush();
            if (!between.isEmpty())
                out += decodeAuto(between);
        }
        const QByteArray decoded =
            lower(bytes[q1 + 1]) == 'b' ? decodeBase64(text) : decodeQuotedPrintable(text, true);
        if (!pending.isEmpty() && normalName(charset) != normalName(pendingCharset))
            flush();
        pendingCharset = charset.toByteArray();
        pending += decoded;
        lastWasWord = true;
        plain = at = wordEnd + 2;
    }
    flush();
    out += decodeAuto(QByteArrayView(bytes).sliced(plain));
    return out;
}

} // namespace documents::mail
