// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The PDF reader, on poppler. Kept out of the other readers' library: only the
// reader helper program (and its tests) link it, and with it poppler's licence.

#include "documents/DocumentText.h"
#include "documents/Limits.h"

#include <QByteArrayView>

namespace documents {

// Every page in order, each a part ("3 ページ"); a line is a line of text as
// poppler lays the page out in reading order (a column of vertical text is
// one line). A file that needs a password to open is Encrypted.
ReadResult readPdfDocument(QByteArrayView bytes, const Limits &limits);

} // namespace documents
