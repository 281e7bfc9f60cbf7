// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The strip left of the viewer's text that names where each part of a shown
// document begins (a sheet, a page, a slide), level with the part's first
// line. It is a widget of its own, drawn on a different background: the
// labels are not text of the document, so they are never found, selected or
// copied. When the first line on screen lies inside a part that began above,
// that part's name shows dimmed on the top row.

#include "documents/DocumentText.h"

#include <QWidget>

#include <vector>

class TextViewer;

class LocationGutter : public QWidget {
    Q_OBJECT
public:
    explicit LocationGutter(TextViewer *viewer);

    void setLocations(std::vector<documents::Location> locations);
    const std::vector<documents::Location> &locations() const { return m_locations; }
    // The width the labels need (capped, longer ones elided); 0 without any.
    int neededWidth() const;
    // The label drawn on the viewer's row (0 = the top row on screen), empty
    // when none; dimmed says it is the part that began above the screen.
    QString labelOnRow(int row, bool *dimmed = nullptr) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;

private:
    TextViewer *m_viewer;
    std::vector<documents::Location> m_locations;
};
