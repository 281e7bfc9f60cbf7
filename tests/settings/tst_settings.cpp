// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The settings store's number format, its INI file and the settings table.

#include "platform/NumberText.h"
#include "platform/SettingsStore.h"
#include "platform/SettingsTable.h"
#include "tests/common/Unprivileged.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

// Writes a settings file as a user or another program would have left it.
bool writeFile(const QString &file, const QByteArray &content)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsLeadingNumber_data();
    void readsLeadingNumber();
    void takesNearestInteger_data();
    void takesNearestInteger();
    void takesNearestIntegerWithin64Bits();
    void roundsToNearestSingle();
    void writesIntegers_data();
    void writesIntegers();
    void writesSingles_data();
    void writesSingles();
    void singlesRoundTrip();

    void integerSettingsFallBackOutsideTheirRange_data();
    void integerSettingsFallBackOutsideTheirRange();
    void singleSettingsFallBackWhenTooLarge();

    void iniKeepsValuesExactly_data();
    void iniKeepsValuesExactly();
    void iniFileHoldsTheKeysAndQuotedNumbers();
    void iniReadsHandWrittenValues();
    void encodingReadsOnlyItsThreeNames_data();
    void encodingReadsOnlyItsThreeNames();
    void documentsSwitchIsOnOnlyForOne_data();
    void documentsSwitchIsOnOnlyForOne();
    void iniMissingFileYieldsDefaultsAndIsCreated();
    void iniCorruptFileYieldsDefaultsAndIsReplaced_data();
    void iniCorruptFileYieldsDefaultsAndIsReplaced();
    void iniUnreadableFileYieldsDefaults();
    void iniUnwritablePlaceFailsQuietly();
    void iniKeepsOtherKeys();
    void iniRoundTripsAnyLineEnd_data();
    void iniRoundTripsAnyLineEnd();
};

void TestSettings::readsLeadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("leading zero") << "0331" << 331.0;
    QTest::newRow("leading blank") << " 331" << 331.0;
    QTest::newRow("blanks and tab") << " \t 12" << 12.0;
    QTest::newRow("negative") << "-60" << -60.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("fraction") << "1234.567" << 1234.567;
    QTest::newRow("no whole part") << ".5" << 0.5;
    QTest::newRow("trailing point") << "5." << 5.0;
    QTest::newRow("second point ends it") << "1.2.3" << 1.2;
    QTest::newRow("exponent") << "1.5E3" << 1500.0;
    QTest::newRow("negative exponent") << "25e-1" << 2.5;
    QTest::newRow("exponent without digits") << "7e" << 7.0;
    QTest::newRow("exponent sign without digits") << "7e+x" << 7.0;
    QTest::newRow("trailing text") << "12px" << 12.0;
    QTest::newRow("comma is not a point") << "1,5" << 1.0;
    QTest::newRow("inner blank ends it") << "12 34" << 12.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("only blanks") << "   " << 0.0;
    QTest::newRow("word") << "abc" << 0.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("sign after blank then text") << " -x1" << 0.0;
    QTest::newRow("full-width digits") << QStringLiteral("１２") << 0.0;
    QTest::newRow("too small") << "1e-999" << 0.0;
    QTest::newRow("too large") << "1e999" << std::numeric_limits<double>::infinity();
    QTest::newRow("too large negative") << "-1e999" << -std::numeric_limits<double>::infinity();
    QTest::newRow("many digits") << QString(400, u'9') << std::numeric_limits<double>::infinity();
    const QString zeros(330, u'0');
    QTest::newRow("too small after fraction zeros")
        << QStringLiteral("0.") + zeros + QStringLiteral("1e1") << 0.0;
    QTest::newRow("too small, many leading zeros")
        << QStringLiteral("000") + zeros + QStringLiteral(".") + zeros + QStringLiteral("7") << 0.0;
    QTest::newRow("fraction zeros within range")
        << QStringLiteral("0.") + QString(300, u'0') + QStringLiteral("1e1") << 1e-300;
    QTest::newRow("whole zeros then huge")
        << zeros + QStringLiteral("2e308") << std::numeric_limits<double>::infinity();
    QTest::newRow("largest exponent")
        << "1e9223372036854775807" << std::numeric_limits<double>::infinity();
    QTest::newRow("exponent beyond 64 bits")
        << "1e99999999999999999999999" << std::numeric_limits<double>::infinity();
    QTest::newRow("smallest exponent") << "1e-9223372036854775808" << 0.0;
    QTest::newRow("huge exponent, zero mantissa") << "0.000e9223372036854775807" << 0.0;
    QTest::newRow("many digits, negative exponent")
        << QString(400, u'9') + QStringLiteral("e-9223372036854775807") << 0.0;
    QTest::newRow("many digits, exponent brings back")
        << QString(400, u'1') + QStringLiteral("e-399") << 1.1111111111111111;
    QTest::newRow("subnormal") << "5e-324" << 5e-324;
    QTest::newRow("largest double") << "1.7976931348623157e308" << 1.7976931348623157e308;
}

