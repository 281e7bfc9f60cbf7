// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Mail in the MIME form (RFC 5322, 2045-2049, 2231), one message, an mbox of
// them, or a web page saved as one file: the headers a person reads, each a
// part named after it (件名, 差出人, 宛先, CC, 日付); the body (本文): of an
// alternative the plain part, else the HTML part as its text; each
// attachment (添付: name) as its name, then its text when it is a document
// another reader reads, a message, or text. In an mbox each message's parts
// are named after it (メール 2 本文).
//
// The input is untrusted and only ever looked at, never copied whole: a part
// is a view of the file's bytes until its body is decoded, and a body is
// decoded only when its text is read (an attachment's first bytes alone tell
// whether it is a document). Multiparts, messages and documents inside
// messages nest at most kMaxDepth deep; every decoded byte counts against
// Limits::memberBytes (one part) and Limits::documentBytes (all of them).

#include "documents/MailCharset.h"
#include "documents/ReadDocument.h"
#include "documents/TextSink.h"

#include <QByteArray>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

namespace documents {

namespace {

// Deeper than any mail a person sends; deeper input is refused.
constexpr int kMaxDepth = 64;
// RFC 2046 caps a boundary at 70 characters; a longer one is no boundary.
constexpr qsizetype kMaxBoundary = 200;
// Sections of one RFC 2231 parameter.
constexpr int kMaxSections = 1000;

// Readers nested in one another (a message attached to a message inside a
// zip...) share this count, so that depth is bounded across readers too.
thread_local int t_depth = 0;

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

QByteArray lowered(QByteArrayView text)
{
    QByteArray out = text.trimmed().toByteArray();
    for (char &c : out)
        c = lower(c);
    return out;
}

bool sameName(QByteArrayView a, const char *b)
{
    const qsizetype n = qsizetype(qstrlen(b));
    if (a.size() != n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (lower(a[i]) != b[i])
            return false;
    return true;
}

// The end of the line that starts at `at` and where the next one starts.
struct Line {
    qsizetype end;  // before CR-LF, LF or CR
    qsizetype next; // after it
};
Line lineAt(QByteArrayView bytes, qsizetype at)
{
    const qsizetype n = bytes.size();
    const char *start = bytes.data() + at;
    const void *lf = std::memchr(start, '\n', size_t(n - at));
    qsizetype end = lf ? static_cast<const char *>(lf) - bytes.data() : n;
    const qsizetype next = lf ? end + 1 : n;
    if (end > at && bytes[end - 1] == '\r')
        --end;
    return {end, next};
}

struct Field {
    QByteArrayView name;
    QByteArray value; // folded lines joined, their line ends kept
};

struct Entity {
    std::vector<Field> fields;
    QByteArrayView body;

    const QByteArray *field(const char *name) const
    {
        for (const Field &field : fields)
            if (sameName(field.name, name))
                return &field.value;
        return nullptr;
    }
};

// Header fields up to the empty line; a line that is neither a field nor a
// continuation starts the body, as a lenient reader takes it.
Entity parseEntity(QByteArrayView bytes)
{
    Entity entity;
    qsizetype at = 0;
    while (at < bytes.size()) {
        const Line line = lineAt(bytes, at);
        if (line.end == at) {
            entity.body = bytes.sliced(line.next);
            return entity;
        }
        const char first = bytes[at];
        if ((first == ' ' || first == '\t') && !entity.fields.empty()) {
            entity.fields.back().value.append("\r\n");
            entity.fields.back().value.append(bytes.sliced(at, line.end - at));
            at = line.next;
            continue;
        }
        qsizetype name = at;
        while (name < line.end && bytes[name] > ' ' && bytes[name] < 127 && bytes[name] != ':')
            ++name;
        qsizetype colon = name;
        while (colon < line.end && (bytes[colon] == ' ' || bytes[colon] == '\t'))
            ++colon;
        if (name == at || colon == line.end || bytes[colon] != ':') {
            entity.body = bytes.sliced(at);
            return entity;
        }
        entity.fields.push_back({bytes.sliced(at, name - at),
                                 bytes.sliced(colon + 1, line.end - colon - 1).toByteArray()});
        at = line.next;
    }
    return entity;
}

struct Parameter {
    QByteArray name; // lower case, without its RFC 2231 section and star
    int section = -1;
    bool extended = false;
    QByteArray value;
};

// "type/subtype; name=value; name="quoted"; name*0*=charset'lang'%XX..."
struct FieldValue {
    QByteArray value; // lower case
    std::vector<Parameter> parameters;

    // A parameter's raw bytes (the first of its name), or empty.
    QByteArray raw(const char *name) const
    {
        for (const Parameter &p : parameters)
            if (p.name == name && p.section <= 0)
                return p.value;
        return {};
    }
    QString text(const char *name) const;
};

FieldValue parseFieldValue(QByteArrayView bytes)
{
    FieldValue out;
    const qsizetype n = bytes.size();
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < n &&
               (bytes[at] == ' ' || bytes[at] == '\t' || bytes[at] == '\r' || bytes[at] == '\n'))
            ++at;
    };
    qsizetype semi = bytes.indexOf(';');
    out.value = lowered(bytes.first(semi < 0 ? n : semi));
    at = semi < 0 ? n : semi + 1;
    while (at < n) {
        skipBlanks();
        qsizetype equals = at;
        while (equals < n && bytes[equals] != '=' && bytes[equals] != ';')
            ++equals;
        if (equals >= n || bytes[equals] == ';') {
            at = equals + 1;
            continue;
        }
        Parameter p;
        p.name = lowered(bytes.sliced(at, equals - at));
        at = equals + 1;
        skipBlanks();
        if (at < n && bytes[at] == '"') {
            for (++at; at < n && bytes[at] != '"'; ++at) {
                if (bytes[at] == '\\' && at + 1 < n)
                    ++at;
                if (bytes[at] != '\r' && bytes[at] != '\n')
                    p.value.append(bytes[at]);
            }
            const qsizetype next = bytes.indexOf(';', at);
            at = next < 0 ? n : next + 1;
        } else {
            const qsizetype next = bytes.indexOf(';', at);
            const qsizetype stop = next < 0 ? n : next;
            p.value = bytes.sliced(at, stop - at).trimmed().toByteArray();
            at = stop + 1;
        }
        // RFC 2231: name*, name*N, name*N*.
        if (p.name.endsWith('*')) {
            p.extended = true;
            p.name.chop(1);
        }
        if (const qsizetype star = p.name.lastIndexOf('*'); star > 0) {
            bool ok = false;
            const int section = p.name.sliced(star + 1).toInt(&ok);
            if (ok && section >= 0 && section < kMaxSections) {
                p.section = section;
                p.name.truncate(star);
            }
        }
        out.parameters.push_back(std::move(p));
    }
    return out;
}

QByteArray percentDecoded(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            bool ok = false;
            const int value = text.sliced(i + 1, 2).toByteArray().toInt(&ok, 16);
            if (ok) {
                out.append(char(value));
                i += 2;
                continue;
            }
        }
        out.append(text[i]);
    }
    return out;
}

