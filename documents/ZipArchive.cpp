// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ZipArchive.h"

#include <zip.h>

#include <algorithm>

namespace documents {

namespace {

QString mebibytes(qint64 bytes)
{
    return bytes >= (qint64(1) << 20) ? QStringLiteral("%1 MiB").arg(bytes >> 20)
                                      : QStringLiteral("%1 byte").arg(bytes);
}

} // namespace

ZipArchive::ZipArchive(QByteArrayView bytes, const Limits &limits)
    : m_memberLimit(limits.memberBytes), m_documentLimit(limits.documentBytes)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source =
        zip_source_buffer_create(bytes.data(), zip_uint64_t(bytes.size()), 0, &error);
    if (source)
        m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!m_zip) {
        if (source)
            zip_source_free(source);
        fail(Failure::Damaged,
             QStringLiteral("damaged zip: %1").arg(QString::fromUtf8(zip_error_strerror(&error))));
        zip_error_fini(&error);
        return;
    }
    zip_error_fini(&error);
    const zip_int64_t count = zip_get_num_entries(m_zip, 0);
    m_count = count < 0 ? 0 : count;
    if (m_count > limits.zipMembers)
        fail(Failure::OverLimit,
             QStringLiteral("over the %1 zip entries limit").arg(limits.zipMembers));
}

ZipArchive::~ZipArchive()
{
    close();
    if (m_zip)
        zip_discard(m_zip);
}

void ZipArchive::fail(Failure failure, const QString &reason)
{
    if (m_failure != Failure::None)
        return;
    m_failure = failure;
    m_reason = reason;
}

QByteArray ZipArchive::memberName(qint64 index) const
{
    if (!m_zip)
        return {};
    const char *name = zip_get_name(m_zip, zip_uint64_t(index), ZIP_FL_ENC_RAW);
    return name ? QByteArray(name) : QByteArray();
}

qint64 ZipArchive::find(const QByteArray &name) const
{
    if (!m_zip || name.isEmpty())
        return -1;
    const zip_int64_t index = zip_name_locate(m_zip, name.constData(), ZIP_FL_ENC_RAW);
    if (index >= 0)
        return index;
    // Part names ignore ASCII case. libzip would compare every name for each
    // lookup; one table of folded names serves them all.
    if (m_folded.isEmpty() && m_count > 0) {
        m_folded.reserve(m_count);
        for (qint64 i = m_count - 1; i >= 0; --i)
            m_folded.insert(memberName(i).toLower(), i);
    }
    return m_folded.value(name.toLower(), -1);
}

void ZipArchive::failFromZipError(int code, const char *what)
{
    switch (code) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
        fail(Failure::Encrypted, QStringLiteral("encrypted"));
        return;
    case ZIP_ER_COMPNOTSUPP:
        fail(Failure::Unsupported, QStringLiteral("unsupported zip compression method"));
        return;
    default:
        break;
    }
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    fail(Failure::Damaged,
         QStringLiteral("damaged zip: %1: %2")
             .arg(QLatin1StringView(what), QString::fromUtf8(zip_error_strerror(&error))));
    zip_error_fini(&error);
}

bool ZipArchive::open(qint64 index)
{
    close();
    if (failed() || index < 0 || index >= m_count)
        return false;
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(m_zip, zip_uint64_t(index), 0, &stat) == 0 &&
        (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
        fail(Failure::Encrypted, QStringLiteral("encrypted"));
        return false;
    }
    // A member that says it is larger than a limit is refused before it is
    // inflated; one that says less is still counted while inflating.
    if (stat.valid & ZIP_STAT_SIZE) {
        if (stat.size > zip_uint64_t(m_memberLimit)) {
            fail(Failure::OverLimit,
                 QStringLiteral("over the %1 zip member limit").arg(mebibytes(m_memberLimit)));
            return false;
        }
        if (stat.size > zip_uint64_t(m_documentLimit - m_documentRead)) {
            fail(Failure::OverLimit, QStringLiteral("over the %1 inflated document limit")
                                         .arg(mebibytes(m_documentLimit)));
            return false;
        }
    }
    m_file = zip_fopen_index(m_zip, zip_uint64_t(index), 0);
    if (!m_file) {
        failFromZipError(zip_error_code_zip(zip_get_error(m_zip)), "cannot open a member");
        return false;
    }
    m_memberRead = 0;
    return true;
}

qint64 ZipArchive::read(char *out, qint64 size)
{
    if (!m_file || failed())
        return -1;
    // Ask for one byte more than either limit allows, so that reaching a limit
    // exactly is no failure but passing it is.
    const qint64 room =
        std::min(m_memberLimit - m_memberRead, m_documentLimit - m_documentRead) + 1;
    const zip_int64_t got = zip_fread(m_file, out, zip_uint64_t(std::min(size, room)));
    if (got < 0) {
        failFromZipError(zip_error_code_zip(zip_file_get_error(m_file)), "cannot inflate a member");
        close();
        return -1;
    }
    m_memberRead += got;
    m_documentRead += got;
    if (m_memberRead > m_memberLimit) {
        fail(Failure::OverLimit,
             QStringLiteral("over the %1 zip member limit").arg(mebibytes(m_memberLimit)));
    } else if (m_documentRead > m_documentLimit) {
        fail(Failure::OverLimit,
             QStringLiteral("over the %1 inflated document limit").arg(mebibytes(m_documentLimit)));
    }
    if (failed()) {
        close();
        return -1;
    }
    return got;
}

void ZipArchive::close()
{
    if (m_file)
        zip_fclose(m_file);
    m_file = nullptr;
}

bool ZipArchive::readAll(qint64 index, QByteArray &out, qint64 cap)
{
    out.clear();
    if (!open(index))
        return false;
    // At most cap + 1 bytes: enough for the caller to see it is too long.
    out.resize(cap + 1);
    qint64 size = 0;
    while (size <= cap) {
        const qint64 got = read(out.data() + size, cap + 1 - size);
        if (got < 0) {
            out.clear();
            return false;
        }
        if (got == 0)
            break;
        size += got;
    }
    out.resize(size);
    close();
    return true;
}

} // namespace documents
