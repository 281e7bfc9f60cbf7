// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Outlook's saved messages (.msg): a compound file whose root holds the
// message's properties, each string or binary one as a stream of its own
// ("__substg1.0_" and the property's tag in hexadecimal), the fixed-size ones
// in "__properties_version1.0". Read: the subject, the sender, the
// recipients as the message shows them, the date it was sent, and the plain
// body, or where there is none the compressed RTF body through the RTF
// reader.

#include "documents/CompoundFile.h"
#include "documents/DocumentText.h"
#include "documents/Limits.h"

#include <QByteArray>
#include <QByteArrayView>

namespace documents {

// Whether the compound file is an Outlook message.
bool isOutlookMessage(const cfb::CompoundFile &file);
ReadResult readOutlookMessage(const cfb::CompoundFile &file, const Limits &limits,
                              LineCheck *check = nullptr);

// The RTF that compressed RTF (the "LZFu" form, or "MELA", stored as it is)
// holds: at most `max` bytes; false with `reason` when the header is damaged
// or the text would be longer.
bool decompressRtf(QByteArrayView bytes, qint64 max, QByteArray *out, QString *reason);

} // namespace documents
