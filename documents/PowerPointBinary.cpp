// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/PowerPointBinary.h"

#include "documents/LegacyBytes.h"
#include "documents/TextSink.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace documents::legacy {

namespace {

enum Type : quint16 {
    kDocument = 0x03E8,
    kSlide = 0x03EE,
    kNotesAtom = 0x03F1,
    kNotes = 0x03F0,
    kSlidePersist = 0x03F3,
    kUserEdit = 0x0FF5,
    kSlideList = 0x0FF0,
    kOutlineTextRef = 0x0F9E,
    kTextChars = 0x0FA0,
    kTextBytes = 0x0FA8,
    kPersistDirectory = 0x1772,
};

ReadResult damaged(const char *what)
{
    return {Failure::Damaged,
            QStringLiteral("damaged PowerPoint presentation: ") + QLatin1String(what),
            {}};
}

struct Header {
    quint16 version;
    quint16 instance;
    quint16 type;
    qint64 size;
};

bool headerAt(QByteArrayView s, qint64 at, Header *h)
{
    if (!fits(s, at, 8))
        return false;
    const quint16 vi = le16(s.data() + at);
    *h = {quint16(vi & 0xF), quint16(vi >> 4), le16(s.data() + at + 2),
          qint64(le32(s.data() + at + 4))};
    return fits(s, at + 8, h->size);
}

// A text atom's text, one entry per paragraph.
QString atomText(QByteArrayView s, qint64 at, const Header &h)
{
    const QByteArrayView body = s.sliced(at + 8, h.size);
    if (h.type != kTextChars) // the low bytes of UTF-16 units
        return QString::fromLatin1(body);
    QString text;
    appendUtf16(body, text);
    return text;
}

// Walks the records inside [begin, end) in document order, containers
// opened in place (no recursion), calling `visit(at, header)` on each atom.
template <typename Visit> bool walk(QByteArrayView s, qint64 begin, qint64 end, Visit visit)
{
    std::vector<qint64> ends;
    qint64 at = begin;
    while (at < end) {
        while (!ends.empty() && at >= ends.back())
            ends.pop_back();
        Header h;
        if (!headerAt(s, at, &h) || at + 8 + h.size > (ends.empty() ? end : ends.back()))
            return false;
        if (h.version == 0xF) {
            ends.push_back(at + 8 + h.size);
            at += 8;
        } else {
            visit(at, h);
            at += 8 + h.size;
        }
    }
    return true;
}

void putText(TextSink &sink, const QString &text)
{
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\r' || text[i] == u'\v') {
            sink.append(QStringView(text).sliced(from, i - from));
            sink.endLineIfAny();
            from = i + 1;
        }
    }
}

struct SlideEntry {
    quint32 persistId = 0;
    quint32 slideId = 0;
    std::vector<QString> texts; // placeholder texts kept in the slide list
};

} // namespace

