// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/WordBinary.h"

#include "documents/LegacyBytes.h"
#include "documents/TextSink.h"
#include "text/Cp932.h"

#include <algorithm>

namespace documents::legacy {

namespace {

ReadResult damaged(const char *what)
{
    return {Failure::Damaged, QStringLiteral("damaged Word document: ") + QLatin1String(what), {}};
}

// One piece of the text: characters [cp, cpEnd) stored from byte `fc` of
// the WordDocument stream, one byte (in `codePage`) or two (UTF-16) each.
struct Piece {
    qint64 cp = 0;
    qint64 cpEnd = 0;
    qint64 fc = 0;
    bool eightBit = false;
};

// Where the paragraph marks that end a table row lie: byte ranges of the
// WordDocument stream whose paragraphs carry the row-end property.
struct RowEnds {
    std::vector<std::pair<qint64, qint64>> ranges; // sorted, disjoint
    bool contains(qint64 fc) const
    {
        auto it = std::upper_bound(ranges.begin(), ranges.end(), fc,
                                   [](qint64 v, const auto &r) { return v < r.first; });
        return it != ranges.begin() && fc < std::prev(it)->second;
    }
};

// Size of a Word 97 sprm's operand at `p` (`end` bounds it), or -1.
qint64 operandSize(quint16 sprm, const char *p, const char *end)
{
    switch (sprm >> 13) {
    case 0:
    case 1:
        return 1;
    case 2:
    case 4:
    case 5:
        return 2;
    case 3:
        return 4;
    case 7:
        return 3;
    default:
        if (sprm == 0xD608 || sprm == 0xD606) { // table definitions: a 2-byte size
            if (end - p < 2)
                return -1;
            return 2 + qint64(le16(p)) - 1;
        }
        if (p >= end)
            return -1;
        return 1 + static_cast<unsigned char>(*p);
    }
}

// Size of a Word 6 paragraph sprm's operand (one-byte codes, their sizes
// fixed by the code), or -1 for a code this reader does not know: the
// paragraph sprms up to sprmPTtp (25), which Word writes in ascending order.
qint64 operandSize6(unsigned char sprm, const char *p, const char *end)
{
    switch (sprm) {
    case 4:  // sprmPIncLvl
    case 5:  // sprmPJc
    case 6:  // sprmPFSideBySide
    case 7:  // sprmPFKeep
    case 8:  // sprmPFKeepFollow
    case 9:  // sprmPPageBreakBefore
    case 10: // sprmPBrcl
    case 11: // sprmPBrcp
    case 13: // sprmPNLvlAnm
    case 14: // sprmPFNoLineNumb
    case 24: // sprmPFInTable
    case 25: // sprmPTtp
        return 1;
    case 2:  // sprmPIstd
    case 16: // sprmPDxaRight
    case 17: // sprmPDxaLeft
    case 18: // sprmPNest
    case 19: // sprmPDxaLeft1
    case 21: // sprmPDyaBefore
    case 22: // sprmPDyaAfter
        return 2;
    case 20: // sprmPDyaLine
        return 4;
    case 3:  // sprmPIstdPermute
    case 12: // sprmPAnld
    case 15: // sprmPChgTabsPapx
    case 23: // sprmPChgTabs (a count of 255 is not written in an FKP)
        if (p >= end)
            return -1;
        return 1 + static_cast<unsigned char>(*p);
    default:
        return -1;
    }
}

// Whether a paragraph's properties (grpprl) mark a table row's end: Word 97's
// sprmPFTtp or sprmPFInnerTtp, Word 6's sprmPTtp.
bool marksRowEnd(const char *p, const char *end, bool word97)
{
    while (end - p >= (word97 ? 2 : 1)) {
        const quint16 sprm = word97 ? le16(p) : static_cast<unsigned char>(*p);
        p += word97 ? 2 : 1;
        const qint64 size = word97 ? operandSize(sprm, p, end)
                                   : operandSize6(static_cast<unsigned char>(sprm), p, end);
        if (size < 0 || size > end - p)
            return false;
        if ((word97 ? (sprm == 0x2417 || sprm == 0x244C) : sprm == 25) && size >= 1 && *p != 0)
            return true;
        p += size;
    }
    return false;
}

// Reads the paragraph property pages (PlcBtePapx) to find the row ends. Word
// 97 and Word 6 differ in the page numbers of the bin table (4 bytes against
// 2), the entries of a page (13 bytes against 7) and a property block's size
// (Word 97: a count of words that includes its own byte, or a zero pad byte
// and the count after it; Word 6: a count of the words after it).
RowEnds readRowEnds(QByteArrayView word, QByteArrayView table, quint32 fc, quint32 lcb, bool word97)
{
    RowEnds ends;
    const qint64 pnSize = word97 ? 4 : 2;
    const int bxSize = word97 ? 13 : 7;
    if (lcb < 4 + pnSize || !fits(table, fc, lcb))
        return ends;
    const qint64 count = (qint64(lcb) - 4) / (4 + pnSize);
    const char *plc = table.data() + fc;
    for (qint64 i = 0; i < count; ++i) {
        const char *bte = plc + 4 * (count + 1) + pnSize * i;
        const qint64 pn = word97 ? le32(bte) & 0x3FFFFF : le16(bte);
        if (!fits(word, pn * 512, 512))
            continue;
        const char *fkp = word.data() + pn * 512;
        const int runs = static_cast<unsigned char>(fkp[511]);
        if (4 * (runs + 1) + bxSize * runs > 511)
            continue;
        for (int r = 0; r < runs; ++r) {
            const int offset = 2 * static_cast<unsigned char>(fkp[4 * (runs + 1) + bxSize * r]);
            if (offset == 0 || offset >= 511)
                continue;
            int size = 2 * static_cast<unsigned char>(fkp[offset]) - (word97 ? 1 : 0);
            int at = offset + 1;
            if (word97 && size < 0) { // a zero count: the next byte counts words
                if (at >= 511)
                    continue;
                size = 2 * static_cast<unsigned char>(fkp[at]);
                ++at;
            }
            if (size < 2 || at + size > 511)
                continue;
            // The paragraph's style (2 bytes), then its properties.
            if (marksRowEnd(fkp + at + 2, fkp + at + size, word97))
                ends.ranges.emplace_back(le32(fkp + 4 * r), le32(fkp + 4 * (r + 1)));
        }
    }
    std::sort(ends.ranges.begin(), ends.ranges.end());
    return ends;
}

// Reads a piece table (Clx) into pieces; false when it is damaged.
bool readPieces(QByteArrayView clx, bool word97, std::vector<Piece> *pieces)
{
    qint64 at = 0;
    while (at < clx.size()) {
        const char type = clx[at];
        if (type == 1) { // property modifiers, skipped
            if (!fits(clx, at + 1, 2))
                return false;
            at += 3 + le16(clx.data() + at + 1);
            continue;
        }
        if (type != 2 || !fits(clx, at + 1, 4))
            return false;
        const qint64 size = le32(clx.data() + at + 1);
        if (!fits(clx, at + 5, size) || size < 4 || (size - 4) % 12 != 0)
            return false;
        const char *plc = clx.data() + at + 5;
        const qint64 count = (size - 4) / 12;
        pieces->reserve(size_t(count));
        for (qint64 i = 0; i < count; ++i) {
            Piece piece;
            piece.cp = le32(plc + 4 * i);
            piece.cpEnd = le32(plc + 4 * (i + 1));
            const quint32 fc = le32(plc + 4 * (count + 1) + 8 * i + 2);
            if (word97 && (fc & 0x40000000)) {
                piece.eightBit = true;
                piece.fc = (fc & 0x3FFFFFFF) / 2;
            } else {
                piece.eightBit = !word97;
                piece.fc = word97 ? fc & 0x3FFFFFFF : fc;
            }
            if (piece.cpEnd < piece.cp)
                return false;
            pieces->push_back(piece);
        }
        return true;
    }
    return false;
}

// Turns the characters into lines: paragraph and row marks, cells, fields.
class WordText {
public:
    WordText(TextSink &sink, const RowEnds &rowEnds) : m_sink(sink), m_rowEnds(rowEnds) {}

