// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "TextViewer.h"

#include "Cp932.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <functional>
#include <new>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#include <QFileInfo>
#endif

namespace {

constexpr int kMargin = 2;                   // pixels left of the text
constexpr qsizetype kWholeLineLimit = 16384; // longer lines are laid out in windows
constexpr qsizetype kWindowSlack = 256;      // columns laid out beyond the visible ones
constexpr qsizetype kFindChunk = 1 << 20;    // characters searched at a time
constexpr quint64 kHighBits = 0x8080808080808080ULL;
constexpr quint64 kOnes = 0x0101010101010101ULL;

inline bool hasByte(quint64 word, unsigned char b)
{
    const quint64 v = word ^ (kOnes * b);
    return ((v - kOnes) & ~v & kHighBits) != 0;
}

// Scans one line of code page 932 bytes from p up to its terminator (CR or LF)
// or e, whichever comes first, and returns where it stopped. Counts the line's
// characters and half-width columns (a tab counts 8). Every unit decodes to
// exactly one UTF-16 character, so the count of characters is the count of
// units: a lead byte takes the next byte with it unless it is the line's last
// byte or the next byte is 00.
const unsigned char *scanLine(const unsigned char *p, const unsigned char *e, qsizetype &units,
                              qsizetype &columns)
{
    qsizetype pairs = 0;
    qsizetype tabs = 0;
    const unsigned char *start = p;
    while (p < e) {
        while (e - p >= 8) {
            quint64 w;
            std::memcpy(&w, p, 8);
            if ((w & kHighBits) || hasByte(w, '\t') || hasByte(w, '\n') || hasByte(w, '\r'))
                break;
            p += 8;
        }
        if (p >= e)
            break;
        const unsigned char b = *p;
        if (b == '\n' || b == '\r')
            break;
        if (b == '\t') {
            ++tabs;
            ++p;
        } else if (cp932::isLeadByte(b) && p + 1 < e && p[1] != 0 && p[1] != '\n' && p[1] != '\r') {
            ++pairs;
            p += 2;
        } else {
            ++p;
        }
    }
    units = (p - start) - pairs;
    columns = (p - start) + 7 * tabs;
    return p;
}

void measureBytes(const unsigned char *p, const unsigned char *e, qsizetype &units,
                  qsizetype &columns)
{
    // Callers pass whole lines or parts of one, so there is no terminator inside.
    scanLine(p, e, units, columns);
}

qsizetype columnsOf(const QChar *p, const QChar *e)
{
    qsizetype columns = 0;
    for (; p < e; ++p) {
        const char16_t c = p->unicode();
        if (c == u'\t')
            columns += 8;
        else if (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F))
            columns += 1;
        else
            columns += 2;
    }
    return columns;
}

const char *findBytes(const char *hay, qsizetype hayLen, const QByteArray &needle)
{
#ifdef Q_OS_UNIX
    return static_cast<const char *>(
        memmem(hay, size_t(hayLen), needle.constData(), size_t(needle.size())));
#else
    const char *end = hay + hayLen;
    const char *hit =
        std::search(hay, end, std::boyer_moore_horspool_searcher(needle.begin(), needle.end()));
    return hit == end ? nullptr : hit;
#endif
}

#ifdef Q_OS_UNIX
// A large buffer is faulted in 2 MiB at a time instead of 4 KiB: on a virtual
// machine page faults dominate the cost of reading a big file.
void adviseHugePages(QByteArray &buffer)
{
#ifdef MADV_HUGEPAGE
    constexpr quintptr kHuge = quintptr(2) << 20;
    const quintptr begin = (quintptr(buffer.data()) + kHuge - 1) & ~(kHuge - 1);
    const quintptr end = (quintptr(buffer.data()) + quintptr(buffer.size())) & ~(kHuge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), end - begin, MADV_HUGEPAGE);
#else
    Q_UNUSED(buffer);
#endif
}
#endif

#ifdef Q_OS_UNIX
// Mapped files: a file truncated by another program while mapped raises SIGBUS
// on access past its new end. The handler replaces the rest of the mapping with
// zero pages, so the viewer reads zeros there and the program goes on.
struct MappedRange {
    std::atomic<quintptr> begin{0};
    std::atomic<quintptr> end{0};
};
constexpr int kMaxMappings = 16;
MappedRange g_mappings[kMaxMappings];
quintptr g_pageSize = 4096;
struct sigaction g_previousBus {};

