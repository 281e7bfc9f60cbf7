// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Word 97-2003 and Word 6/95 documents (a compound file with a WordDocument
// stream): the main text, footnotes, headers and footers, comments, endnotes
// and text boxes, in the order the document stores them, through the piece
// table. A paragraph is a line; a table row is a line, its cells joined by a
// tab; field instructions are left out, their results kept.

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"
#include "documents/Limits.h"

namespace documents::legacy {

ReadResult readWordBinary(const cfb::CompoundFile &file, const Limits &limits);

} // namespace documents::legacy
