// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The per-user settings store: text values addressed by section and key, all
// under the application "Tarnwell". The program reads it once at start-up and
// writes it once at shut-down (see SettingsTable.h for the keys).

#include <QHash>
#include <QList>
#include <QString>

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // The stored text, or defaultValue when the key is missing. Never asks the
    // caller to tell a missing key from an empty one.
    virtual QString get(const QString &section, const QString &key,
                        const QString &defaultValue) const = 0;
    virtual void save(const QString &section, const QString &key, const QString &value) = 0;
    // Puts every saved value into lasting storage. Returns false when that
    // failed; nothing else reports a failure.
    virtual bool flush() = 0;
};

// The real store: an INI file per user, by default ~/.config/Tarnwell/Tarnwell.ini
// (QSettings::IniFormat, user scope, organisation and application "Tarnwell").
//
// The file is read once, at construction. A file that cannot be read, or that is
// not a well-formed INI text, is treated as empty (every key yields its
// default); the first flush then moves it aside to "<file>.bad" and writes a new
// one, so nothing of it is lost and the next start reads a sound file. Saved
// values are kept in memory until flush(), which the destructor also calls.
class IniSettingsStore : public SettingsStore {
public:
    IniSettingsStore();
    explicit IniSettingsStore(const QString &filePath);
    ~IniSettingsStore() override;

    QString get(const QString &section, const QString &key,
                const QString &defaultValue) const override;
    void save(const QString &section, const QString &key, const QString &value) override;
    bool flush() override;

    QString filePath() const { return m_filePath; }
    // Whether the file existed at construction but could not be used.
    bool wasUnusable() const { return m_unusable; }

    // The per-user file the default constructor uses.
    static QString defaultFilePath();

private:
    void load();

    QString m_filePath;
    bool m_unusable = false;
    QHash<QString, QString> m_values;           // "Section/Key" -> text, as read
    QList<std::pair<QString, QString>> m_saved; // in the order saved, not yet flushed
};

// A store in memory for tests: it records every get and save in order.
class MemorySettingsStore : public SettingsStore {
public:
    struct Access {
        QString section;
        QString key;
        QString value; // the value saved, or the default passed to get
        bool operator==(const Access &) const = default;
    };

    QString get(const QString &section, const QString &key,
                const QString &defaultValue) const override;
    void save(const QString &section, const QString &key, const QString &value) override;
    bool flush() override;

    // Test set-up: puts a value into the store without recording a save.
    void preset(const QString &section, const QString &key, const QString &value);
    bool contains(const QString &section, const QString &key) const;
    QString value(const QString &section, const QString &key) const;

    const QList<Access> &reads() const { return m_reads; }
    const QList<Access> &saves() const { return m_saves; }
    int flushCount() const { return m_flushes; }

private:
    QHash<QString, QString> m_values;
    mutable QList<Access> m_reads;
    QList<Access> m_saves;
    int m_flushes = 0;
};