void onBusError(int sig, siginfo_t *info, void *context)
{
    const quintptr addr = quintptr(info->si_addr);
    for (MappedRange &r : g_mappings) {
        const quintptr begin = r.begin.load();
        const quintptr end = r.end.load();
        if (begin <= addr && addr < end) {
            const quintptr page = addr & ~(g_pageSize - 1);
            ::mmap(reinterpret_cast<void *>(page), end - page, PROT_READ,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
            return;
        }
    }
    // Not a mapped file of ours: behave as before this handler was installed.
    if (g_previousBus.sa_flags & SA_SIGINFO) {
        g_previousBus.sa_sigaction(sig, info, context);
    } else if (g_previousBus.sa_handler != SIG_IGN && g_previousBus.sa_handler != SIG_DFL) {
        g_previousBus.sa_handler(sig);
    } else {
        ::sigaction(SIGBUS, &g_previousBus, nullptr);
        ::raise(SIGBUS);
    }
}

void installBusHandler()
{
    static const bool installed = [] {
        g_pageSize = quintptr(::sysconf(_SC_PAGESIZE));
        struct sigaction sa {};
        sa.sa_sigaction = onBusError;
        sa.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&sa.sa_mask);
        ::sigaction(SIGBUS, &sa, &g_previousBus);
        return true;
    }();
    Q_UNUSED(installed);
}

// Maps a regular file read-only; the returned owner unmaps it.
std::shared_ptr<const void> mapFile(int fd, size_t size)
{
    void *addr = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (addr == MAP_FAILED)
        return nullptr;
    installBusHandler();
    MappedRange *slot = nullptr;
    for (MappedRange &r : g_mappings) {
        quintptr expected = 0;
        if (r.begin.load() == 0 && r.end.compare_exchange_strong(expected, 1)) {
            slot = &r;
            break;
        }
    }
    if (!slot) { // too many files mapped at once: the caller reads instead
        ::munmap(addr, size);
        return nullptr;
    }
    slot->begin.store(quintptr(addr));
    slot->end.store(quintptr(addr) + size);
    return std::shared_ptr<const void>(addr, [slot, size](const void *p) {
        slot->begin.store(0);
        ::munmap(const_cast<void *>(p), size);
        slot->end.store(0);
    });
}
#endif

// Reads a whole regular file, mapping it where possible. False when it is
// missing, not a regular file, unreadable or too large for memory; never blocks
// on a FIFO or device.
bool readWholeFile(const QByteArray &nativePath, QByteArray &out,
                   std::shared_ptr<const void> &mapping)
{
    if (nativePath.isEmpty())
        return false;
    try {
#ifdef Q_OS_UNIX
        const int fd = ::open(nativePath.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return false;
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return false;
        }
        if (st.st_size > 0) {
            mapping = mapFile(fd, size_t(st.st_size));
            if (mapping) {
                ::close(fd);
                out = QByteArray::fromRawData(static_cast<const char *>(mapping.get()),
                                              qsizetype(st.st_size));
                return true;
            }
        }
        out.resize(qsizetype(st.st_size));
        adviseHugePages(out);
        qsizetype used = 0;
        bool ok = true;
        char probe[4096];
        for (;;) {
            // Once the buffer is full, a small probe read tells whether the file
            // grew since fstat, without copying the buffer for nothing.
            const bool full = used == out.size();
            const ssize_t n = full ? ::read(fd, probe, sizeof probe)
                                   : ::read(fd, out.data() + used, size_t(out.size() - used));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                ok = false;
                break;
            }
            if (n == 0)
                break;
            if (full)
                out.append(probe, n);
            used += n;
        }
        ::close(fd);
        if (!ok) {
            out = QByteArray();
            return false;
        }
        out.resize(used);
        return true;
#else
        Q_UNUSED(mapping);
        const QString name = QFile::decodeName(nativePath);
        if (!QFileInfo(name).isFile())
            return false;
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        out = file.readAll();
        return file.error() == QFileDevice::NoError;
#endif
    } catch (const std::bad_alloc &) {
        out = QByteArray();
        return false;
    }
}

} // namespace

// ---------------------------------------------------------------------------
// Accessibility: the text, its selection and its geometry for screen readers.

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

static QAccessibleInterface *textViewerAccessibleFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String("TextViewer") && object && object->isWidgetType())
        return new TextViewerAccessible(static_cast<TextViewer *>(object));
    return nullptr;
}

// ---------------------------------------------------------------------------

