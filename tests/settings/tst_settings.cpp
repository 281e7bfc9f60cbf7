// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The settings store's number format, its INI file and the settings table.

#include "NumberText.h"
#include "SettingsStore.h"
#include "SettingsTable.h"
#include "Unprivileged.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

class TestSettings : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void readsLeadingNumber_data();
    void readsLeadingNumber();
    void takesNearestInteger_data();
    void takesNearestInteger();
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
    void iniMissingFileYieldsDefaultsAndIsCreated();
    void iniCorruptFileYieldsDefaultsAndIsReplaced_data();
    void iniCorruptFileYieldsDefaultsAndIsReplaced();
    void iniUnreadableFileYieldsDefaults();
    void iniUnwritablePlaceFailsQuietly();
    void iniKeepsOtherKeys();
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
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("; edited by hand\n[Version]\nVersion2= 0331\n\n[Config]\nSplit%20X=  2000\n"
            "Path=/data/a,b\n");
    f.close();
    const IniSettingsStore store(file);
    QVERIFY(!store.wasUnusable());
    QCOMPARE(readIntegerSetting(store, Setting::Version2, -32768, 32767), 331);
    QCOMPARE(readIntegerSetting(store, Setting::SplitX, INT_MIN, INT_MAX), 2000);
    QCOMPARE(readSetting(store, Setting::Path), QStringLiteral("/data/a, b"));
    QCOMPARE(readSetting(store, Setting::Pattern), QStringLiteral("*.*"));
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
    QTest::newRow("huge") << QByteArray(2 * 1024 * 1024, 'x');
}

void TestSettings::iniCorruptFileYieldsDefaultsAndIsReplaced()
{
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Tarnwell.ini"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
    f.close();
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
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Config]\nSplit%20X=900\n");
    f.close();
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
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Config]\nPath=/old\nColour=blue\n");
    f.close();
    {
        IniSettingsStore store(file);
        writeSetting(store, Setting::Path, QStringLiteral("/new"));
    }
    const IniSettingsStore again(file);
    QCOMPARE(readSetting(again, Setting::Path), QStringLiteral("/new"));
    QCOMPARE(again.get(QStringLiteral("Config"), QStringLiteral("Colour"), QString()),
             QStringLiteral("blue"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
