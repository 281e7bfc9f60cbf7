// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The document readers: from a file's bytes to its text. They parse
// untrusted input with format libraries, so only the reader helper process
// (and the tests) link them; the engine and the window reach them through
// DocumentReader.h.

#include "documents/DocumentText.h"
#include "documents/Limits.h"
#include "documents/Recognize.h"

#include <QByteArrayView>

namespace documents {

// The text of a whole file that sniff() took for `container`. A PDF is read
// by the reader setPdfReader() gave, and is Failure::NeedsPdfReader where
// none was given: the PDF library is linked by one helper program only.
// With a check, the readers that can hand their lines to it as they go (a
// message's, saved or Outlook's) do so and keep none; the others keep them as without.
ReadResult readDocument(QByteArrayView bytes, Container container, const Limits &limits,
                        LineCheck *check = nullptr);
using PdfReader = ReadResult (*)(QByteArrayView bytes, const Limits &limits);
void setPdfReader(PdfReader reader);

// One reader per container (each in a file of its own).
// Office Open XML (Word, Excel, PowerPoint) and OpenDocument.
ReadResult readZipDocument(QByteArrayView bytes, const Limits &limits);
// Compound files: Word, Excel and PowerPoint 97-2003, Word 6/95, Excel 5/95.
ReadResult readCompoundDocument(QByteArrayView bytes, const Limits &limits,
                                LineCheck *check = nullptr);
ReadResult readRtfDocument(QByteArrayView bytes, const Limits &limits);
// A saved e-mail, an mbox or a saved web page (.mht): headers, bodies and
// attachments, each a part.
ReadResult readMailDocument(QByteArrayView bytes, const Limits &limits, LineCheck *check = nullptr);

} // namespace documents