TextViewer::TextViewer(QWidget *parent) : QAbstractScrollArea(parent)
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(textViewerAccessibleFactory);
        return true;
    }();
    Q_UNUSED(factoryInstalled);

    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    clearContent();
    buildIndex();
    updateScrollBars();
}

TextViewer::~TextViewer() = default;

// --- content -----------------------------------------------------------------

void TextViewer::clearContent()
{
    m_bytes = QByteArray(); // before the mapping it may point into
    m_mapping.reset();
    m_chars = QString();
    m_isBytes = false;
    m_checkpoints.clear();
    m_lineCount = 1;
    m_length = 0;
    m_maxColumns = 0;
    m_selStart = 0;
    m_selLength = 0;
    m_anchor = -1;
    m_lastLine = Line();
    m_prefixCache.line = -1;
}

void TextViewer::setText(const QString &text)
{
    const bool hadSelection = m_selStart != 0 || m_selLength != 0;
    clearContent();
    m_chars = text;
    buildIndex();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    if (hadSelection)
        Q_EMIT selectionChanged();
}

bool TextViewer::loadFile(const QByteArray &nativePath)
{
    const bool hadSelection = m_selStart != 0 || m_selLength != 0;
    clearContent();
    QByteArray data;
    std::shared_ptr<const void> mapping;
    const bool ok = readWholeFile(nativePath, data, mapping);
    if (ok) {
        m_bytes = std::move(data);
        m_mapping = std::move(mapping);
        m_isBytes = true;
    }
    try {
        buildIndex();
    } catch (const std::bad_alloc &) {
        clearContent();
        buildIndex();
        return false;
    }
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    if (hadSelection)
        Q_EMIT selectionChanged();
    return ok;
}

void TextViewer::buildIndex()
{
    m_checkpoints.clear();
    m_lastLine = Line();
    m_prefixCache.line = -1;
    qsizetype pos = 0;
    qsizetype offset = 0;
    qsizetype index = 0;
    qsizetype maxColumns = 0;

    if (m_isBytes) {
        const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
        const qsizetype size = m_bytes.size();
        for (;;) {
            if (index % kLinesPerCheckpoint == 0)
                m_checkpoints.append({pos, offset});
            qsizetype units = 0;
            qsizetype columns = 0;
            const qsizetype t = scanLine(data + pos, data + size, units, columns) - data;
            maxColumns = std::max(maxColumns, columns);
            offset += units;
            if (t >= size)
                break;
            pos = t + ((data[t] == '\r' && t + 1 < size && data[t + 1] == '\n') ? 2 : 1);
            offset += 1;
            ++index;
        }
    } else {
        const QChar *data = m_chars.constData();
        const qsizetype size = m_chars.size();
        for (;;) {
            if (index % kLinesPerCheckpoint == 0)
                m_checkpoints.append({pos, offset});
            const qsizetype t = terminatorAt(pos);
            maxColumns = std::max(maxColumns, columnsOf(data + pos, data + t));
            offset += t - pos;
            if (t >= size)
                break;
            pos = t + ((data[t] == u'\r' && t + 1 < size && data[t + 1] == u'\n') ? 2 : 1);
            offset += 1;
            ++index;
        }
    }
    m_lineCount = index + 1;
    m_length = offset;
    m_maxColumns = maxColumns;
}

qsizetype TextViewer::terminatorAt(qsizetype pos) const
{
    if (m_isBytes) {
        const char *data = m_bytes.constData();
        const qsizetype size = m_bytes.size();
        const void *lf = std::memchr(data + pos, '\n', size_t(size - pos));
        const qsizetype limit = lf ? static_cast<const char *>(lf) - data : size;
        const void *cr = std::memchr(data + pos, '\r', size_t(limit - pos));
        return cr ? static_cast<const char *>(cr) - data : limit;
    }
    const QChar *data = m_chars.constData();
    const qsizetype size = m_chars.size();
    for (qsizetype i = pos; i < size; ++i) {
        if (data[i] == u'\n' || data[i] == u'\r')
            return i;
    }
    return size;
}

qsizetype TextViewer::charsIn(qsizetype begin, qsizetype end) const
{
    if (!m_isBytes)
        return end - begin;
    const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
    qsizetype units = 0;
    qsizetype columns = 0;
    measureBytes(data + begin, data + end, units, columns);
    return units;
}

