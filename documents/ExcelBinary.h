// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Excel 97-2003 (BIFF8) and Excel 5/95 (BIFF5) workbooks (a compound file
// with a Workbook or Book stream): every worksheet in workbook order, a row
// a line with its cells joined by a tab in column order. Text cells, shared
// strings, numbers, booleans and errors as their cells' formats show them,
// and cached formula results.

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"
#include "documents/Limits.h"

namespace documents::legacy {

ReadResult readExcelBinary(const cfb::CompoundFile &file, const Limits &limits);

} // namespace documents::legacy
