// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/OutlookMessage.h"

#include "documents/MailCharset.h"
#include "documents/ReadDocument.h"
#include "documents/TextSink.h"

#include <QDateTime>
#include <QtEndian>

#include <array>

namespace documents {

namespace {

// The property identifiers read (their types follow in the stream names).
constexpr quint16 kSubject = 0x0037;
constexpr quint16 kClientSubmitTime = 0x0039;
constexpr quint16 kSenderName = 0x0C1A;
constexpr quint16 kSenderAddress = 0x0C1F;
constexpr quint16 kDisplayCc = 0x0E03;
constexpr quint16 kDisplayTo = 0x0E04;
constexpr quint16 kDeliveryTime = 0x0E06;
constexpr quint16 kBody = 0x1000;
constexpr quint16 kRtfCompressed = 0x1009;

constexpr quint16 kUnicode = 0x001F; // UTF-16LE
constexpr quint16 kString8 = 0x001E; // 8-bit, in the message's code page
constexpr quint16 kBinary = 0x0102;
constexpr quint16 kSystemTime = 0x0040;

QString streamName(quint16 id, quint16 type)
{
    return QStringLiteral("__substg1.0_") + QString::asprintf("%04X%04X", id, type);
}

// A string property, Unicode or 8-bit; empty when missing or unreadable.
QString stringProperty(const cfb::CompoundFile &file, quint16 id)
{
    QByteArray bytes;
    QString reason;
    if (file.read(streamName(id, kUnicode), &bytes, &reason)) {
        QString text(bytes.size() / 2, Qt::Uninitialized);
        qFromLittleEndian<char16_t>(bytes.constData(), text.size(), text.data());
        while (!text.isEmpty() && text.back() == u'\0')
            text.chop(1);
        return text;
    }
    if (file.read(streamName(id, kString8), &bytes, &reason)) {
        while (!bytes.isEmpty() && bytes.back() == '\0')
            bytes.chop(1);
        return mail::decodeCharset(bytes, {});
    }
    return {};
}

// A time from the fixed-size properties of the message (a 32-byte header,
// then 16-byte entries: tag, flags, value); what the stream's sizes claim is
// never trusted, only the bytes that are there.
QString timeProperty(const cfb::CompoundFile &file, quint16 id)
{
    QByteArray bytes;
    QString reason;
    if (!file.read(QStringLiteral("__properties_version1.0"), &bytes, &reason))
        return {};
    for (qsizetype at = 32; at + 16 <= bytes.size(); at += 16) {
        const quint32 tag = qFromLittleEndian<quint32>(bytes.constData() + at);
        if (tag != (quint32(id) << 16 | kSystemTime))
            continue;
        const quint64 filetime = qFromLittleEndian<quint64>(bytes.constData() + at + 8);
        // 100 ns steps since 1601-01-01 UTC.
        constexpr qint64 kUnixEpoch = 11'644'473'600LL;
        const qint64 seconds = qint64(filetime / 10'000'000) - kUnixEpoch;
        const QDateTime time = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
        return time.isValid() ? time.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss 'UTC'"))
                              : QString();
    }
    return {};
}

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

ReadResult readOutlookMessage(const cfb::CompoundFile &file, const Limits &limits)
{
    TextSink sink(Kind::OutlookMessage, limits);
    QString sender = stringProperty(file, kSenderName);
    const QString address = stringProperty(file, kSenderAddress);
    if (!address.isEmpty() && address != sender)
        sender = sender.isEmpty() ? address : sender + QStringLiteral(" <") + address + u'>';
    QString date = timeProperty(file, kClientSubmitTime);
    if (date.isEmpty())
        date = timeProperty(file, kDeliveryTime);
    const std::pair<const char16_t *, QString> shown[] = {
        {u"件名", stringProperty(file, kSubject)},
        {u"差出人", sender},
        {u"宛先", stringProperty(file, kDisplayTo)},
        {u"CC", stringProperty(file, kDisplayCc)},
        {u"日付", date}};
    for (const auto &[label, text] : shown) {
        if (text.trimmed().isEmpty())
            continue;
        sink.beginPart(QString::fromUtf16(label));
        mail::appendLines(sink, text.trimmed());
    }
    const QString body = stringProperty(file, kBody);
    if (!body.isEmpty()) {
        sink.beginPart(QStringLiteral("本文"));
        mail::appendLines(sink, body);
    } else {
        QByteArray compressed, rtf;
        QString reason;
        if (file.read(streamName(kRtfCompressed, kBinary), &compressed, &reason)) {
            if (!decompressRtf(compressed, limits.memberBytes, &rtf, &reason))
                return {rtf.size() > limits.memberBytes ? Failure::OverLimit : Failure::Damaged,
                        reason,
                        {}};
            const ReadResult inner = readRtfDocument(rtf, limits);
            if (inner.failure == Failure::OverLimit)
                return inner;
            if (inner.ok()) {
                sink.beginPart(QStringLiteral("本文"));
                for (const QString &line : inner.text.lines) {
                    sink.append(line);
                    sink.endLineIfAny();
                }
            }
        }
    }
    if (sink.overLimit())
        return {Failure::OverLimit, QStringLiteral("over the text limit"), {}};
    return {Failure::None, {}, sink.take()};
}

} // namespace documents
