// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The real program under Xvfb, on a private session bus with the
// accessibility bus, searching documents in a folder of PDFs that are never
// read to their end (the test build of the PDF helper sleeps on each for
// longer than the wall-clock limit that ends it). While the search waits for
// them:
// - a client of the accessibility bus, as a screen reader is, reads the status
//   bar's panel and finds the file being read named there;
// - a window drawn over the program and taken away again is painted over by
//   the program (Xvfb keeps no copy of what lay under it);
// - Esc, typed on the X server, stops the search, and Ctrl+X then ends the
//   program.
// None of this answers if the program pumps no events while it waits.

#include "resources/Texts.h"
#include "tests/common/BesideTestHelpers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <functional>

#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Each wait is bounded by a deadline rather than a fixed time: on a busy
// machine a first start in a fresh home can take many seconds.
constexpr int kStartMs = 120000;
constexpr int kStepMs = 60000;

// Tries check() every 100 ms until it holds or limitMs have passed.
template <typename Check> bool pollUntil(int limitMs, Check check)
{
    const QDeadlineTimer deadline(limitMs);
    for (;;) {
        if (check())
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(100);
    }
}

// A process this test starts gets SIGTERM when the test ends without ending
// it (killed at a time-out, say), so that no server outlives the test.
void diesWithTest(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
}

// Ends a process this test started: asked first, then forced.
void end(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
    }
}

// The children of this process, its own and those left to it (it is their
// subreaper) when their parent ended: the accessibility bus's daemon and
// registry, started by the bus launcher.
QList<pid_t> children()
{
    QList<pid_t> pids;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task + QStringLiteral("/children")));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &word : file.readAll().split(' ')) {
            if (const int pid = word.trimmed().toInt(); pid > 0)
                pids << pid;
        }
    }
    return pids;
}

// Once the test's own processes have ended, whatever they left behind ends
// too: asked at first, forced after 5 s, and reaped.
void endOrphans()
{
    const QDeadlineTimer gentle(5000);
    const QDeadlineTimer limit(15000);
    for (QList<pid_t> left = children(); !left.isEmpty() && !limit.hasExpired();
         left = children()) {
        for (const pid_t pid : left) {
            if (::waitpid(pid, nullptr, WNOHANG) != pid)
                ::kill(pid, gentle.hasExpired() ? SIGKILL : SIGTERM);
        }
        QThread::msleep(50);
    }
}

} // namespace

class TestAccessibleEndToEnd : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void statusAndPaintDuringALongRead();
    void cleanupTestCase();

private:
    bool startServers();
    QByteArray tool(const QString &program, const QStringList &arguments, int *code = nullptr);
    QString panel();
    bool panelBecomes(const std::function<bool(const QString &)> &wanted, int limitMs);
    WId mainWindow();
    QImage screenshot(const QRect &area);

    QTemporaryDir m_bin{QCoreApplication::applicationDirPath() +
                        QStringLiteral("/a11y-e2e-XXXXXX")};
    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    QProcess m_xvfb;
    QProcess m_bus;
    QProcess m_launcher;
    QProcess m_program;
    QProcess m_cover;
    QStringList m_panels; // what panel 1 said over the bus, in turn
};

