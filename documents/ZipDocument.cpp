// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/OfficeOpenXml.h"
#include "documents/OpenDocument.h"
#include "documents/ReadDocument.h"
#include "documents/ZipArchive.h"

namespace documents {

ReadResult readZipDocument(QByteArrayView bytes, const Limits &limits)
{
    ZipArchive zip(bytes, limits);
    if (zip.failed())
        return {zip.failure(), zip.reason(), {}};
    // OpenDocument: a first member `mimetype` naming the kind.
    if (zip.memberCount() > 0 && zip.memberName(0) == "mimetype") {
        QByteArray mimetype;
        constexpr qint64 kLongestType = 256;
        if (!zip.readAll(0, mimetype, kLongestType))
            return {zip.failure(), zip.reason(), {}};
        if (const auto kind = openDocumentKind(mimetype))
            return readOpenDocument(zip, *kind, limits);
        return {Failure::NotDocument, {}, {}};
    }
    const qint64 contentTypes = zip.find("[Content_Types].xml");
    if (contentTypes < 0)
        return {Failure::NotDocument, {}, {}};
    return readOfficeOpenXml(zip, contentTypes, limits);
}

} // namespace documents
