// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/OutlookMessage.h"

#include "documents/MailCharset.h"
#include "documents/ReadDocument.h"
#include "documents/Recognize.h"
#include "documents/TextSink.h"

#include <QDateTime>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <optional>
#include <unordered_set>
#include <vector>

namespace documents {

namespace {

// The property identifiers read (their types follow in the stream names).
constexpr quint16 kSubject = 0x0037;
constexpr quint16 kClientSubmitTime = 0x0039;
constexpr quint16 kSenderName = 0x0C1A;
constexpr quint16 kSenderAddress = 0x0C1F;
constexpr quint16 kRecipientType = 0x0C15;
constexpr quint16 kDisplayCc = 0x0E03;
constexpr quint16 kDisplayTo = 0x0E04;
constexpr quint16 kDeliveryTime = 0x0E06;
constexpr quint16 kBody = 0x1000;
constexpr quint16 kRtfCompressed = 0x1009;
constexpr quint16 kDisplayName = 0x3001;
constexpr quint16 kEmailAddress = 0x3003;
constexpr quint16 kAttachData = 0x3701;
constexpr quint16 kAttachFilename = 0x3704;
constexpr quint16 kAttachMethod = 0x3705;
constexpr quint16 kAttachLongFilename = 0x3707;
constexpr quint16 kAttachMimeTag = 0x370E;
constexpr quint16 kSmtpAddress = 0x39FE;

constexpr quint16 kLong = 0x0003;
constexpr quint16 kObject = 0x000D;
constexpr quint16 kUnicode = 0x001F; // UTF-16LE
constexpr quint16 kString8 = 0x001E; // 8-bit, in the message's code page
constexpr quint16 kBinary = 0x0102;
constexpr quint16 kSystemTime = 0x0040;

// How an attachment is kept: its bytes in a stream, or a message of its own
// in a storage (attachments by reference hold a path, never read).
constexpr quint32 kByValue = 1;
constexpr quint32 kEmbeddedMessage = 5;

// The fixed-size properties stream begins with a header whose size depends
// on what holds it.
constexpr qsizetype kMessageHeader = 32;
constexpr qsizetype kEmbeddedHeader = 24;
constexpr qsizetype kObjectHeader = 8; // a recipient's or an attachment's

// Messages embedded in attachments, nested; deeper ones are refused.
constexpr int kMaxEmbedded = 32;

QString streamName(quint16 id, quint16 type)
{
    return QStringLiteral("__substg1.0_") + QString::asprintf("%04X%04X", id, type);
}

// One object of the message: the message itself, a recipient, an
// attachment or a message inside an attachment, each a storage whose
// streams are its properties.
class Properties {
public:
    Properties(const cfb::CompoundFile &file, std::vector<cfb::Entry> entries, qsizetype header)
        : m_file(file), m_entries(std::move(entries))
    {
        QByteArray fixed;
        QString reason;
        if (read(QStringLiteral("__properties_version1.0"), &fixed, &reason) &&
            fixed.size() > header)
            m_fixed = fixed.sliced(header);
    }

    const std::vector<cfb::Entry> &entries() const { return m_entries; }
    const cfb::Entry *find(QStringView name) const
    {
        return cfb::CompoundFile::find(m_entries, name);
    }

    bool read(const QString &name, QByteArray *out, QString *reason) const
    {
        reason->clear();
        const cfb::Entry *entry = find(name);
        return entry && entry->type == 2 && m_file.read(*entry, out, reason);
    }

    // A string property, Unicode or 8-bit; empty when missing or unreadable.
    QString string(quint16 id) const
    {
        QByteArray bytes;
        QString reason;
        if (read(streamName(id, kUnicode), &bytes, &reason)) {
            QString text(bytes.size() / 2, Qt::Uninitialized);
            qFromLittleEndian<char16_t>(bytes.constData(), text.size(), text.data());
            while (!text.isEmpty() && text.back() == u'\0')
                text.chop(1);
            return text;
        }
        if (read(streamName(id, kString8), &bytes, &reason)) {
            while (!bytes.isEmpty() && bytes.back() == '\0')
                bytes.chop(1);
            return mail::decodeCharset(bytes, {});
        }
        return {};
    }

    // A fixed-size property's 8 value bytes (16-byte entries: tag, flags,
    // value); what the stream's sizes claim is never trusted, only the bytes
    // that are there.
    std::optional<quint64> fixed(quint16 id, quint16 type) const
    {
        for (qsizetype at = 0; at + 16 <= m_fixed.size(); at += 16) {
            if (qFromLittleEndian<quint32>(m_fixed.constData() + at) == (quint32(id) << 16 | type))
                return qFromLittleEndian<quint64>(m_fixed.constData() + at + 8);
        }
        return std::nullopt;
    }

