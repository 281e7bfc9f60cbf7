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
// The program takes every answer for untrusted: decodeAnswer() checks every
// count against the bytes that are there and every enum against its range.

#include "documents/DocumentReader.h"
#include "documents/DocumentText.h"
#include "documents/Recognize.h"

#include <QByteArray>
#include <QByteArrayView>

namespace documents::protocol {

constexpr quint32 kRequestMagic = 0x51525754;      // "TWRQ"
constexpr quint32 kAnswerMagic = 0x53525754;       // "TWRS"
constexpr qsizetype kRequestBytes = 8;             // magic, container, 2 of choice, 1 unused
constexpr qsizetype kHeaderBytes = 8;              // magic, payload size
constexpr qsizetype kMaxPayloadBytes = 0x7ff00000; // what a header may announce

// An archive's request says how its members are read in the next two bytes:
// 1 when documents inside are read by their readers, and the encoding mode.
QByteArray encodeRequest(Container container, const ArchiveChoice &choice = {});
// False when the bytes are not a request.
bool decodeRequest(QByteArrayView bytes, Container &container, ArchiveChoice *choice = nullptr);

// The header and the payload, in one piece.
QByteArray encodeAnswer(const ReadResult &result);
// The payload size the header announces, or -1 when it is no answer's header.
qsizetype payloadSize(QByteArrayView header);
// False when the payload is malformed (the result is then unspecified).
bool decodeAnswer(QByteArrayView payload, ReadResult &result);

} // namespace documents::protocol
