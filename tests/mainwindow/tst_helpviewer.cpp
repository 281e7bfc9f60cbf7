// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The help window over the compiled-in pages.

#include "platform/HelpViewer.h"
#include "platform/QtHelpViewer.h"
#include "resources/Texts.h"

#include <QFile>
#include <QTest>
#include <QTextBrowser>

class TestHelpViewer : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void everyTopicHasAJapanesePage_data()
    {
        QTest::addColumn<int>("topic");
        for (int topic : {4, 5, 6, 11, 12, 13, 14, 15, 17})
            QTest::newRow(qPrintable(QString::number(topic))) << topic;
    }
    void everyTopicHasAJapanesePage()
    {
        QFETCH(int, topic);
        QtHelpViewer help(texts::helpFileName, QUrl("qrc:/help/"));
        const QUrl page = help.pageFor(texts::helpFileName, HelpViewer::HELP_CONTEXT, topic);
        QCOMPARE(page.fileName(), QStringLiteral("topic%1.html").arg(topic));
        QFile file(":/help/" + page.fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY(html.contains(QStringLiteral("contents.html")));
        QVERIFY(html.contains(QChar(0x3092))); // を: written in Japanese
    }

    void opensTheContentsATopicAndCloses()
    {
        QtHelpViewer help(texts::helpFileName, QUrl("qrc:/help/"));
        help.winHelp(nullptr, texts::helpFileName, HelpViewer::HELP_FINDER, 0);
        QVERIFY(help.window());
        QVERIFY(help.window()->isVisible());
        QCOMPARE(help.window()->source().fileName(), QStringLiteral("contents.html"));
        QVERIFY(help.window()->toPlainText().contains(QStringLiteral("目次")));

        help.winHelp(nullptr, texts::helpFileName, HelpViewer::HELP_CONTEXT, 15);
        QCOMPARE(help.window()->source().fileName(), QStringLiteral("topic15.html"));
        QVERIFY(help.window()->toPlainText().contains(QStringLiteral("ファイル名の一覧")));

        // A topic the bundle lacks shows the contents.
        help.winHelp(nullptr, texts::helpFileName, HelpViewer::HELP_CONTEXT, 99);
        QCOMPARE(help.window()->source().fileName(), QStringLiteral("contents.html"));

        help.winHelp(nullptr, texts::helpFileName, HelpViewer::HELP_QUIT, 0);
        QTRY_VERIFY(!help.window());
        // Quitting with nothing open is harmless.
        help.winHelp(nullptr, texts::helpFileName, HelpViewer::HELP_QUIT, 0);
    }

    void anEmptyOrForeignFileNameFindsNoHelp_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("empty") << QString();
        QTest::newRow("another file") << QStringLiteral("other.hlp");
    }
    void anEmptyOrForeignFileNameFindsNoHelp()
    {
        QFETCH(QString, file);
        QtHelpViewer help(texts::helpFileName, QUrl("qrc:/help/"));
        help.winHelp(nullptr, file, HelpViewer::HELP_FINDER, 0);
        help.winHelp(nullptr, file, HelpViewer::HELP_CONTEXT, 11);
        QVERIFY(!help.window());
    }
};

QTEST_MAIN(TestHelpViewer)
#include "tst_helpviewer.moc"
