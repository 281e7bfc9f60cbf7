// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// A line too long to lay out whole, in each encoding the viewer reads: paging
// it with clicks in the horizontal scroll bar's track shows every character,
// the scroll position stands for the text's columns, and the handle's end
// shows the line's end.

#include "text/Cp932.h"
#include "viewer/TextViewer.h"

#include <QFile>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int kPieces = 1500; // 16,500 UTF-16 units, 19,500 bytes, 19,500 columns
constexpr int kPieceColumns = 13;

// Piece k of the line: a wide character (outside the BMP where the encoding
// can hold one), k in five digits, two half-width katakana, two kanji.
QString piece(int k, bool cp932)
{
    return (cp932 ? QStringLiteral("吉") : QStringLiteral("𠮷")) +
           QStringLiteral("%1").arg(k, 5, 10, QLatin1Char('0')) + QStringLiteral("ｶﾅ野家");
}

// The column each character of a piece starts at, by its offset in the piece.
const QList<int> kColumnsCp932 = {0, 2, 3, 4, 5, 6, 7, 8, 9, 11};
const QList<int> kColumnsUnicode = {0, 0, 2, 3, 4, 5, 6, 7, 8, 9, 11};

// Clicks the part of the scroll bar's track; false when it has no room.
bool clickTrack(QScrollBar *bar, QStyle::SubControl part)
{
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.subControls = QStyle::SC_All;
    opt.orientation = bar->orientation();
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    if (bar->orientation() == Qt::Horizontal)
        opt.state |= QStyle::State_Horizontal;
    const QRect r = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, part, bar);
    if (r.width() < 2 || r.height() < 2)
        return false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, r.center());
    return true;
}

} // namespace

class TestLongLines : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pagingShowsEveryColumn_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<platform::EncodingMode>("mode");
        QTest::newRow("code page 932") << "cp932" << platform::EncodingMode::Cp932;
        QTest::newRow("UTF-8") << "utf-8" << platform::EncodingMode::Utf8;
        QTest::newRow("UTF-16 LE, auto") << "utf-16le" << platform::EncodingMode::Auto;
    }
    void pagingShowsEveryColumn()
    {
        QFETCH(QString, encoding);
        QFETCH(platform::EncodingMode, mode);
        const bool cp932 = encoding == QLatin1String("cp932");
        QString text;
        for (int k = 0; k < kPieces; ++k)
            text += piece(k, cp932);
        QByteArray bytes;
        if (cp932) {
            bytes = cp932::encode(text).bytes;
        } else if (encoding == QLatin1String("utf-8")) {
            bytes = text.toUtf8();
        } else {
            bytes = QByteArray("\xFF\xFE", 2);
            for (const QChar c : std::as_const(text))
                bytes += char(c.unicode() & 0xFF), bytes += char(c.unicode() >> 8);
        }
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        f.close();

        TextViewer v;
        QFont font(QStringLiteral("IPAGothic"));
        font.setPixelSize(16);
        v.setFont(font);
        v.resize(1600, 120);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QVERIFY(v.loadFile(QFile::encodeName(path), mode));
        QCOMPARE(v.text(), text);

        const int cw = v.fontMetrics().horizontalAdvance(QLatin1Char('0'));
        const int y = v.fontMetrics().height() / 2;
        const QList<int> &columns = cp932 ? kColumnsCp932 : kColumnsUnicode;
        const int pieceChars = int(columns.size());
        auto columnOf = [&](qsizetype offset) {
            return int(offset / pieceChars) * kPieceColumns + columns[int(offset % pieceChars)];
        };
        auto firstShown = [&] { return v.offsetAt(QPoint(2, y)); };
        auto lastShown = [&] { return v.offsetAt(QPoint(v.viewport()->width() - 1, y)); };
        QScrollBar *bar = v.horizontalScrollBar();
        auto atItsColumn = [&](qsizetype offset) {
            const int x = v.characterRect(offset).left();
            const int expected = 2 + columnOf(offset) * cw - bar->value();
            return qAbs(x - expected) <= 1
                       ? QString()
                       : QStringLiteral("at %1: offset %2 drawn at x %3, its column at %4")
                             .arg(bar->value())
                             .arg(offset)
                             .arg(x)
                             .arg(expected);
        };

        // A word found far along the line is scrolled to, drawn at its column.
        const qsizetype found = v.find(QStringLiteral("01234ｶﾅ"), 0);
        QCOMPARE(found, qsizetype(1234 * pieceChars + columns.indexOf(2)));
        QVERIFY(v.viewport()->rect().contains(v.characterRect(found).center()));
        QCOMPARE(atItsColumn(found), QString());

        // The handle's end shows the line's end, and stands for its last columns.
        bar->setValue(bar->maximum());
        QCOMPARE(lastShown(), v.length());
        QVERIFY(v.viewport()->rect().contains(v.characterRect(v.length() - 1).center()));
        QVERIFY2(qAbs(bar->maximum() + v.viewport()->width() - kPieces * kPieceColumns * cw) <=
                     4 * cw,
                 qPrintable(QString::number(bar->maximum())));

        // Page back to the start: the characters at both edges are drawn at
        // their columns, and each page ends where the one after it began.
        while (bar->value() > 0) {
            const qsizetype first = firstShown();
            QCOMPARE(atItsColumn(first), QString());
            QCOMPARE(atItsColumn(lastShown()), QString());
            const int before = bar->value();
            if (!clickTrack(bar, QStyle::SC_ScrollBarSubPage))
                break; // the handle is at the track's start
            QCOMPARE(bar->value(), std::max(0, before - bar->pageStep()));
            QVERIFY2(columnOf(lastShown()) >= columnOf(first) - 2,
                     qPrintable(QStringLiteral("the page at %1 ends at column %2, the next "
                                               "began at column %3")
                                    .arg(bar->value())
                                    .arg(columnOf(lastShown()))
                                    .arg(columnOf(first))));
        }
        QVERIFY2(bar->value() <= 3 * bar->pageStep(), qPrintable(QString::number(bar->value())));
        v.setFocus();
        QTest::keyClick(&v, Qt::Key_Home);
        QCOMPARE(firstShown(), qsizetype(0));
    }
};

QTEST_MAIN(TestLongLines)
#include "tst_longlines.moc"
