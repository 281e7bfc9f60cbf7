// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ReadDocument.h"

namespace documents {

ReadResult readRtfDocument(QByteArrayView, const Limits &)
{
    return {Failure::Unsupported, QStringLiteral("not read yet"), {}};
}

} // namespace documents
