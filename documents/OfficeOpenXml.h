// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Word, Excel and PowerPoint files (Office Open XML): recognised by the main
// part named in [Content_Types].xml, read part by part as XML streams.

#include "documents/DocumentText.h"
#include "documents/Limits.h"
#include "documents/ZipArchive.h"

namespace documents {

// The text of an archive holding [Content_Types].xml at `contentTypes`;
// Failure::NotDocument when it names no Word, Excel or PowerPoint main part.
ReadResult readOfficeOpenXml(ZipArchive &zip, qint64 contentTypes, const Limits &limits);

} // namespace documents
