// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// OpenDocument text, spreadsheets and presentations: recognised by the
// `mimetype` member at the start of the archive, read from content.xml (and,
// for text, the headers and footers of styles.xml) as XML streams.

#include "documents/DocumentText.h"
#include "documents/Limits.h"
#include "documents/ZipArchive.h"

#include <QByteArrayView>

#include <optional>

namespace documents {

// The kind a `mimetype` member's content names, or none.
std::optional<Kind> openDocumentKind(QByteArrayView mimetype);

ReadResult readOpenDocument(ZipArchive &zip, Kind kind, const Limits &limits);

} // namespace documents
