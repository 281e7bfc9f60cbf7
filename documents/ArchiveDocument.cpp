// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ArchiveDocument.h"

#include "documents/LegacyBytes.h"
#include "documents/ReadDocument.h"
#include "documents/TextSink.h"
#include "documents/ZipArchive.h"
#include "text/Cp932.h"
#include "text/EncodingMode.h"
#include "text/Unicode.h"

#include <QByteArray>
#include <QScopeGuard>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>
#include <libdeflate.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <locale.h>
#include <memory>
#include <optional>

namespace documents {

namespace {

using Clock = std::chrono::steady_clock;
using legacy::le16;
using legacy::le32;

// Whether these bytes, valid UTF-8 from first to last, are the name's text.
bool isUtf8(const char *data, qsizetype size)
{
    platform::Utf8Validator validator;
    validator.feed(data, size);
    return validator.finish();
}

// A name shown on one line: control characters as spaces.
QString oneLine(QString name)
{
    for (QChar &c : name)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    return name;
}

// A member's name for display: the bytes as stored when they are valid UTF-8
// (a name flagged UTF-8, or plain ASCII) or else code page 932, as Windows
// writes names in Japan; the UTF-8 form libarchive gives (the Info-ZIP
// Unicode path field, a UTF-8 flag, a pax path) when it has no bytes as
// stored. Nothing is ever opened by it.
QString memberName(archive_entry *entry)
{
    const char *utf8 = archive_entry_pathname_utf8(entry);
    const char *raw = archive_entry_pathname(entry);
    QString name;
    if (utf8 && (!raw || std::strcmp(utf8, raw) != 0 || isUtf8(raw, qsizetype(std::strlen(raw)))))
        name = QString::fromUtf8(utf8);
    else if (raw)
        name = isUtf8(raw, qsizetype(std::strlen(raw)))
                   ? QString::fromUtf8(raw)
                   : cp932::decode(raw, qsizetype(std::strlen(raw)));
    return oneLine(std::move(name));
}

// Whether the bytes are code page 932 text: every lead byte with a trail
// byte, every unit in the table. `bytes` comes back with a level 0 header's
// damage undone: there '\' parts folders, and libarchive turns every 5C into
// '/', a trail byte too (表 is 95 5C); a lead byte before '/' (no trail byte)
// can only be such a one.
bool isCp932(QByteArray &bytes)
{
    bool valid = true;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b < 0x80 || (b >= 0xA1 && b <= 0xDF))
            continue;
        if (!cp932::isLeadByte(b) || i + 1 == bytes.size()) {
            valid = false;
            continue;
        }
        if (bytes[i + 1] == '/')
            bytes[i + 1] = '\\';
        const auto trail = static_cast<unsigned char>(bytes[++i]);
        if (trail < 0x40 || trail == 0x7F || trail > 0xFC ||
            (cp932::decodePair(b, trail) == cp932::kReplacement && !(b == 0x81 && trail == 0x45)))
            valid = false;
    }
    return valid;
}

// An LZH archive's names. LHA keeps no mark of their code page: Japanese tools
// write code page 932, Unix ones (jlha, lha under a UTF-8 setting) UTF-8.
// libarchive is asked to give each name's bytes unchanged, as Latin-1 (every
// byte one character below U+0100), and each name is told by its bytes: valid
// UTF-8 that is no code page 932 is UTF-8, code page 932 that is no UTF-8 is
// code page 932. A name that is both (a few kanji pairs are valid UTF-8 too)
// is taken as the archive's earlier names were (one producer wrote them all),
// as UTF-8 before any; a name that is neither is shown as code page 932, its
// undefined bytes as ・. A name libarchive read from a header that says its
// code page (it then holds characters past U+00FF) is shown as given.
class LzhNames {
public:
    QString operator()(archive_entry *entry)
    {
        const char *given = archive_entry_pathname_utf8(entry);
        if (!given)
            return memberName(entry);
        const QString text = QString::fromUtf8(given);
        if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 0xFF; }))
            return oneLine(text);
        const QByteArray bytes = text.toLatin1();
        QByteArray asCp932 = bytes;
        const bool utf8 = isUtf8(bytes.constData(), bytes.size());
        const bool cp932 = isCp932(asCp932);
        if (utf8 != cp932)
            m_utf8 = utf8;
        return oneLine(utf8 && (m_utf8 || !cp932) ? QString::fromUtf8(bytes)
                                                  : cp932::decode(asCp932));
    }

