// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The compound file container (the "OLE2" storage of Word, Excel and
// PowerPoint 97-2003): a small file system of 512- or 4096-byte sectors with
// an allocation table, a directory and a mini stream for small streams.
// Strict: the header, every sector chain (no loop, no sector outside the
// file), every stream size (never more than the file holds) and the
// directory are checked, and every allocation is bounded by the file's size.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>
#include <vector>

namespace documents::cfb {

struct Entry {
    QString name;
    int type = 0;      // 1 storage, 2 stream, 5 root
    quint32 id = 0;    // its place in the directory
    quint32 child = 0; // a storage's first child in the directory
    quint32 start = 0;
    quint64 size = 0;
};

class CompoundFile {
public:
    // Reads the header, the allocation tables and the directory; on failure
    // `reason` says what is damaged.
    static std::optional<CompoundFile> open(QByteArrayView bytes, QString *reason);

    // A stream or storage directly under the root, by name (case-insensitive,
    // as the container compares names), or null.
    const Entry *find(QStringView name) const;
    // The same among `entries`.
    static const Entry *find(const std::vector<Entry> &entries, QStringView name);
    // The root's children.
    const std::vector<Entry> &top() const { return m_top; }
    // The streams and storages directly under a storage; false with `reason`
    // when the directory loops.
    bool children(const Entry &storage, std::vector<Entry> *out, QString *reason) const;
    // How many entries the directory has room for.
    qint64 entryCount() const { return m_entryCount; }
    // A stream's bytes; false with `reason` when its chain is damaged.
    bool read(const Entry &entry, QByteArray *out, QString *reason) const;
    // Reads the stream `name` under the root: false when it is missing
    // (reason empty) or damaged (reason set).
    bool read(QStringView name, QByteArray *out, QString *reason) const;

private:
    CompoundFile() = default;
    bool chain(const std::vector<quint32> &table, quint32 start, qint64 unitCount,
               std::vector<quint32> *out, QString *reason) const;
    Entry entryAt(quint32 i) const;
    bool walk(quint32 first, std::vector<Entry> *out, QString *reason) const;
    bool readRegular(quint32 start, qint64 size, QByteArray *out, QString *reason) const;

    QByteArrayView m_bytes;
    int m_sectorShift = 9;
    qint64 m_sectorCount = 0;
    std::vector<quint32> m_fat;
    std::vector<quint32> m_miniFat;
    QByteArray m_miniStream;
    quint32 m_miniCutoff = 4096;
    QByteArray m_directory;
    quint16 m_major = 3;
    qint64 m_entryCount = 0;
    std::vector<Entry> m_top; // the root's children
};

} // namespace documents::cfb