QString FieldValue::text(const char *name) const
{
    std::vector<const Parameter *> sections;
    const Parameter *plain = nullptr;
    for (const Parameter &p : parameters) {
        if (p.name != name)
            continue;
        if (p.section >= 0)
            sections.push_back(&p);
        else if (p.extended)
            sections.insert(sections.begin(), &p); // name*=: one whole section
        else if (!plain)
            plain = &p;
    }
    if (sections.empty())
        return plain ? mail::decodeHeader(plain->value) : QString();
    std::stable_sort(sections.begin(), sections.end(), [](const Parameter *a, const Parameter *b) {
        return std::max(a->section, 0) < std::max(b->section, 0);
    });
    QByteArray bytes, charset;
    for (const Parameter *p : sections) {
        QByteArrayView value = p->value;
        if (p == sections.front() && p->extended) {
            // charset'language'value
            const qsizetype q1 = value.indexOf('\'');
            const qsizetype q2 = q1 < 0 ? -1 : value.indexOf('\'', q1 + 1);
            if (q2 >= 0) {
                charset = value.first(q1).toByteArray();
                value = value.sliced(q2 + 1);
            }
        }
        bytes += p->extended ? percentDecoded(value) : value.toByteArray();
    }
    return charset.isEmpty() ? mail::decodeHeader(bytes) : mail::decodeCharset(bytes, charset);
}