void TestSettings::readsLeadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(numbertext::read(text), value);
}

void TestSettings::takesNearestInteger_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<qint64>("integer");
    QTest::newRow("half to even, down") << 2.5 << true << qint64(2);
    QTest::newRow("half to even, up") << 3.5 << true << qint64(4);
    QTest::newRow("negative half") << -2.5 << true << qint64(-2);
    QTest::newRow("below half") << 1449.49 << true << qint64(1449);
    QTest::newRow("above half") << 1449.51 << true << qint64(1450);
    QTest::newRow("top of 16 bits") << 32767.4 << true << qint64(32767);
    QTest::newRow("rounds past 16 bits") << 32767.5 << false << qint64(0);
    QTest::newRow("bottom of 16 bits, half to even") << -32768.5 << true << qint64(-32768);
    QTest::newRow("below 16 bits") << -32769.0 << false << qint64(0);
    QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << false << qint64(0);
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << false << qint64(0);
}

void TestSettings::takesNearestInteger()
{
    QFETCH(double, value);
    QFETCH(bool, accepted);
    QFETCH(qint64, integer);
    const auto result = numbertext::toInteger(value, -32768, 32767);
    QCOMPARE(result.has_value(), accepted);
    if (accepted)
        QCOMPARE(qint64(*result), integer);
}

// Bounds that a double cannot hold exactly: the result is never outside them.
void TestSettings::takesNearestIntegerWithin64Bits()
{
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const double twoTo63 = 9223372036854775808.0;
    QCOMPARE(numbertext::toInteger(twoTo63, kMin, kMax), std::nullopt);
    QCOMPARE(numbertext::toInteger(1e300, kMin, kMax), std::nullopt);
    QCOMPARE(numbertext::toInteger(-1e300, kMin, kMax), std::nullopt);
    QCOMPARE(numbertext::toInteger(-twoTo63, kMin, kMax), std::optional<std::int64_t>(kMin));
    QCOMPARE(numbertext::toInteger(std::nextafter(twoTo63, 0.0), kMin, kMax),
             std::optional<std::int64_t>(9223372036854774784));
    // -2^63 lies below -(2^63 - 1), although both are the same double.
    QCOMPARE(numbertext::toInteger(-twoTo63, kMin + 1, kMax), std::nullopt);
    QCOMPARE(numbertext::toInteger(double(kMax - 511), kMin, kMax - 1), std::nullopt);
    QCOMPARE(numbertext::toInteger(5.0, 7, 3), std::nullopt);
    // Through the text: the largest 64-bit setting and one past it.
    QCOMPARE(
        numbertext::toInteger(numbertext::read(QStringLiteral("9223372036854775807")), kMin, kMax),
        std::nullopt);
    QCOMPARE(
        numbertext::toInteger(numbertext::read(QStringLiteral("-9223372036854775808")), kMin, kMax),
        std::optional<std::int64_t>(kMin));
}

