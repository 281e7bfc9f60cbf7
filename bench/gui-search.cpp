// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Times the window's own search: builds MainWindow with the test doubles of
// the platform seams, types the folder and keyword into its boxes, ticks the
// sub-folder box and runs MENU_SEARCH_Click() several times, each run timed
// in-process (the search is synchronous). The difference to tarnwell-find on
// the same query is the cost of the window: status texts, paced repaints and
// list appends.
//
// Usage: gui-search [--runs N] [--list] [-r] [-E MODE] KEYWORD FOLDER
// (-E: the encoding mode, cp932, utf-8 or auto, as chosen in the menu)
// Prints "runs <N> median_ms <ms> min_ms <ms> files <count> boxes <count>",
// then with --list the native path of every entry of List1, one per line.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise
// (xvfb-run with QT_QPA_PLATFORM=xcb includes real painting).
#include "mainwindow/MainWindow.h"
#include "platform/FakeServices.h"

#include "mainwindow/PathList.h"
#include "text/EncodingMode.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int runs = 5;
    bool list = false;
    bool subfolders = false;
    platform::EncodingMode mode = platform::EncodingMode::Cp932;
    std::vector<const char *> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--list") == 0)
            list = true;
        else if (std::strcmp(argv[i], "-r") == 0)
            subfolders = true;
        else if (std::strcmp(argv[i], "-E") == 0 && i + 1 < argc) {
            if (!platform::parseEncodingMode(QString::fromUtf8(argv[++i]), mode)) {
                std::fprintf(stderr, "gui-search: -E takes cp932, utf-8 or auto\n");
                return 2;
            }
        } else
            positional.push_back(argv[i]);
    }
    if (positional.size() != 2) {
        std::fprintf(stderr,
                     "usage: gui-search [--runs N] [--list] [-r] [-E MODE] KEYWORD FOLDER\n");
        return 2;
    }
    const QString keyword = QString::fromUtf8(positional[0]);
    const QString folder = QString::fromLocal8Bit(positional[1]);

    FakeServices fakes; // the message box answers "nothing found" without showing anything
    fakes.volumes.add(folder);

    MainWindow window(fakes.services());
    window.show();
    QApplication::processEvents();
    window.Combo1->setEditText(folder);
    window.Combo2->setEditText(keyword);
    window.Check1->setCheckState(subfolders ? Qt::Checked : Qt::Unchecked);
    window.setEncodingMode(mode);

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        window.MENU_SEARCH_Click();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        QApplication::processEvents();
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    std::printf("runs %d median_ms %.1f min_ms %.1f files %d boxes %d\n", runs, median,
                sorted.front(), window.List1->count(), fakes.messageBox.count());
    if (list) {
        for (int i = 0; i < window.List1->count(); ++i) {
            const QByteArray native = window.List1->itemData(i, Qt::UserRole).toByteArray();
            std::printf("%s\n", native.constData());
        }
    }
    return 0;
}
