// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ReadDocument.h"

namespace documents {

ReadResult readDocument(QByteArrayView bytes, Container container, const Limits &limits)
{
    if (bytes.size() > limits.fileBytes)
        return {Failure::OverLimit,
                QStringLiteral("over the %1 MiB document limit").arg(limits.fileBytes >> 20),
                {}};
    switch (container) {
    case Container::Zip:
        return readZipDocument(bytes, limits);
    case Container::Compound:
        return readCompoundDocument(bytes, limits);
    case Container::Rtf:
        return readRtfDocument(bytes, limits);
    case Container::Mail:
        return readMailDocument(bytes, limits);
    case Container::Pdf:
    case Container::Archive:
    case Container::None:
        break;
    }
    return {Failure::NotDocument, {}, {}};
}

} // namespace documents
