// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// RTF: the text of the body, headers, footers, footnotes and field results.
// Destinations that are not text (the font, colour and style tables, the
// document information, pictures, objects, field instructions and every
// "\*" destination) are left out. 8-bit text is read in the code page of its
// font, or of the default font (\deff) before one is chosen (\fcharset128
// and \ansicpg932 make it code page 932, where two \'xx escapes form one
// character); \uN gives a UTF-16 unit and its \ucN fallback
// characters are skipped. \par ends a line, \cell puts a tab between cells,
// \row ends the row's line. Groups are kept on a bounded stack of their own,
// never by recursion.

#include "documents/LegacyBytes.h"
#include "documents/ReadDocument.h"
#include "documents/TextSink.h"

#include <QHash>

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace documents {

namespace {

// Deeper than any document a word processor writes; an RTF nested deeper is
// treated as damaged rather than kept in memory.
constexpr int kMaxDepth = 4096;

struct GroupState {
    bool skip = false;
    bool fontTable = false;
    bool beforeObject = false; // whether the group holding \object was skipped
    bool beforeStar = false;   // whether the group was skipped before its \*
    bool footnote = false;     // text going to the notes, read after the body
    int uc = 1;
    int codePage = 1252;
    bool fontChosen = false; // by \f; before that, text is in the default font (\deff)
};

// ASCII alone, as the C locale the helper runs in reads it.
bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

int charsetCodePage(int charset, int fallback)
{
    switch (charset) {
    case 0:
        return 1252;
    case 1:
        return fallback;
    case 128:
        return 932;
    default:
        return 1252;
    }
}

// The control words the reader acts on.
enum class Word {
    Other,
    Skipped, // a destination that holds no text
    Footnote,
    Shpinst,
    Shptxt,
    Bin,
    U,
    Uc,
    Ansicpg,
    Fonttbl,
    F,
    Fcharset,
    Deff,
    Cpg,
    Object,
    Result,
    Par,
    Line,
    Sect,
    Page,
    Cell,
    Nestcell,
    Row,
    Nestrow,
    Tab,
    Emdash,
    Endash,
    Lquote,
    Rquote,
    Ldblquote,
    Rdblquote,
    Bullet,
    Emspace,
    Enspace,
};

// A control word by name: one look-up a word.
Word wordOf(std::string_view name)
{
    static const std::unordered_map<std::string_view, Word> kWords = [] {
        std::unordered_map<std::string_view, Word> words = {
            {"footnote", Word::Footnote},
            {"shpinst", Word::Shpinst},
            {"shptxt", Word::Shptxt},
            {"bin", Word::Bin},
            {"u", Word::U},
            {"uc", Word::Uc},
            {"ansicpg", Word::Ansicpg},
            {"fonttbl", Word::Fonttbl},
            {"f", Word::F},
            {"fcharset", Word::Fcharset},
            {"deff", Word::Deff},
            {"cpg", Word::Cpg},
            {"object", Word::Object},
            {"result", Word::Result},
            {"par", Word::Par},
            {"line", Word::Line},
            {"sect", Word::Sect},
            {"page", Word::Page},
            {"cell", Word::Cell},
            {"nestcell", Word::Nestcell},
            {"row", Word::Row},
            {"nestrow", Word::Nestrow},
            {"tab", Word::Tab},
            {"emdash", Word::Emdash},
            {"endash", Word::Endash},
            {"lquote", Word::Lquote},
            {"rquote", Word::Rquote},
            {"ldblquote", Word::Ldblquote},
            {"rdblquote", Word::Rdblquote},
            {"bullet", Word::Bullet},
            {"emspace", Word::Emspace},
            {"enspace", Word::Enspace},
        };
        for (const std::string_view skipped : {
                 "colortbl",
                 "stylesheet",
                 "info",
                 "pict",
                 "fldinst",
                 "listtable",
                 "listoverridetable",
                 "revtbl",
                 "rsidtbl",
                 "generator",
                 "xmlnstbl",
                 "themedata",
                 "colorschememapping",
                 "datastore",
                 "latentstyles",
                 "filetbl",
                 "pgdsctbl",
                 "listtext",
                 "pntext",
                 "pntxta",
                 "pntxtb",
                 "bkmkstart",
                 "bkmkend",
                 "sp",
                 "nonshppict",
                 "shppict",
                 "objdata",
                 "objclass",
                 "template",
                 "userprops",
                 "docvar",
                 "xe",
                 "tc",
                 "falt",
                 "panose",
                 "mmathPr",
                 "ftnsep",
                 "ftnsepc",
                 "aftnsep",
                 "aftnsepc",
                 "printim",
                 "passwordhash",
                 "protusertbl",
                 "formfield",
                 "datafield",
                 "wgrffmtfilter",
                 "background",
                 "blipuid",
                 "fontemb",
                 "fontfile",
                 "annotation",
                 "atnid",
                 "atnauthor",
                 "atndate",
                 "atnref",
                 "comment",
                 "fldtype",
             })
            words.emplace(skipped, Word::Skipped);
        return words;
    }();
    const auto it = kWords.find(name);
    return it == kWords.end() ? Word::Other : it->second;
}

class RtfReader {
public:
    RtfReader(QByteArrayView bytes, const Limits &limits)
        : m_bytes(bytes), m_body(Kind::Rtf, limits), m_notes(Kind::Rtf, limits)
    {}

    ReadResult read()
    {
        m_groups.push_back(GroupState{});
        const qsizetype n = m_bytes.size();
        qsizetype i = 0;
        while (i < n && !m_body.overLimit() && !m_notes.overLimit()) {
            const char c = m_bytes[i];
            if (c == '{') {
                if (qsizetype(m_groups.size()) > kMaxDepth)
                    return {Failure::Damaged,
                            QStringLiteral("damaged RTF: groups nested too deep"),
                            {}};
                m_groups.push_back(m_groups.back());
                m_skipChars = 0;
                ++i;
            } else if (c == '}') {
                if (m_groups.size() > 1) {
                    if (state().footnote && !m_groups[m_groups.size() - 2].footnote) {
                        flush();
                        m_cells = 0;
                        m_notes.endLineIfAny();
                    }
                    m_groups.pop_back();
                }
                m_skipChars = 0;
                ++i;
            } else if (c == '\\') {
                i = control(i + 1);
            } else if (c == '\r' || c == '\n') {
                ++i;
            } else {
                // A run of plain text bytes.
                qsizetype end = i + 1;
                while (end < n && m_bytes[end] != '{' && m_bytes[end] != '}' &&
                       m_bytes[end] != '\\' && m_bytes[end] != '\r' && m_bytes[end] != '\n')
                    ++end;
                textBytes(m_bytes.data() + i, end - i);
                i = end;
            }
        }
        flush();
        // Footnotes follow the body, each on lines of its own.
        for (const QString &line : m_notes.take().lines) {
            m_body.append(line);
            m_body.endLine();
        }
        if (m_body.overLimit() || m_notes.overLimit())
            return {Failure::OverLimit, QStringLiteral("over the text limit"), {}};
        return {Failure::None, {}, m_body.take()};
    }

private:
    GroupState &state() { return m_groups.back(); }
    // The code page of the text here: its font's, the default font's where
    // no font was chosen.
    int codePage()
    {
        const GroupState &s = state();
        return s.fontChosen ? s.codePage : m_fontCodePages.value(m_defaultFont, s.codePage);
    }
    TextSink &sink() { return state().footnote ? m_notes : m_body; }

    // A run of text bytes in one group: the same as each in turn.
    void textBytes(const char *p, qsizetype n)
    {
        for (; n > 0 && m_skipChars > 0; ++p, --n)
            --m_skipChars;
        if (n == 0 || state().skip)
            return;
        textByte(*p);
        m_pending.append(p + 1, n - 1);
    }

    void textByte(char b)
    {
        if (m_skipChars > 0) {
            --m_skipChars;
            return;
        }
        if (state().skip)
            return;
        const int cp = codePage();
        if (!m_pending.isEmpty() && m_pendingCodePage != cp)
            flush();
        m_pendingCodePage = cp;
        if (m_cells > 0 && m_pending.isEmpty())
            flushCells();
        m_pending.append(b);
    }

    void flush()
    {
        if (m_pending.isEmpty())
            return;
        m_text.clear();
        legacy::appendCodePage(m_pending, m_pendingCodePage, m_text);
        // A line end written as \'0d or \'0a reads as a space, as one in a
        // paragraph of the other readers does: a line holds no line break.
        for (QChar &c : m_text) {
            if (c == u'\r' || c == u'\n')
                c = u' ';
        }
        sink().append(m_text);
        m_pending.clear();
    }

    void flushCells()
    {
        for (; m_cells > 0; --m_cells)
            sink().cellBreak();
    }

    void unit(char16_t u)
    {
        if (state().skip)
            return;
        flush();
        flushCells();
        sink().append(u == u'\r' || u == u'\n' ? u' ' : u);
    }

    void endLine(bool evenEmpty)
    {
        if (state().skip)
            return;
        flush();
        m_cells = 0;
        if (evenEmpty)
            sink().endLine();
        else
            sink().endLineIfAny();
    }

    // Reads the control word or symbol after a backslash at `i`.
    qsizetype control(qsizetype i)
    {
        const qsizetype n = m_bytes.size();
        if (i >= n)
            return i;
        const char c = m_bytes[i];
        if (!isLetter(c)) {
            switch (c) {
            case '\'': {
                const int high = i + 2 < n ? hexValue(m_bytes[i + 1]) : -1;
                const int low = i + 2 < n ? hexValue(m_bytes[i + 2]) : -1;
                if (high >= 0 && low >= 0) {
                    textByte(char(high << 4 | low));
                    return i + 3;
                }
                return i + 1;
            }
            case '*': // a destination to skip unless it is known to hold text
                state().beforeStar = state().skip;
                state().skip = true;
                m_star = true;
                return i + 1;
            case '~':
                unit(u'\u00A0');
                return i + 1;
            case '_':
                unit(u'-');
                return i + 1;
            case '\\':
            case '{':
            case '}':
                textByte(c);
                return i + 1;
            case '\r':
            case '\n':
                endLine(true); // "\" before a line end reads as \par
                return i + 1;
            case '\t':
                unit(u'\t');
                return i + 1;
            default: // \- (optional hyphen), \: (index), ...
                return i + 1;
            }
        }
        qsizetype end = i;
        while (end < n && end - i < 32 && isLetter(m_bytes[end]))
            ++end;
        const std::string_view name(m_bytes.data() + i, size_t(end - i));
        bool hasParam = false;
        bool negative = false;
        qint64 param = 0;
        if (end < n && m_bytes[end] == '-' && end + 1 < n && isDigit(m_bytes[end + 1])) {
            negative = true;
            ++end;
        }
        for (int digits = 0; end < n && isDigit(m_bytes[end]); ++end, ++digits) {
            if (digits < 10)
                param = param * 10 + (m_bytes[end] - '0');
            hasParam = true;
        }
        if (negative)
            param = -param;
        if (end < n && m_bytes[end] == ' ')
            ++end;
        return word(name, hasParam, param, end);
    }

    qsizetype word(std::string_view name, bool hasParam, qint64 param, qsizetype next)
    {
        const Word w = wordOf(name);
        GroupState &s = state();
        const bool star = std::exchange(m_star, false);
        if (star && (w == Word::Footnote || w == Word::Shpinst || w == Word::Shptxt))
            s.skip = s.beforeStar;
        if (w == Word::Footnote) {
            flush();
            s.footnote = true;
            return next;
        }
        if (star && !s.skip)
            return next;
        if (w == Word::Bin) {
            // Binary data: skipped as it stands, whatever it holds.
            const qint64 size = hasParam && param > 0 ? param : 0;
            return qsizetype(std::min<qint64>(next + size, m_bytes.size()));
        }
        if (w == Word::U && hasParam) {
            unit(char16_t(param < 0 ? param + 65536 : param));
            m_skipChars = s.uc;
            return next;
        }
        m_skipChars = 0;
        if (w == Word::Uc) {
            s.uc = int(std::clamp<qint64>(param, 0, 16));
        } else if (w == Word::Ansicpg) {
            m_defaultCodePage = int(param);
            s.codePage = m_defaultCodePage;
        } else if (w == Word::Fonttbl) {
            s.skip = true;
            s.fontTable = true;
        } else if (w == Word::F) {
            if (s.fontTable) {
                m_font = int(param);
                m_fontCodePages.insert(m_font, m_defaultCodePage);
            } else {
                s.codePage = m_fontCodePages.value(int(param), m_defaultCodePage);
                s.fontChosen = true;
            }
        } else if (w == Word::Fcharset && s.fontTable) {
            m_fontCodePages.insert(m_font, charsetCodePage(int(param), m_defaultCodePage));
        } else if (w == Word::Deff) {
            m_defaultFont = int(param);
        } else if (w == Word::Cpg && s.fontTable) {
            m_fontCodePages.insert(m_font, int(param));
        } else if (w == Word::Object) {
            s.beforeObject = s.skip;
            s.skip = true;
        } else if (w == Word::Result) { // an object's text, in a group inside it
            s.skip = s.beforeObject;
        } else if (w == Word::Skipped) {
            s.skip = true;
        } else if (w == Word::Par || w == Word::Line) {
            endLine(true);
        } else if (w == Word::Sect || w == Word::Page) {
            endLine(false);
        } else if (w == Word::Cell || w == Word::Nestcell) {
            if (!s.skip) {
                flush();
                ++m_cells;
            }
        } else if (w == Word::Row || w == Word::Nestrow) {
            endLine(true);
        } else if (w == Word::Tab) {
            unit(u'\t');
        } else if (w == Word::Emdash) {
            unit(u'\u2014');
        } else if (w == Word::Endash) {
            unit(u'\u2013');
        } else if (w == Word::Lquote) {
            unit(u'\u2018');
        } else if (w == Word::Rquote) {
            unit(u'\u2019');
        } else if (w == Word::Ldblquote) {
            unit(u'\u201C');
        } else if (w == Word::Rdblquote) {
            unit(u'\u201D');
        } else if (w == Word::Bullet) {
            unit(u'\u2022');
        } else if (w == Word::Emspace) {
            unit(u'\u2003');
        } else if (w == Word::Enspace) {
            unit(u'\u2002');
        }
        return next;
    }

    QByteArrayView m_bytes;
    TextSink m_body;
    TextSink m_notes;
    std::vector<GroupState> m_groups;
    QByteArray m_pending; // 8-bit text not yet decoded
    int m_pendingCodePage = 1252;
    QString m_text;
    bool m_star = false; // a \* was the last control
    int m_skipChars = 0; // \uN fallback characters still to skip
    int m_cells = 0;     // cell ends not yet followed by text
    int m_defaultCodePage = 1252;
    int m_font = 0;
    int m_defaultFont = -1;
    QHash<int, int> m_fontCodePages;
};

} // namespace

ReadResult readRtfDocument(QByteArrayView bytes, const Limits &limits)
{
    return RtfReader(bytes, limits).read();
}

} // namespace documents
