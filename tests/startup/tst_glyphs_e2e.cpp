// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Characters the Japanese font lacks are drawn, on a real X server (Xvfb):
// glyph-probe shows 𠮷野家 🍣 in the viewer and the keyword box and takes a
// screenshot, once with the fonts installed and once with fontconfig shown
// only the IPA Gothic font, which lacks 𠮷 and 🍣 and draws both as the same
// box. With the fonts installed neither is that box, and 🍣 is in colour.

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Shot {
    QString error;
    QImage image;
    QMap<QString, QRect> cells; // "cell 0", "cell 2", ..., "box"
};

Shot probe(const QString &dir, const QString &name, const QString &fontconfigFile)
{
    Shot shot;
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"),
               QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                           QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray display;
    while (!display.endsWith('\n') && xvfb.waitForReadyRead(30000))
        display += xvfb.readAllStandardOutput();
    if (!display.endsWith('\n')) {
        xvfb.kill();
        xvfb.waitForFinished();
        shot.error = QStringLiteral("no display");
        return shot;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(display.trimmed()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("HOME"), dir);
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    if (!fontconfigFile.isEmpty())
        env.insert(QStringLiteral("FONTCONFIG_FILE"), fontconfigFile);
    const QString png = dir + u'/' + name + QStringLiteral(".png");
    const QString cells = dir + u'/' + name + QStringLiteral(".txt");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TARNWELL_GLYPH_PROBE), {png, cells});
    if (!p.waitForFinished(90000)) {
        p.kill();
        p.waitForFinished();
    }
    const QByteArray output = p.readAll();
    xvfb.terminate();
    if (!xvfb.waitForFinished(10000)) {
        xvfb.kill();
        xvfb.waitForFinished();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        shot.error = QStringLiteral("glyph-probe failed: ") + QString::fromLocal8Bit(output);
        return shot;
    }
    shot.image = QImage(png).convertToFormat(QImage::Format_RGB32);
    QFile f(cells);
    if (shot.image.isNull() || !f.open(QIODevice::ReadOnly)) {
        shot.error = QStringLiteral("no screenshot");
        return shot;
    }
    for (const QByteArray &line : f.readAll().split('\n')) {
        QList<QByteArray> w = line.split(' ');
        if (w.size() < 5)
            continue;
        const QRect r(w[w.size() - 4].toInt(), w[w.size() - 3].toInt(), w[w.size() - 2].toInt(),
                      w[w.size() - 1].toInt());
        w.resize(w.size() - 4);
        shot.cells.insert(QString::fromUtf8(w.join(' ')), r);
    }
    return shot;
}

// Pixels of the rectangle that are ink (dark), and that are coloured.
struct Ink {
    int dark = 0;
    int coloured = 0;
};
Ink inkIn(const QImage &image, const QRect &r)
{
    Ink ink;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            ink.dark += c.lightness() < 128;
            ink.coloured += c.hsvSaturation() > 100 && c.value() > 60;
        }
    return ink;
}

} // namespace

class TestGlyphsEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void charactersOutsideTheJapaneseFontAreDrawn()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("Xvfb is not installed");
        const QString ipa = QStringLiteral("/usr/share/fonts/opentype/ipafont-gothic");
        QVERIFY2(QFile::exists(ipa + QStringLiteral("/ipag.ttf")),
                 "fonts-ipafont-gothic is missing: run scripts/setup.sh");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        // fontconfig shown the IPA Gothic font alone.
        const QString conf = dir.filePath(QStringLiteral("fonts.conf"));
        QFile f(conf);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                "<fontconfig><dir>" +
                ipa.toUtf8() + "</dir><cachedir>" + dir.path().toUtf8() +
                "/fc-cache</cachedir></fontconfig>\n");
        f.close();

        const Shot all = probe(dir.path(), QStringLiteral("installed"), QString());
        QVERIFY2(all.error.isEmpty(), qPrintable(all.error));
        const Shot ipaOnly = probe(dir.path(), QStringLiteral("ipa-only"), conf);
        QVERIFY2(ipaOnly.error.isEmpty(), qPrintable(ipaOnly.error));
        QCOMPARE(all.cells.size(), 5);
        QCOMPARE(ipaOnly.cells.size(), 5);

        // Whether two cells show the same picture, give or take two pixels each
        // way (a taller fallback font lowers the line's baseline).
        auto same = [](const Shot &a, const QString &cellA, const Shot &b, const QString &cellB) {
            const QImage picture = a.image.copy(a.cells[cellA]);
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) {
                    if (picture == b.image.copy(b.cells[cellB].translated(dx, dy)))
                        return true;
                }
            return false;
        };
        const QString yoshi = QStringLiteral("cell 0"), sushi = QStringLiteral("cell 5");
        // With IPA Gothic alone, 𠮷 and 🍣 are the same box: the font lacks both.
        QVERIFY(same(ipaOnly, yoshi, ipaOnly, sushi));
        // With the fonts installed, neither is that box, and each has ink.
        for (const QString &cell : {yoshi, sushi}) {
            QVERIFY2(!same(all, cell, ipaOnly, yoshi), qPrintable(cell));
            const Ink ink = inkIn(all.image, all.cells[cell]);
            QVERIFY2(ink.dark + ink.coloured > 10, qPrintable(cell));
        }
        QVERIFY(!same(all, yoshi, all, sushi));
        // 野 and 家 are drawn by IPA Gothic in both.
        for (const QString &cell : {QStringLiteral("cell 2"), QStringLiteral("cell 3")}) {
            QVERIFY2(inkIn(all.image, all.cells[cell]).dark > 10, qPrintable(cell));
            QVERIFY2(inkIn(ipaOnly.image, ipaOnly.cells[cell]).dark > 10, qPrintable(cell));
        }
        QVERIFY(inkIn(all.image, all.cells[QStringLiteral("cell 5")]).coloured > 20);
        QCOMPARE(inkIn(ipaOnly.image, ipaOnly.cells[QStringLiteral("cell 5")]).coloured, 0);
        // The keyword box draws the emoji in colour too.
        QVERIFY(inkIn(all.image, all.cells[QStringLiteral("box")]).coloured > 20);
        QCOMPARE(inkIn(ipaOnly.image, ipaOnly.cells[QStringLiteral("box")]).coloured, 0);
    }
};

QTEST_GUILESS_MAIN(TestGlyphsEndToEnd)
#include "tst_glyphs_e2e.moc"