    QString time(quint16 id) const
    {
        const std::optional<quint64> filetime = fixed(id, kSystemTime);
        if (!filetime)
            return {};
        // 100 ns steps since 1601-01-01 UTC.
        constexpr qint64 kUnixEpoch = 11'644'473'600LL;
        const qint64 seconds = qint64(*filetime / 10'000'000) - kUnixEpoch;
        const QDateTime time = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
        return time.isValid() ? time.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss 'UTC'"))
                              : QString();
    }

    // The storages named `prefix` and a number ("__recip_version1.0_#0000000A"),
    // in the number's order.
    std::vector<const cfb::Entry *> numbered(QStringView prefix) const
    {
        std::vector<const cfb::Entry *> found;
        for (const cfb::Entry &e : m_entries)
            if (e.type == 1 && e.name.startsWith(prefix, Qt::CaseInsensitive))
                found.push_back(&e);
        std::sort(found.begin(), found.end(), [](const cfb::Entry *a, const cfb::Entry *b) {
            return a->name.compare(b->name, Qt::CaseInsensitive) < 0;
        });
        return found;
    }

private:
    const cfb::CompoundFile &m_file;
    std::vector<cfb::Entry> m_entries;
    QByteArray m_fixed; // the fixed-size entries, after the header
};

constexpr char kRtfPrefix[] =
    "{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern "
    "\\fscript \\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0"
    "\\blue0\r\n\\par \\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx";
static_assert(sizeof kRtfPrefix - 1 == 207);

} // namespace

bool isOutlookMessage(const cfb::CompoundFile &file)
{
    return file.find(u"__properties_version1.0") &&
           (file.find(u"__nameid_version1.0") || file.find(streamName(kSubject, kUnicode)) ||
            file.find(streamName(kSubject, kString8)));
}

bool decompressRtf(QByteArrayView bytes, qint64 max, QByteArray *out, QString *reason)
{
    if (bytes.size() < 16) {
        *reason = QStringLiteral("damaged compressed RTF: no header");
        return false;
    }
    const quint32 compressed = qFromLittleEndian<quint32>(bytes.data());
    const quint32 raw = qFromLittleEndian<quint32>(bytes.data() + 4);
    const quint32 type = qFromLittleEndian<quint32>(bytes.data() + 8);
    // The compressed size counts from after its own field; a larger one is
    // read to the stream's end.
    const qsizetype end =
        qsizetype(std::min<quint64>(quint64(compressed) + 4, quint64(bytes.size())));
    out->clear();
    if (type == 0x414C454D) { // "MELA": stored
        *out =
            bytes.sliced(16, std::min<qsizetype>(qsizetype(raw), bytes.size() - 16)).toByteArray();
        return true;
    }
    if (type != 0x75465A4C) { // "LZFu"
        *reason = QStringLiteral("damaged compressed RTF: unknown form");
        return false;
    }
    std::array<char, 4096> dictionary{};
    std::copy(kRtfPrefix, kRtfPrefix + 207, dictionary.begin());
    quint32 write = 207;
    out->reserve(std::min<qint64>({qint64(raw), max, qint64(bytes.size()) * 9}));
    const auto put = [&](char c) {
        out->append(c);
        dictionary[write] = c;
        write = (write + 1) & 4095;
    };
    qsizetype at = 16;
    while (at < end) {
        const uchar control = uchar(bytes[at++]);
        for (int bit = 0; bit < 8 && at < end; ++bit) {
            if (!(control & (1 << bit))) {
                put(bytes[at++]);
            } else {
                if (at + 1 >= end)
                    return true;
                const quint32 reference = quint32(uchar(bytes[at])) << 8 | uchar(bytes[at + 1]);
                at += 2;
                const quint32 offset = reference >> 4;
                if (offset == write)
                    return true; // the end mark
                // Byte by byte: a reference may reach the bytes it writes.
                const quint32 length = (reference & 15) + 2;
                for (quint32 i = 0; i < length; ++i)
                    put(dictionary[(offset + i) & 4095]);
            }
            if (out->size() > max) {
                *reason = QStringLiteral("over the %1 MiB RTF body limit").arg(max >> 20);
                return false;
            }
        }
    }
    return true;
}

namespace {

QString withAddress(const QString &name, const QString &address)
{
    if (address.isEmpty() || address == name)
        return name;
    return name.isEmpty() ? address : name + QStringLiteral(" <") + address + u'>';
}

// Reads a message's properties into the sink, its attachments' too; a
// message embedded in an attachment is read by the same calls, its parts
// named after the attachment.
class MessageReader {
public:
    MessageReader(const cfb::CompoundFile &file, TextSink &sink, const Limits &limits)
        : m_file(file), m_sink(sink), m_limits(limits), m_walked(qint64(file.top().size()))
    {}