void TestSettings::roundsToNearestSingle()
{
    constexpr float kMax = std::numeric_limits<float>::max();
    QCOMPARE(numbertext::toSingle(double(kMax)), std::optional<float>(kMax));
    // Within half a last place above the largest single: rounds down to it.
    QCOMPARE(numbertext::toSingle(3.4028235e38), std::optional<float>(kMax));
    QCOMPARE(numbertext::toSingle(-3.4028235e38), std::optional<float>(-kMax));
    QCOMPARE(numbertext::toSingle(0x1.ffffffp127), std::nullopt);
    QCOMPARE(numbertext::toSingle(1e39), std::nullopt);
    QCOMPARE(numbertext::toSingle(1e-50), std::optional<float>(0.0f));
}

void TestSettings::writesIntegers_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << " 0";
    QTest::newRow("version") << qint64(331) << " 331";
    QTest::newRow("split") << qint64(1450) << " 1450";
    QTest::newRow("no grouping") << qint64(1234567) << " 1234567";
    QTest::newRow("negative") << qint64(-60) << "-60";
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min() << "-9223372036854775808";
}

void TestSettings::writesIntegers()
{
    QFETCH(qint64, value);
    QFETCH(QString, text);
    QCOMPARE(numbertext::write(value), text);
}

void TestSettings::writesSingles_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("whole") << 6255.0f << " 6255";
    QTest::newRow("zero") << 0.0f << " 0";
    QTest::newRow("negative zero") << -0.0f << " 0";
    QTest::newRow("negative") << -60.0f << "-60";
    QTest::newRow("seven digits") << 1234.567f << " 1234.567";
    QTest::newRow("rounded to seven digits") << 1234.5678f << " 1234.568";
    QTest::newRow("half") << 0.5f << " 0.5";
    QTest::newRow("tenth") << 0.1f << " 0.1";
    QTest::newRow("negative fraction") << -1234.5f << "-1234.5";
    QTest::newRow("largest plain") << 9999999.0f << " 9999999";
    QTest::newRow("large") << 12345678.0f << " 1.234568E+07";
    QTest::newRow("power of ten") << 1.0e8f << " 1E+08";
    QTest::newRow("tiny") << 1.0e-9f << " 1E-09";
}

void TestSettings::writesSingles()
{
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(numbertext::writeSingle(value), text);
}

void TestSettings::singlesRoundTrip()
{
    const float values[] = {6255.0f, -60.0f, 1234.567f, 0.1f, -7.5f, 12345678.0f, 3.0e-5f};
    for (float value : values) {
        const QString text = numbertext::writeSingle(value);
        QCOMPARE(float(numbertext::read(text)), value);
        // The same number stored without its leading blank reads the same.
        QCOMPARE(float(numbertext::read(text.trimmed())), value);
    }
}

void TestSettings::integerSettingsFallBackOutsideTheirRange_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("value");
    QTest::newRow("missing: default 0331") << QString() << 331;
    QTest::newRow("written back") << " 331" << 331;
    QTest::newRow("not a number reads 0") << "abc" << 0;
    QTest::newRow("top of range") << "32767" << 32767;
    QTest::newRow("above 16 bits") << "32768" << 331;
    QTest::newRow("far below") << "-1e10" << 331;
    QTest::newRow("too large for a double") << "1e999" << 331;
}

void TestSettings::integerSettingsFallBackOutsideTheirRange()
{
    QFETCH(QString, stored);
    QFETCH(int, value);
    MemorySettingsStore store;
    if (!stored.isNull())
        store.preset(QStringLiteral("Version"), QStringLiteral("Version2"), stored);
    QCOMPARE(readIntegerSetting(store, Setting::Version2, -32768, 32767), value);
}

void TestSettings::singleSettingsFallBackWhenTooLarge()
{
    MemorySettingsStore store;
    store.preset(QStringLiteral("Config"), QStringLiteral("Window Width"), QStringLiteral("1e39"));
    store.preset(QStringLiteral("Config"), QStringLiteral("Window Left"), QStringLiteral("-60"));
    QCOMPARE(readSingleSetting(store, Setting::WindowWidth), 6255.0f);
    QCOMPARE(readSingleSetting(store, Setting::WindowLeft), -60.0f);
    QCOMPARE(readSingleSetting(store, Setting::WindowHeight), 4935.0f);
}

