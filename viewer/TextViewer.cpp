// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/TextViewer.h"

#include "platform/MappedFile.h"
#include "viewer/DocumentLines.h"
#include "viewer/LocationGutter.h"
#include "viewer/TextFind.h"
#include "viewer/TextViewerAccessible.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <climits>
#include <new>

namespace {

constexpr int kMargin = 2;                   // pixels left of the text
constexpr qsizetype kWholeLineLimit = 16384; // longer lines are laid out in windows
constexpr qsizetype kWindowSlack = 256;      // columns laid out beyond the visible ones

} // namespace

TextViewer::TextViewer(QWidget *parent) : QAbstractScrollArea(parent)
{
    installTextViewerAccessibility();

    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    m_gutter = new LocationGutter(this);
    updateScrollBars();
}

TextViewer::~TextViewer() = default;

// --- content -----------------------------------------------------------------

void TextViewer::clearContent()
{
    m_index.clear();
    m_selStart = 0;
    m_selLength = 0;
    m_anchor = -1;
    m_readAs.clear();
    if (!m_notice.isEmpty()) {
        m_notice.clear();
        viewport()->update();
    }
    if (!m_gutter->locations().empty()) {
        m_gutter->setLocations({});
        placeGutter();
    }
}

void TextViewer::setText(const QString &text)
{
    const bool hadSelection = m_selStart != 0 || m_selLength != 0;
    clearContent();
    m_index.setChars(text);
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    if (hadSelection)
        Q_EMIT selectionChanged();
}

bool TextViewer::loadFile(const QByteArray &nativePath, platform::EncodingMode mode)
{
    const bool hadSelection = m_selStart != 0 || m_selLength != 0;
    clearContent();
    QByteArray data;
    std::shared_ptr<const void> mapping;
    const bool ok = platform::readWholeFile(nativePath, data, mapping);
    if (ok) {
        try {
            // Decided from the whole file by the rule the search follows.
            const platform::FileDecision decision =
                platform::decideEncoding(mode, data.constData(), data.size());
            m_readAs = encodingLabel(decision.encoding);
            if (decision.encoding == platform::FileEncoding::Cp932) {
                m_index.setBytes(std::move(data), std::move(mapping));
            } else {
                // The other encodings are shown as decoded text: two bytes a
                // character, for the few files not in code page 932's byte path.
                std::vector<qsizetype> errors;
                const QString text =
                    platform::decodeUnicodeFile(decision, data.constData(), data.size(), &errors);
                data = QByteArray();
                mapping.reset();
                m_index.setChars(text, std::move(errors));
            }
            // F3 reads lines as the search did: in utf-8, euc-jp and auto a lone LF
            // ends one in every file.
            m_index.setLoneLfEndsLine(mode != platform::EncodingMode::Cp932);
        } catch (const std::bad_alloc &) {
            clearContent();
            return false;
        }
    }
    showFromTop(hadSelection);
    return ok;
}

// After new content: back to its top left, redrawn; a selection that was
// there is gone.
void TextViewer::showFromTop(bool hadSelection)
{
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    if (hadSelection)
        Q_EMIT selectionChanged();
}

bool TextViewer::showDocument(const documents::DocumentText &document)
{
    const bool hadSelection = m_selStart != 0 || m_selLength != 0;
    clearContent();
    bool ok = true;
    try {
        m_index.setChars(documentViewText(document));
        m_index.setLoneLfEndsLine(true);
        m_readAs = documents::kindLabel(document.kind);
        auto locations = document.locations;
        std::stable_sort(locations.begin(), locations.end(),
                         [](const auto &a, const auto &b) { return a.line < b.line; });
        m_gutter->setLocations(std::move(locations));
    } catch (const std::bad_alloc &) {
        clearContent(); // too large to show: as a file that cannot be read
        ok = false;
    }
    placeGutter();
    showFromTop(hadSelection);
    return ok;
}

void TextViewer::setNotice(const QString &notice)
{
    m_notice = notice;
    viewport()->update();
}

const std::vector<documents::Location> &TextViewer::locations() const
{
    return m_gutter->locations();
}

