// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/Recognize.h"

#include <QByteArrayView>

namespace documents {

Container sniff(const char *data, qsizetype size)
{
    const QByteArrayView head(data, size);
    if (head.startsWith("PK\x03\x04"))
        return Container::Zip;
    if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return Container::Compound;
    if (head.startsWith("{\\rtf"))
        return Container::Rtf;
    if (head.first(qMin(size, kSniffBytes)).indexOf("%PDF-") >= 0)
        return Container::Pdf;
    return Container::None;
}

} // namespace documents
