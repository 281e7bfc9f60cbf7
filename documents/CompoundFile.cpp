// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/CompoundFile.h"

#include "documents/LegacyBytes.h"

#include <algorithm>
#include <unordered_set>

namespace documents::cfb {

using legacy::le16;
using legacy::le32;
using legacy::le64;

namespace {

constexpr quint32 kMaxRegular = 0xFFFFFFFA;
constexpr quint32 kEndOfChain = 0xFFFFFFFE;
constexpr quint32 kFree = 0xFFFFFFFF;
constexpr qint64 kEntryBytes = 128;
constexpr int kMiniShift = 6;

bool fail(QString *reason, const char *what)
{
    *reason = QString::fromLatin1(what);
    return false;
}

} // namespace

std::optional<CompoundFile> CompoundFile::open(QByteArrayView bytes, QString *reason)
{
    static constexpr char kSignature[] = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";
    if (bytes.size() < 512 || QByteArrayView(bytes.data(), 8) != QByteArrayView(kSignature, 8)) {
        fail(reason, "damaged compound file: no header");
        return std::nullopt;
    }
    const char *h = bytes.data();
    const quint16 major = le16(h + 0x1A);
    const quint16 shift = le16(h + 0x1E);
    if (le16(h + 0x1C) != 0xFFFE || !((major == 3 && shift == 9) || (major == 4 && shift == 12)) ||
        le16(h + 0x20) != kMiniShift) {
        fail(reason, "damaged compound file: bad header");
        return std::nullopt;
    }
    CompoundFile file;
    file.m_bytes = bytes;
    file.m_sectorShift = shift;
    const qint64 sectorSize = qint64(1) << shift;
    // The header fills sector -1; a short last sector is read as far as it goes.
    file.m_sectorCount = (bytes.size() - sectorSize + sectorSize - 1) / sectorSize;
    if (file.m_sectorCount <= 0) {
        fail(reason, "damaged compound file: no sectors");
        return std::nullopt;
    }
    const qint64 perSector = sectorSize / 4;

    // The allocation table's sectors: 109 in the header, the rest in a chain
    // of DIFAT sectors, each ending with the next one's number.
    const qint64 fatSectors = le32(h + 0x2C);
    if (fatSectors > file.m_sectorCount) {
        fail(reason, "damaged compound file: more table sectors than the file holds");
        return std::nullopt;
    }
    std::vector<quint32> fatIds;
    fatIds.reserve(size_t(fatSectors));
    for (int i = 0; i < 109 && qint64(fatIds.size()) < fatSectors; ++i)
        fatIds.push_back(le32(h + 0x4C + 4 * i));
    quint32 difat = le32(h + 0x44);
    qint64 difatSeen = 0;
    while (qint64(fatIds.size()) < fatSectors) {
        if (difat > kMaxRegular || difat >= file.m_sectorCount ||
            ++difatSeen > file.m_sectorCount) {
            fail(reason, "damaged compound file: broken DIFAT chain");
            return std::nullopt;
        }
        const qint64 at = (qint64(difat) + 1) * sectorSize;
        if (!legacy::fits(bytes, at, sectorSize)) {
            fail(reason, "damaged compound file: DIFAT sector past the end");
            return std::nullopt;
        }
        for (qint64 i = 0; i < perSector - 1 && qint64(fatIds.size()) < fatSectors; ++i)
            fatIds.push_back(le32(bytes.data() + at + 4 * i));
        difat = le32(bytes.data() + at + 4 * (perSector - 1));
    }
    // Entries past the file's last sector could only name sectors that are
    // not there, so the table is cut to the file.
    file.m_fat.reserve(size_t(std::min(fatSectors * perSector, file.m_sectorCount)));
    for (const quint32 id : fatIds) {
        if (id >= file.m_sectorCount) {
            fail(reason, "damaged compound file: table sector past the end");
            return std::nullopt;
        }
        const qint64 at = (qint64(id) + 1) * sectorSize;
        for (qint64 i = 0; i < perSector && qint64(file.m_fat.size()) < file.m_sectorCount; ++i)
            file.m_fat.push_back(
                legacy::fits(bytes, at + 4 * i, 4) ? le32(bytes.data() + at + 4 * i) : kFree);
    }

    // The directory.
    QByteArray directory;
    if (!file.readRegular(le32(h + 0x30), -1, &directory, reason)) {
        *reason = QStringLiteral("damaged compound file: directory: ") + *reason;
        return std::nullopt;
    }
    const qint64 entryCount = directory.size() / kEntryBytes;
    if (entryCount < 1 || directory.at(0x42) != 5) {
        fail(reason, "damaged compound file: no root entry");
        return std::nullopt;
    }
    file.m_directory = std::move(directory);
    file.m_major = major;
    file.m_entryCount = entryCount;
    const Entry root = file.entryAt(0);
    if (qint64(root.size) > bytes.size()) {
        fail(reason, "damaged compound file: mini stream larger than the file");
        return std::nullopt;
    }
    file.m_miniCutoff = le32(h + 0x38);
    if (root.size > 0) {
        if (!file.readRegular(root.start, qint64(root.size), &file.m_miniStream, reason)) {
            *reason = QStringLiteral("damaged compound file: mini stream: ") + *reason;
            return std::nullopt;
        }
        QByteArray miniFat;
        if (le32(h + 0x3C) <= kMaxRegular &&
            !file.readRegular(le32(h + 0x3C), -1, &miniFat, reason)) {
            *reason = QStringLiteral("damaged compound file: mini table: ") + *reason;
            return std::nullopt;
        }
        const qint64 miniSectors = qint64(root.size) >> kMiniShift;
        for (qint64 i = 0; i + 4 <= miniFat.size() && i / 4 <= miniSectors; i += 4)
            file.m_miniFat.push_back(le32(miniFat.constData() + i));
    }

    if (!file.walk(root.child, &file.m_top, reason))
        return std::nullopt;
    return file;
}

Entry CompoundFile::entryAt(quint32 i) const
{
    const char *e = m_directory.constData() + qint64(i) * kEntryBytes;
    Entry entry;
    const int nameBytes = std::min<int>(le16(e + 0x40), 64);
    for (int k = 0; k + 1 < nameBytes; k += 2) {
        const char16_t c = le16(e + k);
        if (c == 0)
            break;
        entry.name.append(QChar(c));
    }
    entry.type = static_cast<unsigned char>(e[0x42]);
    entry.id = i;
    entry.child = le32(e + 0x4C);
    entry.start = le32(e + 0x74);
    entry.size = m_major == 3 ? le32(e + 0x78) : le64(e + 0x78);
    return entry;
}

bool CompoundFile::walk(quint32 first, std::vector<Entry> *out, QString *reason) const
{
    // A storage's children: a tree threaded through left and right
    // (siblings); walked without recursion, each entry at most once.
    out->clear();
    std::unordered_set<quint32> seen;
    std::vector<quint32> stack;
    if (first < m_entryCount)
        stack.push_back(first);
    while (!stack.empty()) {
        const quint32 i = stack.back();
        stack.pop_back();
        if (!seen.insert(i).second)
            return fail(reason, "damaged compound file: directory loops");
        out->push_back(entryAt(i));
        const char *e = m_directory.constData() + qint64(i) * kEntryBytes;
        for (const quint32 next : {le32(e + 0x44), le32(e + 0x48)})
            if (next < m_entryCount)
                stack.push_back(next);
    }
    return true;
}

bool CompoundFile::children(const Entry &storage, std::vector<Entry> *out, QString *reason) const
{
    if (storage.type != 1 && storage.type != 5)
        return fail(reason, "damaged compound file: not a storage");
    return walk(storage.child, out, reason);
}

bool CompoundFile::chain(const std::vector<quint32> &table, quint32 start, qint64 unitCount,
                         std::vector<quint32> *out, QString *reason) const
{
    // unitCount < 0: to the end of the chain; otherwise that many units.
    std::vector<bool> seen(table.size(), false);
    quint32 at = start;
    while (unitCount < 0 || qint64(out->size()) < unitCount) {
        if (at == kEndOfChain) {
            if (unitCount < 0)
                return true;
            return fail(reason, "chain shorter than its stream");
        }
        if (at >= table.size())
            return fail(reason, "chain points past the end");
        if (seen[at])
            return fail(reason, "chain loops");
        seen[at] = true;
        out->push_back(at);
        at = table[at];
    }
    return true;
}

bool CompoundFile::readRegular(quint32 start, qint64 size, QByteArray *out, QString *reason) const
{
    std::vector<quint32> sectors;
    const qint64 sectorSize = qint64(1) << m_sectorShift;
    if (!chain(m_fat, start, size < 0 ? -1 : (size + sectorSize - 1) / sectorSize, &sectors,
               reason))
        return false;
    const qint64 total = size < 0 ? qint64(sectors.size()) * sectorSize : size;
    // Sector s is at (s + 1) * sectorSize; a chain of consecutive sectors is
    // one span of the file, copied at once.
    std::vector<std::pair<qint64, qint64>> spans; // offset in the file, bytes
    qint64 left = total;
    for (const quint32 s : sectors) {
        const qint64 at = (qint64(s) + 1) * sectorSize;
        const qint64 want = std::min(sectorSize, left);
        if (!legacy::fits(m_bytes, at, want))
            return fail(reason, "sector past the end of the file");
        if (!spans.empty() && spans.back().first + spans.back().second == at)
            spans.back().second += want;
        else
            spans.emplace_back(at, want);
        left -= want;
    }
    out->clear();
    out->reserve(total);
    for (const auto &[at, bytes] : spans)
        out->append(m_bytes.data() + at, bytes);
    return true;
}

bool CompoundFile::read(const Entry &entry, QByteArray *out, QString *reason) const
{
    if (entry.type != 2)
        return fail(reason, "damaged compound file: not a stream");
    if (entry.size > quint64(m_bytes.size()))
        return fail(reason, "damaged compound file: stream larger than the file");
    const qint64 size = qint64(entry.size);
    if (entry.size >= m_miniCutoff) {
        if (readRegular(entry.start, size, out, reason))
            return true;
        *reason = QStringLiteral("damaged compound file: ") + *reason;
        return false;
    }
    std::vector<quint32> sectors;
    const qint64 miniSize = qint64(1) << kMiniShift;
    if (!chain(m_miniFat, entry.start, (size + miniSize - 1) / miniSize, &sectors, reason)) {
        *reason = QStringLiteral("damaged compound file: mini ") + *reason;
        return false;
    }
    out->clear();
    out->reserve(size);
    for (const quint32 s : sectors) {
        const qint64 at = qint64(s) * miniSize;
        const qint64 want = std::min(miniSize, size - out->size());
        if (!legacy::fits(m_miniStream, at, want))
            return fail(reason, "damaged compound file: mini sector past the mini stream");
        out->append(m_miniStream.constData() + at, want);
    }
    return true;
}

const Entry *CompoundFile::find(QStringView name) const
{
    return find(m_top, name);
}

const Entry *CompoundFile::find(const std::vector<Entry> &entries, QStringView name)
{
    for (const Entry &e : entries)
        if (QStringView(e.name).compare(name, Qt::CaseInsensitive) == 0)
            return &e;
    return nullptr;
}

bool CompoundFile::read(QStringView name, QByteArray *out, QString *reason) const
{
    reason->clear();
    const Entry *entry = find(name);
    return entry && entry->type == 2 && read(*entry, out, reason);
}

} // namespace documents::cfb