void TextViewer::placeGutter()
{
    const int width = m_gutter->neededWidth();
    setViewportMargins(width, 0, 0, 0);
    m_gutter->setVisible(width > 0);
    if (width > 0)
        m_gutter->setGeometry(viewport()->x() - width, viewport()->y(), width,
                              viewport()->height());
}

QString TextViewer::text() const
{
    return m_index.textRange(0, m_index.length());
}

QString TextViewer::selectedText() const
{
    return m_index.textRange(m_selStart, m_selStart + m_selLength);
}

qsizetype TextViewer::lineOfOffset(qsizetype offset) const
{
    return m_index.lineForOffset(offset).index;
}

qsizetype TextViewer::find(const QString &text, qsizetype start)
{
    const FindHit hit = findText(m_index, text, start);
    if (hit.offset >= 0)
        select(hit.offset, hit.length);
    return hit.offset;
}

// --- selection and scrolling ---------------------------------------------------

void TextViewer::select(qsizetype start, qsizetype length)
{
    start = std::clamp<qsizetype>(start, 0, m_index.length());
    length = std::clamp<qsizetype>(length, 0, m_index.length() - start);
    setSelectionInternal(start, length);
    ensureOffsetVisible(start);
}

void TextViewer::setSelectionInternal(qsizetype start, qsizetype length)
{
    if (start == m_selStart && length == m_selLength)
        return;
    m_selStart = start;
    m_selLength = length;
    viewport()->update();
    if (QAccessible::isActive()) {
        QAccessibleTextSelectionEvent ev(this, int(std::min<qsizetype>(start, INT_MAX)),
                                         int(std::min<qsizetype>(start + length, INT_MAX)));
        QAccessible::updateAccessibility(&ev);
    }
    Q_EMIT selectionChanged();
}

int TextViewer::lineHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int TextViewer::columnWidth() const
{
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

qsizetype TextViewer::firstVisibleLine() const
{
    return verticalScrollBar()->value();
}

int TextViewer::visibleLineCount() const
{
    return std::max(1, viewport()->height() / lineHeight());
}

void TextViewer::updateScrollBars()
{
    const int visible = visibleLineCount();
    const qsizetype maxFirst = std::max<qsizetype>(0, m_index.lineCount() - visible);
    verticalScrollBar()->setRange(0, int(std::min<qsizetype>(maxFirst, INT_MAX)));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);

    const qsizetype width = m_index.maxColumns() * columnWidth() + 2 * kMargin + columnWidth();
    const qsizetype maxX = std::max<qsizetype>(0, width - viewport()->width());
    horizontalScrollBar()->setRange(0, int(std::min<qsizetype>(maxX, INT_MAX)));
    horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
    horizontalScrollBar()->setSingleStep(columnWidth());
}