qsizetype TextViewer::rawPosOfChar(const Line &line, qsizetype n) const
{
    if (!m_isBytes)
        return std::min(line.begin + std::max<qsizetype>(n, 0), line.end);
    const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
    qsizetype p = line.begin;
    const qsizetype e = line.end;
    while (n > 0 && p < e) {
        if (n >= 8 && e - p >= 8) {
            quint64 w;
            std::memcpy(&w, data + p, 8);
            if (!(w & kHighBits)) {
                p += 8;
                n -= 8;
                continue;
            }
        }
        p += (cp932::isLeadByte(data[p]) && p + 1 < e && data[p + 1] != 0) ? 2 : 1;
        --n;
    }
    return p;
}

QString TextViewer::decodeRange(qsizetype begin, qsizetype end) const
{
    if (end <= begin)
        return QString();
    if (m_isBytes)
        return cp932::decode(m_bytes.constData() + begin, end - begin);
    return m_chars.mid(begin, end - begin);
}

TextViewer::Line TextViewer::stepLine(const Line &line) const
{
    Line next;
    next.index = line.index + 1;
    next.begin = line.next;
    next.end = terminatorAt(next.begin);
    const qsizetype size = m_isBytes ? m_bytes.size() : m_chars.size();
    if (next.end >= size) {
        next.next = size;
    } else {
        const bool crlf = m_isBytes ? (m_bytes[next.end] == '\r' && next.end + 1 < size &&
                                       m_bytes[next.end + 1] == '\n')
                                    : (m_chars[next.end] == u'\r' && next.end + 1 < size &&
                                       m_chars[next.end + 1] == u'\n');
        next.next = next.end + (crlf ? 2 : 1);
    }
    next.offset = line.offset + line.chars + 1;
    next.chars = charsIn(next.begin, next.end);
    m_lastLine = next;
    return next;
}

static qsizetype checkpointIndex(qsizetype i)
{
    return i * TextViewer::kLinesPerCheckpoint;
}

TextViewer::Line TextViewer::lineAt(qsizetype index) const
{
    index = std::clamp<qsizetype>(index, 0, m_lineCount - 1);
    if (m_lastLine.index == index)
        return m_lastLine;
    const qsizetype cp = index / kLinesPerCheckpoint;
    Line line;
    if (m_lastLine.index >= 0 && m_lastLine.index < index &&
        m_lastLine.index >= checkpointIndex(cp))
        line = m_lastLine;
    else {
        // Step onto the checkpoint's line from a stand-in for the line before it.
        Line before;
        before.index = checkpointIndex(cp) - 1;
        before.next = m_checkpoints[cp].pos;
        before.offset = m_checkpoints[cp].offset - 1;
        before.chars = 0;
        line = stepLine(before);
    }
    while (line.index < index)
        line = stepLine(line);
    return line;
}

TextViewer::Line TextViewer::lineForOffset(qsizetype offset) const
{
    offset = std::clamp<qsizetype>(offset, 0, m_length);
    auto it = std::upper_bound(m_checkpoints.cbegin(), m_checkpoints.cend(), offset,
                               [](qsizetype o, const Checkpoint &c) { return o < c.offset; });
    const qsizetype cp = std::max<qsizetype>(0, (it - m_checkpoints.cbegin()) - 1);
    Line line;
    if (m_lastLine.index >= checkpointIndex(cp) && m_lastLine.offset <= offset)
        line = m_lastLine;
    else
        line = lineAt(checkpointIndex(cp));
    while (offset > line.offset + line.chars && line.index + 1 < m_lineCount)
        line = stepLine(line);
    return line;
}

TextViewer::Line TextViewer::lineForRawPos(qsizetype pos) const
{
    auto it = std::upper_bound(m_checkpoints.cbegin(), m_checkpoints.cend(), pos,
                               [](qsizetype p, const Checkpoint &c) { return p < c.pos; });
    const qsizetype cp = std::max<qsizetype>(0, (it - m_checkpoints.cbegin()) - 1);
    Line line;
    if (m_lastLine.index >= checkpointIndex(cp) && m_lastLine.begin <= pos)
        line = m_lastLine;
    else
        line = lineAt(checkpointIndex(cp));
    while (pos >= line.next && line.index + 1 < m_lineCount)
        line = stepLine(line);
    return line;
}

QString TextViewer::text() const
{
    return textRange(0, m_length);
}