void TestAccessibleEndToEnd::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
        QSKIP("Xvfb is not installed");
    for (const char *program : {"xdotool", "xwininfo", "xprop", "xmessage", "import", "dbus-daemon",
                                "/usr/libexec/at-spi-bus-launcher"}) {
        QVERIFY2(
            !QStandardPaths::findExecutable(QLatin1String(program)).isEmpty(),
            qPrintable(
                QStringLiteral("%1 is missing: run scripts/setup.sh").arg(QLatin1String(program))));
    }
    QVERIFY(m_bin.isValid() && m_home.isValid());
    // The bus launcher's daemon and registry outlive it for a moment: they
    // come back to this process, which ends them.
    QVERIFY(::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0);

    // The program beside the test builds of the helpers.
    QVERIFY(placeBesideTestHelpers(m_bin.path(), TARNWELL_PROGRAM));

    // Documents on which the helper sleeps (45 s: should the program be
    // killed, its helpers end by themselves) until it is stopped or its
    // wall-clock limit (30 s) ends it. More of them than the pool has helpers
    // (four at most), so that the folder takes at least a minute: time enough
    // for the checks, however loaded the machine. The settings point the
    // folder box at them and turn documents on.
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("tree")));
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral(".config/Tarnwell")));
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("runtime")));
    QFile(m_home.filePath(QStringLiteral("runtime")))
        .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    for (int i = 0; i < 8; ++i) {
        QFile document(m_home.filePath(QStringLiteral("tree/long%1.pdf").arg(i)));
        QVERIFY(document.open(QIODevice::WriteOnly));
        QVERIFY(document.write("%PDF-NAP 45000") > 0);
    }
    QFile ini(m_home.filePath(QStringLiteral(".config/Tarnwell/Tarnwell.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Config]\nPath=" + QFile::encodeName(m_home.filePath(QStringLiteral("tree"))) +
              "\nDocuments=1\n");
    ini.close();

    m_env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS",
                             "AT_SPI_BUS_ADDRESS", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        m_env.remove(QLatin1String(name));
    m_env.insert(QStringLiteral("HOME"), m_home.path());
    m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Without a desktop that turns accessibility on, Qt speaks on the bus
    // only when told to.
    m_env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
}

// Reads the first line a starting server prints (where it listens), within
// the start's deadline.
static QByteArray firstLine(QProcess &process)
{
    QByteArray line;
    const QDeadlineTimer deadline(kStartMs);
    while (!line.contains('\n') && process.waitForReadyRead(int(deadline.remainingTime())))
        line += process.readAllStandardOutput();
    return line.contains('\n') ? line.left(line.indexOf('\n')).trimmed() : QByteArray();
}

bool TestAccessibleEndToEnd::startServers()
{
    // The server picks a free display and names it once it listens; -noreset
    // keeps it from resetting when the last of the short clients leaves.
    diesWithTest(m_xvfb);
    m_xvfb.start(QStringLiteral("Xvfb"),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                  QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                  QStringLiteral("tcp"), QStringLiteral("-noreset")});
    const QByteArray display = firstLine(m_xvfb);
    if (display.isEmpty())
        return false;
    m_env.insert(QStringLiteral("DISPLAY"), u':' + QString::fromLatin1(display));
    // A session bus of the test's own, and on it the launcher of the
    // accessibility bus (which also names that bus on the root window).
    m_bus.setProcessEnvironment(m_env);
    diesWithTest(m_bus);
    m_bus.start(QStringLiteral("dbus-daemon"),
                {QStringLiteral("--session"), QStringLiteral("--nofork"),
                 QStringLiteral("--print-address=1")});
    const QByteArray address = firstLine(m_bus);
    if (address.isEmpty())
        return false;
    m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QString::fromLatin1(address));
    m_launcher.setProcessEnvironment(m_env);
    m_launcher.setStandardOutputFile(QProcess::nullDevice());
    diesWithTest(m_launcher);
    m_launcher.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"), QStringList());
    return m_launcher.waitForStarted();
}

// A short client's output; *code gets its exit status (-1: did not end).
QByteArray TestAccessibleEndToEnd::tool(const QString &program, const QStringList &arguments,
                                        int *code)
{
    QProcess process;
    process.setProcessEnvironment(m_env);
    diesWithTest(process);
    process.start(program, arguments);
    const bool ended = process.waitForFinished(kStepMs);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    if (code)
        *code = ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

// Panel 1 as the accessibility bus has it, or "error WHAT".
QString TestAccessibleEndToEnd::panel()
{
    return QString::fromUtf8(
               tool(QStringLiteral(TARNWELL_A11Y_PANEL), {QStringLiteral("tarnwell")}))
        .trimmed();
}

// Polls panel 1 over the bus until wanted() holds; each text it shows is
// kept for a failure's message.
bool TestAccessibleEndToEnd::panelBecomes(const std::function<bool(const QString &)> &wanted,
                                          int limitMs)
{
    return pollUntil(limitMs, [&] {
        const QString text = panel();
        if (m_panels.isEmpty() || m_panels.back() != text)
            m_panels << text;
        return wanted(text);
    });
}

// The main window: the one visible window named Tarnwell that is not the
// splash screen; 0 while there is none.
WId TestAccessibleEndToEnd::mainWindow()
{
    QList<WId> found;
    const QByteArray ids =
        tool(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                         QStringLiteral("--name"), QStringLiteral("^Tarnwell$")});
    for (const QByteArray &id : ids.split('\n')) {
        if (id.trimmed().isEmpty())
            continue;
        const QByteArray type =
            tool(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::fromLatin1(id.trimmed()),
                                           QStringLiteral("_NET_WM_WINDOW_TYPE")});
        if (!type.contains("SPLASH"))
            found << id.trimmed().toULongLong();
    }
    return found.size() == 1 ? found.front() : 0;
}

// What the screen shows in area (the root window's pixels, whoever drew them).
QImage TestAccessibleEndToEnd::screenshot(const QRect &area)
{
    const QByteArray png =
        tool(QStringLiteral("import"),
             {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
              QStringLiteral("%1x%2+%3+%4")
                  .arg(area.width())
                  .arg(area.height())
                  .arg(area.x())
                  .arg(area.y()),
              QStringLiteral("png:-")});
    return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32);
}

// The pixels of the cover's colour, which the program never draws.
static qsizetype magenta(const QImage &image)
{
    qsizetype n = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x)
            n += (line[x] & 0xffffff) == 0xff00ff;
    }
    return n;
}

