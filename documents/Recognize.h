// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The first look at a file, by its content alone (never its name): whether it
// may be a document, and so is worth handing to a reader helper. The helper
// makes the final decision (a zip may be neither Office Open XML nor
// OpenDocument; it then answers Failure::NotDocument and the file is read as
// text).

#include <QtGlobal>

namespace documents {

enum class Container : quint8 { None, Zip, Pdf, Compound, Rtf, Mail };

// How many of a file's first bytes sniff() wants (fewer when the file is shorter).
constexpr qsizetype kSniffBytes = 1024;

// From the file's first bytes: "PK\3\4" at the start: Zip; "%PDF-" within the
// first 1,024 bytes: Pdf; D0 CF 11 E0 A1 B1 1A E1 at the start: Compound;
// "{\rtf" at the start: Rtf; a block of mail header lines at the start
// (looksLikeMail()): Mail.
Container sniff(const char *data, qsizetype size);

// A saved e-mail, an mbox or a saved web page of the same form: the bytes
// start with header lines ("Name: value", continued by lines that start with
// a blank), optionally after an mbox "From " line, that hold at least two of
// the fields mail carries (From, To, Subject, Date, Received, MIME-Version,
// Message-ID, Return-Path, Content-Type, ...), and end at an empty line or at
// the end of the bytes looked at. Anything else in that block (a line that is
// no header) makes it no mail.
bool looksLikeMail(const char *data, qsizetype size);

} // namespace documents