QString TextViewer::textRange(qsizetype from, qsizetype to) const
{
    from = std::clamp<qsizetype>(from, 0, m_length);
    to = std::clamp<qsizetype>(to, from, m_length);
    QString out;
    if (from == to)
        return out;
    Line line = lineForOffset(from);
    for (;;) {
        const qsizetype lineEnd = line.offset + line.chars; // offset of its line break
        const qsizetype a = std::max(from, line.offset);
        const qsizetype b = std::min(to, lineEnd);
        if (a < b)
            out += decodeRange(rawPosOfChar(line, a - line.offset),
                               rawPosOfChar(line, b - line.offset));
        if (to <= lineEnd || line.index + 1 >= m_lineCount)
            break;
        out += u'\n';
        if (to == lineEnd + 1)
            break;
        line = stepLine(line);
    }
    return out;
}

QString TextViewer::selectedText() const
{
    return textRange(m_selStart, m_selStart + m_selLength);
}

qsizetype TextViewer::lineOfOffset(qsizetype offset) const
{
    return lineForOffset(offset).index;
}

// --- find --------------------------------------------------------------------

qsizetype TextViewer::find(const QString &text, qsizetype start)
{
    if (text.isEmpty() || start < 0 || start > m_length)
        return -1;
    QString pattern = text;
    pattern.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    pattern.replace(u'\r', u'\n');

    qsizetype found = -1;
    if (m_isBytes && !pattern.contains(u'\n')) {
        const cp932::Encoding enc = cp932::encode(pattern);
        if (enc.form == cp932::Form::Unique)
            found = findFast(enc.bytes, start);
        else if (enc.form == cp932::Form::Ambiguous)
            found = findSlow(pattern, start);
        // Impossible: no bytes decode to it.
    } else {
        found = findSlow(pattern, start);
    }
    if (found >= 0)
        select(found, pattern.size());
    return found;
}

// A byte search for text with exactly one byte form: a hit counts only where a
// unit starts, so a match inside a double-byte character is passed over.
qsizetype TextViewer::findFast(const QByteArray &pattern, qsizetype start) const
{
    const Line first = lineForOffset(start);
    const qsizetype base = rawPosOfChar(first, start - first.offset); // a unit boundary
    const char *data = m_bytes.constData();
    const qsizetype size = m_bytes.size();
    qsizetype pos = base;
    while (pos < size) {
        const char *hit = findBytes(data + pos, size - pos, pattern);
        if (!hit)
            return -1;
        const qsizetype h = hit - data;
        if (cp932::isUnitBoundary(reinterpret_cast<const unsigned char *>(data + base),
                                  reinterpret_cast<const unsigned char *>(hit))) {
            const Line line = lineForRawPos(h);
            return line.offset + charsIn(line.begin, h);
        }
        pos = h + 1;
    }
    return -1;
}

// Decodes line after line into a bounded buffer and searches it; lines are
// joined with "\n" so a pattern may span line breaks.
qsizetype TextViewer::findSlow(const QString &pattern, qsizetype start) const
{
    Line line = lineForOffset(start);
    QString buf = decodeRange(rawPosOfChar(line, start - line.offset), line.end);
    qsizetype bufOffset = start;
    const qsizetype keep = pattern.size() - 1;
    for (;;) {
        const bool last = line.index + 1 >= m_lineCount;
        if (!last)
            buf += u'\n';
        if (last || buf.size() >= kFindChunk) {
            const qsizetype i = buf.indexOf(pattern, 0, Qt::CaseSensitive);
            if (i >= 0)
                return bufOffset + i;
            if (last)
                return -1;
            const qsizetype drop = std::max<qsizetype>(0, buf.size() - keep);
            buf.remove(0, drop);
            bufOffset += drop;
        }
        line = stepLine(line);
        if (m_isBytes)
            cp932::appendDecoded(m_bytes.constData() + line.begin, line.end - line.begin, buf);
        else
            buf += QStringView(m_chars).mid(line.begin, line.end - line.begin);
    }
}

// --- selection and scrolling ---------------------------------------------------

