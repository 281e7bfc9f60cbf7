// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The artwork as the windows use it: sizes, the toolbar images' transparent
// silver, the splitter pointer's picture and hot spot.

#include "resources/Artwork.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QImage>
#include <QtTest>

class TestArtwork : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void programIcon()
    {
        const QImage icon = artwork::programIconPixmap().toImage();
        QCOMPARE(icon.size(), QSize(32, 32));
        // A red handle and a blue shape are there.
        bool red = false, blue = false;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QColor c = icon.pixelColor(x, y);
                red |= c == QColor(255, 0, 0);
                blue |= c == QColor(0, 0, 255);
            }
        QVERIFY(red && blue);
        QVERIFY(!artwork::programIcon().isNull());
    }

    void toolbarImages()
    {
        QVERIFY(artwork::toolbarImage(0).isNull());
        QVERIFY(artwork::toolbarImage(6).isNull());
        for (int i = 1; i <= 5; ++i) {
            const QImage image = artwork::toolbarImage(i).toImage();
            QCOMPARE(image.size(), QSize(16, 16));
            int transparent = 0, silver = 0, opaque = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    const QColor c = image.pixelColor(x, y);
                    if (c.alpha() == 0)
                        ++transparent;
                    else if (c.rgb() == QColor(192, 192, 192).rgb())
                        ++silver;
                    else
                        ++opaque;
                }
            // The silver background is masked out; the picture itself stays.
            QVERIFY2(transparent > 20, qPrintable(QString::number(i)));
            QCOMPARE(silver, 0);
            QVERIFY(opaque > 20);
        }
    }

    void splitterCursor()
    {
        const QCursor cursor = artwork::splitterCursor();
        QCOMPARE(cursor.hotSpot(), QPoint(10, 8));
        const QImage image = cursor.pixmap().toImage();
        QCOMPARE(image.size(), QSize(32, 32));
        int black = 0;
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                const QColor c = image.pixelColor(x, y);
                const bool inside = x < 21 && y < 17;
                if (!inside)
                    QCOMPARE(c.alpha(), 0);
                else if (c.alpha() && c.rgb() == qRgb(0, 0, 0))
                    ++black;
                else if (c.alpha())
                    QCOMPARE(c.rgb(), qRgb(255, 255, 255)); // only black and its white outline
            }
        QVERIFY(black > 40);
        // The bar: 3 black pixels wide at the hot spot's column, 17 high.
        for (int y = 0; y < 17; ++y)
            for (int x = 9; x <= 11; ++x)
                QCOMPARE(image.pixelColor(x, y).rgb(), qRgb(0, 0, 0));
    }
};

QTEST_MAIN(TestArtwork)
#include "tst_artwork.moc"
