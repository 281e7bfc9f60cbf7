// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Shows the about box, or the main window with a search result selected, under
// an X server, and captures the screen with ImageMagick's import.
//
//   screenshot-viewer about|title|viewer OUTPUT.png
//   screenshot-viewer document DOCUMENT OUTPUT   (OUTPUT-reading.png, OUTPUT-read.png)
//
// "document" searches a folder holding only DOCUMENT with documents on, for
// the word TARNWELL_SCREENSHOT_WORD (default: インストール), selects it,
// and captures the viewer while the document is read and once it is shown.
//
// Run by tools/screenshot-viewer.sh under xvfb-run.

#include "documents/ReaderPool.h"
#include "infowindows/AboutWindow.h"
#include "infowindows/TitleWindow.h"
#include "mainwindow/MainWindow.h"
#include "platform/FakeServices.h"
#include "text/Cp932.h"

#include "mainwindow/PathList.h"
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

void writeSample(const QDir &dir, const QString &name, const QString &text)
{
    QFile f(dir.filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(cp932::encode(text).bytes);
}

int capture(const QString &output)
{
    return QProcess::execute(QStringLiteral("import"),
                             {QStringLiteral("-window"), QStringLiteral("root"), output});
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    if (argc != (mode == QLatin1String("document") ? 4 : 3)) {
        std::fprintf(stderr, "usage: screenshot-viewer about|title|viewer OUTPUT.png\n"
                             "       screenshot-viewer document DOCUMENT OUTPUT\n");
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[argc - 1]);
    int result = 1;

    if (mode == QLatin1String("document")) {
        QTemporaryDir dir;
        const QString source = QString::fromLocal8Bit(argv[2]);
        const QString copy = QDir(dir.path()).filePath(QFileInfo(source).fileName());
        if (!QFile::copy(source, copy))
            return 1;
        FakeServices fakes;
        documents::ReaderPool readers;
        PlatformServices services = fakes.services();
        services.documents = &readers;
        MainWindow w(services);
        w.resize(760, 460);
        w.show();
        QTimer::singleShot(500, &w, [&] {
            w.MENU_DOCUMENTS->setChecked(true);
            w.Combo1->setEditText(dir.path());
            w.Combo2->setEditText(
                qEnvironmentVariable("TARNWELL_SCREENSHOT_WORD", QStringLiteral("インストール")));
            w.MENU_SEARCH_Click();
            if (w.List1->count() > 0)
                w.List1->setCurrentRow(0);
            w.List1->setFocus();
            QTimer::singleShot(150, &w, [&] {
                result = capture(output + QStringLiteral("-reading.png"));
                QTimer::singleShot(4000, &w, [&] {
                    result |= capture(output + QStringLiteral("-read.png"));
                    app.quit();
                });
            });
        });
        app.exec();
        return result;
    }

    if (mode == QLatin1String("about")) {
        AboutWindow about;
        QTimer::singleShot(1500, &about, [&] {
            result = capture(output);
            about.accept();
        });
        about.exec();
        return result;
    }

    if (mode == QLatin1String("title")) {
        TitleWindow title;
        title.show();
        QTimer::singleShot(1500, &title, [&] {
            result = capture(output);
            app.quit();
        });
        app.exec();
        return result;
    }

    QTemporaryDir dir;
    const QDir d(dir.path());
    writeSample(d, QStringLiteral("議事録.txt"),
                QStringLiteral("定例会議 議事録\r\n\r\n1. 前回の確認事項\r\n"
                               "   検索ツールの配布方法を決めた。\r\n2. 今回の議題\r\n"
                               "   Tarnwell の新しい版では、検索結果を選ぶと\r\n"
                               "   右側にファイルの内容が表示され、キーワードが選択される。\r\n"
                               "3. 次回\r\n   三月一日に開催する。\r\n"));
    writeSample(d, QStringLiteral("readme.txt"),
                QStringLiteral("Tarnwell\r\nキーワードを含むファイルを探します。\r\n"));
    writeSample(d, QStringLiteral("memo.txt"), QStringLiteral("買い物: 牛乳、パン\r\n"));

    FakeServices fakes;
    MainWindow w(fakes.services());
    w.resize(720, 420);
    w.show();
    QTimer::singleShot(500, &w, [&] {
        w.Combo1->setEditText(dir.path());
        w.Combo2->setEditText(QStringLiteral("キーワード"));
        w.MENU_SEARCH_Click();
        for (int i = 0; i < w.List1->count(); ++i) {
            if (w.List1->itemText(i).endsWith(QStringLiteral("議事録.txt")))
                w.List1->setCurrentRow(i);
        }
        w.List1->setFocus();
    });
    QTimer::singleShot(2000, &w, [&] {
        result = capture(output);
        app.quit();
    });
    app.exec();
    return result;
}
