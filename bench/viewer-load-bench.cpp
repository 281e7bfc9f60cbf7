// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Loads a large code page 932 file into the viewer control and finds a word near
// its end, as selecting a search result does; reports wall times and memory.
//
//   viewer-load-bench SIZE_MB [FOLDER]
//
// Writes a file of SIZE_MB MiB of Japanese and ASCII lines (CR-LF) into FOLDER
// (default: a temporary folder), then, timed separately: load, find of a word
// with one byte form (the usual case), first paint at the found word, find of a
// word with two byte forms (the decoding path), and a jump to the end. Memory is
// the process's peak resident set after the run against the file's size. Run it
// once per size, so that each peak belongs to one file.

#include "Cp932.h"
#include "TextViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>

#include <cstdio>
#include <sys/resource.h>

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

bool writeCorpus(const QString &path, qint64 bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray prose =
        sjis(QStringLiteral("検索結果の表示では、選択したファイルの内容を読み込みます。"));
    QByteArray block;
    qint64 written = 0;
    for (qint64 line = 0; written < bytes - 4096; ++line) {
        block += sjis(QStringLiteral("第")) + QByteArray::number(line) + ": " + prose +
                 " ascii text " + QByteArray::number(line * 7919 % 100000) + "\r\n";
        if (block.size() > (1 << 20) || written + block.size() >= bytes - 4096) {
            f.write(block);
            written += block.size();
            block.clear();
        }
    }
    // The words looked for stand near the end only.
    f.write(sjis(QStringLiteral("最後の行に終端語があります。\r\n")));
    f.write(QByteArray("IBM form: \xFA\x5C end\r\n"));
    return f.error() == QFileDevice::NoError;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: viewer-load-bench SIZE_MB [FOLDER]\n");
        return 2;
    }
    const qint64 sizeMb = QByteArray(argv[1]).toLongLong();
    QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/vbXXXXXX")
                               : QString());
    const QString path = tmp.filePath(QStringLiteral("big.txt"));
    if (!tmp.isValid() || sizeMb <= 0 || !writeCorpus(path, sizeMb << 20)) {
        std::fprintf(stderr, "cannot write the corpus\n");
        return 1;
    }
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
