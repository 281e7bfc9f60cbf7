// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/CompoundFile.h"
#include "documents/ExcelBinary.h"
#include "documents/OutlookMessage.h"
#include "documents/PowerPointBinary.h"
#include "documents/ReadDocument.h"
#include "documents/WordBinary.h"

namespace documents {

// A compound file is read by the application stream it holds.
ReadResult readCompoundDocument(QByteArrayView bytes, const Limits &limits, LineCheck *check)
{
    QString reason;
    const auto file = cfb::CompoundFile::open(bytes, &reason);
    if (!file)
        return {Failure::Damaged, reason, {}};
    // An Office Open XML file encrypted with a password is kept in a
    // compound file as an EncryptedPackage stream.
    if (file->find(u"EncryptedPackage"))
        return {Failure::Encrypted, QStringLiteral("encrypted"), {}};
    if (file->find(u"WordDocument"))
        return legacy::readWordBinary(*file, limits);
    if (file->find(u"Workbook") || file->find(u"Book"))
        return legacy::readExcelBinary(*file, limits);
    if (file->find(u"PowerPoint Document"))
        return legacy::readPowerPointBinary(*file, limits);
    if (isOutlookMessage(*file))
        return readOutlookMessage(*file, limits, check);
    // Another application's compound file (Visio, Publisher, an installer):
    // named as not read, never searched as text in silence.
    return {Failure::Unsupported,
            QStringLiteral("compound file without a Word, Excel, PowerPoint or Outlook stream"),
            {}};
}

} // namespace documents
