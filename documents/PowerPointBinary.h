// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// PowerPoint 97-2003 presentations (a compound file with a "PowerPoint
// Document" stream): the text of each slide in slide order, then the notes,
// found through the current edit's persist directory. A paragraph is a line;
// each slide and each slide's notes begin a part.

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"
#include "documents/Limits.h"

namespace documents::legacy {

ReadResult readPowerPointBinary(const cfb::CompoundFile &file, const Limits &limits);

} // namespace documents::legacy
