// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Find in the viewer's text, case-sensitively, from a character offset.
//
// A word with exactly one code page 932 byte form is looked for with a byte
// search over the raw file, counting only hits that start a character; any
// other word (several byte forms, or a line break in it, or a set text) takes
// the decoding path, which decodes line after line into a bounded buffer. A
// word that no bytes decode to is never found.

#include "viewer/LineIndex.h"

#include <QString>

struct FindHit {
    qsizetype offset = -1; // -1 when nothing was found
    qsizetype length = 0;  // characters of the occurrence
};

// Finds text in the index's text from the offset start. A line break in text
// (CR-LF, CR or LF) matches any line end. Nothing is found when text is empty
// or start is out of range.
FindHit findText(const LineIndex &index, const QString &text, qsizetype start);
