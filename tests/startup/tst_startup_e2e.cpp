// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The real program under Xvfb with a temporary home: the first run writes the
// settings file at Ctrl+X, the second comes back where the first was left; with
// a window manager, the frame comes back where the user moved it, and quick
// keys reach the search in the order they were typed.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The window's place as the settings file holds it: left, top, width and
// height, in twips, as written.
QStringList storedPlace(const QString &ini)
{
    const QSettings settings(ini, QSettings::IniFormat);
    QStringList place;
    for (const char *side : {"Left", "Top", "Width", "Height"})
        place << settings.value(QStringLiteral("Config/Window ") + QLatin1String(side)).toString();
    return place;
}

} // namespace

class TestStartupEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void windowComesBackWhereItWasLeft();
    void frameKeepsItsSizeUnderAWindowManager();
    void frameComesBackWhereTheUserMovedIt();
    void altUThenEnterSearchesSubfolders();

private:
    QStringList run(const QStringList &arguments, const QString &windowManager = QString());

    QTemporaryDir m_home;
};

QStringList TestStartupEndToEnd::run(const QStringList &arguments, const QString &windowManager)
{
    const QString report = m_home.filePath(QStringLiteral("report.txt"));
    QFile::remove(report);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.remove(QStringLiteral("DRIVE_WM"));
    if (!windowManager.isEmpty())
        env.insert(QStringLiteral("DRIVE_WM"), windowManager);
    // The server picks a free display itself and names it once it listens, so
    // runs back to back never race for one, and each run waits for its server
    // to be gone before the next starts.
    // -noreset: by default the server resets whenever its last client leaves,
    // and the driver's probes (one short client each) leave it with none; a
    // client that connects during such a reset (the window manager, started
    // right after a probe) can be refused, which on a busy machine is seen as
    // "Failed to open the display".
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"),
               QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                           QStringLiteral("-screen"), QStringLiteral("0"),
                           QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                           QStringLiteral("tcp"), QStringLiteral("-noreset")});
    QByteArray display;
    while (!display.endsWith('\n') && xvfb.waitForReadyRead(120000))
        display += xvfb.readAllStandardOutput();
    if (!display.endsWith('\n')) {
        xvfb.kill();
        xvfb.waitForFinished();
        return {QStringLiteral("no display: ") +
                QString::fromLocal8Bit(xvfb.readAllStandardError())};
    }
    env.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(display.trimmed()));
    QProcess driver;
    driver.setProcessEnvironment(env);
    driver.setProcessChannelMode(QProcess::MergedChannels);
    driver.start(QStringLiteral(TARNWELL_DRIVER),
                 QStringList{QStringLiteral(TARNWELL_PROGRAM), report} + arguments);
    // The driver bounds each of its own waits (two minutes at most); on a
    // busy machine a first start in a fresh home takes a while.
    if (!driver.waitForFinished(600000)) {
        driver.kill();
        driver.waitForFinished();
    }
    xvfb.terminate();
    if (!xvfb.waitForFinished(10000)) {
        xvfb.kill();
        xvfb.waitForFinished();
    }
    QFile file(report);
    if (!file.open(QIODevice::ReadOnly))
        return {QStringLiteral("no report: ") + QString::fromLocal8Bit(driver.readAll())};
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    // What the driver and the program printed explains an error; it is kept
    // out of a good report, which the tests compare whole.
    if (lines.filter(QRegularExpression(QStringLiteral("^error "))).size() > 0)
        lines << QStringLiteral("output: ") + QString::fromLocal8Bit(driver.readAll());
    return lines;
}

void TestStartupEndToEnd::windowComesBackWhereItWasLeft()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty(),
             "xdotool is missing: run scripts/setup.sh");
    QVERIFY(m_home.isValid());

    // First run: an empty store, so the window opens at 0, 0 with the default
    // 6255 x 4935 twips (417 x 329 pixels at 96 DPI).
    QStringList report = run({QStringLiteral("move"), QStringLiteral("100"), QStringLiteral("80"),
                              QStringLiteral("700"), QStringLiteral("500")});
    QCOMPARE(report, (QStringList{"seen 0 0 417 329", "moved 100 80 700 500", "exit 0"}));

    const QString ini = m_home.filePath(QStringLiteral(".config/Tarnwell/Tarnwell.ini"));
    QVERIFY2(QFile::exists(ini), qPrintable(ini));
    const QSettings settings(ini, QSettings::IniFormat);
    const QList<std::pair<const char *, const char *>> expected = {
        {"Version/Version1", " 200"},
        {"Version/Version2", " 331"},
        {"Config/Window Left", " 1500"},
        {"Config/Window Top", " 1200"},
        {"Config/Window Width", " 10500"},
        {"Config/Window Height", " 7500"},
        {"Config/Window State", " 0"},
        {"Config/Split X", " 1450"},
        {"Config/Path", ""},
        {"Config/Pattern", "*.*"},
        {"Config/Encoding", "cp932"},
        {"Config/Documents", "0"},
        {"Config/IgnoreCase", "0"},
        {"Config/IgnoreWidth", "0"},
        {"Config/IgnoreKana", "0"},
        {"Config/Archives", "0"},
    };
    QCOMPARE(settings.allKeys().size(), expected.size());
    for (const auto &[key, value] : expected)
        QCOMPARE(settings.value(QString::fromLatin1(key)).toString(), QString::fromLatin1(value));
    QFile raw(ini);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray text = raw.readAll();
    QVERIFY2(text.contains("Version2=\" 331\""), text.constData());
    QVERIFY2(text.contains("Window%20Width=\" 10500\""), text.constData());

    // Second run: the window comes back where it was left.
    report = run({});
    QCOMPARE(report, (QStringList{"seen 100 80 700 500", "exit 0"}));
}

