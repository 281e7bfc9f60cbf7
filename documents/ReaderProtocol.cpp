// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ReaderProtocol.h"

#include <QtEndian>

#include <cstring>

namespace documents::protocol {

namespace {

void putU32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

void putString(QByteArray &out, const QString &text)
{
    putU32(out, quint32(text.size()));
    const qsizetype at = out.size();
    out.resize(at + 2 * text.size());
    qToLittleEndian<char16_t>(text.utf16(), text.size(), out.data() + at);
}

// Reads the payload from front to back; any read past its end fails for good.
class Reader {
public:
    explicit Reader(QByteArrayView bytes) : m_bytes(bytes) {}
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_bytes.size(); }
    quint8 u8()
    {
        if (!need(1))
            return 0;
        return quint8(m_bytes[m_at++]);
    }
    quint32 u32()
    {
        if (!need(4))
            return 0;
        const quint32 value = qFromLittleEndian<quint32>(m_bytes.data() + m_at);
        m_at += 4;
        return value;
    }
    QString string()
    {
        const qsizetype units = qsizetype(u32());
        if (!need(2 * units))
            return {};
        QString text(units, Qt::Uninitialized);
        qFromLittleEndian<char16_t>(m_bytes.data() + m_at, units, text.data());
        m_at += 2 * units;
        return text;
    }
    QByteArrayView bytes(quint32 count)
    {
        if (!need(qsizetype(count)))
            return {};
        const QByteArrayView out = m_bytes.sliced(m_at, qsizetype(count));
        m_at += qsizetype(count);
        return out;
    }
    // True when `count` items of at least `each` bytes can still be there.
    bool room(quint32 count, qsizetype each)
    {
        m_ok = m_ok && qsizetype(count) <= (m_bytes.size() - m_at) / each;
        return m_ok;
    }

private:
    bool need(qsizetype n)
    {
        m_ok = m_ok && n >= 0 && n <= m_bytes.size() - m_at;
        return m_ok;
    }
    QByteArrayView m_bytes;
    qsizetype m_at = 0;
    bool m_ok = true;
};

} // namespace

QByteArray encodeRequest(Container container, const ArchiveChoice &choice, bool members,
                         bool verdict)
{
    QByteArray out;
    putU32(out, kRequestMagic);
    out.append(char(container));
    out.append(char(choice.documents ? 1 : 0));
    out.append(char(choice.encoding));
    out.append(char((members ? kMembers : 0) | (verdict ? kVerdict : 0)));
    return out;
}

namespace {
constexpr quint32 kVerdictBit = 1u << 23; // of a bytes request's size
}

QByteArray encodeBytesRequest(Container container, qsizetype size, bool verdict)
{
    QByteArray out;
    putU32(out, kBytesRequestMagic);
    out.append(char(container));
    const quint32 word = quint32(size) | (verdict ? kVerdictBit : 0);
    for (int shift : {0, 8, 16})
        out.append(char(word >> shift));
    return out;
}

bool decodeRequest(QByteArrayView bytes, Container &container, ArchiveChoice *choice, bool *members,
                   qsizetype *inlineBytes, bool *verdict)
{
    if (bytes.size() != kRequestBytes)
        return false;
    const quint32 magic = qFromLittleEndian<quint32>(bytes.data());
    if (magic == kBytesRequestMagic) {
        const quint8 value = quint8(bytes[4]);
        const quint32 word = quint8(bytes[5]) | quint8(bytes[6]) << 8 | quint8(bytes[7]) << 16;
        const qsizetype size = qsizetype(word & ~kVerdictBit);
        if (!inlineBytes || value >= quint8(Container::Archive) || size > kMostInlineBytes)
            return false;
        container = Container(value);
        *inlineBytes = size;
        if (members)
            *members = false;
        if (choice)
            *choice = {};
        if (verdict)
            *verdict = (word & kVerdictBit) != 0;
        return true;
    }
    if (magic != kRequestMagic)
        return false;
    if (inlineBytes)
        *inlineBytes = -1;
    const quint8 value = quint8(bytes[4]);
    if (value > quint8(Container::Archive))
        return false;
    const quint8 documents = quint8(bytes[5]);
    const quint8 encoding = quint8(bytes[6]);
    const quint8 flags = quint8(bytes[7]);
    if (documents > 1 || encoding > quint8(platform::EncodingMode::EucJp) ||
        (flags & ~(kMembers | kVerdict)) != 0)
        return false;
    container = Container(value);
    if (members)
        *members = (flags & kMembers) != 0;
    if (verdict)
        *verdict = (flags & kVerdict) != 0;
    if (choice)
        *choice = {documents == 1, platform::EncodingMode(encoding)};
    return true;
}

