// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ExcelBinary.h"

#include "documents/LegacyBytes.h"
#include "documents/NumberFormat.h"
#include "documents/TextSink.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace documents::legacy {

namespace {

enum Record : quint16 {
    kFormula = 0x0006,
    kEof = 0x000A,
    kFilePass = 0x002F,
    kContinue = 0x003C,
    kDateMode = 0x0022,
    kCodePage = 0x0042,
    kBoundSheet = 0x0085,
    kMulRk = 0x00BD,
    kRString = 0x00D6,
    kSst = 0x00FC,
    kLabelSst = 0x00FD,
    kNumber = 0x0203,
    kLabel = 0x0204,
    kBoolErr = 0x0205,
    kString = 0x0207,
    kRk = 0x027E,
    kXf = 0x00E0,
    kFormat = 0x041E,
    kBof = 0x0809,
};

ReadResult damaged(const QString &what)
{
    return {Failure::Damaged, QStringLiteral("damaged Excel workbook: ") + what, {}};
}

// One record with the CONTINUE records that follow it, as segments.
struct RecordData {
    quint16 type = 0;
    std::vector<QByteArrayView> segments;
    QByteArrayView first() const { return segments.front(); }
};

class RecordStream {
public:
    explicit RecordStream(QByteArrayView bytes) : m_bytes(bytes) {}
    void seek(qint64 at) { m_at = at; }
    qint64 position() const { return m_at; }
    // The next record into `record` (its segments' room reused), or false at
    // the end or at a record cut by it.
    bool next(RecordData *record)
    {
        record->segments.clear();
        if (!header(&record->type))
            return false;
        record->segments.push_back(m_body);
        for (;;) {
            const qint64 mark = m_at;
            quint16 type = 0;
            if (!header(&type) || type != kContinue) {
                m_at = mark;
                break;
            }
            record->segments.push_back(m_body);
        }
        return true;
    }
    bool cut() const { return m_cut; }

private:
    // Reads a header and body at m_at; leaves m_at after it.
    bool header(quint16 *type)
    {
        if (!fits(m_bytes, m_at, 4))
            return false;
        *type = le16(m_bytes.data() + m_at);
        const qint64 size = le16(m_bytes.data() + m_at + 2);
        if (!fits(m_bytes, m_at + 4, size)) {
            m_cut = true;
            return false;
        }
        m_body = m_bytes.sliced(m_at + 4, size);
        m_at += 4 + size;
        return true;
    }
    QByteArrayView m_bytes;
    qint64 m_at = 0;
    QByteArrayView m_body;
    bool m_cut = false;
};

// Reads across a record's segments; a string's characters may switch
// between 8 and 16 bits at each segment start (a flag byte begins it).
class SegmentReader {
public:
    explicit SegmentReader(const std::vector<QByteArrayView> &segments) : m_segments(segments) {}

