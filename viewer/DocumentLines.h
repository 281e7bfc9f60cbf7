// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A document's text as the viewer holds it: its lines joined by line feeds,
// so that with lone line feeds ending lines (LineIndex::setLoneLfEndsLine)
// each line of the document is exactly one line of the viewer, for display
// and for F3 alike. Where each part begins (a sheet, a page, a slide) stays
// beside the text, never in it.

#include "documents/DocumentText.h"
#include "text/EncodingMode.h"

#include <QString>

#include <vector>

// The lines joined by "\n". A CR or LF inside a line (which a reader should
// not give) shows as a space, so it cannot split the line in two.
QString documentViewText(const documents::DocumentText &document);

// The part that holds the line: the index into locations (ascending by line)
// of the last one starting at or before it; -1 when the line comes before the
// first part.
qsizetype partOfLine(const std::vector<documents::Location> &locations, qsizetype line);

// How a text file decoded this way is named to the user ("シフトJIS", ...),
// beside a document's documents::kindLabel().
QString encodingLabel(platform::FileEncoding encoding);
