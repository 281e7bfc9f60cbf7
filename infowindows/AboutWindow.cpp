// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "infowindows/AboutWindow.h"

#include "platform/Twips.h"
#include "resources/Artwork.h"
#include "resources/Texts.h"

#include <QKeyEvent>
#include <QPushButton>

namespace {
// Client area and control positions, in twips.
constexpr double kClientWidth = 3645;
constexpr double kClientHeight = 4140;

const infowindows::InfoLayout &aboutLayout()
{
    static const infowindows::InfoLayout layout = {
        {240, 240, 480, 480},
        {
            {960, 240, 2175, 255},
            {960, 480, 975, 255},
            {720, 960, 2010, 180, true},
            {960, 1440, 1455, 255},
            {720, 1680, 2175, 180, true},
            {600, 2040, 2235, 180, true},
        },
        texts::editionLineAbout,
    };
    return layout;
}
} // namespace

AboutWindow::AboutWindow(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("AboutWindow"));
    setWindowTitle(texts::aboutCaption);
    setWindowIcon(artwork::programIcon());
    setModal(true);
    setSizeGripEnabled(false);
    setFixedSize(twips::toPixels(kClientWidth, kClientHeight));

    const infowindows::InfoLines lines = infowindows::createInfoLines(this, aboutLayout());
    Image1 = lines.Image1;
    Label1 = lines.Label1;
    Label2 = lines.Label2;
    Label3 = lines.Label3;
    Label4 = lines.Label4;
    Label5 = lines.Label5;
    Label6 = lines.Label6;

    Command1 = new QPushButton(texts::aboutOk, this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips::toPixels(600, 3600, 975, 300));
    Command1->setToolTip(texts::tipAboutOk);
    Command1->setDefault(true);
    Command1->setAutoDefault(true);
    Command1->setFocus();
    connect(Command1, &QPushButton::clicked, this, &AboutWindow::Command1_Click);
}

void AboutWindow::Command1_Click()
{
    accept();
}

void AboutWindow::keyPressEvent(QKeyEvent *event)
{
    // There is no cancel button: Esc leaves the about box open.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void AboutWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    infowindows::centreOnScreen(this);
}
