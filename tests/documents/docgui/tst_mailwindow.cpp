// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The window with saved mail, over the real reader helpers: a message, an
// mbox, an Outlook message and a message with a PDF attached are found by
// the words a reader sees in them, and the viewer shows each with its
// parts named beside their first lines, the first word selected in the part
// that holds it and F3 going on to the next part that matches.

#include "documents/ReaderPool.h"
#include "mainwindow/MainWindow.h"
#include "platform/FakeServices.h"
#include "tests/documents/docgui/ListedFiles.h"
#include "viewer/DocumentFile.h"
#include "viewer/TextViewer.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

class TestMailWindow : public QObject {
    Q_OBJECT

    FakeServices m_fakes;
    std::unique_ptr<documents::ReaderPool> m_pool;
    std::unique_ptr<MainWindow> m_w;
    QTemporaryDir m_tree;

    MainWindow &w() { return *m_w; }
    TextViewer &viewer() { return *m_w->RichTextBox1; }

    QStringList search(const QString &keyword)
    {
        const QStringList names = listedfiles::search(w(), m_tree.path(), keyword);
        m_fakes.messageBox.clear();
        return names;
    }
    void show(const QString &name)
    {
        QVERIFY2(listedfiles::show(w(), name, 30'000), qPrintable(name + " is not shown"));
    }
    // The name of the part that holds the selection, as the strip shows it.
    QString selectedPart()
    {
        const qsizetype line = viewer().text().left(viewer().selectionStart()).count(u'\n');
        QString label;
        for (const documents::Location &location : viewer().locations())
            if (location.line <= line)
                label = location.label;
        return label;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_tree.isValid());
        m_fakes.volumes.add(m_tree.path());
        m_fakes.settings.preset(QStringLiteral("Config"), QStringLiteral("Documents"),
                                QStringLiteral("1"));
        for (const char *name :
             {"iso2022jp.eml", "three.mbox", "attachments.msg", "pdf-attachment.eml"})
            QVERIFY(QFile::copy(QStringLiteral(MAIL_FIXTURES "/") + QString::fromLatin1(name),
                                m_tree.filePath(QString::fromLatin1(name))));
        documents::ReaderPool::Options options;
        options.program = DOCREADER;
        options.pdfProgram = PDFREADER;
        options.helpers = 1;
        m_pool = std::make_unique<documents::ReaderPool>(options);
        PlatformServices services = m_fakes.services();
        services.documents = m_pool.get();
        m_w = std::make_unique<MainWindow>(services);
        m_w->show();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
    }
    void cleanupTestCase() { m_w.reset(); }

    // Words a reader sees in the subject and the body: the subject's line
    // is selected first, F3 goes on to the body's.
    void subjectThenBody()
    {
        QCOMPARE(search(QStringLiteral("会議 議事録")), QStringList{"iso2022jp.eml"});
        show(QStringLiteral("iso2022jp.eml"));
        QCOMPARE(viewer().selectedText(), QStringLiteral("会議"));
        QCOMPARE(selectedPart(), QStringLiteral("件名"));
        QVERIFY2(viewer().toolTip().contains(QStringLiteral("電子メール")),
                 qPrintable(viewer().toolTip()));
        viewer().setFocus();
        QTest::keyClick(&viewer(), Qt::Key_F3);
        QCOMPARE(viewer().selectedText(), QStringLiteral("会議"));
        QCOMPARE(selectedPart(), QStringLiteral("本文"));
    }

    // Each message of an mbox, an Outlook message's attachments and a
    // message inside it, and a PDF attached to a message: the part named
    // where the words are.
    void partsNamedWhereTheWordsAre_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("part");
        QTest::newRow("mbox") << QStringLiteral("三通目の本文") << QStringLiteral("three.mbox")
                              << QStringLiteral("メール 3 本文");
        QTest::newRow(".msg recipient")
            << QStringLiteral("kansa@example.jp") << QStringLiteral("attachments.msg")
            << QStringLiteral("BCC");
        QTest::newRow(".msg inside .msg")
            << QStringLiteral("駅から徒歩５分") << QStringLiteral("attachments.msg")
            << QStringLiteral("添付: 転送された会議案内 · 添付: 地図.txt");
        QTest::newRow("PDF attached")
            << QStringLiteral("第5項による") << QStringLiteral("pdf-attachment.eml")
            << QStringLiteral("添付: 仕様書.pdf · 1 ページ");
    }
    void partsNamedWhereTheWordsAre()
    {
        QFETCH(QString, keyword);
        QFETCH(QString, file);
        QFETCH(QString, part);
        QCOMPARE(search(keyword), QStringList{file});
        show(file);
        QCOMPARE(viewer().selectedText(), keyword.section(u' ', 0, 0));
        QCOMPARE(selectedPart(), part);
    }
};

QTEST_MAIN(TestMailWindow)
#include "tst_mailwindow.moc"