    bool atEnd()
    {
        settle();
        return m_segment >= m_segments.size();
    }
    // The next n bytes, copied to `out` when given.
    bool bytes(qint64 n, char *out = nullptr)
    {
        while (n > 0) {
            settle();
            if (m_segment >= m_segments.size())
                return false;
            const QByteArrayView s = m_segments[m_segment];
            const qint64 take = std::min<qint64>(n, s.size() - m_offset);
            if (out) {
                std::memcpy(out, s.data() + m_offset, size_t(take));
                out += take;
            }
            m_offset += take;
            n -= take;
        }
        return true;
    }
    bool u8(quint8 *v)
    {
        char b[1];
        if (!bytes(1, b))
            return false;
        *v = quint8(b[0]);
        return true;
    }
    bool u16(quint16 *v)
    {
        char b[2];
        if (!bytes(2, b))
            return false;
        *v = le16(b);
        return true;
    }
    bool u32(quint32 *v)
    {
        char b[4];
        if (!bytes(4, b))
            return false;
        *v = le32(b);
        return true;
    }
    // `count` characters, 16-bit when `wide`; at each later segment a flag
    // byte says the width of the rest. False with `cutChar` when a segment
    // ends inside a 16-bit character.
    bool chars(qint64 count, bool wide, int codePage, QString *out, bool *cutChar)
    {
        while (count > 0) {
            if (m_segment >= m_segments.size())
                return false;
            QByteArrayView s = m_segments[m_segment];
            if (m_offset >= s.size()) {
                if (++m_segment >= m_segments.size())
                    return false;
                s = m_segments[m_segment];
                if (s.isEmpty())
                    return false;
                wide = (s[0] & 1) != 0;
                m_offset = 1;
                continue;
            }
            const qint64 width = wide ? 2 : 1;
            const qint64 left = s.size() - m_offset;
            if (left < width) {
                *cutChar = true;
                return false;
            }
            const qint64 n = std::min(count, left / width);
            const QByteArrayView piece = s.sliced(m_offset, n * width);
            if (wide)
                appendUtf16(piece, *out);
            else
                appendCodePage(piece, codePage, *out);
            m_offset += n * width;
            count -= n;
        }
        return true;
    }

private:
    void settle()
    {
        while (m_segment < m_segments.size() && m_offset >= m_segments[m_segment].size()) {
            ++m_segment;
            m_offset = 0;
        }
    }
    const std::vector<QByteArrayView> &m_segments;
    size_t m_segment = 0;
    qint64 m_offset = 0;
};

// A BIFF8 string: a count (one or two bytes), flags, optional rich-text run
// and phonetic sizes, the characters, then the runs and phonetic data.
bool readBiff8String(SegmentReader &in, bool shortCount, QString *out, bool *cutChar)
{
    quint16 count = 0;
    quint8 flags = 0;
    if (shortCount) {
        quint8 c = 0;
        if (!in.u8(&c))
            return false;
        count = c;
    } else if (!in.u16(&count)) {
        return false;
    }
    if (!in.u8(&flags))
        return false;
    quint16 runs = 0;
    quint32 phonetic = 0;
    if ((flags & 0x08) && !in.u16(&runs))
        return false;
    if ((flags & 0x04) && !in.u32(&phonetic))
        return false;
    if (!in.chars(count, flags & 0x01, 1252, out, cutChar))
        return false;
    return in.bytes(qint64(runs) * 4) && in.bytes(phonetic);
}

// A sheet's cells, their text kept in one pool: a sheet's cells are sorted
// into rows before they become lines.
struct Cell {
    quint16 row;
    quint16 col;
    qsizetype from;
    qsizetype size;
};

double rkValue(quint32 rk)
{
    double value;
    if (rk & 2) {
        value = double(qint32(rk) >> 2);
    } else {
        const quint64 bits = quint64(rk & 0xFFFFFFFC) << 32;
        std::memcpy(&value, &bits, 8);
    }
    return (rk & 1) ? value / 100 : value;
}

double doubleAt(const char *p)
{
    const quint64 bits = le64(p);
    double value;
    std::memcpy(&value, &bits, 8);
    return value;
}

struct Sheet {
    QString name;
    quint32 offset;
};

} // namespace