private:
    bool m_utf8 = true;
};

// libarchive turns names it must convert (an LZH's, given as Latin-1; an
// ISO 9660 image's Joliet names, in UCS-2) into the reading thread's
// locale, and fails the whole archive at the first name it cannot: in the C
// locale, at the first Japanese name. The reading is done under C.UTF-8 on
// its own thread (the process's locale is left as it is); none when that
// locale is missing, and then such names stop the archive, named.
locale_t utf8Locale()
{
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    return utf8;
}

class Utf8Names {
public:
    Utf8Names() : m_before(utf8Locale() ? uselocale(utf8Locale()) : locale_t(0)) {}
    ~Utf8Names()
    {
        if (m_before)
            uselocale(m_before);
    }
    Utf8Names(const Utf8Names &) = delete;
    Utf8Names &operator=(const Utf8Names &) = delete;

private:
    locale_t m_before;
};

// An Office Open XML or OpenDocument zip, by its members' names alone.
bool isOfficeZip(QByteArrayView bytes, const Limits &limits)
{
    ZipArchive zip(bytes, limits);
    if (zip.failed())
        return false;
    if (zip.find("[Content_Types].xml") >= 0)
        return true;
    if (zip.memberCount() == 0 || zip.memberName(0) != "mimetype")
        return false;
    QByteArray mimetype;
    return zip.readAll(0, mimetype, 256) &&
           mimetype.startsWith("application/vnd.oasis.opendocument");
}

class ZipDirectory;

// The archive's reading: what all its archives together have cost so far,
// the text, and what was not read.
class ArchiveText {
public:
    ArchiveText(const ArchiveChoice &choice, const Limits &limits, qint64 stored,
                const MemberCalls *members)
        : m_choice(choice), m_limits(limits), m_members(members),
          m_stored(std::max<qint64>(stored, 1)),
          m_deadline(Clock::now() + std::chrono::milliseconds(limits.archiveMilliseconds)),
          m_sink(Kind::Archive, limits)
    {}

    // Reads the archive `bytes` whose members' paths begin with `prefix`.
    // NotDocument when libarchive sees no archive there; Unsupported for a
    // UDF disc image without ISO 9660 (libarchive reads no UDF); Encrypted
    // when it could not read for a password; else None (what failed is
    // noted).
    Failure read(QByteArrayView bytes, const QString &prefix, int depth);

    bool stopped() const
    {
        return m_found || !m_stop.isEmpty() || m_sink.overLimit() || (m_needsPdf && !m_members);
    }
    // A PDF member was met that this process cannot read, and nothing found.
    bool needsPdf() const { return m_needsPdf && !m_found; }
    ReadResult take();

private:
    enum class Open { Ok, NotArchive, Encrypted };
    void note(const QString &path, const QString &why)
    {
        if (m_notes.size() < 3)
            m_notes << path + QStringLiteral(": ") + why;
        ++m_noted;
    }
    // Stops the whole archive, naming where.
    void stop(const QString &path, const QString &why)
    {
        if (m_stop.isEmpty())
            m_stop = (path.isEmpty() ? QString() : path + QStringLiteral(": ")) + why;
    }
    // Inflates the current member into `out` (kept from member to member,
    // its size the room it has), counting every byte: the member's size, or
    // -1 when it could not be read or a limit was reached (noted or stopped).
    qsizetype inflate(archive *a, const QString &path, QByteArray &out);
    // The limit a member of `have` bytes, with `inflated` bytes of the whole
    // archive so far, is over (as a reason); empty when it is inside them all.
    QString overLimit(qsizetype have, qint64 inflated) const;
    // A gzip file read from its whole inflated text (inflateGzip()): a tar or
    // cpio inside, or the one file it holds. False where it was not read so:
    // read() then streams it, and says why where that fails.
    bool readGzipWhole(QByteArrayView bytes, const QString &prefix, int depth);
    // The members of the open archive `a`, whose first header is `first`.
    void readMembers(archive *a, QByteArrayView bytes, int first, archive_entry *entry, bool raw,
                     const QString &prefix, int depth);
    // The zip member `entry` of the zip `bytes` inflated whole into `out`
    // (or, stored, left where it is), counted, as `member`; false where
    // libarchive is to read it (ZipDirectory, readZipMember()).
    bool readZipMember(const ZipDirectory &directory, QByteArrayView bytes, archive_entry *entry,
                       QByteArray &out, QByteArrayView &member);
    // One member's bytes, read as the file it is.
    void member(QByteArrayView bytes, const QString &path, int depth);
    void appendDocument(const ReadResult &document, const QString &path);
    void appendText(QByteArrayView bytes, const QString &path);