ReadResult readPowerPointBinary(const cfb::CompoundFile &file, const Limits &limits)
{
    QString reason;
    QByteArray user;
    QByteArray stream;
    if (!file.read(u"Current User", &user, &reason))
        return {Failure::Damaged,
                reason.isEmpty() ? QStringLiteral("no Current User stream") : reason,
                {}};
    if (!file.read(u"PowerPoint Document", &stream, &reason))
        return {Failure::Damaged, reason, {}};
    if (user.size() < 20)
        return damaged("short current user record");
    if (le32(user.constData() + 12) == 0xF3D1C4DF)
        return {Failure::Encrypted, QStringLiteral("encrypted"), {}};

    // The persist directory: newest edit first, an older entry never
    // replacing a newer one.
    std::unordered_map<quint32, quint32> persist;
    std::unordered_set<quint32> edits;
    quint32 edit = le32(user.constData() + 16);
    quint32 documentRef = 0;
    bool newest = true;
    while (edit != 0 || newest) {
        if (!edits.insert(edit).second)
            return damaged("edits loop");
        Header h;
        if (!headerAt(stream, edit, &h) || h.type != kUserEdit || h.size < 0x1C)
            return damaged("no user edit record");
        const char *e = stream.constData() + edit + 8;
        if (newest) {
            documentRef = le32(e + 16);
            if (h.size >= 0x20) // an encryption session
                return {Failure::Encrypted, QStringLiteral("encrypted"), {}};
        }
        newest = false;
        const quint32 directory = le32(e + 12);
        Header d;
        if (!headerAt(stream, directory, &d) || d.type != kPersistDirectory)
            return damaged("no persist directory");
        for (qint64 at = directory + 8, end = at + d.size; at + 4 <= end;) {
            const quint32 word = le32(stream.constData() + at);
            const quint32 count = word >> 20;
            at += 4;
            if (at + 4 * qint64(count) > end)
                return damaged("persist directory past its record");
            for (quint32 i = 0; i < count; ++i)
                persist.emplace((word & 0xFFFFF) + i, le32(stream.constData() + at + 4 * i));
            at += 4 * qint64(count);
        }
        edit = le32(e + 8);
    }

    auto container = [&](quint32 ref, quint16 type, Header *h) -> qint64 {
        const auto it = persist.find(ref);
        if (it == persist.end() || !headerAt(stream, it->second, h) || h->type != type)
            return -1;
        return it->second;
    };
    Header doc;
    const qint64 docAt = container(documentRef, kDocument, &doc);
    if (docAt < 0)
        return damaged("no document record");

    // The slide lists: instance 0 the slides, 2 the notes.
    std::vector<SlideEntry> slides;
    std::vector<SlideEntry> notes;
    std::vector<SlideEntry> *list = nullptr;
    for (qint64 at = docAt + 8, end = docAt + 8 + doc.size; at < end;) {
        Header h;
        if (!headerAt(stream, at, &h) || at + 8 + h.size > end)
            return damaged("document record past its end");
        if (h.type == kSlideList && (h.instance == 0 || h.instance == 2)) {
            list = h.instance == 0 ? &slides : &notes;
            if (!walk(stream, at + 8, at + 8 + h.size, [&](qint64 a, const Header &r) {
                    if (r.type == kSlidePersist && r.size >= 16) {
                        const char *p = stream.constData() + a + 8;
                        list->push_back({le32(p), le32(p + 12), {}});
                    } else if ((r.type == kTextChars || r.type == kTextBytes) && !list->empty()) {
                        list->back().texts.push_back(atomText(stream, a, r));
                    }
                }))
                return damaged("slide list past its end");
        }
        at += 8 + h.size;
    }

    TextSink sink(Kind::PowerPoint97, limits);
    std::map<quint32, int> numbers; // slide id -> slide number
    // A slide's or a notes page's texts in drawing order (a placeholder's
    // text is kept in the slide list and referred to from the drawing); a
    // part with no text is not named.
    std::unordered_set<qint64> walked; // each slide or notes record read once
    auto readOne = [&](const SlideEntry &entry, quint16 type, const QString &label) -> bool {
        Header h;
        const qint64 at = container(entry.persistId, type, &h);
        if (at < 0)
            return false;
        if (!walked.insert(at).second)
            return true;
        std::vector<QString> texts;
        bool any = false;
        const bool ok = walk(stream, at + 8, at + 8 + h.size, [&](qint64 a, const Header &r) {
            if (r.type == kTextChars || r.type == kTextBytes) {
                texts.push_back(atomText(stream, a, r));
                any = true;
            } else if (r.type == kOutlineTextRef && r.size >= 4) {
                const quint32 index = le32(stream.constData() + a + 8);
                if (index < entry.texts.size())
                    texts.push_back(entry.texts[index]);
                any = true;
            }
        });
        if (!any)
            texts = entry.texts;
        if (std::any_of(texts.begin(), texts.end(),
                        [](const QString &t) { return !t.trimmed().isEmpty(); })) {
            sink.beginPart(label);
            for (const QString &text : texts)
                putText(sink, text);
        }
        return ok;
    };
    for (size_t i = 0; i < slides.size(); ++i) {
        numbers[slides[i].slideId] = int(i) + 1;
        if (!readOne(slides[i], kSlide, QStringLiteral("スライド %1").arg(i + 1)))
            return damaged("bad slide");
    }
    for (const SlideEntry &entry : notes) {
        Header h;
        const qint64 at = container(entry.persistId, kNotes, &h);
        int number = 0;
        Header atom;
        if (at >= 0 && headerAt(stream, at + 8, &atom) && atom.type == kNotesAtom &&
            atom.size >= 4) {
            const auto it = numbers.find(le32(stream.constData() + at + 16));
            if (it != numbers.end())
                number = it->second;
        }
        if (!readOne(entry, kNotes,
                     number ? QStringLiteral("スライド %1 のノート").arg(number)
                            : QStringLiteral("ノート")))
            return damaged("bad notes");
    }
    if (sink.overLimit())
        return {Failure::OverLimit, QStringLiteral("over the text limit"), {}};
    return {Failure::None, {}, sink.take()};
}

} // namespace documents::legacy
