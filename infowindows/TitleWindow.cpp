// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "infowindows/TitleWindow.h"

#include "platform/Twips.h"
#include "resources/Artwork.h"
#include "resources/Texts.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QMouseEvent>

namespace {
// Client area, frame and control positions, in twips; the controls' positions
// are relative to the frame.
constexpr double kClientWidth = 3900;
constexpr double kClientHeight = 3315;

const infowindows::InfoLayout &titleLayout()
{
    static const infowindows::InfoLayout layout = {
        {240, 360, 480, 480},
        {
            {960, 360, 2175, 255},
            {960, 600, 975, 255},
            {720, 1080, 1980, 180, true},
            {960, 1560, 1455, 255},
            {600, 1800, 2175, 180, true},
            {600, 2160, 2235, 180, true},
        },
        texts::editionLineTitle,
    };
    return layout;
}
} // namespace

TitleWindow::TitleWindow(QWidget *parent)
    // Not "stay on top": a box that start-up raises while the title window is up
    // (a volume that is not ready) opens on the same spot and must not be hidden.
    : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("TitleWindow"));
    setWindowTitle(QString());
    setWindowIcon(artwork::programIcon());
    // No title bar: the window draws a raised dialog border of its own.
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setFixedSize(twips::toPixels(kClientWidth, kClientHeight));
    setFocusPolicy(Qt::StrongFocus);

    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setTitle(QString());
    Frame1->setFocusPolicy(Qt::NoFocus);
    Frame1->setGeometry(twips::toPixels(150, 60, 3585, 3075));
    Frame1->installEventFilter(this);

    const infowindows::InfoLines lines = infowindows::createInfoLines(Frame1, titleLayout());
    Image1 = lines.Image1;
    Label1 = lines.Label1;
    Label2 = lines.Label2;
    Label3 = lines.Label3;
    Label4 = lines.Label4;
    Label5 = lines.Label5;
    Label6 = lines.Label6;
    infowindows::centreOnScreen(this);
}

void TitleWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    hide();
    Q_EMIT unloaded();
}

void TitleWindow::Form_KeyPress(int KeyAscii)
{
    Q_UNUSED(KeyAscii);
    unload();
}

void TitleWindow::Frame1_Click()
{
    unload();
}

void TitleWindow::keyPressEvent(QKeyEvent *event)
{
    Form_KeyPress(event->text().isEmpty() ? 0 : event->text().at(0).unicode());
    event->accept();
}

void TitleWindow::showEvent(QShowEvent *event)
{
    QFrame::showEvent(event);
    infowindows::centreOnScreen(this);
}

bool TitleWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != Frame1)
        return QFrame::eventFilter(watched, event);
    // Events a label or the icon ignores propagate to the frame; only a press and
    // release on the frame's own area make a click.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease) {
        const auto *me = static_cast<QMouseEvent *>(event);
        const QPoint pos = me->position().toPoint();
        const bool onOwnArea = Frame1->rect().contains(pos) && !Frame1->childAt(pos);
        if (me->button() == Qt::LeftButton) {
            if (event->type() == QEvent::MouseButtonPress) {
                m_pressOnFrame = onOwnArea;
            } else {
                const bool click = m_pressOnFrame && onOwnArea;
                m_pressOnFrame = false;
                if (click)
                    Frame1_Click();
            }
            return true;
        }
    }
    return QFrame::eventFilter(watched, event);
}