void TextViewer::layoutSegment(QTextLayout &layout, const QString &text) const
{
    layout.setText(text);
    layout.setFont(font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTabStopDistance(8.0 * columnWidth());
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    layout.beginLayout();
    QTextLine tl = layout.createLine();
    if (tl.isValid()) {
        tl.setLineWidth(1.0e6);
        tl.setPosition(QPointF(0, 0));
    }
    layout.endLayout();
}

TextViewer::Segment TextViewer::segmentFor(const Line &line) const
{
    Segment seg;
    if (line.end - line.begin <= kWholeLineLimit) {
        seg.rawBegin = line.begin;
        seg.offset = line.offset;
        seg.text = m_index.decodeRange(line.begin, line.end);
        return seg;
    }
    // A very long line: lay out only the columns around the scroll position,
    // found by the line's columns (LineIndex.h), which a byte, a UTF-16 unit or a
    // character may each stand for.
    const int cw = columnWidth();
    const qsizetype scrollCol = horizontalScrollBar()->value() / cw;
    const qsizetype firstCol = std::max<qsizetype>(0, scrollCol - kWindowSlack);
    const LineIndex::Place p = m_index.placeAtColumn(line, firstCol);
    LineIndex::Place e =
        m_index.placeAtColumn(line, firstCol + viewport()->width() / cw + 2 * kWindowSlack);
    if (e.pos < line.end) // take the character that straddles the window's end
        e = m_index.placeAtChar(line, e.chars + 2);
    seg.rawBegin = p.pos;
    seg.offset = line.offset + p.chars;
    seg.text = m_index.decodeRange(p.pos, e.pos);
    // Anchor the window so that the character at the scroll position lands on its
    // column: the widths the font gives then never pile up over the whole line.
    const LineIndex::Place q = m_index.placeAtColumn(line, scrollCol);
    QTextLayout layout;
    layoutSegment(layout, seg.text);
    const qreal anchorX = layout.lineAt(0).cursorToX(int(q.chars - p.chars));
    seg.x = int(std::min<qsizetype>(q.columns * cw, INT_MAX / 2) - qsizetype(anchorX));
    return seg;
}

void TextViewer::ensureOffsetVisible(qsizetype offset)
{
    const Line line = m_index.lineForOffset(offset);
    const int visible = visibleLineCount();
    const qsizetype first = firstVisibleLine();
    if (line.index < first || line.index >= first + visible)
        verticalScrollBar()->setValue(
            int(std::min<qsizetype>(std::max<qsizetype>(0, line.index - visible / 3), INT_MAX)));

    // Content x of the offset in its line.
    qsizetype x;
    if (line.end - line.begin <= kWholeLineLimit) {
        QTextLayout layout;
        layoutSegment(layout, m_index.decodeRange(line.begin, line.end));
        x = qsizetype(layout.lineAt(0).cursorToX(int(offset - line.offset)));
    } else {
        x = m_index.placeAtChar(line, offset - line.offset).columns * columnWidth();
    }
    const int h = horizontalScrollBar()->value();
    const int w = viewport()->width() - 2 * kMargin;
    if (x < h || x > h + w - 2 * columnWidth())
        horizontalScrollBar()->setValue(
            int(std::min<qsizetype>(std::max<qsizetype>(0, x - w / 3), INT_MAX)));
}

qsizetype TextViewer::offsetAt(const QPoint &pos) const
{
    const qsizetype index = std::clamp<qsizetype>(
        firstVisibleLine() + std::max(0, pos.y()) / lineHeight(), 0, m_index.lineCount() - 1);
    const Line line = m_index.lineAt(index);
    const Segment seg = segmentFor(line);
    QTextLayout layout;
    layoutSegment(layout, seg.text);
    const qreal x = pos.x() - kMargin + horizontalScrollBar()->value() - seg.x;
    const int cursor = layout.lineAt(0).xToCursor(x, QTextLine::CursorBetweenCharacters);
    return std::min(seg.offset + cursor, line.offset + line.chars);
}

QRect TextViewer::characterRect(qsizetype offset) const
{
    const Line line = m_index.lineForOffset(offset);
    const Segment seg = segmentFor(line);
    QTextLayout layout;
    layoutSegment(layout, seg.text);
    const int i = int(std::clamp<qsizetype>(offset - seg.offset, 0, seg.text.size()));
    const QTextLine tl = layout.lineAt(0);
    const int x0 = int(tl.cursorToX(i));
    const int x1 = i < seg.text.size() ? int(tl.cursorToX(i + 1)) : x0 + columnWidth();
    const int left = kMargin + seg.x - horizontalScrollBar()->value() + x0;
    const int top = int(line.index - firstVisibleLine()) * lineHeight();
    return QRect(left, top, std::max(1, x1 - x0), lineHeight());
}

// --- events --------------------------------------------------------------------

void TextViewer::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::Text));
    const int lh = lineHeight();
    const int cw = columnWidth();
    const int hx = horizontalScrollBar()->value();
    const qsizetype selA = m_selStart;
    const qsizetype selB = m_selStart + m_selLength;
    // The selection stays visibly highlighted when the viewer lacks the focus.
    QTextCharFormat selFormat;
    selFormat.setBackground(palette().color(QPalette::Active, QPalette::Highlight));
    selFormat.setForeground(palette().color(QPalette::Active, QPalette::HighlightedText));

    if (!m_notice.isEmpty()) {
        // Dimmed, where the text would start: plainly not the file's text.
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(QRect(kMargin, 0, viewport()->width() - kMargin, lh),
                         Qt::AlignLeft | Qt::AlignVCenter, m_notice);
        painter.setPen(palette().color(QPalette::Text));
    }
    const int rows = viewport()->height() / lh + 1;
    Line line = m_index.lineAt(firstVisibleLine());
    for (int row = 0; row < rows; ++row) {
        const int y = row * lh;
        const Segment seg = segmentFor(line);
        QTextLayout layout;
        layoutSegment(layout, seg.text);
        QList<QTextLayout::FormatRange> ranges;
        const qsizetype a = std::max(selA, seg.offset) - seg.offset;
        const qsizetype b = std::min(selB, seg.offset + seg.text.size()) - seg.offset;
        if (a < b)
            ranges.append({int(a), int(b - a), selFormat});
        const int left = kMargin + seg.x - hx;
        layout.draw(&painter, QPointF(left, y), ranges);
        // A selected line break shows as a highlighted cell after the line.
        const qsizetype breakOffset = line.offset + line.chars;
        if (line.index + 1 < m_index.lineCount() && selA <= breakOffset && breakOffset < selB &&
            seg.offset + seg.text.size() == breakOffset) {
            const int x = left + int(layout.lineAt(0).naturalTextWidth());
            painter.fillRect(QRect(x, y, cw, lh), selFormat.background());
        }
        if (line.index + 1 >= m_index.lineCount())
            break;
        line = m_index.stepLine(line);
    }
}