void TestStartupEndToEnd::frameKeepsItsSizeUnderAWindowManager()
{
    // A window manager adds the frame only when the window is first shown, so
    // the stored outer size must not become the inside size: run after run
    // the frame keeps the default 417 x 329 pixels at the top-left corner.
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty(),
             "openbox is missing: run scripts/setup.sh");
    QVERIFY(m_home.isValid());
    const QString ini = m_home.filePath(QStringLiteral(".config/Tarnwell/Tarnwell.ini"));
    QFile::remove(ini); // start from an empty store
    for (int i = 0; i < 3; ++i) {
        const QStringList report = run({}, QStringLiteral("openbox"));
        QVERIFY2(report.size() == 3,
                 qPrintable(report.join(QStringLiteral(" | ")))); // seen, frame, exit
        QCOMPARE(report[1], QStringLiteral("frame 0 0 417 329"));
        QCOMPARE(report[2], QStringLiteral("exit 0"));
    }
    QCOMPARE(storedPlace(ini), (QStringList{" 0", " 0", " 6255", " 4935"}));
}

void TestStartupEndToEnd::frameComesBackWhereTheUserMovedIt()
{
    // The user moves the window with the window manager so that its frame's
    // top-left corner is at (100, 80); the store gets that corner, not the
    // inside's nor one a frame further up, and the next start puts it there.
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty(),
             "openbox is missing: run scripts/setup.sh");
    QVERIFY(m_home.isValid());
    const QString ini = m_home.filePath(QStringLiteral(".config/Tarnwell/Tarnwell.ini"));
    QFile::remove(ini);
    QStringList report =
        run({QStringLiteral("moveframe"), QStringLiteral("100"), QStringLiteral("80")},
            QStringLiteral("openbox"));
    QVERIFY2(report.size() == 5,
             qPrintable(report.join(QStringLiteral(" | ")))); // seen, frame, moved, frame, exit
    QCOMPARE(report[1], QStringLiteral("frame 0 0 417 329"));
    QCOMPARE(report[3], QStringLiteral("frame 100 80 417 329"));
    QCOMPARE(report[4], QStringLiteral("exit 0"));
    QCOMPARE(storedPlace(ini), (QStringList{" 1500", " 1200", " 6255", " 4935"}));

    // Started again, and closed without a move: the frame is where it was
    // left, and the store keeps it.
    report = run({}, QStringLiteral("openbox"));
    QVERIFY2(report.size() == 3, qPrintable(report.join(QStringLiteral(" | "))));
    QCOMPARE(report[1], QStringLiteral("frame 100 80 417 329"));
    QCOMPARE(report[2], QStringLiteral("exit 0"));
    QCOMPARE(storedPlace(ini).mid(0, 2), (QStringList{" 1500", " 1200"}));
}

void TestStartupEndToEnd::altUThenEnterSearchesSubfolders()
{
    // Only a sub-folder holds the word: a search without sub-folders finds
    // nothing and shows a message box, one with them shows none. Alt+U and
    // Enter come back to back, well within Qt's 100 ms access-key animation.
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty(),
             "openbox is missing: run scripts/setup.sh");
    QVERIFY(m_home.isValid());
    const QString ini = m_home.filePath(QStringLiteral(".config/Tarnwell/Tarnwell.ini"));
    QFile::remove(ini);
    const QString tree = m_home.filePath(QStringLiteral("tree"));
    QVERIFY(QDir().mkpath(tree + QStringLiteral("/sub")));
    for (const auto &[name, text] :
         {std::pair{"/top.txt", "nothing here\r\n"}, std::pair{"/sub/deep.txt", "alpha\r\n"}}) {
        QFile f(tree + QString::fromLatin1(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    const QStringList report =
        run({QStringLiteral("search"), tree, QStringLiteral("alpha")}, QStringLiteral("openbox"));
    QVERIFY2(report.size() == 4,
             qPrintable(report.join(QStringLiteral(" | ")))); // seen, frame, windows, exit
    QCOMPARE(report[2], QStringLiteral("windows 1"));
    QCOMPARE(report[3], QStringLiteral("exit 0"));
    // The search ran: it took the typed folder, which shut-down stored.
    const QSettings settings(ini, QSettings::IniFormat);
    QCOMPARE(settings.value(QStringLiteral("Config/Path")).toString(), tree);
}

QTEST_GUILESS_MAIN(TestStartupEndToEnd)
#include "tst_startup_e2e.moc"
