// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Loads a large code page 932 file into the viewer control and finds a word near
// its end, as selecting a search result does; reports wall times and memory.
//
//   viewer-load-bench [--cr | --twins] SIZE_MB [FOLDER]
//
// Writes a file of SIZE_MB MiB of Japanese and ASCII lines (CR-LF) into FOLDER
// (default: a temporary folder), then, timed separately: load, find of a word
// with one byte form (the usual case), first paint at the found word, find of a
// word with two byte forms (the decoding path), and a jump to the end. Memory is
// the process's peak resident set after the run against the file's size. Run it
// once per size, so that each peak belongs to one file.
//
// --cr: the same lines ended by a lone CR instead of CR-LF.
// --twins: writes both files (the same lines, CR-LF and lone CR), then loads
// each in turn several times and reports, per file, the median times of load,
// find of the decoded word "≒ needle" (two byte forms, so the decoding path,
// which steps every line) and the first paint at it, and the ratio of the two.

#include "text/Cp932.h"
#include "viewer/TextViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

qint64 peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

QByteArray sjis(const QString &text)
{
    return cp932::encode(text).bytes;
}

// Writes lines ended by eol until the file would be `bytes` long with CR-LF
// ends, so that the CR-LF and the lone-CR files hold the same lines.
bool writeCorpus(const QString &path, qint64 bytes, const QByteArray &eol)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray prose =
        sjis(QStringLiteral("検索結果の表示では、選択したファイルの内容を読み込みます。"));
    QByteArray block;
    qint64 written = 0; // as if every line ended in CR-LF
    qint64 pending = 0;
    for (qint64 line = 0; written < bytes - 4096; ++line) {
        const qsizetype before = block.size();
        block += sjis(QStringLiteral("第")) + QByteArray::number(line) + ": " + prose +
                 " ascii text " + QByteArray::number(line * 7919 % 100000) + eol;
        pending += block.size() - before + (2 - eol.size());
        if (block.size() > (1 << 20) || written + pending >= bytes - 4096) {
            f.write(block);
            written += pending;
            pending = 0;
            block.clear();
        }
    }
    // The words looked for stand near the end only.
    f.write(sjis(QStringLiteral("最後の行に終端語があります。")) + eol);
    f.write(QByteArray("IBM form: \xFA\x5C end") + eol);
    f.write(QByteArray("\x81\xE0 needle") + eol); // ≒ has two byte forms: 81 E0, 87 90
    return f.error() == QFileDevice::NoError;
}

// The original run: one file, every figure, peak memory.
int runOne(const QString &path, qint64 sizeMb)
{
    const qint64 fileSize = QFile(path).size();

    TextViewer viewer;
    viewer.setFont(QFont(QStringLiteral("IPAGothic"), 9));
    viewer.resize(600, 400);
    viewer.show();
    QCoreApplication::processEvents();
    const qint64 rssBefore = peakRssKiB();

    QElapsedTimer t;
    t.start();
    const bool ok = viewer.loadFile(QFile::encodeName(path));
    const qint64 loadMs = t.elapsed();
    t.restart();
    const qsizetype found = viewer.find(QStringLiteral("終端語"), 0);
    const qint64 findMs = t.elapsed();
    t.restart();
    viewer.viewport()->repaint();
    const double paintMs = t.nsecsElapsed() / 1e6;
    t.restart();
    const qsizetype found2 = viewer.find(QString(QChar(0x7E8A)), 0);
    const qint64 find2Ms = t.elapsed();
    t.restart();
    viewer.verticalScrollBar()->setValue(viewer.verticalScrollBar()->maximum());
    viewer.viewport()->repaint();
    const double endMs = t.nsecsElapsed() / 1e6;

    std::printf("file %lld MiB (%lld bytes), %lld lines, %lld characters, load %s\n", sizeMb,
                fileSize, qint64(viewer.lineCount()), qint64(viewer.length()),
                ok ? "ok" : "FAILED");
    std::printf("load %lld ms, find (one byte form) %lld ms at %lld, paint %.1f ms\n", loadMs,
                findMs, qint64(found), paintMs);
    std::printf("selected and shown after %.0f ms\n", double(loadMs + findMs) + paintMs);
    std::printf("find (two byte forms, decoding) %lld ms at %lld, jump to end and paint %.1f ms\n",
                find2Ms, qint64(found2), endMs);
    std::printf("peak RSS %lld MiB before load, %lld MiB after: %.2f x the file\n", rssBefore >> 10,
                peakRssKiB() >> 10, double(peakRssKiB()) * 1024.0 / double(fileSize));
    return ok && found >= 0 && found2 >= 0 ? 0 : 1;
}

