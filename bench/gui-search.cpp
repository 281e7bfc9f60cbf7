// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Times the window's own search: builds MainWindow with the test doubles of
// the platform seams, types the folder and keyword into its boxes, ticks the
// sub-folder box and runs MENU_SEARCH_Click() several times, each run timed
// in-process (the search is synchronous). The difference to tarnwell-find on
// the same query is the cost of the window: status texts, paced repaints and
// list appends.
//
// Usage: gui-search [--runs N] [--list] [-r] [-E MODE] [--documents] [--gaps]
//                   [--stop-after MS] KEYWORD FOLDER
// (-E: the encoding mode, cp932, utf-8 or auto, as chosen in the menu;
// --documents: documents searched through their text, by the reader helpers
// found beside the program or in the build tree)
// Prints "runs <N> median_ms <ms> min_ms <ms> files <count> boxes <count>",
// with --gaps followed on that line by "longest_unprocessed_ms <ms>
// ending_at_ms <ms> waiting_for_cpu_ms <ms> longest_net_ms <ms>
// longest_unpainted_ms <ms>" (below), then with --list the native path of
// every entry of List1, one per line. With --stop-after, each run is stopped
// (検索の中止, as Esc does) once it has run MS ms, and the line goes on with
// "stopped <runs stopped> longest_stop_ms <ms>": the longest time from the
// stop, as the window handles it, until the search has returned, its walk,
// workers and reader helpers ended.
// The longest time without processing events is measured apart from the
// window: a 1 ms timer, which fires only when the search lets the event loop
// run, notes the time each time it fires, from the click until the search
// returns; the longest gap of all runs, when it ended (counted from its run's
// click), and how much of it the window's thread spent runnable but waiting
// for a processor (/proc/thread-self/schedstat: the workers, the helpers and
// anything else on the machine had the processors); longest_net_ms is the
// longest gap less that wait, the time the thread itself held the event loop
// up. The longest time between repaints is the window's own count
// (MainWindow::longestUnpaintedMs()).
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise
// (xvfb-run with QT_QPA_PLATFORM=xcb includes real painting).
#include "documents/ReaderPool.h"
#include "mainwindow/MainWindow.h"
#include "platform/FakeServices.h"

#include "mainwindow/PathList.h"
#include "text/EncodingMode.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

// How long the calling thread has waited for a processor while runnable, in
// ns; -1 where the kernel does not say.
qint64 runQueueNs()
{
    qint64 running = 0;
    qint64 waiting = -1;
    if (std::FILE *file = std::fopen("/proc/thread-self/schedstat", "r")) {
        if (std::fscanf(file, "%lld %lld", &running, &waiting) != 2)
            waiting = -1;
        std::fclose(file);
    }
    return waiting;
}

// The gaps between the times the event loop ran during the searches.
struct GapProbe {
    QElapsedTimer clock;
    qint64 click = 0; // when this run began
    qint64 last = 0;  // when the loop last ran
    qint64 lastWait = -1;
    qint64 longest = 0;     // the longest gap of all runs
    qint64 longestEnd = 0;  // when it ended, since its run's click
    qint64 longestWait = 0; // of it, how long the thread waited for a processor
    qint64 longestNet = 0;  // the longest gap less its wait for a processor

