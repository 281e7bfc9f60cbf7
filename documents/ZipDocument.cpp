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
    // OpenDocument: a member `mimetype` naming the kind, first as the format
    // asks, or anywhere in a package another tool zipped again.
    const qint64 mimetypeIndex =
        zip.memberCount() > 0 && zip.memberName(0) == "mimetype" ? 0 : zip.find("mimetype");
    if (mimetypeIndex >= 0) {
        QByteArray mimetype;
        constexpr qint64 kLongestType = 256;
        if (!zip.readAll(mimetypeIndex, mimetype, kLongestType))
            return {zip.failure(), zip.reason(), {}};
        if (const auto kind = openDocumentKind(mimetype))
            return readOpenDocument(zip, *kind, limits);
        const QByteArray type = mimetype.trimmed();
        if (type.startsWith("application/vnd.oasis.opendocument."))
            return {Failure::Unsupported,
                    QStringLiteral("OpenDocument files of type %1 are not read")
                        .arg(QString::fromLatin1(type.mid(35).left(64))),
                    {}};
    }
    const qint64 contentTypes = zip.find("[Content_Types].xml");
    if (contentTypes < 0)
        return {Failure::NotDocument, {}, {}};
    return readOfficeOpenXml(zip, contentTypes, limits);
}

} // namespace documents