void TestAccessibleEndToEnd::statusAndPaintDuringALongRead()
{
    QVERIFY2(startServers(), "Xvfb or the session bus did not start");
    m_program.setProcessEnvironment(m_env);
    m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_program.setStandardOutputFile(QProcess::nullDevice());
    diesWithTest(m_program);
    m_program.start(m_bin.filePath(QStringLiteral("tarnwell")), QStringList());
    QVERIFY(m_program.waitForStarted());

    // The program is on the accessibility bus once its panel can be read
    // there; the window is then shown.
    const auto said = [this] {
        return QStringLiteral("panel 1 over the bus said: ") + m_panels.join(QStringLiteral(" | "));
    };
    QVERIFY2(panelBecomes([](const QString &text) { return text == texts::productName; }, kStartMs),
             qPrintable(said()));
    WId window = 0;
    QVERIFY2(pollUntil(kStartMs, [&] { return (window = mainWindow()) != 0; }), "no main window");
    const QString id = QString::number(window);
    QRect area;
    for (const QByteArray &line :
         tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), id}).split('\n')) {
        const QByteArray value = line.mid(line.indexOf(':') + 1).trimmed();
        if (line.contains("Absolute upper-left X:"))
            area.moveLeft(value.toInt());
        else if (line.contains("Absolute upper-left Y:"))
            area.moveTop(value.toInt());
        else if (line.trimmed().startsWith("Width:"))
            area.setWidth(value.toInt());
        else if (line.trimmed().startsWith("Height:"))
            area.setHeight(value.toInt());
    }
    QVERIFY2(area.width() > 100 && area.height() > 100, qPrintable(id));

    // The focus starts in the folder box, which holds the folder; Tab leads
    // to the keyword box. Keys reach the program after the focus does (the
    // server's events arrive in order).
    int code = 0;
    tool(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), id},
         &code);
    QCOMPARE(code, 0);
    tool(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("--clearmodifiers"),
                                     QStringLiteral("Tab"), QStringLiteral("ctrl+a")});
    tool(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                     QStringLiteral("30"), QStringLiteral("needle")});
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("Return")},
         &code);
    QCOMPARE(code, 0);

    // Read over the bus while the helpers sleep on the documents: the panel
    // names the one waited for (not the walk's text, not a blank).
    const QString folder = texts::searchingFile +
                           QDir::toNativeSeparators(m_home.filePath(QStringLiteral("tree/long")));
    const auto names = [&](const QString &text) {
        return text.startsWith(folder) && text.endsWith(QStringLiteral(".pdf")) &&
               text.size() == folder.size() + 5;
    };
    QVERIFY2(panelBecomes(names, kStepMs), qPrintable(said()));

    // A window drawn over most of the program's and taken away again: what
    // lay under it is the program's to paint again.
    const QRect cover = area.adjusted(20, 20, -20, -20);
    m_cover.setProcessEnvironment(m_env);
    m_cover.setProcessChannelMode(QProcess::MergedChannels);
    m_cover.setStandardOutputFile(QProcess::nullDevice());
    diesWithTest(m_cover);
    m_cover.start(QStringLiteral("xmessage"),
                  {QStringLiteral("-geometry"),
                   QStringLiteral("%1x%2+%3+%4")
                       .arg(cover.width())
                       .arg(cover.height())
                       .arg(cover.x())
                       .arg(cover.y()),
                   QStringLiteral("-bg"), QStringLiteral("magenta"), QStringLiteral("-fg"),
                   QStringLiteral("magenta"), QStringLiteral("cover")});
    qsizetype covered = 0;
    QVERIFY2(pollUntil(kStepMs,
                       [&] {
                           covered = magenta(screenshot(area));
                           return covered > cover.width() * cover.height() / 2;
                       }),
             qPrintable(QStringLiteral("the cover did not show: %1 pixels").arg(covered)));
    end(m_cover);
    QVERIFY2(
        pollUntil(kStepMs, [&] { return (covered = magenta(screenshot(area))) == 0; }),
        qPrintable(QStringLiteral("not painted over: %1 pixels of the cover left").arg(covered)));
    // Still reading: what was seen above was seen during the read.
    QVERIFY2(panelBecomes(names, 0), qPrintable(said()));

    // Esc stops the search, with the helpers still asleep in the documents.
    tool(QStringLiteral("xdotool"),
         {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("Escape")},
         &code);
    QCOMPARE(code, 0);
    // (A document that reached its limit before adds its own words after.)
    QVERIFY2(
        panelBecomes([](const QString &text) { return text.startsWith(texts::searchStopped(0)); },
                     kStepMs),
        qPrintable(said()));

    tool(QStringLiteral("xdotool"),
         {QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+x")});
    QVERIFY2(m_program.waitForFinished(kStepMs), "still running after Ctrl+X");
    QCOMPARE(m_program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_program.exitCode(), 0);
}

void TestAccessibleEndToEnd::cleanupTestCase()
{
    end(m_cover);
    end(m_program);
    end(m_launcher);
    end(m_bus);
    end(m_xvfb);
    endOrphans();
    QVERIFY2(children().isEmpty(), "a process of the test outlived it");
}

QTEST_GUILESS_MAIN(TestAccessibleEndToEnd)
#include "tst_a11y_e2e.moc"