ReadResult readExcelBinary(const cfb::CompoundFile &file, const Limits &limits)
{
    QString reason;
    QByteArray stream;
    bool found = file.read(u"Workbook", &stream, &reason);
    if (!found && reason.isEmpty())
        found = file.read(u"Book", &stream, &reason);
    if (!found)
        return {
            Failure::Damaged, reason.isEmpty() ? QStringLiteral("no Workbook stream") : reason, {}};
    RecordStream records(stream);
    RecordData bof;
    if (!records.next(&bof) || bof.type != kBof || bof.first().size() < 4)
        return damaged(QStringLiteral("no BOF record"));
    const quint16 version = le16(bof.first().data());
    const bool biff8 = version == 0x0600;
    if (!biff8 && version != 0x0500)
        return {Failure::Unsupported,
                QStringLiteral("Excel file version %1 is not read").arg(version, 0, 16),
                {}};

    int codePage = 1252;
    CellFormats formats;
    std::vector<Sheet> sheets;
    std::vector<QString> strings;
    RecordData data;
    const RecordData *record = &data;
    while (records.next(&data)) {
        const QByteArrayView body = record->first();
        if (record->type == kEof)
            break;
        switch (record->type) {
        case kFilePass:
            return {Failure::Encrypted, QStringLiteral("encrypted"), {}};
        case kCodePage:
            if (body.size() >= 2)
                codePage = le16(body.data()) == 932 ? 932 : 1252;
            break;
        case kDateMode:
            if (body.size() >= 2 && le16(body.data()) == 1)
                formats.system = DateSystem::From1904;
            break;
        case kXf:
            if (body.size() >= 4)
                formats.addStyle(le16(body.data() + 2));
            break;
        case kFormat: {
            // A format code a workbook writes out: its id, then its text.
            if (body.size() < 3)
                break;
            QString code;
            if (biff8) {
                SegmentReader in(record->segments);
                bool cut = false;
                in.bytes(2);
                if (!readBiff8String(in, false, &code, &cut))
                    break;
            } else {
                const qint64 n = static_cast<unsigned char>(body[2]);
                code =
                    decodeCodePage(body.sliced(3, std::min<qint64>(n, body.size() - 3)), codePage);
            }
            formats.addFormat(le16(body.data()), code);
            break;
        }
        case kBoundSheet: {
            if (body.size() < 7)
                return damaged(QStringLiteral("short sheet record"));
            if (body[5] != 0) // a chart, macro or dialog sheet
                break;
            Sheet sheet{{}, le32(body.data())};
            if (biff8) {
                SegmentReader in(record->segments);
                bool cut = false;
                in.bytes(6);
                if (!readBiff8String(in, true, &sheet.name, &cut))
                    return damaged(QStringLiteral("bad sheet name"));
            } else {
                const qint64 n = static_cast<unsigned char>(body[6]);
                if (!fits(body, 7, n))
                    return damaged(QStringLiteral("bad sheet name"));
                sheet.name = decodeCodePage(body.sliced(7, n), codePage);
            }
            sheets.push_back(sheet);
            break;
        }
        case kSst: {
            SegmentReader in(record->segments);
            quint32 total = 0;
            quint32 unique = 0;
            if (!in.u32(&total) || !in.u32(&unique))
                return damaged(QStringLiteral("short shared strings"));
            // Each string takes at least three bytes: the count bounds the
            // table by the record's size.
            strings.reserve(std::min<size_t>(unique, size_t(stream.size() / 3)));
            for (quint32 i = 0; i < unique && !in.atEnd(); ++i) {
                QString s;
                bool cut = false;
                if (!readBiff8String(in, false, &s, &cut))
                    return damaged(cut ? QStringLiteral("shared string cut inside a character")
                                       : QStringLiteral("shared string past its record"));
                strings.push_back(std::move(s));
            }
            break;
        }
        default:
            break;
        }
    }
    if (records.cut())
        return damaged(QStringLiteral("record past the end of the stream"));
    formats.finish();

    TextSink sink(biff8 ? Kind::Excel97 : Kind::Excel95, limits);
    std::vector<Cell> cells;
    QString pool;
    std::vector<quint32> read; // sheet offsets already read: each sheet once
    for (const Sheet &sheet : sheets) {
        if (std::find(read.begin(), read.end(), sheet.offset) != read.end())
            continue;
        read.push_back(sheet.offset);
        records.seek(sheet.offset);
        if (!records.next(&data) || data.type != kBof)
            return damaged(QStringLiteral("sheet \"%1\" has no BOF record").arg(sheet.name));
        cells.clear();
        pool.clear();
        bool over = false;
        // A cell costs its text and its tab or line end, as in the sink.
        auto add = [&](quint16 row, quint16 col, QStringView text) {
            if (text.isEmpty())
                return;
            if (pool.size() + qint64(cells.size()) + text.size() + 1 > limits.textUnits) {
                over = true;
                return;
            }
            cells.push_back({row, col, pool.size(), text.size()});
            pool.append(text);
        };
        int depth = 1;
        // The cell whose formula result the next STRING record holds (row, col), if any.
        bool hasPendingString = false;
        std::pair<quint16, quint16> pendingString{0, 0};
        while (depth > 0 && !over) {
            if (!records.next(&data))
                return damaged(QStringLiteral("sheet \"%1\" has no end").arg(sheet.name));
            const QByteArrayView body = record->first();
            auto put = [&](const QString &text) {
                add(le16(body.data()), le16(body.data() + 2), text);
            };
            // Every cell record holds its row, column and style first.
            const qint64 style = body.size() >= 6 ? le16(body.data() + 4) : -1;
            switch (record->type) {
            case kBof:
                ++depth;
                break;
            case kEof:
                --depth;
                break;
            case kLabelSst:
                if (depth == 1 && body.size() >= 10) {
                    const quint32 index = le32(body.data() + 6);
                    if (index < strings.size())
                        put(formats.text(style, strings[index]));
                }
                break;
            case kLabel:
            case kRString:
                if (depth == 1 && body.size() >= 8) {
                    QString text;
                    if (biff8) {
                        SegmentReader in(record->segments);
                        bool cut = false;
                        in.bytes(6);
                        quint16 count = 0;
                        quint8 flags = 0;
                        if (in.u16(&count) && in.u8(&flags))
                            in.chars(count, flags & 1, 1252, &text, &cut);
                    } else {
                        const qint64 n = le16(body.data() + 6);
                        text = decodeCodePage(body.sliced(8, std::min<qint64>(n, body.size() - 8)),
                                              codePage);
                    }
                    put(formats.text(style, text));
                }
                break;
            case kNumber:
                if (depth == 1 && body.size() >= 14)
                    put(formats.number(style, doubleAt(body.data() + 6)));
                break;
            case kRk:
                if (depth == 1 && body.size() >= 10)
                    put(formats.number(style, rkValue(le32(body.data() + 6))));
                break;
            case kMulRk:
                if (depth == 1 && body.size() >= 6) {
                    const quint16 row = le16(body.data());
                    const quint16 col = le16(body.data() + 2);
                    const qint64 n = (body.size() - 6) / 6;
                    for (qint64 i = 0; i < n; ++i)
                        add(row, quint16(col + i),
                            formats.number(le16(body.data() + 4 + 6 * i),
                                           rkValue(le32(body.data() + 6 + 6 * i))));
                }
                break;
            case kBoolErr:
                if (depth == 1 && body.size() >= 8 && body[7] == 0)
                    put(body[6] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
                else if (depth == 1 && body.size() >= 8)
                    put(excelErrorText(quint8(body[6])));
                break;
            case kFormula:
                if (depth == 1 && body.size() >= 14) {
                    const char *value = body.data() + 6;
                    if (le16(value + 6) != 0xFFFF)
                        put(formats.number(style, doubleAt(value)));
                    else if (value[0] == 0)
                        pendingString = {le16(body.data()), le16(body.data() + 2)},
                        hasPendingString = true;
                    else if (value[0] == 1)
                        put(value[2] ? QStringLiteral("TRUE") : QStringLiteral("FALSE"));
                    else if (value[0] == 2)
                        put(excelErrorText(quint8(value[2])));
                }
                break;
            case kString:
                if (depth == 1 && hasPendingString && body.size() >= 2) {
                    QString text;
                    if (biff8) {
                        SegmentReader in(record->segments);
                        quint16 count = 0;
                        quint8 flags = 0;
                        bool cut = false;
                        if (in.u16(&count) && in.u8(&flags))
                            in.chars(count, flags & 1, 1252, &text, &cut);
                    } else {
                        const qint64 n = le16(body.data());
                        text = decodeCodePage(body.sliced(2, std::min<qint64>(n, body.size() - 2)),
                                              codePage);
                    }
                    add(pendingString.first, pendingString.second, text);
                    hasPendingString = false;
                }
                break;
            default:
                break;
            }
        }
        std::stable_sort(cells.begin(), cells.end(), [](const Cell &a, const Cell &b) {
            return a.row != b.row ? a.row < b.row : a.col < b.col;
        });
        sink.beginPart(sheet.name);
        for (size_t i = 0; i < cells.size(); ++i) {
            if (i > 0 && cells[i].row == cells[i - 1].row)
                sink.cellBreak();
            sink.append(QStringView(pool).sliced(cells[i].from, cells[i].size));
            if (i + 1 == cells.size() || cells[i + 1].row != cells[i].row)
                sink.endLine();
        }
        if (over || sink.overLimit())
            return {Failure::OverLimit, QStringLiteral("over the text limit"), {}};
    }
    return {Failure::None, {}, sink.take()};
}

} // namespace documents::legacy
