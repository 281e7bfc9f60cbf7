// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The icon converter that feeds the desktop icon theme: PNG sizes keep the
// pixel art and its transparency, and the SVG draws exactly the source pixels.

#include "packaging/IconConvert.h"

#include <QColor>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

namespace {

// 8 x 8, a two-pixel transparent border around four colours.
const char *const sampleXpm[] = {
    "8 8 5 1",  "  c None", "r c #FF0000", "g c #00C000", "b c #0000FF", "w c #FFFFFF", "        ",
    "        ", "  rrgg  ", "  rrgg  ",    "  bbww  ",    "  bbww  ",    "        ",    "        ",
};

QImage sample()
{
    return QImage(sampleXpm).convertToFormat(QImage::Format_ARGB32);
}

// Paints the SVG's rectangles back onto a transparent grid of the view box's size.
QImage renderRects(const QByteArray &svg)
{
    QXmlStreamReader xml(svg);
    QImage image;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (xml.name() == QLatin1String("svg")) {
            const QStringList box = a.value(QLatin1String("viewBox")).toString().split(u' ');
            if (box.size() != 4)
                return {};
            image = QImage(box[2].toInt(), box[3].toInt(), QImage::Format_ARGB32);
            image.fill(Qt::transparent);
        } else if (xml.name() == QLatin1String("rect") && !image.isNull()) {
            QColor colour(a.value(QLatin1String("fill")).toString());
            if (a.hasAttribute(QLatin1String("fill-opacity")))
                colour.setAlphaF(a.value(QLatin1String("fill-opacity")).toFloat());
            const int x = a.value(QLatin1String("x")).toInt();
            const int y = a.value(QLatin1String("y")).toInt();
            const int w = a.value(QLatin1String("width")).toInt();
            for (int i = x; i < x + w; ++i)
                image.setPixel(i, y, colour.rgba());
        }
    }
    return xml.hasError() ? QImage() : image;
}

} // namespace

class TestIconConvert : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void wholeMultiplesRepeatPixels_data();
    void wholeMultiplesRepeatPixels();
    void otherSizesKeepTransparency_data();
    void otherSizesKeepTransparency();
    void rejectsNullAndBadSizes();
    void svgDrawsTheSourcePixels();
    void toolWritesPngAndReportsFailures();
};

void TestIconConvert::wholeMultiplesRepeatPixels_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("as drawn") << 8;
    QTest::newRow("twice") << 16;
    QTest::newRow("four times") << 32;
}

void TestIconConvert::wholeMultiplesRepeatPixels()
{
    QFETCH(int, size);
    const QImage source = sample();
    const QImage icon = iconconvert::scaledIcon(source, size);
    QCOMPARE(icon.size(), QSize(size, size));
    QVERIFY(icon.hasAlphaChannel());
    const int factor = size / source.width();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            QCOMPARE(icon.pixel(x, y), source.pixel(x / factor, y / factor));
}

void TestIconConvert::otherSizesKeepTransparency_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("smaller") << 4;
    QTest::newRow("one and a half") << 12;
}

void TestIconConvert::otherSizesKeepTransparency()
{
    QFETCH(int, size);
    const QImage icon = iconconvert::scaledIcon(sample(), size);
    QCOMPARE(icon.size(), QSize(size, size));
    QCOMPARE(qAlpha(icon.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(icon.pixel(size - 1, size - 1)), 0);
    QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
}

void TestIconConvert::rejectsNullAndBadSizes()
{
    QVERIFY(iconconvert::scaledIcon(QImage(), 32).isNull());
    QVERIFY(iconconvert::scaledIcon(sample(), 0).isNull());
    QVERIFY(iconconvert::scaledIcon(sample(), -8).isNull());
    QVERIFY(iconconvert::svgFromImage(QImage()).isEmpty());
}

void TestIconConvert::svgDrawsTheSourcePixels()
{
    QImage source = sample();
    source.setPixel(0, 0, qRgba(10, 20, 30, 128)); // a half-transparent pixel
    const QByteArray svg = iconconvert::svgFromImage(source);
    const QImage drawn = renderRects(svg);
    QCOMPARE(drawn.size(), source.size());
    for (int y = 0; y < source.height(); ++y) {
        for (int x = 0; x < source.width(); ++x) {
            const QRgb want = source.pixel(x, y);
            const QRgb got = drawn.pixel(x, y);
            QCOMPARE(qAlpha(got), qAlpha(want));
            if (qAlpha(want) != 0)
                QCOMPARE(got & 0xFFFFFF, want & 0xFFFFFF);
        }
    }
    // Runs of one colour are merged: 4 colour rows of 2 runs each, plus the odd pixel.
    QCOMPARE(svg.count("<rect"), 9);
}

void TestIconConvert::toolWritesPngAndReportsFailures()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString xpm = dir.filePath(QStringLiteral("icon.xpm"));
    QVERIFY(sample().save(xpm, "XPM"));
    const QString png = dir.filePath(QStringLiteral("icon.png"));

    auto run = [](const QStringList &args) {
        QProcess tool;
        tool.start(QStringLiteral(TARNWELL_ICON_TOOL), args);
        if (!tool.waitForFinished(30000) || tool.exitStatus() != QProcess::NormalExit)
            return -1;
        return tool.exitCode();
    };
    QCOMPARE(run({xpm, png, QStringLiteral("16")}), 0);
    QImage written(png, "PNG");
    QCOMPARE(written.convertToFormat(QImage::Format_ARGB32), iconconvert::scaledIcon(sample(), 16));

    QCOMPARE(run({xpm, png}), 1);                        // a PNG needs a size
    QCOMPARE(run({xpm, png, QStringLiteral("big")}), 1); // not a number
    QCOMPARE(run({dir.filePath(QStringLiteral("none.xpm")), png, QStringLiteral("16")}), 1);
    QCOMPARE(run({xpm, dir.filePath(QStringLiteral("no/such/dir/i.png")), QStringLiteral("16")}),
             1);
}

QTEST_GUILESS_MAIN(TestIconConvert)
#include "tst_iconconvert.moc"