QByteArray encodeQuery(const MatchQuery &query)
{
    QByteArray out;
    putU32(out, kQueryMagic);
    putU32(out, 0); // the payload size, once known
    out.append(char(query.choice.encoding));
    out.append(char((query.folds.caseless ? 1 : 0) | (query.folds.width ? 2 : 0) |
                    (query.folds.kana ? 4 : 0)));
    putU32(out, quint32(query.words.size()));
    for (const QString &word : query.words) {
        if (out.size() + 4 + 2 * word.size() > kHeaderBytes + kMostQueryBytes)
            return {};
        putString(out, word);
    }
    qToLittleEndian(quint32(out.size() - kHeaderBytes), out.data() + 4);
    return out;
}

bool decodeQuery(QByteArrayView payload, MatchQuery &query)
{
    Reader in(payload);
    const quint8 encoding = in.u8();
    const quint8 folds = in.u8();
    const quint32 count = in.u32();
    if (!in.ok() || encoding > quint8(platform::EncodingMode::EucJp) || folds > 7 ||
        !in.room(count, 4))
        return false;
    query.choice.encoding = platform::EncodingMode(encoding);
    query.folds = {(folds & 1) != 0, (folds & 2) != 0, (folds & 4) != 0};
    query.words.clear();
    for (quint32 i = 0; i < count && in.ok(); ++i)
        query.words.append(in.string());
    return in.ok() && in.atEnd();
}

QByteArray encodeAnswer(const ReadResult &result)
{
    // The whole answer's size first, so that it is built in one allocation.
    qsizetype size = kHeaderBytes + 2 + 4 + 2 * result.reason.size() + 4 + 4;
    for (const QString &line : result.text.lines)
        size += 4 + 2 * line.size();
    for (const Location &location : result.text.locations)
        size += 8 + 2 * location.label.size();
    QByteArray out;
    out.reserve(size);
    putU32(out, kAnswerMagic);
    putU32(out, 0); // the payload size, once known
    out.append(char(result.failure));
    out.append(char(result.text.kind));
    putString(out, result.reason);
    putU32(out, quint32(result.text.lines.size()));
    for (const QString &line : result.text.lines)
        putString(out, line);
    putU32(out, quint32(result.text.locations.size()));
    for (const Location &location : result.text.locations) {
        putU32(out, quint32(location.line));
        putString(out, location.label);
    }
    qToLittleEndian(quint32(out.size() - kHeaderBytes), out.data() + 4);
    return out;
}

QByteArray encodeVerdict(const ReadResult &result, bool found)
{
    QByteArray out;
    out.reserve(kHeaderBytes + 3 + 4 + 2 * result.reason.size());
    putU32(out, kVerdictMagic);
    putU32(out, 0); // the payload size, once known
    out.append(char(result.failure));
    out.append(char(result.text.kind));
    out.append(char(found ? 1 : 0));
    putString(out, result.reason);
    qToLittleEndian(quint32(out.size() - kHeaderBytes), out.data() + 4);
    return out;
}

void MemberChunk::clear()
{
    m_bytes.resize(0);
    putU32(m_bytes, kMembersMagic);
    putU32(m_bytes, 0);   // the payload size, once known
    m_bytes.append('\0'); // what follows, once known
}

void MemberChunk::addText(QByteArrayView bytes)
{
    m_bytes.append('\0');
    putU32(m_bytes, quint32(bytes.size()));
    m_bytes.append(bytes);
}

void MemberChunk::addLines(const std::vector<QString> &lines)
{
    m_bytes.append('\1');
    putU32(m_bytes, quint32(lines.size()));
    for (const QString &line : lines)
        putString(m_bytes, line);
}

QByteArrayView MemberChunk::finish(ChunkEnd end)
{
    qToLittleEndian(quint32(m_bytes.size() - kHeaderBytes), m_bytes.data() + 4);
    m_bytes[kHeaderBytes] = char(end);
    return m_bytes;
}