void TestSettings::iniKeepsValuesExactly_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("leading blank") << " 331";
    QTest::newRow("negative") << "-60";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks around") << "  both ends  ";
    QTest::newRow("japanese path with comma and semicolon")
        << QStringLiteral("/home/ユーザー/資料,2023;旧");
    QTest::newRow("backslashes and quotes") << "C:\\TEMP\\\"x\"";
    QTest::newRow("at sign") << "@Invalid()";
    QTest::newRow("pattern") << "*.*";
    QTest::newRow("equals and hash") << "a=b #c ;d";
}

void TestSettings::iniKeepsValuesExactly()
{
    QFETCH(QString, value);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    {
        IniSettingsStore store(file);
        store.save(QStringLiteral("Config"), QStringLiteral("Path"), value);
        QVERIFY(store.flush());
    }
    const IniSettingsStore again(file);
    QCOMPARE(again.get(QStringLiteral("Config"), QStringLiteral("Path"), QStringLiteral("dflt")),
             value);
    QVERIFY(!again.wasUnusable());
}

void TestSettings::iniFileHoldsTheKeysAndQuotedNumbers()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("sub/Tarnwell.ini"));
    {
        IniSettingsStore store(file);
        writeIntegerSetting(store, Setting::Version2, 331);
        writeSingleSetting(store, Setting::WindowLeft, -60.0f);
        writeIntegerSetting(store, Setting::SplitX, 1450);
        // The destructor writes what was saved.
    }
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY2(bytes.contains("[Version]\nVersion2=\" 331\"\n"), bytes.constData());
    QVERIFY2(bytes.contains("Window%20Left=-60\n"), bytes.constData());
    QVERIFY2(bytes.contains("Split%20X=\" 1450\"\n"), bytes.constData());
    // Another INI reader sees the same keys and texts.
    const QSettings settings(file, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Config/Split X")).toString(), QStringLiteral(" 1450"));
}

void TestSettings::iniReadsHandWrittenValues()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(writeFile(file,
                      "; edited by hand\n[Version]\nVersion2= 0331\n\n[Config]\nSplit%20X=  2000\n"
                      "Path=/data/a,b\n"));
    const IniSettingsStore store(file);
    QVERIFY(!store.wasUnusable());
    QCOMPARE(readIntegerSetting(store, Setting::Version2, -32768, 32767), 331);
    QCOMPARE(readIntegerSetting(store, Setting::SplitX, INT_MIN, INT_MAX), 2000);
    QCOMPARE(readSetting(store, Setting::Path), QStringLiteral("/data/a, b"));
    QCOMPARE(readSetting(store, Setting::Pattern), QStringLiteral("*.*"));
}

void TestSettings::encodingReadsOnlyItsThreeNames_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("mode");
    QTest::newRow("missing key") << QByteArray("[Config]\nPath=/a\n")
                                 << int(platform::EncodingMode::Cp932);
    QTest::newRow("cp932") << QByteArray("[Config]\nEncoding=cp932\n")
                           << int(platform::EncodingMode::Cp932);
    QTest::newRow("utf-8") << QByteArray("[Config]\nEncoding=utf-8\n")
                           << int(platform::EncodingMode::Utf8);
    QTest::newRow("auto") << QByteArray("[Config]\nEncoding=auto\n")
                          << int(platform::EncodingMode::Auto);
    QTest::newRow("other case") << QByteArray("[Config]\nEncoding=Auto\n")
                                << int(platform::EncodingMode::Cp932);
    QTest::newRow("other name") << QByteArray("[Config]\nEncoding=shift_jis\n")
                                << int(platform::EncodingMode::Cp932);
    QTest::newRow("empty") << QByteArray("[Config]\nEncoding=\n")
                           << int(platform::EncodingMode::Cp932);
    QTest::newRow("number") << QByteArray("[Config]\nEncoding= 1\n")
                            << int(platform::EncodingMode::Cp932);
    QTest::newRow("other section")
        << QByteArray("[Version]\nEncoding=utf-8\n") << int(platform::EncodingMode::Cp932);
}