    // Characters from here on are past the main text.
    void leaveMainText() { m_mainText = false; }

    // A run of characters, unit i stored at byte fc + step * i: the text
    // between the marks goes to the sink in one piece.
    void putRun(QStringView run, qint64 fc, qint64 step)
    {
        qsizetype from = 0; // the text not yet given to the sink
        for (qsizetype i = 0; i < run.size(); ++i) {
            const char16_t c = run[i].unicode();
            if (c >= 0x20) {
                if (m_inInstruction > 0) // a field instruction: left out
                    from = i + 1;
                continue;
            }
            putText(run.sliced(from, i - from));
            put(c, fc + step * i);
            from = i + 1;
        }
        putText(run.sliced(from));
    }

    void put(char16_t c, qint64 fc)
    {
        switch (c) {
        case 0x13: // field begin: its instruction follows
            m_fields.push_back(true);
            ++m_inInstruction;
            return;
        case 0x14: // field separator: its result follows
            if (!m_fields.empty() && m_fields.back()) {
                m_fields.back() = false;
                --m_inInstruction;
            }
            return;
        case 0x15:
            if (!m_fields.empty()) {
                m_inInstruction -= m_fields.back() ? 1 : 0;
                m_fields.pop_back();
            }
            return;
        default:
            break;
        }
        if (m_inInstruction > 0)
            return;
        switch (c) {
        case 0x07:
            if (m_rowEnds.contains(fc)) {
                m_cells = 0;
                m_sink.endLine();
            } else {
                ++m_cells;
            }
            return;
        case 0x0D:
        case 0x0B:
        case 0x0C:
            m_cells = 0;
            // The headers, notes and text boxes hold empty separator
            // paragraphs between their stories: only the main text keeps
            // its empty paragraphs.
            if (m_mainText)
                m_sink.endLine();
            else
                m_sink.endLineIfAny();
            return;
        case 0x09:
            break;
        case 0x1E: // non-breaking hyphen
            c = u'-';
            break;
        default:
            if (c < 0x20) // pictures, note references, optional hyphens
                return;
            break;
        }
        putText(QStringView(&c, 1));
    }

private:
    // Text without marks, after the cells it follows.
    void putText(QStringView text)
    {
        if (text.isEmpty())
            return;
        for (; m_cells > 0; --m_cells)
            m_sink.cellBreak();
        m_sink.append(text);
    }