    ArchiveChoice m_choice;
    const Limits &m_limits;
    const MemberCalls *m_members; // a search's, which takes the members in place of m_sink
    bool m_found = false;         // m_members took one: nothing more is read
    bool m_needsPdf = false;
    qint64 m_stored;
    Clock::time_point m_deadline;
    TextSink m_sink;
    qint64 m_inflated = 0;
    int m_memberCount = 0;
    QStringList m_notes;
    int m_noted = 0;
    QString m_stop;
};

QString udfReason()
{
    return QStringLiteral("a UDF disc image: only ISO 9660 images are read");
}

struct ArchiveDeleter {
    void operator()(archive *a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;

// A reader for the containers and filters read here, and only those: the
// rest of libarchive's list would start external programs (which the
// sandbox refuses) or take text for an archive (mtree). `raw`: a single
// compressed file, as its one member.
ArchivePtr openArchive(QByteArrayView bytes, bool raw)
{
    ArchivePtr a(archive_read_new());
    if (!a)
        throw std::bad_alloc();
    archive *p = a.get();
    archive_read_support_filter_gzip(p);
    archive_read_support_filter_bzip2(p);
    archive_read_support_filter_xz(p);
    archive_read_support_filter_lzma(p);
    archive_read_support_filter_zstd(p);
    archive_read_support_filter_lz4(p);
    archive_read_support_filter_compress(p);
    if (raw) {
        archive_read_support_format_raw(p);
    } else {
        archive_read_support_format_zip(p);
        archive_read_support_format_7zip(p);
        archive_read_support_format_lha(p);
        archive_read_support_format_tar(p);
        archive_read_support_format_cpio(p);
        archive_read_support_format_cab(p);
        archive_read_support_format_iso9660(p);
        archive_read_support_format_rar(p);
        archive_read_support_format_rar5(p);
        // An LZH's names as their bytes are (LzhNames), which libarchive
        // gives in UTF-8 (Utf8Names).
        if (utf8Locale())
            archive_read_set_format_option(p, "lha", "hdrcharset", "ISO-8859-1");
    }
    if (archive_read_open_memory(p, bytes.data(), size_t(bytes.size())) != ARCHIVE_OK)
        return nullptr;
    return a;
}

// Room for a depth's members, and for a gzip file inflated whole, kept from
// one archive to the next on this thread while it is small (most are): no new
// allocation, and no pages to fault in again, for each archive.
enum class Room { Members, Inflated };

QByteArray &room(int depth, Room which)
{
    thread_local std::deque<QByteArray> rooms[2];
    std::deque<QByteArray> &kept = rooms[which == Room::Members ? 0 : 1];
    while (qsizetype(kept.size()) <= depth)
        kept.emplace_back();
    return kept[std::size_t(depth)];
}

void keepIfSmall(QByteArray &room)
{
    constexpr qsizetype kKeptRoom = qsizetype(4) << 20;
    if (room.size() > kKeptRoom)
        room = QByteArray();
}

// A gzip file as large as this inflated is inflated in one call, into memory
// (most are). A larger one is streamed: a search that finds its words in
// the first members stops there, and memory stays bounded.
constexpr qint64 kWholeGzipBytes = qint64(4) << 20;

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

// This thread's libdeflate inflater; nullptr where it could not be made.
libdeflate_decompressor *wholeInflater()
{
    thread_local const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> inflater(
        libdeflate_alloc_decompressor());
    return inflater.get();
}

// The gzip file `bytes` inflated whole into `out` by libdeflate, three times
// as fast as streaming it through zlib: its inflated size, or -1 where it is
// not one gzip member, is damaged, or says in its trailer that it is over
// `cap` or holds less than it does (it is then streamed, and counted as it
// is, which names what is wrong). The trailer's size only sizes the room; the
// inflater never writes past it, and checks it against what it inflated.
qsizetype inflateGzip(QByteArrayView bytes, qint64 cap, QByteArray &out)
{
    const char *b = bytes.data();
    const qsizetype n = bytes.size();
    if (n < 18 || b[0] != '\x1F' || b[1] != '\x8B' || b[2] != 8)
        return -1;
    const qint64 said = le32(b + n - 4);
    if (said > cap)
        return -1;
    libdeflate_decompressor *const inflater = wholeInflater();
    if (!inflater)
        return -1;
    try {
        if (out.size() <= said)
            out.resize(qsizetype(said) + 1);
    } catch (const std::bad_alloc &) {
        return -1;
    }
    size_t read = 0;
    size_t wrote = 0;
    if (libdeflate_gzip_decompress_ex(inflater, b, size_t(n), out.data(), size_t(said), &read,
                                      &wrote) != LIBDEFLATE_SUCCESS ||
        read != size_t(n))
        return -1;
    return qsizetype(wrote);
}

// A zip's central directory (PKWARE's APPNOTE, 4.3.12 and 4.3.16), read from
// the archive in memory so that a member can be inflated straight from its
// bytes, in one call, rather than streamed through libarchive (ZipDirectory
// ::find() says which). Empty where the end record, a record or the
// directory's place is not as the format puts them, and for zip64.
class ZipDirectory {
public:
    struct Record {
        QByteArrayView name;
        quint32 flags, method, crc;
        qint64 stored, size, local; // local: its local header's offset in the bytes
    };

    explicit ZipDirectory(QByteArrayView bytes)
    {
        const char *u = bytes.data();
        const qsizetype n = bytes.size();
        constexpr qsizetype kEnd = 22;
        constexpr qsizetype kEntry = 46;
        qsizetype end = -1;
        for (qsizetype at = n - kEnd; at >= 0 && at >= n - kEnd - 0xFFFF; --at) {
            if (isZipEndAt(u, n, at)) {
                end = at;
                break;
            }
        }
        if (end < 0 || le16(u + end + 4) != 0 || le16(u + end + 6) != 0)
            return;
        const quint32 entries = le16(u + end + 10);
        const qint64 size = le32(u + end + 12);
        const qint64 offset = le32(u + end + 16);
        if (le16(u + end + 8) != entries || entries == 0xFFFF || size == 0xFFFFFFFF ||
            offset == 0xFFFFFFFF || size > end)
            return;
        // The bytes before the zip (a program's, where its offsets were not
        // adjusted to count from the file's start).
        const qint64 base = end - size - offset;
        if (base < 0)
            return;
        std::vector<Record> records;
        records.reserve(entries);
        for (qsizetype at = end - size; records.size() < entries;) {
            if (at + kEntry > end || le32(u + at) != 0x02014B50)
                return;
            const qsizetype next =
                at + kEntry + le16(u + at + 28) + le16(u + at + 30) + le16(u + at + 32);
            if (next > end)
                return;
            records.push_back({QByteArrayView(bytes.data() + at + kEntry, le16(u + at + 28)),
                               le16(u + at + 8), le16(u + at + 10), le32(u + at + 16),
                               le32(u + at + 20), le32(u + at + 24), base + le32(u + at + 42)});
            at = next;
        }
        m_records = std::move(records);
        m_byName.resize(m_records.size());
        for (std::size_t i = 0; i < m_byName.size(); ++i)
            m_byName[i] = i;
        std::sort(m_byName.begin(), m_byName.end(), [this](std::size_t a, std::size_t b) {
            return m_records[a].name < m_records[b].name;
        });
    }

    // The record of the member libarchive names `name` and sizes `size`
    // (-1: not said), where exactly one record has that name (several: which
    // is which is libarchive's to say); else nullptr.
    const Record *find(QByteArrayView name, qint64 size) const
    {
        const auto [first, last] =
            std::equal_range(m_byName.begin(), m_byName.end(), name, Less{m_records});
        if (last - first != 1)
            return nullptr;
        const Record &record = m_records[*first];
        return size < 0 || size == record.size ? &record : nullptr;
    }

private:
    struct Less {
        const std::vector<Record> &records;
        bool operator()(std::size_t a, QByteArrayView name) const { return records[a].name < name; }
        bool operator()(QByteArrayView name, std::size_t a) const { return name < records[a].name; }
    };
    std::vector<Record> m_records;
    std::vector<std::size_t> m_byName;
};

// Whether the member's local header (or, where it defers them and holds
// zeros, the data descriptor after its data) gives the sum and sizes its
// directory record gives: libarchive reads by the local ones, and where they
// differ it is left to say what it makes of them.
bool sameSizes(const char *u, qsizetype n, const char *header, qint64 data,
               const ZipDirectory::Record &record)
{
    const char *sizes = header + 14;
    if ((le16(header + 6) & 8) != 0) {
        // Deferred, the local fields are zeros (APPNOTE 4.4.4).
        if (le32(sizes) != 0 || le32(sizes + 4) != 0 || le32(sizes + 8) != 0)
            return false;
        const qint64 after = data + record.stored;
        if (after + 16 <= n && le32(u + after) == 0x08074B50)
            sizes = u + after + 4;
        else if (after + 12 <= n)
            sizes = u + after;
        else
            return false;
    }
    return le32(sizes) == record.crc && le32(sizes + 4) == record.stored &&
           le32(sizes + 8) == record.size;
}

QString errorOf(archive *a)
{
    const char *why = archive_error_string(a);
    return why ? QString::fromUtf8(why) : QStringLiteral("damaged");
}

bool isEncryptionError(archive *a)
{
    const char *why = archive_error_string(a);
    return why && (std::strstr(why, "ncrypt") || std::strstr(why, "assphrase"));
}

Failure ArchiveText::read(QByteArrayView bytes, const QString &prefix, int depth)
{
    // Its system area, zeros, would pass for an empty tar.
    if (isUdfImage(bytes.data(), std::min(bytes.size(), kArchiveSniffBytes)))
        return Failure::Unsupported;
    if (readGzipWhole(bytes, prefix, depth))
        return Failure::None;
    ArchivePtr a = openArchive(bytes, false);
    archive_entry *entry = nullptr;
    int first = a ? archive_read_next_header(a.get(), &entry) : ARCHIVE_FATAL;
    bool raw = false;
    if (first < ARCHIVE_WARN) {
        if (a && archive_read_has_encrypted_entries(a.get()) > 0)
            return Failure::Encrypted;
        if (a && isEncryptionError(a.get()))
            return Failure::Encrypted;
        // No container: a compressed single file, or no archive at all.
        a = openArchive(bytes, true);
        first = a ? archive_read_next_header(a.get(), &entry) : ARCHIVE_FATAL;
        if (first < ARCHIVE_WARN || archive_filter_count(a.get()) <= 1)
            return Failure::NotDocument;
        raw = true;
    }
    readMembers(a.get(), bytes, first, entry, raw, prefix, depth);
    return Failure::None;
}

void ArchiveText::readMembers(archive *a, QByteArrayView bytes, int first, archive_entry *entry,
                              bool raw, const QString &prefix, int depth)
{
    QByteArray &data = room(depth, Room::Members);
    const auto release = qScopeGuard([&data] { keepIfSmall(data); });
    const int format = archive_format(a) & ARCHIVE_FORMAT_BASE_MASK;
    const bool lzh = !raw && utf8Locale() && format == ARCHIVE_FORMAT_LHA;
    std::optional<ZipDirectory> directory;
    if (!raw && format == ARCHIVE_FORMAT_ZIP && m_limits.archiveWholeInflate)
        directory.emplace(bytes);
    LzhNames lzhName;
    for (int r = first; !stopped(); r = archive_read_next_header(a, &entry)) {
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN) {
            note(prefix.isEmpty() ? QStringLiteral("archive") : prefix.chopped(1),
                 isEncryptionError(a) ? QStringLiteral("encrypted") : errorOf(a));
            break;
        }
        if (++m_memberCount > m_limits.archiveMembers) {
            stop(QString(),
                 QStringLiteral("over the %1 member limit").arg(m_limits.archiveMembers));
            break;
        }
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue; // folders, links, devices: nothing to read
        // A single compressed file's member is the file itself: at the top
        // it has no path of its own, inside an archive the compressed one's.
        const QString path = raw ? prefix.chopped(prefix.isEmpty() ? 0 : 1)
                                 : prefix + (lzh ? lzhName(entry) : memberName(entry));
        if (archive_entry_is_encrypted(entry)) {
            note(path, QStringLiteral("encrypted"));
            continue;
        }
        QByteArrayView whole;
        if (directory && readZipMember(*directory, bytes, entry, data, whole)) {
            member(whole, path, depth);
            continue;
        }
        const qsizetype size = inflate(a, path, data);
        if (size >= 0)
            member(QByteArrayView(data.constData(), size), path, depth);
    }
}

qsizetype ArchiveText::inflate(archive *a, const QString &path, QByteArray &out)
{
    constexpr qsizetype kChunk = qsizetype(64) << 10;
    qsizetype have = 0;
    for (;;) {
        // Grown by what came, never by what the header announced.
        if (out.size() - have < kChunk)
            out.resize(std::max<qsizetype>(2 * out.size(), have + kChunk));
        const la_ssize_t n = archive_read_data(a, out.data() + have, size_t(kChunk));
        if (n == 0)
            break;
        if (n < 0) {
            note(path, isEncryptionError(a) ? QStringLiteral("encrypted") : errorOf(a));
            return -1;
        }
        have += n;
        m_inflated += n;
        if (const QString why = overLimit(have, m_inflated); !why.isEmpty()) {
            stop(path, why);
            return -1;
        }
    }
    return have;
}

bool ArchiveText::readZipMember(const ZipDirectory &directory, QByteArrayView bytes,
                                archive_entry *entry, QByteArray &out, QByteArrayView &member)
{
    const char *name = archive_entry_pathname(entry);
    if (!name)
        return false;
    const ZipDirectory::Record *record =
        directory.find(QByteArrayView(name, qsizetype(std::strlen(name))),
                       archive_entry_size_is_set(entry) ? qint64(archive_entry_size(entry)) : -1);
    // Not encrypted, stored or deflated, no zip64 size, its local header
    // where the directory says and its bytes inside the archive; the size
    // the directory gives only sizes the room, and must be what the stored
    // bytes inflate to, every one of them, with the sum the directory gives.
    // Anything else is libarchive's to read, which says what is wrong.
    if (!record || (record->flags & 1) != 0 || (record->method != 0 && record->method != 8) ||
        record->stored == 0xFFFFFFFF || record->size == 0xFFFFFFFF ||
        record->local + 30 > bytes.size())
        return false;
    const char *u = bytes.data();
    const char *header = u + record->local;
    const qint64 at = record->local + 30 + le16(header + 26) + le16(header + 28);
    if (le32(header) != 0x04034B50 || (le16(header + 6) & 1) != 0 ||
        le16(header + 8) != record->method || at + record->stored > bytes.size() ||
        !sameSizes(u, bytes.size(), header, at, *record) ||
        !overLimit(record->size, m_inflated + record->size).isEmpty())
        return false;
    const qsizetype size = qsizetype(record->size);
    if (record->method == 0) {
        if (record->stored != record->size ||
            libdeflate_crc32(0, u + at, size_t(size)) != record->crc)
            return false;
        member = QByteArrayView(bytes.data() + at, size);
    } else {
        libdeflate_decompressor *const inflater = wholeInflater();
        if (!inflater)
            return false;
        try {
            if (out.size() < size)
                out.resize(std::max(2 * out.size(), size));
        } catch (const std::bad_alloc &) {
            return false;
        }
        size_t used = 0;
        size_t wrote = 0;
        if (libdeflate_deflate_decompress_ex(inflater, u + at, size_t(record->stored), out.data(),
                                             size_t(size), &used, &wrote) != LIBDEFLATE_SUCCESS ||
            used != size_t(record->stored) || wrote != size_t(size) ||
            libdeflate_crc32(0, out.constData(), wrote) != record->crc)
            return false;
        member = QByteArrayView(out.constData(), size);
    }
    m_inflated += size;
    return true;
}

QString ArchiveText::overLimit(qsizetype have, qint64 inflated) const
{
    if (have > m_limits.archiveMemberBytes)
        return QStringLiteral("over the %1 MiB member limit")
            .arg(m_limits.archiveMemberBytes >> 20);
    if (inflated > m_limits.archiveBytes)
        return QStringLiteral("over the %1 MiB archive limit").arg(m_limits.archiveBytes >> 20);
    if (inflated > m_limits.archiveRatioFloorBytes && inflated / m_stored > m_limits.archiveRatio)
        return QStringLiteral("inflates over %1 times its size").arg(m_limits.archiveRatio);
    if (Clock::now() > m_deadline)
        return QStringLiteral("over the %1 s archive time limit")
            .arg(m_limits.archiveMilliseconds / 1000);
    return {};
}

bool ArchiveText::readGzipWhole(QByteArrayView bytes, const QString &prefix, int depth)
{
    if (!m_limits.archiveWholeInflate)
        return false;
    QByteArray &whole = room(depth, Room::Inflated);
    const auto release = qScopeGuard([&whole] { keepIfSmall(whole); });
    const qsizetype size =
        inflateGzip(bytes, std::min<qint64>(kWholeGzipBytes, m_limits.archiveBytes), whole);
    if (size < 0)
        return false;
    const QByteArrayView inner(whole.constData(), size);
    ArchivePtr a = openArchive(inner, false);
    archive_entry *entry = nullptr;
    const int first = a ? archive_read_next_header(a.get(), &entry) : ARCHIVE_FATAL;
    // Read from memory as it was through the filter only where the format
    // reads the same streamed or not: tar and cpio. The rest (a zip or 7z
    // in a gzip file, rare) is streamed as before.
    if (first >= ARCHIVE_WARN) {
        const int format = archive_format(a.get()) & ARCHIVE_FORMAT_BASE_MASK;
        if (archive_filter_count(a.get()) > 1 ||
            (format != ARCHIVE_FORMAT_TAR && format != ARCHIVE_FORMAT_CPIO))
            return false;
        readMembers(a.get(), inner, first, entry, false, prefix, depth);
        return true;
    }
    if (a && (archive_read_has_encrypted_entries(a.get()) > 0 || isEncryptionError(a.get())))
        return false;
    // No container: the one file it holds, where that is not compressed
    // again and stays inside the limits (streamed, it is stopped where it
    // crosses one, which is named).
    const ArchivePtr single = openArchive(inner, true);
    if (!single || archive_filter_count(single.get()) > 1 ||
        m_memberCount + 1 > m_limits.archiveMembers ||
        !overLimit(size, m_inflated + size).isEmpty())
        return false;
    ++m_memberCount;
    m_inflated += size;
    member(inner, prefix.chopped(prefix.isEmpty() ? 0 : 1), depth);
    return true;
}

void ArchiveText::member(QByteArrayView bytes, const QString &path, int depth)
{
    const qsizetype head = std::min(bytes.size(), kSniffBytes);
    if (m_choice.documents) {
        const Container container = sniff(bytes.data(), head);
        if (container != Container::None) {
            const ReadResult document = readDocument(bytes, container, m_limits);
            if (document.failure == Failure::NeedsPdfReader) {
                // Read again, whole, by the helper that reads PDF; a search
                // first looks at the other members, which may be enough.
                m_needsPdf = true;
                return;
            }
            if (document.ok()) {
                appendDocument(document, path);
                return;
            }
            if (document.failure != Failure::NotDocument) {
                note(path, document.failure == Failure::Encrypted ? QStringLiteral("encrypted")
                                                                  : document.reason);
                return;
            }
        }
    }
    const qsizetype tail = std::min(bytes.size(), kZipTailBytes);
    const bool archive =
        sniffArchive(bytes.data(), std::min(bytes.size(), kArchiveSniffBytes)) != Container::None ||
        (isProgram(bytes.data(), head) &&
         zipAtEnd(bytes.data() + bytes.size() - tail, tail, bytes.size()));
    if (archive && (m_choice.documents || !isOfficeZip(bytes, m_limits))) {
        if (depth + 1 > m_limits.archiveDepth) {
            note(path, QStringLiteral("an archive more than %1 deep is not entered")
                           .arg(m_limits.archiveDepth));
            return;
        }
        const Failure inner = read(bytes, path + u'/', depth + 1);
        if (inner == Failure::Encrypted)
            note(path, QStringLiteral("encrypted"));
        if (inner == Failure::Unsupported)
            note(path, udfReason());
        if (inner != Failure::NotDocument)
            return;
    }
    appendText(bytes, path);
}

void ArchiveText::appendDocument(const ReadResult &document, const QString &path)
{
    const std::vector<QString> &lines = document.text.lines;
    if (m_members) {
        m_found = m_members->lines(lines);
        return;
    }
    const std::vector<Location> &parts = document.text.locations;
    m_sink.beginPart(path);
    std::size_t part = 0;
    for (std::size_t i = 0; i < lines.size() && !m_sink.overLimit(); ++i) {
        for (; part < parts.size() && parts[part].line == qsizetype(i); ++part)
            m_sink.beginPart(path + QStringLiteral(" (") + parts[part].label + u')');
        m_sink.append(lines[i]);
        m_sink.endLine();
    }
}

// The member as a text file of the choice's encoding mode: its lines end
// where a text file's would (a lone LF ends one only outside code page 932).
void ArchiveText::appendText(QByteArrayView bytes, const QString &path)
{
    if (m_members) {
        m_found = m_members->text(bytes);
        return;
    }
    m_sink.beginPart(path);
    const platform::FileDecision decision =
        platform::decideEncoding(m_choice.encoding, bytes.data(), bytes.size());
    const QString text = decision.encoding == platform::FileEncoding::Cp932
                             ? cp932::decode(bytes.data(), bytes.size())
                             : platform::decodeUnicodeFile(decision, bytes.data(), bytes.size());
    const bool lineFeeds = platform::lineFeedEndsLine(m_choice.encoding);
    const char16_t *units = reinterpret_cast<const char16_t *>(text.constData());
    const qsizetype size = text.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < size && !m_sink.overLimit(); ++i) {
        const char16_t c = units[i];
        if (c != u'\r' && (c != u'\n' || !lineFeeds))
            continue;
        m_sink.append(QStringView(units + start, i - start));
        m_sink.endLine();
        if (c == u'\r' && i + 1 < size && units[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size) {
        m_sink.append(QStringView(units + start, size - start));
        m_sink.endLine();
    }
}

ReadResult ArchiveText::take()
{
    ReadResult result;
    if (m_sink.overLimit())
        stop(QString(), QStringLiteral("over the %1 MiB text limit").arg(m_limits.textUnits >> 19));
    QStringList why;
    if (!m_stop.isEmpty())
        why << m_stop;
    why << m_notes;
    if (m_noted > m_notes.size())
        why << QStringLiteral("%1 more").arg(m_noted - m_notes.size());
    result.reason = why.join(QStringLiteral("; "));
    result.text = m_sink.take();
    return result;
}

} // namespace

ReadResult readArchiveDocument(QByteArrayView bytes, const ArchiveChoice &choice,
                               const Limits &limits, const MemberCalls *members)
{
    if (bytes.size() > limits.fileBytes)
        return {Failure::OverLimit,
                QStringLiteral("over the %1 MiB document limit").arg(limits.fileBytes >> 20),
                {}};
    const qsizetype head = std::min(bytes.size(), kSniffBytes);
    if (sniff(bytes.data(), head) == Container::Zip) {
        // An Office or OpenDocument file is a document, not an archive.
        if (choice.documents) {
            ReadResult document = readZipDocument(bytes, limits);
            if (document.failure != Failure::NotDocument) {
                if (members && document.ok()) {
                    members->lines(document.text.lines);
                    document.text.lines.clear();
                    document.text.locations.clear();
                }
                return document;
            }
        } else if (isOfficeZip(bytes, limits)) {
            return {Failure::NotDocument, {}, {}};
        }
    }
    const Utf8Names names;
    ArchiveText text(choice, limits, bytes.size(), members);
    const Failure failure = text.read(bytes, QString(), 0);
    if (failure == Failure::NotDocument)
        return {Failure::NotDocument, {}, {}};
    if (failure == Failure::Encrypted)
        return {Failure::Encrypted, QStringLiteral("encrypted"), {}};
    if (failure == Failure::Unsupported)
        return {Failure::Unsupported, udfReason(), {}};
    if (text.needsPdf())
        return {Failure::NeedsPdfReader, QStringLiteral("PDF member"), {}};
    return text.take();
}

ReadResult readArchiveDocument(QByteArrayView bytes, const ArchiveChoice &choice,
                               const Limits &limits, MemberSink &sink)
{
    const MemberCalls calls{
        [&sink](QByteArrayView member) { return sink.textMember(member); },
        [&sink](const std::vector<QString> &lines) { return sink.documentLines(lines); }};
    return readArchiveDocument(bytes, choice, limits, &calls);
}

} // namespace documents
