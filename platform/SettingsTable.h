// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Every key of the settings store, in the one table the code reads and writes
// through: section, key and default text, in the order start-up reads them.

#include "text/EncodingMode.h"

#include <QString>

#include <array>

class SettingsStore;

enum class Setting {
    Version1,
    Version2,
    WindowLeft,
    WindowTop,
    WindowWidth,
    WindowHeight,
    WindowState,
    SplitX,
    Path,
    Pattern,
    Encoding,
    Documents,
    IgnoreCase,
    IgnoreWidth,
    IgnoreKana,
    Archives,
};

struct SettingDef {
    Setting id;
    const char *section;
    const char *key;
    const char *defaultText;
};

inline constexpr std::array<SettingDef, 16> kSettings = {{
    {Setting::Version1, "Version", "Version1", "200"},
    {Setting::Version2, "Version", "Version2", "0331"},
    {Setting::WindowLeft, "Config", "Window Left", "0"},
    {Setting::WindowTop, "Config", "Window Top", "0"},
    {Setting::WindowWidth, "Config", "Window Width", "6255"},
    {Setting::WindowHeight, "Config", "Window Height", "4935"},
    {Setting::WindowState, "Config", "Window State", "0"},
    {Setting::SplitX, "Config", "Split X", "1450"},
    {Setting::Path, "Config", "Path", ""},
    {Setting::Pattern, "Config", "Pattern", "*.*"},
    {Setting::Encoding, "Config", "Encoding", "cp932"},
    {Setting::Documents, "Config", "Documents", "0"},
    {Setting::IgnoreCase, "Config", "IgnoreCase", "0"},
    {Setting::IgnoreWidth, "Config", "IgnoreWidth", "0"},
    {Setting::IgnoreKana, "Config", "IgnoreKana", "0"},
    {Setting::Archives, "Config", "Archives", "0"},
}};

const SettingDef &settingDef(Setting id);

// Reads a setting as text, its default when missing.
QString readSetting(const SettingsStore &store, Setting id);
// Reads a number setting taken to the nearest integer (a half to the even
// neighbour). A value outside [min, max] yields the default's value.
int readIntegerSetting(const SettingsStore &store, Setting id, int min, int max);
// Reads a number setting as a single-precision value; one that single precision
// cannot hold yields the default's value.
float readSingleSetting(const SettingsStore &store, Setting id);

// Reads the encoding mode: "cp932", "utf-8" or "auto"; a missing key or any
// other text is cp932.
platform::EncodingMode readEncodingSetting(const SettingsStore &store, Setting id);

// Reads an on/off setting: "1" is on; a missing key or any other text is off.
bool readSwitchSetting(const SettingsStore &store, Setting id);

void writeSetting(SettingsStore &store, Setting id, const QString &text);
// Writes an on/off setting as "1" or "0".
void writeSwitchSetting(SettingsStore &store, Setting id, bool on);
void writeIntegerSetting(SettingsStore &store, Setting id, int value);
void writeSingleSetting(SettingsStore &store, Setting id, float value);
