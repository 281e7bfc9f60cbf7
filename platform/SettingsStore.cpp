// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStringDecoder>
#include <QVariant>

#include <algorithm>

namespace {

// The store is a few hundred bytes; anything far larger is not ours.
constexpr qint64 kMaxFileSize = 1024 * 1024;

QString fullKey(const QString &section, const QString &key)
{
    return section + u'/' + key;
}

// Whether bytes are a text QSettings can read back as it wrote it: UTF-8 without
// NUL bytes, each line blank, a comment, a [section] or a key=value pair. Lines
// end at LF, CR-LF or a lone CR, as QSettings reads them: a CR taken as part of
// a line would hide a line QSettings sees (with an empty key, say), which it
// then writes back in a form the next start rejects.
bool wellFormedIni(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return false;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return false;
    text.replace(u'\r', u'\n');
    const auto lines = QStringView(text).split(u'\n');
    for (QStringView line : lines) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return false;
            continue;
        }
        if (line.indexOf(u'=') <= 0)
            return false;
    }
    return true;
}

// Whether QSettings writes a key it read so that it reads it back the same: a
// key with an empty part ("a/", from a line "a/=1" or "[a]" then "\\=1") is
// written as a line with nothing before the "=", which the check above rejects.
bool soundKey(const QString &key)
{
    const auto parts = QStringView(key).split(u'/');
    return std::none_of(parts.begin(), parts.end(),
                        [](QStringView part) { return part.isEmpty(); });
}

QString variantText(const QVariant &value)
{
    // An unquoted value with commas comes back from QSettings as a list.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

} // namespace

IniSettingsStore::IniSettingsStore() : IniSettingsStore(defaultFilePath()) {}

IniSettingsStore::IniSettingsStore(const QString &filePath) : m_filePath(filePath)
{
    load();
}

IniSettingsStore::~IniSettingsStore()
{
    flush();
}

QString IniSettingsStore::defaultFilePath()
{
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Tarnwell"),
                             QStringLiteral("Tarnwell"));
    return settings.fileName();
}

void IniSettingsStore::load()
{
    const QFileInfo info(m_filePath);
    if (!info.exists())
        return;
    QFile file(m_filePath);
    if (!info.isFile() || info.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly)) {
        m_unusable = true;
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    if (!wellFormedIni(bytes)) {
        m_unusable = true;
        return;
    }
    const QSettings settings(m_filePath, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        m_unusable = true;
        return;
    }
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys) {
        if (!soundKey(key)) {
            m_unusable = true;
            m_values.clear();
            return;
        }
        const QVariant value = settings.value(key);
        if (value.isValid())
            m_values.insert(key, variantText(value));
    }
}

QString IniSettingsStore::get(const QString &section, const QString &key,
                              const QString &defaultValue) const
{
    return m_values.value(fullKey(section, key), defaultValue);
}

void IniSettingsStore::save(const QString &section, const QString &key, const QString &value)
{
    m_saved.append({fullKey(section, key), value});
}

bool IniSettingsStore::flush()
{
    if (m_saved.isEmpty())
        return true;
    if (m_unusable && QFileInfo(m_filePath).isFile()) {
        // Keep the unusable file beside the new one instead of merging into it.
        // Anything other than a file (a folder, say) is left alone, and the
        // write then fails.
        const QString aside = m_filePath + QStringLiteral(".bad");
        QFile::remove(aside);
        if (!QFile::rename(m_filePath, aside))
            QFile::remove(m_filePath);
    }
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    bool ok = false;
    {
        QSettings settings(m_filePath, QSettings::IniFormat);
        for (const auto &[key, value] : std::as_const(m_saved)) {
            settings.setValue(key, value);
            m_values.insert(key, value);
        }
        settings.sync();
        ok = settings.status() == QSettings::NoError;
    }
    m_saved.clear();
    if (ok)
        m_unusable = false;
    return ok;
}

QString MemorySettingsStore::get(const QString &section, const QString &key,
                                 const QString &defaultValue) const
{
    m_reads.append({section, key, defaultValue});
    return m_values.value(fullKey(section, key), defaultValue);
}

void MemorySettingsStore::save(const QString &section, const QString &key, const QString &value)
{
    m_saves.append({section, key, value});
    m_values.insert(fullKey(section, key), value);
}

bool MemorySettingsStore::flush()
{
    ++m_flushes;
    return true;
}

void MemorySettingsStore::preset(const QString &section, const QString &key, const QString &value)
{
    m_values.insert(fullKey(section, key), value);
}

bool MemorySettingsStore::contains(const QString &section, const QString &key) const
{
    return m_values.contains(fullKey(section, key));
}

QString MemorySettingsStore::value(const QString &section, const QString &key) const
{
    return m_values.value(fullKey(section, key));
}
