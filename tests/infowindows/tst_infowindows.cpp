// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The about box and the title window with real key presses and clicks.

#include "infowindows/AboutWindow.h"
#include "infowindows/TitleWindow.h"
#include "resources/Texts.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

namespace {
// Every label's text and geometry, and the button's, as a comparable list.
QStringList snapshot(const QWidget *w)
{
    QStringList out;
    for (const QLabel *l : w->findChildren<QLabel *>()) {
        const QRect g = l->geometry();
        out << QStringLiteral("%1 %2 %3,%4 %5x%6 %7")
                   .arg(l->objectName(), l->text())
                   .arg(g.x())
                   .arg(g.y())
                   .arg(g.width())
                   .arg(g.height())
                   .arg(l->pixmap().isNull() ? 0 : l->pixmap().width());
    }
    for (const QPushButton *b : w->findChildren<QPushButton *>())
        out << b->objectName() + b->text() + b->toolTip();
    out << w->windowTitle();
    return out;
}

bool centred(const QWidget *w)
{
    const QPoint screenCentre = w->screen()->availableGeometry().center();
    const QPoint d = w->frameGeometry().center() - screenCentre;
    return std::abs(d.x()) <= 1 && std::abs(d.y()) <= 1;
}
} // namespace

class TestInfoWindows : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aboutContent()
    {
        AboutWindow about;
        about.show();
        QVERIFY(QTest::qWaitForWindowExposed(&about));
        QCOMPARE(about.windowTitle(), QStringLiteral("Tarnwell について"));
        QCOMPARE(about.Label1->text(), QStringLiteral("Tarnwell for Windows95"));
        QCOMPARE(about.Label2->text(), QStringLiteral("version 2.10"));
        QCOMPARE(about.Label3->text(), QStringLiteral("1999年3月１日第2版第2刷"));
        QVERIFY(about.Label3->text().contains(QChar(0xFF11)));
        for (QLabel *l : {about.Label4, about.Label5, about.Label6})
            QVERIFY(!l->text().isEmpty());
        QCOMPARE(about.Image1->pixmap().size(), QSize(32, 32));
        QCOMPARE(about.Image1->geometry().topLeft(), QPoint(16, 16)); // 240 twips at 96 DPI
        // No label cuts its text off, whatever the system font, and all lie
        // inside the window.
        for (QLabel *l : about.findChildren<QLabel *>()) {
            if (l != about.Image1) {
                QVERIFY2(l->width() >= l->sizeHint().width(), qPrintable(l->objectName()));
                QVERIFY2(l->geometry().right() < about.width(), qPrintable(l->objectName()));
            }
        }
        // Fixed dialog: no resizing, no minimise or maximise, a close box.
        QCOMPARE(about.minimumSize(), about.maximumSize());
        const Qt::WindowFlags f = about.windowFlags();
        QVERIFY(!(f & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(f & Qt::WindowMaximizeButtonHint));
        QVERIFY(f & Qt::WindowCloseButtonHint);
        QVERIFY(centred(&about));
        // OK is the only control that takes the focus, and the default button.
        QCOMPARE(QApplication::focusWidget(), about.Command1);
        QVERIFY(about.Command1->isDefault());
        QCOMPARE(about.Command1->toolTip(), QStringLiteral("このウィンドウを閉じます"));
    }

    void aboutReopensIdentical()
    {
        QStringList first;
        {
            AboutWindow about;
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            first = snapshot(&about);
            QTest::keyClick(&about, Qt::Key_Return);
        }
        AboutWindow again;
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(snapshot(&again), first);
    }

    // Modal exec: Esc leaves the box open, Enter closes it; the close box too.
    void aboutKeysAndCloseBox()
    {
        AboutWindow about;
        QStringList steps;
        QTimer::singleShot(0, &about, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            steps << (modal == &about ? QStringLiteral("modal") : QStringLiteral("not modal"));
            QTest::keyClick(&about, Qt::Key_Escape);
            steps << (about.isVisible() ? QStringLiteral("open after Esc")
                                        : QStringLiteral("closed by Esc"));
            QTest::keyClick(&about, Qt::Key_Return);
        });
        QCOMPARE(about.exec(), int(QDialog::Accepted));
        QCOMPARE(steps, QStringList({QStringLiteral("modal"), QStringLiteral("open after Esc")}));
        QVERIFY(!about.isVisible());

        AboutWindow second;
        QTimer::singleShot(0, &second, [&] { second.close(); }); // what the close box sends
        QCOMPARE(second.exec(), int(QDialog::Rejected));
        QVERIFY(!second.isVisible());

        AboutWindow third;
        QTimer::singleShot(0, &third, [&] { QTest::mouseClick(third.Command1, Qt::LeftButton); });
        QCOMPARE(third.exec(), int(QDialog::Accepted));
    }

    void titleContent()
    {
        TitleWindow title;
        title.show();
        QVERIFY(QTest::qWaitForWindowExposed(&title));
        QVERIFY(title.windowFlags() & Qt::FramelessWindowHint);
        QCOMPARE(title.Label3->text(), QStringLiteral("1999年3月1日第2版第2刷"));
        QVERIFY(!title.Label3->text().contains(QChar(0xFF11)));
        QCOMPARE(title.Label1->parentWidget(), title.Frame1);
        QCOMPARE(title.Image1->pixmap().size(), QSize(32, 32));
        QVERIFY(title.Frame1->title().isEmpty());
        QVERIFY(centred(&title));
    }

    void titleClosesOnKeyPress()
    {
        TitleWindow title;
        QSignalSpy unloaded(&title, &TitleWindow::unloaded);
        title.show();
        QVERIFY(QTest::qWaitForWindowExposed(&title));
        QTest::keyClick(&title, Qt::Key_Space);
        QVERIFY(!title.isVisible());
        QCOMPARE(unloaded.count(), 1);
        // The end of start-up unloads it again: nothing happens.
        title.unload();
        title.unload();
        QCOMPARE(unloaded.count(), 1);
        QVERIFY(!title.isVisible());
    }

    void titleClosesOnFrameClickOnly()
    {
        TitleWindow title;
        title.show();
        QVERIFY(QTest::qWaitForWindowExposed(&title));
        // Labels and the icon have no click behaviour.
        QTest::mouseClick(title.Label1, Qt::LeftButton);
        QTest::mouseClick(title.Label6, Qt::LeftButton);
        QTest::mouseClick(title.Image1, Qt::LeftButton);
        QVERIFY(title.isVisible());
        // A press on a label released on the frame is no click on the frame.
        QTest::mousePress(title.Label2, Qt::LeftButton);
        QTest::mouseRelease(title.Frame1, Qt::LeftButton, {},
                            QPoint(4, title.Frame1->height() - 4));
        QVERIFY(title.isVisible());
        // The window's border outside the frame is not the frame either.
        QTest::mouseClick(&title, Qt::LeftButton, {}, QPoint(2, 2));
        QVERIFY(title.isVisible());
        QTest::mouseClick(title.Frame1, Qt::LeftButton, {},
                          QPoint(title.Frame1->width() / 2, title.Frame1->height() - 6));
        QVERIFY(!title.isVisible());
        QVERIFY(title.isUnloaded());
    }
};

QTEST_MAIN(TestInfoWindows)
#include "tst_infowindows.moc"
