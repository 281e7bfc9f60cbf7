// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Every user-visible text of Tarnwell, in one place, exactly as the user sees it.

#include <QString>

namespace texts {

// Product
inline const QString productName = QStringLiteral("Tarnwell");
inline const QString helpFileName = QStringLiteral("tarnview.hlp");

// Search progress (status bar panel 1)
inline const QString analysingFolders = QStringLiteral("ディレクトリ構造を解析中...");
inline const QString searching = QStringLiteral("検索中");
inline const QString searchingFile = QStringLiteral("検索中...");      // followed by the path
inline const QString foundSuffix = QStringLiteral(" 見つかりました");  // after the path
inline const QString countSuffix = QStringLiteral("個見つかりました"); // after the count
inline const QString nothingFound = QStringLiteral("見つかりませんでした");
// The line added to nothingFound in シフトJIS mode when the keyword holds a
// character (%1) that code page 932 cannot represent: no plain text file can
// match it, while a document's text (Unicode) still can.
inline const QString keywordNotInCp932 =
    QStringLiteral("キーワードの「%1」はシフトJIS にない文字のため、"
                   "テキストファイルからは見つかりません。"
                   "[検索] メニューの [文字コード] で UTF-8 か自動判別を選ぶと、"
                   "UTF-8 のファイルから探せます。");
// The same in EUC-JP mode, for a character (%1) that EUC-JP cannot represent.
inline const QString keywordNotInEucJp =
    QStringLiteral("キーワードの「%1」は EUC-JP にない文字のため、"
                   "テキストファイルからは見つかりません。"
                   "[検索] メニューの [文字コード] で UTF-8 か自動判別を選ぶと、"
                   "UTF-8 のファイルから探せます。");
// The line added to nothingFound when the keyword holds a full-width space
// and the width fold is off: the space was part of a word.
inline const QString keywordHasFullWidthSpace =
    QStringLiteral("キーワードに全角スペースがあり、語の一部として探しました。"
                   "[検索] メニューの [あいまい検索] で「全角と半角を区別しない」を選ぶと、"
                   "全角スペースも語の区切りになります。");
// A run that ran short of descriptors or memory: the list may lack files.
inline const QString searchIncomplete =
    QStringLiteral("システムの資源(ファイル記述子またはメモリ)が不足したため、"
                   "検索を最後まで行えませんでした。\n"
                   "結果の一覧には見つかったファイルの一部だけが表示されています。");

// Main window controls
inline const QString labelFolder = QStringLiteral("検索対象(&T):");
inline const QString labelKeyword = QStringLiteral("キーワード(&K):");
inline const QString browseButton = QStringLiteral("参照(&B)");
inline const QString searchButton = QStringLiteral("検索(&S)");
inline const QString subfolderBox = QStringLiteral("サブフォルダも検索(&U)");
inline const QString tipFolderBox = QStringLiteral("検索するフォルダ名を入力します");
inline const QString tipKeywordBox = QStringLiteral("検索するキーワードを入力します");
inline const QString tipBrowseButton = QStringLiteral("検索するフォルダを選択します");
inline const QString tipSearchButton = QStringLiteral("検索します");
inline const QString tipResultList = QStringLiteral("キーワードを含むファイル名が表示されます");
inline const QString tipViewer = QStringLiteral("選択したファイルの内容を表示します");
inline const QString tipSplitter = QStringLiteral("ドラッグしてウィンドウの左右比率を変えます");
inline const QString tipStatusPanel = QStringLiteral("動作状態や検索結果を表示します");
inline const QString patternAll = QStringLiteral("*.*");
inline const QString patternText = QStringLiteral("*.txt");
inline const QString viewerFontFamily = QStringLiteral("ＭＳ ゴシック");

// Menus
inline const QString menuFile = QStringLiteral("ファイル(&F)");
inline const QString menuExit = QStringLiteral("終了(&X)");
inline const QString menuSearch = QStringLiteral("検索(&S)");
inline const QString menuFolder = QStringLiteral("フォルダの参照(&F)");
inline const QString menuSearchItem = QStringLiteral("検索(&S)");
inline const QString menuEncoding = QStringLiteral("文字コード(&E)");
inline const QString menuEncodingCp932 = QStringLiteral("シフトJIS(&J)");
inline const QString menuEncodingUtf8 = QStringLiteral("UTF-8(&U)");
inline const QString menuEncodingAuto = QStringLiteral("自動判別(&A)");
inline const QString menuEncodingEucJp = QStringLiteral("EUC-JP(&E)");
inline const QString menuDocuments = QStringLiteral("文書ファイルも検索(&D)");
inline const QString menuLoose = QStringLiteral("あいまい検索(&L)");
inline const QString menuIgnoreCase = QStringLiteral("大文字と小文字を区別しない(&C)");
inline const QString menuIgnoreWidth = QStringLiteral("全角と半角を区別しない(&W)");
inline const QString menuIgnoreKana = QStringLiteral("ひらがなとカタカナを区別しない(&K)");
inline const QString menuArchives = QStringLiteral("圧縮ファイルの中も検索(&Z)");
inline const QString menuHelp = QStringLiteral("ヘルプ(&H)");
inline const QString menuContents = QStringLiteral("目次(&C)");
inline const QString menuAbout = QStringLiteral("バージョン情報(&A)");

// The result list's context menu and what its commands report
inline const QString resultOpen = QStringLiteral("開く(&O)");
inline const QString resultOpenFolder = QStringLiteral("フォルダを開く(&F)");
inline const QString resultCopyPath = QStringLiteral("パスをコピー(&C)");
// Each follows the path and a line break.
inline const QString fileGone =
    QStringLiteral("ファイルが見つかりません。検索のあとで移動または削除された可能性があります。");
inline const QString folderGone =
    QStringLiteral("フォルダが見つかりません。検索のあとで移動または削除された可能性があります。");
inline const QString openFailed = QStringLiteral(
    "開けませんでした。開くためのアプリケーションが設定されていない可能性があります。");

// The viewer's context menu
inline const QString viewerCopy = QStringLiteral("コピー(&C)");
inline const QString viewerSelectAll = QStringLiteral("すべて選択(&A)");
inline const QString viewerNextMatch = QStringLiteral("次の一致行(&N)");
inline const QString viewerPreviousMatch = QStringLiteral("前の一致行(&P)");
// Over the empty viewer while a listed document is read.
inline const QString viewerReadingDocument = QStringLiteral("文書を読み込み中...");
// How the shown file was read: the prefix, then an encoding below or a
// document's kind.
inline const QString viewerReadAs = QStringLiteral("読み取り: ");
// After it, which members of an archive are not shown, and why (in English).
inline const QString viewerNotAllMembers = QStringLiteral("表示していないメンバー: ");
inline const QString readAsCp932 = QStringLiteral("シフトJIS (テキスト)");
inline const QString readAsUtf8 = QStringLiteral("UTF-8 (テキスト)");
inline const QString readAsUtf16LE = QStringLiteral("UTF-16 リトル エンディアン (テキスト)");
inline const QString readAsUtf16BE = QStringLiteral("UTF-16 ビッグ エンディアン (テキスト)");
inline const QString readAsEucJp = QStringLiteral("EUC-JP (テキスト)");
inline const QString readAsIso2022Jp = QStringLiteral("ISO-2022-JP (テキスト)");

// Toolbar tips
inline const QString tipToolbarFolder = QStringLiteral("検索するフォルダを指定します");
inline const QString tipToolbarSearch = QStringLiteral("検索します");
inline const QString tipToolbarHelp = QStringLiteral("ヘルプを表示します");
inline const QString tipToolbarAbout = QStringLiteral("バージョン情報を表示します");

// Folder picker
inline const QString pickerCaption = QStringLiteral("フォルダの参照");
inline const QString pickerDriveLabel = QStringLiteral("ドライブ(&D):");
inline const QString pickerFolderLabel = QStringLiteral("フォルダ(&F):");
inline const QString pickerFolderPrefix = QStringLiteral("フォルダ(&F) "); // then the path
inline const QString pickerOk = QStringLiteral("&OK");
inline const QString pickerCancel = QStringLiteral("キャンセル(&C)");
inline const QString driveNotAccessible = QStringLiteral(" にアクセスできません。");
inline const QString deviceNotReady = QStringLiteral("デバイスの準備ができていません。");

// About box and title window
inline const QString aboutCaption = QStringLiteral("Tarnwell について");
inline const QString productLine = QStringLiteral("Tarnwell for Windows95");
inline const QString versionLine = QStringLiteral("version 2.10");
inline const QString editionLineAbout = QStringLiteral("1999年3月１日第2版第2刷");
inline const QString editionLineTitle = QStringLiteral("1999年3月1日第2版第2刷");
inline const QString aboutOk = QStringLiteral("&OK");
inline const QString tipAboutOk = QStringLiteral("このウィンドウを閉じます");
inline const QString authorLine = QStringLiteral("作者: 佐伯 透");
inline const QString emailLine = QStringLiteral("E-mail: tarnwell@example.jp");
inline const QString noticeLine = QStringLiteral("(C) 1997-1999 佐伯 透");

// Stopping a search
inline const QString menuStopSearch = QStringLiteral("検索の中止(&T)");
inline const QString tipToolbarStop = QStringLiteral("検索を中止します");
// Panel 1 after a stopped search: the files found before the stop.
inline QString searchStopped(qsizetype found)
{
    return QStringLiteral("検索を中止しました（%1個見つかりました）").arg(found);
}

// Files that could not be read by the last search
inline const QString menuUnreadable = QStringLiteral("読めなかったファイル(&R)");
inline const QString unreadableCaption = QStringLiteral("読めなかったファイル");
inline const QString closeButton = QStringLiteral("閉じる");
// After the count in panel 1.
inline QString unreadableSuffix(qsizetype files)
{
    return QStringLiteral("（%1個のファイルを読めませんでした）").arg(files);
}
// The folder to search could not be opened: the folder, then the reason.
inline QString folderCannotBeSearched(const QString &folder, const QString &reason)
{
    return QStringLiteral("フォルダ %1 を検索できません。\n%2").arg(folder, reason);
}
inline const QString folderMissing = QStringLiteral("フォルダが存在しません。");
inline const QString folderNotAFolder = QStringLiteral("フォルダではありません。");
inline const QString folderNotListed = QStringLiteral("フォルダを開けません: ");

} // namespace texts