void TestSettings::encodingReadsOnlyItsThreeNames()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(writeFile(file, content));
    IniSettingsStore store(file);
    QCOMPARE(int(readEncodingSetting(store, Setting::Encoding)), mode);
    // Written back under its own name, read back the same.
    writeSetting(store, Setting::Encoding,
                 platform::encodingModeName(platform::EncodingMode(mode)));
    QVERIFY(store.flush());
    const IniSettingsStore again(file);
    QCOMPARE(int(readEncodingSetting(again, Setting::Encoding)), mode);
    QCOMPARE(
        QSettings(file, QSettings::IniFormat).value(QStringLiteral("Config/Encoding")).toString(),
        platform::encodingModeName(platform::EncodingMode(mode)));
}

void TestSettings::documentsSwitchIsOnOnlyForOne_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("on");
    QTest::newRow("missing") << QByteArray("[Config]\nEncoding=auto\n") << false;
    QTest::newRow("one") << QByteArray("[Config]\nDocuments=1\n") << true;
    QTest::newRow("zero") << QByteArray("[Config]\nDocuments=0\n") << false;
    QTest::newRow("leading zero") << QByteArray("[Config]\nDocuments=01\n") << false;
    QTest::newRow("true") << QByteArray("[Config]\nDocuments=true\n") << false;
    QTest::newRow("two") << QByteArray("[Config]\nDocuments=2\n") << false;
    QTest::newRow("empty") << QByteArray("[Config]\nDocuments=\n") << false;
    QTest::newRow("other section") << QByteArray("[Version]\nDocuments=1\n") << false;
}

void TestSettings::documentsSwitchIsOnOnlyForOne()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, on);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(writeFile(file, content));
    IniSettingsStore store(file);
    QCOMPARE(readSwitchSetting(store, Setting::Documents), on);
    // Written back as "1" or "0", and read back the same.
    writeSwitchSetting(store, Setting::Documents, on);
    QVERIFY(store.flush());
    QCOMPARE(QSettings(file, QSettings::IniFormat).value(QStringLiteral("Config/Documents")),
             QVariant(on ? QStringLiteral("1") : QStringLiteral("0")));
    QCOMPARE(readSwitchSetting(IniSettingsStore(file), Setting::Documents), on);
}

void TestSettings::iniMissingFileYieldsDefaultsAndIsCreated()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("deeper/Tarnwell/Tarnwell.ini"));
    IniSettingsStore store(file);
    QVERIFY(!store.wasUnusable());
    for (const SettingDef &def : kSettings)
        QCOMPARE(readSetting(store, def.id), QString::fromLatin1(def.defaultText));
    QVERIFY(store.flush()); // nothing saved: nothing written
    QVERIFY(!QFile::exists(file));
    writeSetting(store, Setting::Pattern, QStringLiteral("*.*"));
    QVERIFY(store.flush());
    QVERIFY(QFile::exists(file));
}

void TestSettings::iniCorruptFileYieldsDefaultsAndIsReplaced_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe[Config]\nSplit%20X=9\n", 22);
    QTest::newRow("not utf-8") << QByteArray("[Config]\nPath=\xc3\x28\n");
    QTest::newRow("unclosed section") << QByteArray("[Config\nSplit%20X=9\n");
    QTest::newRow("line without key") << QByteArray("[Config]\nSplit%20X=9\ngarbage\n");
    // QSettings would write the key back as a line "=900" under [home].
    QTest::newRow("key ending in a slash") << QByteArray("[Config]\nSplit%20X=9\nhome/=900\n");
    QTest::newRow("key with an empty part") << QByteArray("[Config]\nSplit%20X=9\na//b=900\n");
    QTest::newRow("huge") << QByteArray(2 * 1024 * 1024, 'x');
}

void TestSettings::iniCorruptFileYieldsDefaultsAndIsReplaced()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(writeFile(file, content));
    {
        IniSettingsStore store(file);
        QVERIFY(store.wasUnusable());
        QCOMPARE(readIntegerSetting(store, Setting::SplitX, INT_MIN, INT_MAX), 1450);
        QCOMPARE(readSetting(store, Setting::Path), QString());
        writeIntegerSetting(store, Setting::SplitX, 1450);
        QVERIFY(store.flush());
    }
    QFile aside(file + QStringLiteral(".bad"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), content);
    const IniSettingsStore again(file);
    QVERIFY(!again.wasUnusable());
    QCOMPARE(readSetting(again, Setting::SplitX), QStringLiteral(" 1450"));
}

