// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A tally, per thread, of the units the searches looked at beyond their pass
// over the text: candidates compared whole, and a line searched again for each
// of its words. Kept so that a test can tell that this work stays within a
// constant times the text, whatever the keyword; nothing else reads it.

#include <QtGlobal>

namespace search {

inline thread_local qint64 extraWork = 0;

} // namespace search