    TextSink &m_sink;
    const RowEnds &m_rowEnds;
    std::vector<bool> m_fields;    // open fields: true while in the instruction
    qsizetype m_inInstruction = 0; // open fields still in their instruction
    int m_cells = 0;               // cell marks not yet followed by text
    bool m_mainText = true;
};

} // namespace

ReadResult readWordBinary(const cfb::CompoundFile &file, const Limits &limits)
{
    QString reason;
    QByteArray word;
    if (!file.read(u"WordDocument", &word, &reason))
        return {Failure::Damaged,
                reason.isEmpty() ? QStringLiteral("no WordDocument stream") : reason,
                {}};
    if (word.size() < 0x20 || le16(word.constData()) != 0xA5EC)
        return damaged("no file information block");
    const char *fib = word.constData();
    const quint16 nFib = le16(fib + 2);
    const quint16 flags = le16(fib + 0x0A);
    if (flags & 0x0100)
        return {Failure::Encrypted, QStringLiteral("encrypted"), {}};
    const bool word97 = nFib >= 0xC0; // Word 97 writes 193, Word 6 101, Word 95 104
    if (!word97 && (nFib < 101 || nFib > 105))
        return {Failure::Unsupported, QStringLiteral("Word version %1 is not read").arg(nFib), {}};

    // Character counts of the stories, in stream order: main text,
    // footnotes, headers, macro (unused), comments, endnotes, text boxes,
    // header text boxes.
    qint64 ccp[8] = {};
    QByteArrayView table;
    QByteArray tableBytes;
    quint32 fcClx = 0;
    quint32 lcbClx = 0;
    quint32 fcPapx = 0;
    quint32 lcbPapx = 0;
    int codePage = 1252;
    if (word97) {
        if (!fits(word, 0x20, 2))
            return damaged("short file information block");
        const qint64 csw = le16(fib + 0x20);
        const qint64 lw = 0x22 + 2 * csw + 2;
        if (!fits(word, lw - 2, 2))
            return damaged("short file information block");
        const qint64 cslw = le16(fib + lw - 2);
        const qint64 fcLcb = lw + 4 * cslw + 2;
        if (cslw < 11 || !fits(word, fcLcb - 2, 2) ||
            !fits(word, fcLcb, 8 * qint64(le16(fib + fcLcb - 2))) || le16(fib + fcLcb - 2) < 34)
            return damaged("short file information block");
        for (int i = 0; i < 8; ++i)
            ccp[i] = qint32(le32(fib + lw + 12 + 4 * i));
        fcPapx = le32(fib + fcLcb + 13 * 8);
        lcbPapx = le32(fib + fcLcb + 13 * 8 + 4);
        fcClx = le32(fib + fcLcb + 33 * 8);
        lcbClx = le32(fib + fcLcb + 33 * 8 + 4);
        const QString tableName =
            (flags & 0x0200) ? QStringLiteral("1Table") : QStringLiteral("0Table");
        if (!file.read(tableName, &tableBytes, &reason))
            return {Failure::Damaged,
                    reason.isEmpty() ? QStringLiteral("damaged Word document: no table stream")
                                     : reason,
                    {}};
        table = tableBytes;
    } else {
        if (!fits(word, 0, 0x168))
            return damaged("short file information block");
        for (int i = 0; i < 8; ++i)
            ccp[i] = qint32(le32(fib + 0x34 + 4 * i));
        fcPapx = le32(fib + 0xC0);
        lcbPapx = le32(fib + 0xC4);
        if (flags & 0x0004) { // fast-saved: a piece table in the main stream
            fcClx = le32(fib + 0x160);
            lcbClx = le32(fib + 0x164);
        }
        table = word;
        if (le16(fib + 6) == 0x0411) // Japanese
            codePage = 932;
    }
    qint64 total = 0;
    for (const qint64 n : ccp) {
        if (n < 0 || n > word.size())
            return damaged("story longer than the document");
        total += n;
    }

    std::vector<Piece> pieces;
    if (lcbClx > 0) {
        if (!fits(table, fcClx, lcbClx))
            return damaged("piece table outside its stream");
        if (!readPieces(table.sliced(fcClx, lcbClx), word97, &pieces))
            return damaged("bad piece table");
    } else if (word97) {
        return damaged("no piece table");
    } else {
        pieces.push_back({0, total, qint64(le32(fib + 0x18)), true});
    }
    for (Piece &piece : pieces)
        piece.eightBit = piece.eightBit || !word97;

    const RowEnds rowEnds = readRowEnds(word, table, fcPapx, lcbPapx, word97);
    TextSink sink(word97 ? Kind::Word97 : Kind::Word95, limits);
    WordText text(sink, rowEnds);
    QString run;
    for (const Piece &piece : pieces) {
        const qint64 from = piece.cp;
        const qint64 to = std::min(piece.cpEnd, total);
        if (from >= to)
            continue;
        const qint64 unit = piece.eightBit ? 1 : 2;
        const qint64 start = piece.fc;
        if (!fits(word, start, (to - from) * unit))
            return damaged("piece outside the document stream");
        const QByteArrayView bytes = QByteArrayView(word).sliced(start, (to - from) * unit);
        // The main text ends at character ccp[0]: in the piece that holds
        // it, the characters from there go in a run of their own.
        const qint64 mainEnd = from <= ccp[0] && ccp[0] < to ? ccp[0] - from : to - from;
        if (!piece.eightBit) {
            run.clear();
            appendUtf16(bytes, run); // a unit a unit: unit i is at byte 2 * i
            text.putRun(QStringView(run).first(mainEnd), start, 2);
            if (mainEnd < run.size()) {
                text.leaveMainText();
                text.putRun(QStringView(run).sliced(mainEnd), start + 2 * mainEnd, 2);
            }
        } else if (codePage == 932) {
            // A double-byte character takes one position. Runs of characters
            // are decoded at once, cut at each single-byte cell mark (whose
            // byte offset tells a cell's end from a row's) and where the main
            // text ends; no other character's offset is needed.
            qint64 runFrom = 0;
            const auto flush = [&](qint64 end) {
                if (end <= runFrom)
                    return;
                run.clear();
                appendCodePage(bytes.sliced(runFrom, end - runFrom), 932, run);
                text.putRun(run, start + runFrom, 0);
            };
            bool left = false;
            for (qint64 i = 0; i < bytes.size();) {
                const auto b = static_cast<unsigned char>(bytes[i]);
                const qint64 n = cp932::isLeadByte(b) && i + 1 < bytes.size() ? 2 : 1;
                if (!left && from + i >= ccp[0]) {
                    flush(i);
                    runFrom = i;
                    text.leaveMainText();
                    left = true;
                }
                if (n == 1 && b == 0x07) {
                    flush(i);
                    text.put(u'\x07', start + i);
                    runFrom = i + 1;
                }
                i += n;
            }
            flush(bytes.size());
        } else {
            run.clear();
            appendCodePage(bytes, 1252, run);
            text.putRun(QStringView(run).first(mainEnd), start, 1);
            if (mainEnd < run.size()) {
                text.leaveMainText();
                text.putRun(QStringView(run).sliced(mainEnd), start + mainEnd, 1);
            }
        }
        if (sink.overLimit())
            break;
    }
    if (sink.overLimit())
        return {Failure::OverLimit, QStringLiteral("over the text limit"), {}};
    return {Failure::None, {}, sink.take()};
}

} // namespace documents::legacy