    bool failed() const { return m_failure.failure != Failure::None; }
    ReadResult failure() const { return m_failure; }

    void message(const Properties &message, const QString &prefix, int depth)
    {
        headers(message, prefix);
        body(message, prefix);
        if (!failed())
            attachments(message, prefix, depth);
    }

private:
    void part(const QString &label) { m_sink.beginPart(label); }

    void fail(Failure failure, const QString &reason)
    {
        if (!failed())
            m_failure = {failure, reason, {}};
    }

    void headers(const Properties &message, const QString &prefix)
    {
        QString date = message.time(kClientSubmitTime);
        if (date.isEmpty())
            date = message.time(kDeliveryTime);
        QStringList to, cc, bcc;
        recipients(message, &to, &cc, &bcc);
        const auto joined = [](const QStringList &names, const QString &shown) {
            return names.isEmpty() ? shown : names.join(QStringLiteral("; "));
        };
        const std::pair<const char16_t *, QString> shown[] = {
            {u"件名", message.string(kSubject)},
            {u"差出人", withAddress(message.string(kSenderName), message.string(kSenderAddress))},
            {u"宛先", joined(to, message.string(kDisplayTo))},
            {u"CC", joined(cc, message.string(kDisplayCc))},
            {u"BCC", bcc.join(QStringLiteral("; "))},
            {u"日付", date}};
        for (const auto &[label, text] : shown) {
            if (text.trimmed().isEmpty())
                continue;
            part(prefix + QString::fromUtf16(label));
            m_sink.appendLines(text.trimmed());
        }
    }

    // The recipient table: each recipient's name and address, by kind. The
    // display properties of the message hold the names alone; they stand
    // where there is no table.
    void recipients(const Properties &message, QStringList *to, QStringList *cc, QStringList *bcc)
    {
        for (const cfb::Entry *storage : message.numbered(u"__recip_version1.0_#")) {
            const std::optional<Properties> recipient = open(*storage, kObjectHeader);
            if (!recipient)
                continue;
            QString address = recipient->string(kSmtpAddress);
            if (address.isEmpty()) {
                // An Exchange address ("/O=...") names no one a reader knows.
                address = recipient->string(kEmailAddress);
                if (!address.contains(u'@'))
                    address.clear();
            }
            const QString shown = withAddress(recipient->string(kDisplayName).trimmed(), address);
            if (shown.isEmpty())
                continue;
            switch (recipient->fixed(kRecipientType, kLong).value_or(1) & 0xFFFFFFF) {
            case 2:
                cc->append(shown);
                break;
            case 3:
                bcc->append(shown);
                break;
            default:
                to->append(shown);
            }
        }
    }

    void body(const Properties &message, const QString &prefix)
    {
        const QString body = message.string(kBody);
        if (!body.isEmpty()) {
            part(prefix + QStringLiteral("本文"));
            m_sink.appendLines(body);
            return;
        }
        QByteArray compressed, rtf;
        QString reason;
        if (!message.read(streamName(kRtfCompressed, kBinary), &compressed, &reason))
            return;
        if (!decompressRtf(compressed, m_limits.memberBytes, &rtf, &reason)) {
            fail(rtf.size() > m_limits.memberBytes ? Failure::OverLimit : Failure::Damaged, reason);
            return;
        }
        const ReadResult inner = readRtfDocument(rtf, m_limits);
        if (inner.failure == Failure::OverLimit)
            fail(inner.failure, inner.reason);
        else if (inner.ok())
            nested(inner.text, prefix + QStringLiteral("本文"), false);
    }

