// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/TextViewerAccessible.h"

#include "viewer/TextViewer.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include <algorithm>
#include <climits>
#include <cstdlib>

namespace {

class TextViewerAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TextViewerAccessible(TextViewer *w) : QAccessibleWidget(w, QAccessible::EditableText)
    {}
    TextViewer *viewer() const { return static_cast<TextViewer *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        QString s = QAccessibleWidget::text(t);
        if (t == QAccessible::Name && s.isEmpty())
            s = viewer()->toolTip();
        if (t == QAccessible::Value)
            s = viewer()->textRange(0, std::min<qsizetype>(viewer()->length(), 65536));
        return s;
    }

    void selection(int index, int *start, int *end) const override
    {
        *start = *end = 0;
        if (index == 0 && viewer()->selectionLength() > 0) {
            *start = clampInt(viewer()->selectionStart());
            *end = clampInt(viewer()->selectionStart() + viewer()->selectionLength());
        }
    }
    int selectionCount() const override { return viewer()->selectionLength() > 0 ? 1 : 0; }
    void addSelection(int start, int end) override { setSelection(0, start, end); }
    void removeSelection(int) override { viewer()->select(viewer()->selectionStart(), 0); }
    void setSelection(int, int start, int end) override
    {
        viewer()->select(std::min(start, end), std::abs(end - start));
    }
    int cursorPosition() const override
    {
        return clampInt(viewer()->selectionStart() + viewer()->selectionLength());
    }
    void setCursorPosition(int position) override { viewer()->select(position, 0); }
    QString text(int start, int end) const override { return viewer()->textRange(start, end); }
    int characterCount() const override { return clampInt(viewer()->length()); }
    QRect characterRect(int offset) const override
    {
        const QRect r = viewer()->characterRect(offset);
        return QRect(viewer()->viewport()->mapToGlobal(r.topLeft()), r.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        return clampInt(viewer()->offsetAt(viewer()->viewport()->mapFromGlobal(point)));
    }
    void scrollToSubstring(int start, int end) override
    {
        viewer()->select(start, std::max(0, end - start));
    }
    QString attributes(int offset, int *start, int *end) const override
    {
        *start = *end = offset;
        return QString();
    }

private:
    static int clampInt(qsizetype v) { return int(std::clamp<qsizetype>(v, -1, INT_MAX)); }
};

QAccessibleInterface *textViewerAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TextViewer") && object && object->isWidgetType())
        return new TextViewerAccessible(static_cast<TextViewer *>(object));
    return nullptr;
}

} // namespace

void installTextViewerAccessibility()
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(textViewerAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);
}
