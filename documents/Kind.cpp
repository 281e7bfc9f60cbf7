// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/DocumentText.h"

namespace documents {

QString kindLabel(Kind kind)
{
    switch (kind) {
    case Kind::Word:
        return QStringLiteral("Word 文書");
    case Kind::Excel:
        return QStringLiteral("Excel ブック");
    case Kind::PowerPoint:
        return QStringLiteral("PowerPoint プレゼンテーション");
    case Kind::OpenDocumentText:
        return QStringLiteral("OpenDocument テキスト");
    case Kind::OpenDocumentSpreadsheet:
        return QStringLiteral("OpenDocument スプレッドシート");
    case Kind::OpenDocumentPresentation:
        return QStringLiteral("OpenDocument プレゼンテーション");
    case Kind::Pdf:
        return QStringLiteral("PDF");
    case Kind::Word97:
        return QStringLiteral("Word 97-2003 文書");
    case Kind::Word95:
        return QStringLiteral("Word 6.0/95 文書");
    case Kind::Excel97:
        return QStringLiteral("Excel 97-2003 ブック");
    case Kind::Excel95:
        return QStringLiteral("Excel 5.0/95 ブック");
    case Kind::PowerPoint97:
        return QStringLiteral("PowerPoint 97-2003 プレゼンテーション");
    case Kind::Rtf:
        return QStringLiteral("リッチ テキスト (RTF)");
    case Kind::Mail:
        return QStringLiteral("電子メール");
    case Kind::Mailbox:
        return QStringLiteral("メールボックス (mbox)");
    case Kind::WebArchive:
        return QStringLiteral("Web アーカイブ (MHT)");
    case Kind::OutlookMessage:
        return QStringLiteral("Outlook メッセージ");
    case Kind::Archive:
        return QStringLiteral("圧縮ファイル");
    }
    return QString();
}

} // namespace documents
