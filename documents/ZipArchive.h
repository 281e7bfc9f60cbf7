// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A zip archive read from memory through libzip. Every byte inflated is
// counted while it is inflated, against Limits::memberBytes for the member and
// Limits::documentBytes for all members read from the archive; the sizes in
// the zip's own headers are never trusted. The first failure (a damaged
// archive, an encrypted member, a limit reached) is kept and stops all reading.

#include "documents/DocumentText.h"
#include "documents/Limits.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QString>

struct zip;
struct zip_file;

namespace documents {

class ZipArchive {
public:
    ZipArchive(QByteArrayView bytes, const Limits &limits);
    ~ZipArchive();
    ZipArchive(const ZipArchive &) = delete;
    ZipArchive &operator=(const ZipArchive &) = delete;

    bool failed() const { return m_failure != Failure::None; }
    Failure failure() const { return m_failure; }
    const QString &reason() const { return m_reason; }
    void fail(Failure failure, const QString &reason);

    qint64 memberCount() const { return m_count; }
    // The member's name as stored (no leading slash in a conforming archive).
    QByteArray memberName(qint64 index) const;
    // The member named `name` (compared exactly, then ignoring ASCII case); -1 if none.
    qint64 find(const QByteArray &name) const;

    // Streams one member at a time: open() it, then read() until it returns 0
    // (its end) or -1 (a failure, which failed() then says).
    bool open(qint64 index);
    qint64 read(char *out, qint64 size);
    void close();
    // The whole member, or its first cap + 1 bytes when it is longer.
    bool readAll(qint64 index, QByteArray &out, qint64 cap);

private:
    void failFromZipError(int code, const char *what);

    zip *m_zip = nullptr;
    zip_file *m_file = nullptr;
    qint64 m_count = 0;
    qint64 m_memberRead = 0;
    qint64 m_documentRead = 0;
    qint64 m_memberLimit;
    qint64 m_documentLimit;
    mutable QHash<QByteArray, qint64> m_folded; // lower-cased name -> first member
    Failure m_failure = Failure::None;
    QString m_reason;
};

} // namespace documents