// Named character references an HTML mail uses; the rest stay as written.
char16_t namedReference(QStringView name)
{
    static const struct {
        const char16_t *name;
        char16_t unit;
    } kNames[] = {{u"amp", u'&'},         {u"lt", u'<'},          {u"gt", u'>'},
                  {u"quot", u'"'},        {u"apos", u'\''},       {u"nbsp", u'\u00A0'},
                  {u"copy", u'\u00A9'},   {u"reg", u'\u00AE'},    {u"yen", u'\u00A5'},
                  {u"hellip", u'\u2026'}, {u"mdash", u'\u2014'},  {u"ndash", u'\u2013'},
                  {u"laquo", u'\u00AB'},  {u"raquo", u'\u00BB'},  {u"middot", u'\u00B7'},
                  {u"times", u'\u00D7'},  {u"trade", u'\u2122'},  {u"emsp", u'\u2003'},
                  {u"ensp", u'\u2002'},   {u"thinsp", u'\u2009'}, {u"lsquo", u'\u2018'},
                  {u"rsquo", u'\u2019'},  {u"ldquo", u'\u201C'},  {u"rdquo", u'\u201D'}};
    for (const auto &entry : kNames)
        if (name == QStringView(entry.name))
            return entry.unit;
    return 0;
}

bool isBlockTag(QStringView tag)
{
    static const char16_t *const kBlocks[] = {
        u"br",      u"p",       u"div",    u"li",         u"tr",      u"h1",   u"h2",
        u"h3",      u"h4",      u"h5",     u"h6",         u"table",   u"ul",   u"ol",
        u"dl",      u"dt",      u"dd",     u"blockquote", u"pre",     u"hr",   u"title",
        u"section", u"article", u"header", u"footer",     u"address", u"form", u"center",
        u"caption", u"tbody",   u"thead",  u"tfoot",      u"body",    u"head", u"html"};
    for (const char16_t *block : kBlocks)
        if (tag.compare(QStringView(block), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// An HTML page's text: tags dropped, a line ended at <br> and at each block's
// start and end, a tab between table cells, runs of blanks as one space,
// script, style and comments left out, character references decoded. Every
// search below goes forward only, and a search that fails is not repeated,
// so the work is linear in the page however its tags are broken.
QString htmlText(QStringView html)
{
    QString out;
    out.reserve(html.size());
    const qsizetype n = html.size();
    bool blank = false;    // a blank is owed before the next text
    bool noCloser = false; // no '>' after here
    const auto endLine = [&] {
        if (!out.isEmpty() && out.back() != u'\n')
            out.append(u'\n');
        blank = false;
    };
    const auto text = [&](QChar c) {
        if (blank && !out.isEmpty() && out.back() != u'\n' && out.back() != u'\t')
            out.append(u' ');
        blank = false;
        out.append(c);
    };
    for (qsizetype i = 0; i < n;) {
        const QChar c = html[i];
        if (c == u'<' && !noCloser) {
            if (html.sliced(i).startsWith(u"<!--")) {
                const qsizetype end = html.indexOf(u"-->", i + 4);
                i = end < 0 ? n : end + 3;
                continue;
            }
            const qsizetype close = html.indexOf(u'>', i + 1);
            if (close < 0) {
                noCloser = true;
                continue;
            }
            qsizetype at = i + 1;
            if (at < close && html[at] == u'/')
                ++at;
            qsizetype nameEnd = at;
            while (nameEnd < close && html[nameEnd].isLetterOrNumber())
                ++nameEnd;
            const QStringView tag = html.sliced(at, nameEnd - at);
            i = close + 1;
            if (tag.isEmpty())
                continue;
            if (html[i - 2] != u'/' && html[at - 1] != u'/' &&
                (tag.compare(u"script", Qt::CaseInsensitive) == 0 ||
                 tag.compare(u"style", Qt::CaseInsensitive) == 0)) {
                // Up to its end tag, or the page's end.
                const QString endTag = QStringLiteral("</") + tag.toString();
                const qsizetype end = html.indexOf(endTag, i, Qt::CaseInsensitive);
                if (end < 0) {
                    i = n;
                } else {
                    const qsizetype after = html.indexOf(u'>', end);
                    i = after < 0 ? n : after + 1;
                }
                continue;
            }
            if (isBlockTag(tag))
                endLine();
            else if (tag.compare(u"td", Qt::CaseInsensitive) == 0 ||
                     tag.compare(u"th", Qt::CaseInsensitive) == 0) {
                if (html[at - 1] != u'/' && !out.isEmpty() && out.back() != u'\n')
                    out.append(u'\t');
                blank = false;
            } else if (tag.compare(u"img", Qt::CaseInsensitive) == 0) {
                blank = true;
            }
            continue;
        }
        if (c == u'&') {
            qsizetype end = i + 1;
            while (end < n && end - i < 32 && (html[end].isLetterOrNumber() || html[end] == u'#'))
                ++end;
            char32_t unit = 0;
            const QStringView name = html.sliced(i + 1, end - i - 1);
            if (name.startsWith(u'#')) {
                bool ok = false;
                const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
                const uint value = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
                if (ok && value > 0 && value <= 0x10FFFF && !(value >= 0xD800 && value < 0xE000))
                    unit = value;
            } else if (!name.isEmpty()) {
                unit = namedReference(name);
            }
            if (unit) {
                i = end < n && html[end] == u';' ? end + 1 : end;
                if (unit == 0xA0) {
                    blank = true;
                    continue;
                }
                const QString decoded = QString::fromUcs4(&unit, 1);
                for (const QChar d : decoded)
                    text(d);
                continue;
            }
        }
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f') {
            blank = true;
            ++i;
            continue;
        }
        text(c);
        ++i;
    }
    return out;
}

// The charset an HTML page names in its first bytes (<meta charset=...>).
QByteArray metaCharset(QByteArrayView bytes)
{
    const QByteArray head = lowered(bytes.first(std::min<qsizetype>(bytes.size(), 4096)));
    const qsizetype at = head.indexOf("charset=");
    if (at < 0)
        return {};
    qsizetype start = at + 8;
    while (start < head.size() && (head[start] == '"' || head[start] == '\''))
        ++start;
    qsizetype end = start;
    while (end < head.size() && (std::isalnum(uchar(head[end])) || head[end] == '-' ||
                                 head[end] == '_' || head[end] == ':' || head[end] == '.'))
        ++end;
    return head.sliced(start, end - start);
}

class MailReader {
public:
    MailReader(TextSink &sink, const Limits &limits) : m_sink(sink), m_limits(limits) {}

    // One message: its headers, then its body.
    void message(QByteArrayView bytes, int depth)
    {
        const Entity entity = parseEntity(bytes);
        headers(entity);
        part(entity, depth, true);
    }
    void setPrefix(const QString &prefix) { m_prefix = prefix; }
    bool failed() const { return m_failure != Failure::None; }
    ReadResult failure() const { return {m_failure, m_reason, {}}; }

private:
    void fail(Failure failure, QString reason)
    {
        if (m_failure == Failure::None) {
            m_failure = failure;
            m_reason = std::move(reason);
        }
    }
    bool stopped() const { return m_failure != Failure::None || m_sink.overLimit(); }

    void label(const QString &name)
    {
        const QString full = m_prefix + name;
        if (full != m_label) {
            m_sink.beginPart(full);
            m_label = full;
        }
    }

    void lines(QStringView text) { m_sink.appendLines(text); }

    void headers(const Entity &entity)
    {
        static const struct {
            const char *field;
            const char16_t *label;
        } kShown[] = {{"subject", u"件名"},
                      {"from", u"差出人"},
                      {"to", u"宛先"},
                      {"cc", u"CC"},
                      {"date", u"日付"}};
        for (const auto &shown : kShown) {
            const QByteArray *value = entity.field(shown.field);
            if (!value)
                continue;
            const QString text = mail::decodeHeader(*value).trimmed();
            if (text.isEmpty())
                continue;
            label(QString::fromUtf16(shown.label));
            lines(text);
        }
    }

    // A part's body as its transfer encoding gives it; `max` bytes of the
    // encoded body at most (enough for a look at its start), or all of it.
    QByteArray decoded(const Entity &entity, qsizetype max = -1)
    {
        QByteArrayView body = entity.body;
        if (max >= 0 && body.size() > max)
            body = body.first(max);
        const QByteArray *field = entity.field("content-transfer-encoding");
        const QByteArray encoding = field ? lowered(*field) : QByteArray();
        QByteArray out;
        if (encoding == "base64")
            out = mail::decodeBase64(body);
        else if (encoding == "quoted-printable")
            out = mail::decodeQuotedPrintable(body);
        else // no copy: the file's bytes outlive the reading
            out = QByteArray::fromRawData(body.data(), body.size());
        if (max < 0) {
            m_decoded += out.size();
            if (out.size() > m_limits.memberBytes || m_decoded > m_limits.documentBytes) {
                fail(Failure::OverLimit,
                     QStringLiteral("over the %1 MiB decoded mail limit")
                         .arg((out.size() > m_limits.memberBytes ? m_limits.memberBytes
                                                                 : m_limits.documentBytes) >>
                              20));
                return {};
            }
        }
        return out;
    }

    void textBody(const Entity &entity, const FieldValue &type)
    {
        const QByteArray bytes = decoded(entity);
        if (stopped())
            return;
        QByteArray charset = type.raw("charset");
        if (type.value == "text/html") {
            if (charset.isEmpty())
                charset = metaCharset(bytes);
            lines(htmlText(mail::decodeCharset(bytes, charset)));
        } else if (mail::readsAsUtf8(bytes, charset)) {
            m_sink.appendUtf8Lines(bytes);
        } else {
            lines(mail::decodeCharset(bytes, charset));
        }
    }

    static bool isReadText(const QByteArray &type)
    {
        return type == "text/plain" || type == "text/html" || type == "text/enriched";
    }

    void part(const Entity &entity, int depth, bool top)
    {
        if (stopped())
            return;
        if (depth + t_depth > kMaxDepth) {
            fail(Failure::OverLimit, QStringLiteral("parts nested deeper than %1").arg(kMaxDepth));
            return;
        }
        const QByteArray *typeField = entity.field("content-type");
        FieldValue type = typeField ? parseFieldValue(*typeField) : FieldValue{};
        if (!type.value.contains('/'))
            type.value = "text/plain";
        const QByteArray *dispositionField = entity.field("content-disposition");
        const FieldValue disposition =
            dispositionField ? parseFieldValue(*dispositionField) : FieldValue{};
        QString name = disposition.text("filename");
        if (name.isEmpty())
            name = type.text("name");
        name = name.trimmed();
        if (type.value.startsWith("multipart/")) {
            multipart(entity, type, depth);
            return;
        }
        // A message may be a lone attachment; a named text body inline is a body.
        const bool attached = disposition.value == "attachment" ||
                              (!name.isEmpty() && !type.value.startsWith("text/")) ||
                              (!top && !name.isEmpty() && disposition.value != "inline");
        if (attached) {
            attachment(entity, type, name, depth);
            return;
        }
        if (type.value == "message/rfc822" || type.value == "message/global") {
            const QByteArray inner = decoded(entity);
            if (!stopped())
                message(inner, depth + 1);
            return;
        }
        if (isReadText(type.value)) {
            label(QStringLiteral("本文"));
            textBody(entity, type);
        }
    }

    void attachment(const Entity &entity, const FieldValue &type, const QString &name, int depth)
    {
        const QString title = QStringLiteral("添付: ") + name;
        label(name.isEmpty() ? QStringLiteral("添付") : title);
        if (!name.isEmpty())
            lines(name);
        if (type.value == "message/rfc822" || type.value == "message/global") {
            const QByteArray inner = decoded(entity);
            if (!stopped())
                message(inner, depth + 1);
            return;
        }
        // A look at its first bytes tells whether it is a document.
        const QByteArray head = decoded(entity, 4 * kSniffBytes);
        const Container container = sniff(head.constData(), head.size());
        if (container != Container::None) {
            const QByteArray bytes = decoded(entity);
            if (stopped())
                return;
            ++t_depth;
            const ReadResult inner = readDocument(bytes, container, m_limits);
            --t_depth;
            if (inner.failure == Failure::OverLimit || inner.failure == Failure::NeedsPdfReader) {
                fail(inner.failure, inner.reason);
                return;
            }
            if (inner.ok()) {
                std::size_t next = 0;
                const QString base = name.isEmpty() ? QStringLiteral("添付") : title;
                for (std::size_t i = 0; i < inner.text.lines.size(); ++i) {
                    if (next < inner.text.locations.size() &&
                        inner.text.locations[next].line == qsizetype(i))
                        label(base + QStringLiteral(" · ") + inner.text.locations[next++].label);
                    m_sink.append(inner.text.lines[i]);
                    m_sink.endLineIfAny(); // as every mail line: none empty
                }
                return;
            }
        }
        if (type.value.startsWith("text/"))
            textBody(entity, type);
    }

    void multipart(const Entity &entity, const FieldValue &type, int depth)
    {
        const QByteArray boundary = type.raw("boundary");
        if (boundary.isEmpty() || boundary.size() > kMaxBoundary) {
            label(QStringLiteral("本文"));
            textBody(entity, FieldValue{});
            return;
        }
        const std::vector<QByteArrayView> parts = splitParts(entity.body, "--" + boundary);
        if (type.value == "multipart/alternative") {
            // The plain part; else the richest one (the last) that is read.
            const Entity *chosen = nullptr;
            std::vector<Entity> entities;
            entities.reserve(parts.size());
            for (QByteArrayView bytes : parts)
                entities.push_back(parseEntity(bytes));
            for (const Entity &e : entities) {
                const QByteArray *field = e.field("content-type");
                const QByteArray value = field ? parseFieldValue(*field).value : "text/plain";
                if (value == "text/plain" || !value.contains('/')) {
                    chosen = &e;
                    break;
                }
            }
            if (!chosen && !entities.empty())
                chosen = &entities.back();
            if (chosen)
                part(*chosen, depth + 1, false);
            return;
        }
        for (QByteArrayView bytes : parts) {
            part(parseEntity(bytes), depth + 1, false);
            if (stopped())
                return;
        }
    }

    // The parts between the delimiter lines ("--boundary", blanks after it
    // allowed); the last ends at the closing delimiter ("--boundary--") or, if
    // it never comes, at the end. The preamble and the epilogue are left out.
    static std::vector<QByteArrayView> splitParts(QByteArrayView body, const QByteArray &delimiter)
    {
        std::vector<QByteArrayView> parts;
        qsizetype start = -1; // where the current part's bytes begin
        qsizetype at = 0;
        while (at < body.size()) {
            const qsizetype hit = body.indexOf(delimiter, at);
            if (hit < 0)
                break;
            at = hit + 1;
            if (hit > 0 && body[hit - 1] != '\n' && body[hit - 1] != '\r')
                continue;
            qsizetype after = hit + delimiter.size();
            const bool closing = body.sliced(after).startsWith("--");
            if (closing)
                after += 2;
            const Line line = lineAt(body, after);
            bool onlyBlanks = true;
            for (qsizetype i = after; i < line.end && onlyBlanks; ++i)
                onlyBlanks = body[i] == ' ' || body[i] == '\t';
            if (!onlyBlanks)
                continue;
            if (start >= 0) {
                // The line end before the delimiter belongs to it.
                qsizetype end = hit;
                if (end > start && body[end - 1] == '\n')
                    --end;
                if (end > start && body[end - 1] == '\r')
                    --end;
                parts.push_back(body.sliced(start, end - start));
            }
            if (closing)
                return parts;
            start = line.next;
            at = line.next;
        }
        if (start >= 0 && start <= body.size())
            parts.push_back(body.sliced(start));
        return parts;
    }

    TextSink &m_sink;
    const Limits &m_limits;
    QString m_prefix;
    QString m_label;
    qint64 m_decoded = 0;
    Failure m_failure = Failure::None;
    QString m_reason;
};

// Where each message of an mbox begins: after each line that starts with
// "From ", the first one included.
std::vector<QByteArrayView> mboxMessages(QByteArrayView bytes)
{
    std::vector<QByteArrayView> messages;
    qsizetype start = lineAt(bytes, 0).next;
    qsizetype at = start;
    while (at < bytes.size()) {
        const qsizetype hit = bytes.indexOf("\nFrom ", at - 1 < 0 ? 0 : at - 1);
        if (hit < 0)
            break;
        qsizetype end = hit + 1;
        messages.push_back(bytes.sliced(start, end - start));
        start = lineAt(bytes, end).next;
        at = start;
    }
    if (start < bytes.size())
        messages.push_back(bytes.sliced(start));
    return messages;
}

// An mbox writer puts ">" before a message's line that begins with "From "
// (and, in the mboxrd form, before one that begins with ">", ">>", ... and
// "From "); one is taken off again, so the line reads as it was written. The
// message as it is where no line is quoted, else the copy in scratch.
QByteArrayView unquoteFromLines(QByteArrayView message, QByteArray &scratch)
{
    const auto quotedAt = [&](qsizetype line) {
        qsizetype k = line;
        while (k < message.size() && message[k] == '>')
            ++k;
        return k > line && message.sliced(k).startsWith("From ");
    };
    bool any = false;
    for (qsizetype line = 0; line < message.size() && !any;) {
        any = quotedAt(line);
        const qsizetype br = message.indexOf('\n', line);
        line = br < 0 ? message.size() : br + 1;
    }
    if (!any)
        return message;
    scratch.clear();
    scratch.reserve(message.size());
    for (qsizetype line = 0; line < message.size();) {
        const qsizetype br = message.indexOf('\n', line);
        const qsizetype next = br < 0 ? message.size() : br + 1;
        const qsizetype from = quotedAt(line) ? line + 1 : line;
        scratch.append(message.sliced(from, next - from));
        line = next;
    }
    return scratch;
}

// A web page saved as one file: a message whose whole is multipart/related.
bool isWebPage(QByteArrayView bytes)
{
    const Entity entity = parseEntity(bytes);
    const QByteArray *type = entity.field("content-type");
    return type && parseFieldValue(*type).value == "multipart/related";
}

struct DepthGuard {
    DepthGuard() { ++t_depth; }
    ~DepthGuard() { --t_depth; }
};

} // namespace

ReadResult readMailDocument(QByteArrayView bytes, const Limits &limits, LineCheck *check)
{
    const DepthGuard guard;
    const bool mbox = bytes.startsWith("From ");
    const Kind kind = mbox ? Kind::Mailbox : isWebPage(bytes) ? Kind::WebArchive : Kind::Mail;
    TextSink sink(kind, limits);
    if (check)
        sink.handLinesTo(check);
    MailReader reader(sink, limits);
    if (mbox) {
        const std::vector<QByteArrayView> messages = mboxMessages(bytes);
        for (std::size_t i = 0; i < messages.size() && !reader.failed() && !sink.overLimit(); ++i) {
            if (messages.size() > 1)
                reader.setPrefix(QStringLiteral("メール %1 ").arg(i + 1));
            QByteArray unquoted;
            reader.message(unquoteFromLines(messages[i], unquoted), 0);
        }
    } else {
        reader.message(bytes, 0);
    }
    if (reader.failed())
        return reader.failure();
    if (sink.overLimit())
        return {Failure::OverLimit, QStringLiteral("over the text limit"), {}};
    return {Failure::None, {}, sink.take()};
}

} // namespace documents