    void attachments(const Properties &holder, const QString &prefix, int depth)
    {
        for (const cfb::Entry *storage : holder.numbered(u"__attach_version1.0_#")) {
            if (failed() || m_sink.overLimit())
                return;
            const std::optional<Properties> attachment = open(*storage, kObjectHeader);
            if (!attachment)
                continue;
            QString name = attachment->string(kAttachLongFilename).trimmed();
            if (name.isEmpty())
                name = attachment->string(kAttachFilename).trimmed();
            if (name.isEmpty())
                name = attachment->string(kDisplayName).trimmed();
            const QString label = prefix + (name.isEmpty() ? QStringLiteral("添付")
                                                           : QStringLiteral("添付: ") + name);
            part(label);
            if (!name.isEmpty())
                m_sink.appendLines(name);
            const quint32 method = quint32(attachment->fixed(kAttachMethod, kLong).value_or(0));
            if (method == kEmbeddedMessage) {
                const cfb::Entry *inner = attachment->find(streamName(kAttachData, kObject));
                if (!inner)
                    continue;
                if (depth + 1 > kMaxEmbedded) {
                    fail(Failure::OverLimit,
                         QStringLiteral("messages nested deeper than %1").arg(kMaxEmbedded));
                    return;
                }
                if (const std::optional<Properties> embedded = open(*inner, kEmbeddedHeader))
                    message(*embedded, label + QStringLiteral(" · "), depth + 1);
            } else if (method == kByValue) {
                QByteArray bytes;
                QString reason;
                if (attachment->read(streamName(kAttachData, kBinary), &bytes, &reason))
                    attached(bytes, attachment->string(kAttachMimeTag), name, label);
            }
        }
    }

    // An attachment's bytes: a document's text by its reader, nested; text
    // as text; anything else by its name alone.
    void attached(const QByteArray &bytes, const QString &mimeTag, const QString &name,
                  const QString &label)
    {
        const Container container = sniff(bytes.constData(), std::min(bytes.size(), kSniffBytes));
        if (container != Container::None && container != Container::Archive) {
            const ReadResult inner = readDocument(bytes, container, m_limits);
            if (inner.failure == Failure::OverLimit || inner.failure == Failure::NeedsPdfReader)
                fail(inner.failure, inner.reason);
            else if (inner.ok())
                nested(inner.text, label, true);
            return;
        }
        static const QStringList kTextEndings = {QStringLiteral(".txt"), QStringLiteral(".csv"),
                                                 QStringLiteral(".log")};
        const bool text =
            mimeTag.startsWith(QStringLiteral("text/plain"), Qt::CaseInsensitive) ||
            std::any_of(kTextEndings.begin(), kTextEndings.end(), [&](const QString &ending) {
                return name.endsWith(ending, Qt::CaseInsensitive);
            });
        if (text && container == Container::None)
            m_sink.appendLines(mail::decodeCharset(bytes, {}));
    }

    // A nested reader's lines under `base`: each of its parts named
    // "base · part" (or, `labelled` false, all under `base`).
    void nested(const DocumentText &text, const QString &base, bool labelled)
    {
        std::size_t next = 0;
        if (!labelled)
            part(base);
        for (std::size_t i = 0; i < text.lines.size(); ++i) {
            if (labelled && next < text.locations.size() &&
                text.locations[next].line == qsizetype(i))
                part(base + QStringLiteral(" · ") + text.locations[next++].label);
            m_sink.append(text.lines[i]);
            m_sink.endLineIfAny();
        }
    }

    // A storage's properties, each storage read once (a directory whose
    // storages share children would otherwise be read over and over).
    std::optional<Properties> open(const cfb::Entry &storage, qsizetype header)
    {
        if (failed() || !m_opened.insert(storage.id).second)
            return std::nullopt;
        std::vector<cfb::Entry> entries;
        QString reason;
        if (!m_file.children(storage, &entries, &reason))
            return std::nullopt;
        // In a sound file each entry has one parent, so all the storages'
        // children together are at most the directory; more means storages
        // share their children, and reading on could take the square of the
        // directory's size.
        m_walked += qint64(entries.size());
        if (m_walked > m_file.entryCount()) {
            fail(Failure::Damaged, QStringLiteral("damaged compound file: storages share entries"));
            return std::nullopt;
        }
        return Properties(m_file, std::move(entries), header);
    }

    const cfb::CompoundFile &m_file;
    TextSink &m_sink;
    const Limits &m_limits;
    ReadResult m_failure;
    std::unordered_set<quint32> m_opened;
    qint64 m_walked; // entries listed so far, the root's children first
};

} // namespace

ReadResult readOutlookMessage(const cfb::CompoundFile &file, const Limits &limits, LineCheck *check)
{
    TextSink sink(Kind::OutlookMessage, limits);
    if (check)
        sink.handLinesTo(check);
    MessageReader reader(file, sink, limits);
    reader.message(Properties(file, file.top(), kMessageHeader), QString(), 0);
    if (reader.failed())
        return reader.failure();
    if (sink.overLimit())
        return {Failure::OverLimit, QStringLiteral("over the text limit"), {}};
    return {Failure::None, {}, sink.take()};
}

} // namespace documents
