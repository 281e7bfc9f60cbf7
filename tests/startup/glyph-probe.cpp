// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// glyph-probe SHOT.png CELLS.txt
// Shows the main window on the display DISPLAY names with 𠮷野家 🍣 in the
// keyword box and the viewer, takes a screenshot of the window from the X
// server once it is drawn, and writes where each of the viewer's characters
// and the keyword box are in it: "cell OFFSET X Y W H" and "box X Y W H".

#include "mainwindow/MainWindow.h"
#include "platform/FakeHelpViewer.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/SettingsStore.h"
#include "viewer/TextViewer.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <utility>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: glyph-probe SHOT.png CELLS.txt\n", stderr);
        return 2;
    }
    const QString text = QStringLiteral("𠮷野家 🍣");
    MemorySettingsStore settings;
    FakeMessageBox box;
    FakeHelpViewer help;
    FakeVolumeList volumes;
    PlatformServices services;
    services.settings = &settings;
    services.messageBox = &box;
    services.help = &help;
    services.volumes = &volumes;
    MainWindow w(services);
    w.Combo2->setEditText(text);
    w.RichTextBox1->setText(text);
    w.show();

    QDeadlineTimer deadline(30000);
    while (!(w.windowHandle() && w.windowHandle()->isExposed()) && !deadline.hasExpired())
        app.processEvents(QEventLoop::WaitForMoreEvents, 100);
    if (!w.windowHandle() || !w.windowHandle()->isExposed()) {
        std::fputs("glyph-probe: the window was never shown\n", stderr);
        return 1;
    }
    // The server has the window's pixels once two shots in a row agree after
    // the window has painted.
    QImage shot;
    for (;;) {
        w.repaint();
        app.processEvents(QEventLoop::AllEvents, 100);
        const QImage next = w.screen()->grabWindow(w.winId()).toImage();
        if (!shot.isNull() && next == shot &&
            next.pixelColor(0, 0) != next.pixelColor(next.width() / 2, next.height() / 2))
            break;
        if (deadline.hasExpired()) {
            std::fputs("glyph-probe: the window's pixels never settled\n", stderr);
            return 1;
        }
        shot = next;
    }
    if (!shot.save(QString::fromLocal8Bit(argv[1])))
        return 1;

    QFile cells(QString::fromLocal8Bit(argv[2]));
    if (!cells.open(QIODevice::WriteOnly))
        return 1;
    auto line = [&](const QString &name, QRect r) {
        cells.write(QStringLiteral("%1 %2 %3 %4 %5\n")
                        .arg(name)
                        .arg(r.x())
                        .arg(r.y())
                        .arg(r.width())
                        .arg(r.height())
                        .toUtf8());
    };
    TextViewer *viewer = w.RichTextBox1;
    // From each character's left edge to the next one's (a character outside
    // the BMP is two offsets).
    for (const auto &[offset, units] : {std::pair{0, 2}, {2, 1}, {3, 1}, {5, 2}}) {
        const QRect a = viewer->characterRect(offset);
        const QRect b = viewer->characterRect(offset + units);
        line(QStringLiteral("cell %1").arg(offset),
             QRect(viewer->viewport()->mapTo(&w, a.topLeft()),
                   QSize(std::max(1, b.left() - a.left()), a.height())));
    }
    line(QStringLiteral("box"), QRect(w.Combo2->mapTo(&w, QPoint(0, 0)), w.Combo2->size()));
    return 0;
}