    GapProbe() { clock.start(); }
    void begin()
    {
        last = click = clock.nsecsElapsed();
        lastWait = runQueueNs();
    }
    void tick()
    {
        const qint64 now = clock.nsecsElapsed();
        const qint64 wait = runQueueNs();
        const qint64 gap = now - last;
        const qint64 waited = wait >= 0 && lastWait >= 0 ? wait - lastWait : 0;
        if (gap > longest) {
            longest = gap;
            longestEnd = now - click;
            longestWait = waited;
        }
        longestNet = std::max(longestNet, gap - waited);
        last = now;
        lastWait = wait;
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int runs = 5;
    bool list = false;
    bool subfolders = false;
    bool documents = false;
    bool measureGaps = false;
    int stopAfterMs = 0;
    platform::EncodingMode mode = platform::EncodingMode::Cp932;
    std::vector<const char *> positional;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--list") == 0)
            list = true;
        else if (std::strcmp(argv[i], "-r") == 0)
            subfolders = true;
        else if (std::strcmp(argv[i], "--documents") == 0)
            documents = true;
        else if (std::strcmp(argv[i], "--gaps") == 0)
            measureGaps = true;
        else if (std::strcmp(argv[i], "--stop-after") == 0 && i + 1 < argc)
            stopAfterMs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "-E") == 0 && i + 1 < argc) {
            if (!platform::parseEncodingMode(QString::fromUtf8(argv[++i]), mode)) {
                std::fprintf(stderr, "gui-search: -E takes cp932, utf-8 or auto\n");
                return 2;
            }
        } else
            positional.push_back(argv[i]);
    }
    if (positional.size() != 2) {
        std::fprintf(stderr, "usage: gui-search [--runs N] [--list] [-r] [-E MODE] [--documents] "
                             "[--gaps] [--stop-after MS] KEYWORD FOLDER\n");
        return 2;
    }
    const QString keyword = QString::fromUtf8(positional[0]);
    const QString folder = QString::fromLocal8Bit(positional[1]);

    FakeServices fakes; // the message box answers "nothing found" without showing anything
    fakes.volumes.add(folder);

    std::unique_ptr<documents::ReaderPool> pool;
    PlatformServices services = fakes.services();
    if (documents) {
        pool = std::make_unique<documents::ReaderPool>();
        services.documents = pool.get();
    }

    MainWindow window(services);
    window.show();
    QApplication::processEvents();
    window.Combo1->setEditText(folder);
    window.Combo2->setEditText(keyword);
    window.Check1->setCheckState(subfolders ? Qt::Checked : Qt::Unchecked);
    window.setEncodingMode(mode);
    window.setSearchDocuments(documents);

    // Fires whenever the event loop runs while a search is on.
    GapProbe gaps;
    bool searching = false;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, &window, [&] {
        if (searching)
            gaps.tick();
    });
    if (measureGaps)
        probe.start();
    qint64 longestUnpaintedMs = 0;

    // The stop: a timer the search's own pumping of events delivers, as it
    // delivers Esc.
    QElapsedTimer sinceStop;
    QTimer stopper;
    stopper.setSingleShot(true);
    stopper.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stopper, &QTimer::timeout, &window, [&] {
        if (!searching)
            return;
        sinceStop.start();
        window.MENU_STOP_Click();
    });
    int stopped = 0;
    double longestStopMs = 0;

    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        gaps.begin();
        searching = true;
        sinceStop.invalidate();
        if (stopAfterMs > 0)
            stopper.start(stopAfterMs);
        window.MENU_SEARCH_Click();
        searching = false;
        stopper.stop();
        if (sinceStop.isValid()) {
            ++stopped;
            longestStopMs = std::max(longestStopMs, double(sinceStop.nsecsElapsed()) / 1e6);
        }
        gaps.tick();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
        longestUnpaintedMs = std::max(longestUnpaintedMs, window.longestUnpaintedMs());
        QApplication::processEvents();
    }
    std::vector<double> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    const double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    std::printf("runs %d median_ms %.1f min_ms %.1f files %d boxes %d", runs, median,
                sorted.front(), window.List1->count(), fakes.messageBox.count());
    if (measureGaps)
        std::printf(" longest_unprocessed_ms %.1f ending_at_ms %.1f waiting_for_cpu_ms %.1f "
                    "longest_net_ms %.1f longest_unpainted_ms %lld",
                    double(gaps.longest) / 1e6, double(gaps.longestEnd) / 1e6,
                    double(gaps.longestWait) / 1e6, double(gaps.longestNet) / 1e6,
                    static_cast<long long>(longestUnpaintedMs));
    if (stopAfterMs > 0)
        std::printf(" stopped %d longest_stop_ms %.1f", stopped, longestStopMs);
    std::printf("\n");
    if (list) {
        for (int i = 0; i < window.List1->count(); ++i) {
            const QByteArray native = window.List1->itemData(i, Qt::UserRole).toByteArray();
            std::printf("%s\n", native.constData());
        }
    }
    return 0;
}
