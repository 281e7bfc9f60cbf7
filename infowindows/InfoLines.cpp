// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "infowindows/InfoLines.h"

#include "platform/Twips.h"
#include "resources/Artwork.h"
#include "resources/Texts.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <climits>

namespace infowindows {

namespace {
QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const Placement &p)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(false);
    label->setFocusPolicy(Qt::NoFocus);
    label->setGeometry(twips::toPixels(p.left, p.top, p.width, p.height));
    // The design widths were made for another system font: a label never cuts
    // its text off, it grows instead (within its window).
    const int room = parent->width() > 0 ? parent->width() - label->x() : INT_MAX;
    if (p.fitsText)
        label->resize(label->sizeHint().width(), label->sizeHint().height());
    else if (label->sizeHint().width() > label->width())
        label->resize(std::min(label->sizeHint().width(), room), label->height());
    return label;
}
} // namespace

InfoLines createInfoLines(QWidget *parent, const InfoLayout &layout)
{
    InfoLines lines;
    lines.Image1 = new QLabel(parent);
    lines.Image1->setObjectName(QStringLiteral("Image1"));
    lines.Image1->setGeometry(twips::toPixels(layout.image.left, layout.image.top,
                                              layout.image.width, layout.image.height));
    lines.Image1->setPixmap(artwork::programIconPixmap());
    lines.Image1->setScaledContents(true);
    lines.Image1->setAccessibleName(texts::productName);

    const QString captions[6] = {texts::productLine, texts::versionLine, layout.editionLine,
                                 texts::authorLine,  texts::emailLine,   texts::noticeLine};
    QLabel **targets[6] = {&lines.Label1, &lines.Label2, &lines.Label3,
                           &lines.Label4, &lines.Label5, &lines.Label6};
    static const char *const names[6] = {"Label1", "Label2", "Label3",
                                         "Label4", "Label5", "Label6"};
    for (int i = 0; i < 6; ++i)
        *targets[i] = makeLabel(parent, names[i], captions[i], layout.labels[i]);
    return lines;
}

void centreOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace infowindows
