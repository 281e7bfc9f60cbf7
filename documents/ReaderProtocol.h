// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What the reader helper process and the program say to each other on their
// socket. A request is one message with the document's descriptor attached
// (SCM_RIGHTS): kRequestBytes bytes, the magic and the container. An answer is
// a header (the magic and the payload's size in bytes, both little-endian
// 32-bit) and the payload:
//   u8 failure, u8 kind, string reason,
//   u32 line count, each line a string,
//   u32 location count, each a u32 line index and a string label;
// a string is a u32 count of UTF-16 units and the units, little-endian.
//
// An archive's request for a search (its last byte 1) is answered with its
// members as they are read, in chunks, before that answer (which then holds
// no lines). A chunk is a header (kMembersMagic and the payload's size) and
// the payload: u8 what follows (kWait: the helper waits for kGoOnMagic or
// kStopMagic, a u32 from the program; kMore: more members or the answer, at
// once), then members to the end, each u8 type (0: a text member, u32 byte
// count and the bytes as they are; 1: a document member, u32 line count and
// each line a string).
// The program takes every answer for untrusted: decodeAnswer() checks every
// count against the bytes that are there and every enum against its range.

#include "documents/DocumentReader.h"
#include "documents/DocumentText.h"
#include "documents/Recognize.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <vector>

namespace documents::protocol {

constexpr quint32 kRequestMagic = 0x51525754;      // "TWRQ"
constexpr quint32 kAnswerMagic = 0x53525754;       // "TWRS"
constexpr quint32 kMembersMagic = 0x4d525754;      // "TWRM"
constexpr quint32 kGoOnMagic = 0x4f475754;         // "TWGO"
constexpr quint32 kStopMagic = 0x54535754;         // "TWST"
constexpr qsizetype kRequestBytes = 8;             // magic, container, 2 of choice, members
constexpr qsizetype kHeaderBytes = 8;              // magic, payload size
constexpr qsizetype kMaxPayloadBytes = 0x7ff00000; // what a header may announce

// A small document the program has read whole already may come in the
// request itself, in place of its descriptor: kBytesRequestMagic, the
// container, the size (u24, at most kMostInlineBytes), then the bytes. The
// helper then neither receives, nor looks at, nor reads a descriptor.
constexpr quint32 kBytesRequestMagic = 0x42525754; // "TWRB"
constexpr qsizetype kMostInlineBytes = qsizetype(64) << 10;

// A search's queue may have the helper match a document's text itself, so
// that only the verdict crosses the socket. It first tells the helper what
// the search looks for: a query, kQueryMagic and the payload's size, then
// u8 encoding mode, u8 folds (1 caseless, 2 width, 4 kana), u32 word count,
// each word a string. The helper keeps it until the next. A request that
// asks for the verdict is answered, when the helper holds a query, with
// kVerdictMagic, the payload's size and u8 failure, u8 kind, u8 found (0 or
// 1), string reason; a helper that holds none answers with the lines.
constexpr quint32 kQueryMagic = 0x57525754;   // "TWRW"
constexpr quint32 kVerdictMagic = 0x56525754; // "TWRV"
constexpr qsizetype kMostQueryBytes = qsizetype(64) << 10;

// The helper's progress, in a word it shares with the program (a page handed
// over as descriptor kProgressDescriptor, with --progress): how many document
// requests it has begun, modulo 2^16, and above that the monotonic clock's
// milliseconds when it began the last, written at once so that it is never
// read half done. With it the helper may hold its answers back while more
// requests wait (one write, and one wake-up of the program, for several),
// and the program still knows which document a helper that ended was
// reading, and since when.
constexpr int kProgressDescriptor = 4;
inline quint64 progressWord(quint32 begun, qint64 milliseconds)
{
    return (quint64(milliseconds) << 16) | (begun & 0xFFFFu);
}

// An archive's request says how its members are read in the next two bytes:
// 1 when documents inside are read by their readers, and the encoding mode.
// Its last byte holds flags: kMembers for a search's members in chunks as
// they are read, kVerdict for the verdict. A request that brings the
// document's bytes asks for the verdict by the top bit of its size.
enum RequestFlag : quint8 { kMembers = 1, kVerdict = 2 };
QByteArray encodeRequest(Container container, const ArchiveChoice &choice = {},
                         bool members = false, bool verdict = false);
// The head of a request that brings `size` bytes of the document itself.
QByteArray encodeBytesRequest(Container container, qsizetype size, bool verdict = false);
// False when the bytes are not a request. inlineBytes: the size of the
// document's bytes that follow, or -1 when a descriptor comes with it.
bool decodeRequest(QByteArrayView bytes, Container &container, ArchiveChoice *choice = nullptr,
                   bool *members = nullptr, qsizetype *inlineBytes = nullptr,
                   bool *verdict = nullptr);

// The query as one frame, header and payload; empty when its words take
// more than kMostQueryBytes (the queue then matches the lines itself).
QByteArray encodeQuery(const MatchQuery &query);
// False when the payload is malformed. Of the query's choice only the
// encoding mode comes: an archive's request brings its own choice.
bool decodeQuery(QByteArrayView payload, MatchQuery &query);

// What follows a chunk.
enum ChunkEnd : quint8 { kWait = 0, kMore = 1 };

// A chunk of members as it is built: the header and the payload, in one piece.
class MemberChunk {
public:
    MemberChunk() { clear(); }
    void addText(QByteArrayView bytes);
    void addLines(const std::vector<QString> &lines);
    bool empty() const { return m_bytes.size() == kHeaderBytes + 1; }
    // The member bytes held so far, about.
    qsizetype size() const { return m_bytes.size(); }
    // The chunk to send; valid until clear().
    QByteArrayView finish(ChunkEnd end);
    // The head of a chunk of one text member of `size` bytes, which follow it.
    static QByteArray textHead(qsizetype size, ChunkEnd end);
    // Empty again, its room kept.
    void clear();

private:
    QByteArray m_bytes;
};

// What a header announces: the payload size of an answer or a chunk (its
// magic in `magic`), or -1 when it is neither.
qsizetype frameSize(QByteArrayView header, quint32 &magic);
// Hands the chunk's members to `sink` until it takes one (found) or the
// members end; `wait`: the helper waits for the program's word. False when
// the payload is malformed.
bool decodeMembers(QByteArrayView payload, MemberSink &sink, bool &wait, bool &found);

// The header and the payload, in one piece.
QByteArray encodeAnswer(const ReadResult &result);
// A verdict answer (the result's lines are not sent), in one piece.
QByteArray encodeVerdict(const ReadResult &result, bool found);
// The payload size the header announces, or -1 when it is no answer's
// header (of either kind).
qsizetype payloadSize(QByteArrayView header);
// False when the payload is malformed (the result is then unspecified).
bool decodeAnswer(QByteArrayView payload, ReadResult &result);
// An answer of either kind, header and payload: `found` set for a verdict.
bool decodeAnyAnswer(QByteArrayView frame, ReadResult &result, std::optional<bool> &found);

} // namespace documents::protocol