QByteArray MemberChunk::textHead(qsizetype size, ChunkEnd end)
{
    QByteArray out;
    putU32(out, kMembersMagic);
    putU32(out, quint32(1 + 1 + 4 + size));
    out.append(char(end));
    out.append('\0');
    putU32(out, quint32(size));
    return out;
}

qsizetype frameSize(QByteArrayView header, quint32 &magic)
{
    if (header.size() != kHeaderBytes)
        return -1;
    magic = qFromLittleEndian<quint32>(header.data());
    if (magic != kAnswerMagic && magic != kMembersMagic)
        return -1;
    const quint32 size = qFromLittleEndian<quint32>(header.data() + 4);
    return size <= quint32(kMaxPayloadBytes) ? qsizetype(size) : -1;
}

bool decodeMembers(QByteArrayView payload, MemberSink &sink, bool &wait, bool &found)
{
    Reader in(payload);
    const quint8 end = in.u8();
    if (!in.ok() || end > kMore)
        return false;
    wait = end == kWait;
    found = false;
    std::vector<QString> lines;
    while (!found && !in.atEnd()) {
        const quint8 type = in.u8();
        const quint32 count = in.u32();
        if (type == 0) {
            const QByteArrayView bytes = in.bytes(count);
            if (!in.ok())
                return false;
            found = sink.textMember(bytes);
        } else if (type == 1) {
            if (!in.room(count, 4))
                return false;
            lines.clear();
            lines.reserve(count);
            for (quint32 i = 0; i < count && in.ok(); ++i)
                lines.push_back(in.string());
            if (!in.ok())
                return false;
            found = sink.documentLines(lines);
        } else {
            return false;
        }
    }
    return in.ok();
}

qsizetype payloadSize(QByteArrayView header)
{
    if (header.size() != kHeaderBytes)
        return -1;
    const quint32 magic = qFromLittleEndian<quint32>(header.data());
    if (magic != kAnswerMagic && magic != kVerdictMagic)
        return -1;
    const quint32 size = qFromLittleEndian<quint32>(header.data() + 4);
    return size <= quint32(kMaxPayloadBytes) ? qsizetype(size) : -1;
}

bool decodeAnswer(QByteArrayView payload, ReadResult &result)
{
    Reader in(payload);
    const quint8 failure = in.u8();
    const quint8 kind = in.u8();
    if (failure > quint8(Failure::NeedsPdfReader) || kind >= quint8(kKindCount))
        return false;
    result = {};
    result.failure = Failure(failure);
    result.text.kind = Kind(kind);
    result.reason = in.string();
    const quint32 lines = in.u32();
    if (!in.room(lines, 4))
        return false;
    result.text.lines.reserve(lines);
    for (quint32 i = 0; i < lines && in.ok(); ++i)
        result.text.lines.push_back(in.string());
    const quint32 locations = in.u32();
    if (!in.room(locations, 8))
        return false;
    qsizetype previous = 0;
    for (quint32 i = 0; i < locations && in.ok(); ++i) {
        Location location;
        location.line = qsizetype(in.u32());
        location.label = in.string();
        // Ascending, and within the lines (a part may begin after the last line).
        if (location.line < previous || location.line > qsizetype(lines))
            return false;
        previous = location.line;
        result.text.locations.push_back(std::move(location));
    }
    return in.ok() && in.atEnd();
}

bool decodeAnyAnswer(QByteArrayView frame, ReadResult &result, std::optional<bool> &found)
{
    found.reset();
    if (frame.size() < kHeaderBytes ||
        payloadSize(frame.first(kHeaderBytes)) != frame.size() - kHeaderBytes)
        return false;
    const QByteArrayView payload = frame.sliced(kHeaderBytes);
    if (qFromLittleEndian<quint32>(frame.data()) == kAnswerMagic)
        return decodeAnswer(payload, result);
    Reader in(payload);
    const quint8 failure = in.u8();
    const quint8 kind = in.u8();
    const quint8 matched = in.u8();
    if (failure > quint8(Failure::NeedsPdfReader) || kind >= quint8(kKindCount) || matched > 1)
        return false;
    result = {};
    result.failure = Failure(failure);
    result.text.kind = Kind(kind);
    result.reason = in.string();
    if (!in.ok() || !in.atEnd())
        return false;
    found = matched == 1;
    return true;
}

} // namespace documents::protocol
