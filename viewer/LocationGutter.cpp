// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/LocationGutter.h"

#include "viewer/DocumentLines.h"
#include "viewer/TextViewer.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>

namespace {
constexpr int kPadding = 4;     // pixels either side of a label
constexpr int kMaxColumns = 12; // wider labels are elided
} // namespace

LocationGutter::LocationGutter(TextViewer *viewer) : QWidget(viewer), m_viewer(viewer)
{
    setObjectName(QStringLiteral("locationGutter"));
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    setCursor(Qt::ArrowCursor);
    hide();
}

void LocationGutter::setLocations(std::vector<documents::Location> locations)
{
    m_locations = std::move(locations);
    update();
}

int LocationGutter::neededWidth() const
{
    if (m_locations.empty())
        return 0;
    const QFontMetrics fm(m_viewer->font());
    int widest = 0;
    for (const documents::Location &loc : m_locations)
        widest = std::max(widest, fm.horizontalAdvance(loc.label));
    const int cap = kMaxColumns * m_viewer->columnWidth();
    return std::min(widest, cap) + 2 * kPadding + 1;
}

QString LocationGutter::labelOnRow(int row, bool *dimmed) const
{
    if (dimmed)
        *dimmed = false;
    const qsizetype line = m_viewer->firstVisibleLine() + row;
    if (row < 0 || line >= m_viewer->lineCount())
        return QString();
    const qsizetype part = partOfLine(m_locations, line);
    if (part < 0)
        return QString();
    // The last location starting on the line names it (an empty part before
    // it was merged by the reader already).
    if (m_locations[std::size_t(part)].line == line)
        return m_locations[std::size_t(part)].label;
    if (row == 0) {
        if (dimmed)
            *dimmed = true;
        return m_locations[std::size_t(part)].label;
    }
    return QString();
}

void LocationGutter::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setFont(m_viewer->font());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawLine(width() - 1, 0, width() - 1, height());
    const int lh = m_viewer->lineHeight();
    const int rows = height() / lh + 1;
    const QFontMetrics fm(m_viewer->font());
    const int room = std::max(0, width() - 2 * kPadding - 1);
    for (int row = 0; row < rows; ++row) {
        bool dimmed = false;
        const QString label = labelOnRow(row, &dimmed);
        if (label.isEmpty())
            continue;
        painter.setPen(palette().color(dimmed ? QPalette::PlaceholderText : QPalette::WindowText));
        painter.drawText(QRect(kPadding, row * lh, room, lh), Qt::AlignLeft | Qt::AlignVCenter,
                         fm.elidedText(label, Qt::ElideRight, room));
    }
}

bool LocationGutter::event(QEvent *event)
{
    // The whole label of a row, for one that is elided.
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const QString label = labelOnRow(help->pos().y() / m_viewer->lineHeight());
        if (label.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), label, this);
        return true;
    }
    return QWidget::event(event);
}