struct TwinTimes {
    std::vector<double> load, find, paint;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// One load, find of the decoded word and first paint, into times. False when
// the file did not load or the word was not found.
bool runTwin(TextViewer &viewer, const QString &path, TwinTimes &times, qsizetype &lines)
{
    viewer.setText(QString()); // drops the other file first
    QElapsedTimer t;
    t.start();
    const bool ok = viewer.loadFile(QFile::encodeName(path));
    times.load.push_back(t.nsecsElapsed() / 1e6);
    t.restart();
    const qsizetype found = viewer.find(QStringLiteral("≒ needle"), 0);
    times.find.push_back(t.nsecsElapsed() / 1e6);
    t.restart();
    viewer.viewport()->repaint();
    times.paint.push_back(t.nsecsElapsed() / 1e6);
    lines = viewer.lineCount();
    return ok && found >= 0 && viewer.selectedText() == QStringLiteral("≒ needle");
}

int runTwins(const QString &crlfPath, const QString &crPath, qint64 sizeMb)
{
    TextViewer viewer;
    viewer.setFont(QFont(QStringLiteral("IPAGothic"), 9));
    viewer.resize(600, 400);
    viewer.show();
    QCoreApplication::processEvents();
    constexpr int kRounds = 5;
    TwinTimes crlf, cr;
    qsizetype crlfLines = 0, crLines = 0;
    bool ok = true;
    for (int round = 0; round < kRounds; ++round) {
        ok = runTwin(viewer, crlfPath, crlf, crlfLines) && ok;
        ok = runTwin(viewer, crPath, cr, crLines) && ok;
    }
    std::printf(
        "twins of %lld MiB: CR-LF %lld bytes, lone CR %lld bytes, %lld and %lld lines, %s\n",
        sizeMb, QFile(crlfPath).size(), QFile(crPath).size(), qint64(crlfLines), qint64(crLines),
        ok ? "found in both" : "FAILED");
    std::printf("medians of %d rounds, ms     CR-LF    lone CR   CR / CR-LF\n", kRounds);
    const auto row = [](const char *name, const std::vector<double> &a,
                        const std::vector<double> &b) {
        std::printf("%-28s %8.1f %10.1f %10.2f\n", name, median(a), median(b),
                    median(b) / std::max(median(a), 1e-3));
    };
    row("load", crlf.load, cr.load);
    row("find (decoded word)", crlf.find, cr.find);
    row("paint at it", crlf.paint, cr.paint);
    std::vector<double> crlfSum, crSum;
    for (int i = 0; i < kRounds; ++i) {
        crlfSum.push_back(crlf.load[i] + crlf.find[i] + crlf.paint[i]);
        crSum.push_back(cr.load[i] + cr.find[i] + cr.paint[i]);
    }
    row("selected and shown", crlfSum, crSum);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QByteArray mode;
    if (argc > 1 && argv[1][0] == '-') {
        mode = argv[1];
        --argc;
        ++argv;
    }
    if (argc < 2 || !(mode.isEmpty() || mode == "--cr" || mode == "--twins")) {
        std::fprintf(stderr, "usage: viewer-load-bench [--cr | --twins] SIZE_MB [FOLDER]\n");
        return 2;
    }
    const qint64 sizeMb = QByteArray(argv[1]).toLongLong();
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/vbXXXXXX")
                               : QString());
    const QString path = tmp.filePath(QStringLiteral("big.txt"));
    const QString crPath = tmp.filePath(QStringLiteral("big-cr.txt"));
    const bool written =
        tmp.isValid() && sizeMb > 0 &&
        (mode == "--twins"
             ? writeCorpus(path, sizeMb << 20, "\r\n") && writeCorpus(crPath, sizeMb << 20, "\r")
             : writeCorpus(path, sizeMb << 20, mode == "--cr" ? "\r" : "\r\n"));
    if (!written) {
        std::fprintf(stderr, "cannot write the corpus\n");
        return 1;
    }
    return mode == "--twins" ? runTwins(path, crPath, sizeMb) : runOne(path, sizeMb);
}
