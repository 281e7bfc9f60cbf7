// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The program as a process: without a display it says so in one line and
// exits; on the offscreen platform it runs until it is told to quit.

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestApp : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_home; // settings go here, never to the user's folder

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        env.insert("HOME", m_home.path());
        env.insert("XDG_CONFIG_HOME", m_home.path() + "/config");
        return env;
    }

private Q_SLOTS:
    void withoutADisplayItSaysSoAndExits()
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.start(TARNWELL_BIN, {});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QList<QByteArray> lines = p.readAllStandardError().trimmed().split('\n');
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().contains("no display"));
    }

    void startsAndStaysUpOffscreen()
    {
        QProcess p;
        QProcessEnvironment env = environment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(TARNWELL_BIN, {});
        QVERIFY(p.waitForStarted(10000));
        QVERIFY(!p.waitForFinished(1500)); // still running: the window is up
        p.terminate();
        QVERIFY(p.waitForFinished(10000));
    }
};

QTEST_GUILESS_MAIN(TestApp)
#include "tst_app.moc"
