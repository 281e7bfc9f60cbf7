// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The INI settings store on random files. Whatever the file, a store that read
// it and wrote a value back leaves a file the next start accepts, with every
// key it had read kept and the value saved read back exactly; a file it could
// not use is kept aside byte for byte.
//
// Input: flags, the saved value's length, the saved value (UTF-8), then the
// file's bytes (from an alphabet of INI characters, or as they are).

#include "fuzz/FuzzInput.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QMap>
#include <QSettings>
#include <QTemporaryDir>

namespace {

QString valueText(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// Every key and value of the file, as a second reader sees them.
QMap<QString, QString> contents(const QString &file)
{
    QMap<QString, QString> out;
    const QSettings settings(file, QSettings::IniFormat);
    const QStringList keys = settings.allKeys();
    for (const QString &key : keys)
        out.insert(key, valueText(settings.value(key)));
    return out;
}

QByteArray describe(const QByteArray &file, const QString &value)
{
    return "file: " + hexOf(file) + "\nsaved: " + value.toUtf8();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    static int serial = 0;
    FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const QString saved = QString::fromUtf8(in.take(in.below(24)));
    QByteArray bytes = in.rest();
    if (!(flags & 1)) {
        static const char kAlphabet[] = "[]=;#\"\\,@%20 \t\r\n\r\nab[Config]\nPath=x\n";
        for (char &c : bytes)
            c = kAlphabet[std::uint8_t(c) % (sizeof kAlphabet - 1)];
    }

    // A new name each time: QSettings caches what it read by file name.
    const QString path = dir.filePath(QStringLiteral("t%1.ini").arg(++serial));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            fuzzFail("cannot write the test file");
    }
    const QString section = QStringLiteral("Config");
    const QString key = (flags & 2) ? QStringLiteral("Path") : QStringLiteral("Window Left");
    bool accepted = false;
    QMap<QString, QString> before;
    {
        IniSettingsStore store(path);
        accepted = !store.wasUnusable();
        if (accepted)
            before = contents(path);
        store.save(section, key, saved);
        if (!store.flush())
            fuzzFail("flush failed", describe(bytes, saved));
    }
    const IniSettingsStore again(path);
    if (again.wasUnusable())
        fuzzFail("the store's own file is rejected at the next start", describe(bytes, saved));
    if (again.get(section, key, QStringLiteral("<missing>")) != saved)
        fuzzFail("saved value reads back differently", describe(bytes, saved));
    if (accepted) {
        QMap<QString, QString> after = contents(path);
        before.insert(section + u'/' + key, saved);
        if (after != before)
            fuzzFail("keys of the file were changed or lost", describe(bytes, saved));
    } else {
        QFile aside(path + QStringLiteral(".bad"));
        if (!aside.open(QIODevice::ReadOnly) || aside.readAll() != bytes)
            fuzzFail("unusable file not kept aside", describe(bytes, saved));
        aside.remove();
    }
    QFile::remove(path);
    return 0;
}
