// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Archives and compressed files through libarchive, read from memory: every
// member is inflated into memory (nothing is written anywhere) and read as
// the file it is: a document by its reader when the choice says so, an
// archive inside by this reader again (up to Limits::archiveDepth), anything
// else as text in the choice's encoding mode. Each member's path (decoded for
// display only: UTF-8 where the archive says so or the bytes are valid UTF-8,
// else code page 932) begins a part of the text. Only the reader helper and
// the tests link it.

#include "documents/DocumentReader.h"
#include "documents/DocumentText.h"
#include "documents/Limits.h"

#include <QByteArrayView>

namespace documents {

// The members' text (Kind::Archive), or the document a zip is when
// choice.documents is on. NotDocument: not an archive libarchive reads, or an
// Office or OpenDocument zip with choice.documents off (both are then text).
// Encrypted: nothing could be read for a password. Members that cannot be
// read, and a limit that ended the archive, are named in the reason of a
// result that is otherwise ok ("a/b.txt: encrypted"), with the text of what
// was read before.
// With `members`, for a search: each text member's bytes and each document
// member's lines go there as they are read, none into the result, and the
// first the search takes ends the reading (no later member is inflated).
ReadResult readArchiveDocument(QByteArrayView bytes, const ArchiveChoice &choice,
                               const Limits &limits, const MemberCalls *members = nullptr);
// The same, the members handed to `sink` (in process: tests, fuzzing).
ReadResult readArchiveDocument(QByteArrayView bytes, const ArchiveChoice &choice,
                               const Limits &limits, MemberSink &sink);

} // namespace documents
