// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The information lines both windows carry: the program icon (Image1) and the
// product, version, edition, author, e-mail and notice lines (Label1 to Label6),
// placed from a table of twips.

#include <QLabel>
#include <QString>

class QWidget;

namespace infowindows {

// left, top, width, height in twips; fitsText labels size themselves to their text.
struct Placement {
    double left, top, width, height;
    bool fitsText = false;
};

struct InfoLayout {
    Placement image;
    Placement labels[6];
    QString editionLine; // differs between the two windows
};

struct InfoLines {
    QLabel *Image1 = nullptr;
    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    QLabel *Label5 = nullptr;
    QLabel *Label6 = nullptr;
};

// Creates the icon and the six labels as children of parent.
InfoLines createInfoLines(QWidget *parent, const InfoLayout &layout);

// Moves a top-level window so that its frame is centred on its screen.
void centreOnScreen(QWidget *window);

} // namespace infowindows
