// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/LocalFiles.h"

#include "platform/DirectoryListing.h"

#include <QFile>

#include <sys/stat.h>

namespace platform {

QUrl localFileUrl(const QByteArray &nativePath)
{
    // Qt decodes an invalid byte sequence to U+FFFD, so the plain way is only
    // taken when it gives back the same bytes.
    const QUrl plain = QUrl::fromLocalFile(QFile::decodeName(nativePath));
    if (QFile::encodeName(plain.toLocalFile()) == nativePath)
        return plain;
    return QUrl::fromEncoded("file://" + nativePath.toPercentEncoding("/"), QUrl::StrictMode);
}

QByteArray nativePathOfUrl(const QUrl &url)
{
    if (!url.isValid() || !url.isLocalFile())
        return {};
    // The encoded path keeps percent-encoded bytes that are not UTF-8 as they
    // are; decoding it as bytes gives the native name back whole.
    const QByteArray path =
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
    if (path.isEmpty() || path.front() != kSeparator)
        return {};
    if (!url.host().isEmpty() && url.host() != QLatin1String("localhost"))
        return {};
    return path;
}

PathKind pathKind(const QByteArray &nativePath)
{
    struct stat st {};
    if (nativePath.isEmpty() || ::stat(nativePath.constData(), &st) != 0)
        return PathKind::Missing;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::File;
}

QByteArray parentFolder(const QByteArray &nativePath)
{
    QByteArray path = nativePath;
    while (path.size() > 1 && path.back() == kSeparator)
        path.chop(1);
    const qsizetype cut = path.lastIndexOf(kSeparator);
    if (cut < 0)
        return {};
    if (cut == 0)
        return QByteArray(1, kSeparator);
    return path.left(cut);
}

} // namespace platform
