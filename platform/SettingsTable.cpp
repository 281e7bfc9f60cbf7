// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/SettingsTable.h"

#include "platform/NumberText.h"
#include "platform/SettingsStore.h"

namespace {
constexpr bool tableInEnumOrder()
{
    for (std::size_t i = 0; i < kSettings.size(); ++i)
        if (std::size_t(kSettings[i].id) != i)
            return false;
    return true;
}
static_assert(tableInEnumOrder(), "kSettings must list the settings in enum order");
} // namespace

const SettingDef &settingDef(Setting id)
{
    return kSettings[std::size_t(id)];
}

QString readSetting(const SettingsStore &store, Setting id)
{
    const SettingDef &def = settingDef(id);
    return store.get(QString::fromLatin1(def.section), QString::fromLatin1(def.key),
                     QString::fromLatin1(def.defaultText));
}

int readIntegerSetting(const SettingsStore &store, Setting id, int min, int max)
{
    const auto value = numbertext::toInteger(numbertext::read(readSetting(store, id)), min, max);
    if (value)
        return int(*value);
    const auto fallback = numbertext::toInteger(
        numbertext::read(QString::fromLatin1(settingDef(id).defaultText)), min, max);
    return fallback ? int(*fallback) : 0;
}

float readSingleSetting(const SettingsStore &store, Setting id)
{
    const auto value = numbertext::toSingle(numbertext::read(readSetting(store, id)));
    if (value)
        return *value;
    return float(numbertext::read(QString::fromLatin1(settingDef(id).defaultText)));
}

platform::EncodingMode readEncodingSetting(const SettingsStore &store, Setting id)
{
    platform::EncodingMode mode = platform::EncodingMode::Cp932;
    platform::parseEncodingMode(readSetting(store, id), mode);
    return mode;
}

bool readSwitchSetting(const SettingsStore &store, Setting id)
{
    return readSetting(store, id) == QLatin1String("1");
}

void writeSetting(SettingsStore &store, Setting id, const QString &text)
{
    const SettingDef &def = settingDef(id);
    store.save(QString::fromLatin1(def.section), QString::fromLatin1(def.key), text);
}

void writeIntegerSetting(SettingsStore &store, Setting id, int value)
{
    writeSetting(store, id, numbertext::write(value));
}

void writeSingleSetting(SettingsStore &store, Setting id, float value)
{
    writeSetting(store, id, numbertext::writeSingle(value));
}

void writeSwitchSetting(SettingsStore &store, Setting id, bool on)
{
    writeSetting(store, id, on ? QStringLiteral("1") : QStringLiteral("0"));
}
