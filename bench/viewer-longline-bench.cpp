// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Pages through one long line of full-width text in the viewer control, as
// clicks in the horizontal scroll bar's track do, painting each page; the same
// text as code page 932 bytes (each column a byte) and as UTF-8 (decoded, a
// character a column pair), and reports the median time a page and the ratio.
//
//   viewer-longline-bench [SIZE_MB]     (QT_QPA_PLATFORM=offscreen)

#include "text/Cp932.h"
#include "viewer/TextViewer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QScrollBar>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double medianPageMs(TextViewer &v, const QByteArray &path, platform::EncodingMode mode)
{
    if (!v.loadFile(path, mode))
        return -1;
    QScrollBar *bar = v.horizontalScrollBar();
    std::vector<double> times;
    QImage image(v.viewport()->size(), QImage::Format_RGB32);
    // Pages from the middle of the line on, so that each page's window is far
    // from the line's start.
    bar->setValue(bar->maximum() / 2);
    for (int i = 0; i < 200 && bar->value() < bar->maximum(); ++i) {
        QElapsedTimer t;
        t.start();
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        v.viewport()->render(&image); // paints the page
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.empty() ? -1 : times[times.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const int megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 1;
    QString text;
    for (int k = 0; text.size() * 3 < megabytes * (1 << 20); ++k)
        text += QStringLiteral("第%1段あいうえお").arg(k, 5, 10, QLatin1Char('0'));
    QTemporaryDir dir;
    const QString sjis = dir.filePath(QStringLiteral("sjis.txt"));
    const QString utf8 = dir.filePath(QStringLiteral("utf8.txt"));
    for (const auto &[name, bytes] :
         {std::pair{sjis, cp932::encode(text).bytes}, std::pair{utf8, text.toUtf8()}}) {
        QFile f(name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
    }
    TextViewer v;
    v.resize(800, 300);
    v.show();
    const double a = medianPageMs(v, QFile::encodeName(sjis), platform::EncodingMode::Cp932);
    const double b = medianPageMs(v, QFile::encodeName(utf8), platform::EncodingMode::Utf8);
    std::printf("one line of %lld characters: a page %.3f ms (code page 932), %.3f ms "
                "(UTF-8), ratio %.2f\n",
                static_cast<long long>(text.size()), a, b, a > 0 ? b / a : 0.0);
    return a > 0 && b > 0 ? 0 : 1;
}