void TextViewer::select(qsizetype start, qsizetype length)
{
    start = std::clamp<qsizetype>(start, 0, m_length);
    length = std::clamp<qsizetype>(length, 0, m_length - start);
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
    const qsizetype maxFirst = std::max<qsizetype>(0, m_lineCount - visible);
    verticalScrollBar()->setRange(0, int(std::min<qsizetype>(maxFirst, INT_MAX)));
    verticalScrollBar()->setPageStep(visible);
    verticalScrollBar()->setSingleStep(1);

    const qsizetype width = m_maxColumns * columnWidth() + 2 * kMargin + columnWidth();
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
        seg.text = decodeRange(line.begin, line.end);
        return seg;
    }
    // A very long line: lay out only the columns around the scroll position. In
    // code page 932 one byte is one half-width column, so bytes stand for columns.
    const int cw = columnWidth();
    const qsizetype firstCol =
        std::max<qsizetype>(0, horizontalScrollBar()->value() / cw - kWindowSlack);
    qsizetype p = std::min(line.begin + firstCol, line.end);
    qsizetype e = std::min(p + viewport()->width() / cw + 2 * kWindowSlack, line.end);
    if (m_isBytes) {
        const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
        while (p > line.begin && !cp932::isUnitBoundary(data + line.begin, data + p))
            --p;
        if (e < line.end && !cp932::isUnitBoundary(data + line.begin, data + e, data + line.end))
            ++e;
    }
    qsizetype chars;
    if (m_prefixCache.line == line.index && m_prefixCache.pos <= p)
        chars = m_prefixCache.chars + charsIn(m_prefixCache.pos, p);
    else
        chars = charsIn(line.begin, p);
    m_prefixCache.line = line.index;
    m_prefixCache.pos = p;
    m_prefixCache.chars = chars;
    seg.rawBegin = p;
    seg.offset = line.offset + chars;
    seg.text = decodeRange(p, e);
    // Anchor the window so that the character at the scroll position lands on its
    // estimated column: estimate errors then never pile up over the whole line.
    qsizetype q = std::clamp(line.begin + horizontalScrollBar()->value() / cw, p, e);
    if (m_isBytes) {
        const auto *data = reinterpret_cast<const unsigned char *>(m_bytes.constData());
        while (q > p && !cp932::isUnitBoundary(data + p, data + q, data + e))
            --q;
    }
    QTextLayout layout;
    layoutSegment(layout, seg.text);
    const qreal anchorX = layout.lineAt(0).cursorToX(int(charsIn(p, q)));
    seg.x = int(std::min<qsizetype>((q - line.begin) * cw, INT_MAX / 2) - qsizetype(anchorX));
    return seg;
}

void TextViewer::ensureOffsetVisible(qsizetype offset)
{
    const Line line = lineForOffset(offset);
    const int visible = visibleLineCount();
    const qsizetype first = firstVisibleLine();
    if (line.index < first || line.index >= first + visible)
        verticalScrollBar()->setValue(
            int(std::min<qsizetype>(std::max<qsizetype>(0, line.index - visible / 3), INT_MAX)));

    // Content x of the offset in its line.
    qsizetype x;
    if (line.end - line.begin <= kWholeLineLimit) {
        QTextLayout layout;
        layoutSegment(layout, decodeRange(line.begin, line.end));
        x = qsizetype(layout.lineAt(0).cursorToX(int(offset - line.offset)));
    } else {
        x = (rawPosOfChar(line, offset - line.offset) - line.begin) * columnWidth();
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
        firstVisibleLine() + std::max(0, pos.y()) / lineHeight(), 0, m_lineCount - 1);
    const Line line = lineAt(index);
    const Segment seg = segmentFor(line);
    QTextLayout layout;
    layoutSegment(layout, seg.text);
    const qreal x = pos.x() - kMargin + horizontalScrollBar()->value() - seg.x;
    const int cursor = layout.lineAt(0).xToCursor(x, QTextLine::CursorBetweenCharacters);
    return std::min(seg.offset + cursor, line.offset + line.chars);
}

QRect TextViewer::characterRect(qsizetype offset) const
{
    const Line line = lineForOffset(offset);
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

    const int rows = viewport()->height() / lh + 1;
    Line line = lineAt(firstVisibleLine());
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
        if (line.index + 1 < m_lineCount && selA <= breakOffset && breakOffset < selB &&
            seg.offset + seg.text.size() == breakOffset) {
            const int x = left + int(layout.lineAt(0).naturalTextWidth());
            painter.fillRect(QRect(x, y, cw, lh), selFormat.background());
        }
        if (line.index + 1 >= m_lineCount)
            break;
        line = stepLine(line);
    }
}

void TextViewer::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void TextViewer::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateScrollBars();
        viewport()->update();
    }
}

void TextViewer::scrollContentsBy(int, int)
{
    viewport()->update();
}

void TextViewer::keyPressEvent(QKeyEvent *event)
{
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    if (event == QKeySequence::Copy) {
        if (m_selLength > 0)
            QGuiApplication::clipboard()->setText(selectedText());
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