void TextViewer::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    placeGutter();
    updateScrollBars();
}

void TextViewer::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        placeGutter();
        updateScrollBars();
        viewport()->update();
    }
}

void TextViewer::scrollContentsBy(int, int)
{
    viewport()->update();
    m_gutter->update();
}

void TextViewer::keyPressEvent(QKeyEvent *event)
{
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    if (event == QKeySequence::Copy) {
        copySelection();
        return;
    }
    if (event == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (event->key() == Qt::Key_F3 && (mods == Qt::NoModifier || mods == Qt::ShiftModifier)) {
        findMatchLine(mods == Qt::NoModifier);
        event->accept();
        return;
    }
    if ((event->key() == Qt::Key_Menu && mods == Qt::NoModifier) ||
        (event->key() == Qt::Key_F10 && mods == Qt::ShiftModifier)) {
        showMenu(keyboardMenuPos());
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Up:
        v->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Down:
        v->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_PageUp:
        v->triggerAction(QAbstractSlider::SliderPageStepSub);
        break;
    case Qt::Key_PageDown:
        v->triggerAction(QAbstractSlider::SliderPageStepAdd);
        break;
    case Qt::Key_Left:
        h->triggerAction(QAbstractSlider::SliderSingleStepSub);
        break;
    case Qt::Key_Right:
        h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        break;
    case Qt::Key_Home:
        h->setValue(0);
        v->setValue(0);
        break;
    case Qt::Key_End:
        v->setValue(v->maximum());
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TextViewer::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qsizetype at = offsetAt(event->position().toPoint());
    if (event->modifiers() & Qt::ShiftModifier) {
        const qsizetype anchor = m_selStart;
        m_anchor = anchor;
        setSelectionInternal(std::min(anchor, at), std::abs(at - anchor));
    } else {
        m_anchor = at;
        setSelectionInternal(at, 0);
    }
    event->accept();
}

void TextViewer::mouseMoveEvent(QMouseEvent *event)
{
    if (m_anchor < 0 || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPoint p = event->position().toPoint();
    if (p.y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (p.y() > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    const qsizetype at = offsetAt(p);
    setSelectionInternal(std::min(m_anchor, at), std::abs(at - m_anchor));
    event->accept();
}

void TextViewer::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_anchor >= 0) {
        m_anchor = -1;
        if (m_selLength > 0 && QGuiApplication::clipboard()->supportsSelection())
            QGuiApplication::clipboard()->setText(selectedText(), QClipboard::Selection);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}