void TestSettings::iniUnreadableFileYieldsDefaults()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(writeFile(file, "[Config]\nSplit%20X=900\n"));
    testsupport::asOrdinaryUser(dir.path(), [&] {
        QVERIFY(QFile::setPermissions(file, QFileDevice::Permissions()));
        QFile check(file);
        QVERIFY(!check.open(QIODevice::ReadOnly));
        {
            IniSettingsStore store(file);
            QVERIFY(store.wasUnusable());
            QCOMPARE(readSetting(store, Setting::SplitX), QStringLiteral("1450"));
            writeIntegerSetting(store, Setting::SplitX, 1450);
        }
        const IniSettingsStore again(file);
        QCOMPARE(readSetting(again, Setting::SplitX), QStringLiteral(" 1450"));
    });
}

void TestSettings::iniUnwritablePlaceFailsQuietly()
{
    QTemporaryDir dir;
    // A folder where the file should be: unusable to read and to write.
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(QDir().mkpath(file + QStringLiteral("/inside")));
    IniSettingsStore store(file);
    QVERIFY(store.wasUnusable());
    QCOMPARE(readSetting(store, Setting::Pattern), QStringLiteral("*.*"));
    writeSetting(store, Setting::Pattern, QStringLiteral("*.txt"));
    QVERIFY(!store.flush());
}

void TestSettings::iniKeepsOtherKeys()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(writeFile(file, "[Config]\nPath=/old\nColour=blue\n"));
    {
        IniSettingsStore store(file);
        writeSetting(store, Setting::Path, QStringLiteral("/new"));
    }
    const IniSettingsStore again(file);
    QCOMPARE(readSetting(again, Setting::Path), QStringLiteral("/new"));
    QCOMPARE(again.get(QStringLiteral("Config"), QStringLiteral("Colour"), QString()),
             QStringLiteral("blue"));
}

void TestSettings::iniRoundTripsAnyLineEnd_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("usable"); // whether the first start can use it
    const QByteArray lines = "; by hand|[Config]|Split%20X=900|Path=/data||[Version]|Version2=7|";
    QByteArray lf = lines, crlf = lines, cr = lines;
    lf.replace('|', "\n");
    crlf.replace('|', "\r\n");
    cr.replace('|', "\r");
    QTest::newRow("LF") << lf << true;
    QTest::newRow("CR-LF") << crlf << true;
    QTest::newRow("CR") << cr << true;
    QTest::newRow("LF-CR") << QByteArray("[Config]\n\rSplit%20X=900\n\rPath=/data\n\r"
                                         "[Version]\n\rVersion2=7")
                           << true;
    // QSettings reads a lone CR as a line end: "a" and an empty key.
    QTest::newRow("CR before an empty key") << QByteArray("a\r=") << false;
    QTest::newRow("CR inside a key line") << QByteArray("[Config]\nSplit\r%20X=900\n") << false;
}

// Whatever the line ends of a file, the store's own writing of it is read back
// as sound at the next start, with every value kept.
void TestSettings::iniRoundTripsAnyLineEnd()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, usable);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QVERIFY(writeFile(file, content));
    {
        IniSettingsStore store(file);
        QCOMPARE(store.wasUnusable(), !usable);
        if (usable) {
            QCOMPARE(readSetting(store, Setting::SplitX), QStringLiteral("900"));
            QCOMPARE(readSetting(store, Setting::Path), QStringLiteral("/data"));
        }
        writeSetting(store, Setting::Pattern, QStringLiteral("*.txt"));
        QVERIFY(store.flush());
    }
    const IniSettingsStore again(file);
    QVERIFY(!again.wasUnusable());
    QCOMPARE(readSetting(again, Setting::Pattern), QStringLiteral("*.txt"));
    if (usable) {
        QCOMPARE(readSetting(again, Setting::SplitX), QStringLiteral("900"));
        QCOMPARE(readSetting(again, Setting::Path), QStringLiteral("/data"));
        QCOMPARE(readIntegerSetting(again, Setting::Version2, -32768, 32767), 7);
    }
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
