// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A main window over fake services and a temporary folder of files, driven by
// keys as a user drives it: the set-up the window's menu tests share. A test
// class derives from it and writes its files into m_tree in initTestCase().

#include "mainwindow/MainWindow.h"
#include "mainwindow/PathList.h"
#include "platform/FakeHelpViewer.h"
#include "platform/FakeMessageBox.h"
#include "platform/FakeVolumeList.h"
#include "platform/SettingsStore.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class WindowFixture {
protected:
    FakeMessageBox m_box;
    FakeHelpViewer m_help;
    FakeVolumeList m_volumes;
    MemorySettingsStore m_settings;
    PlatformServices m_services;
    std::unique_ptr<MainWindow> m_w;
    QTemporaryDir m_tree;

    WindowFixture()
    {
        m_volumes.add(m_tree.path());
        m_services.messageBox = &m_box;
        m_services.help = &m_help;
        m_services.volumes = &m_volumes;
        m_services.settings = &m_settings;
    }

    MainWindow &w() { return *m_w; }
    QString root() const { return m_tree.path(); }

    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    // A new window over the settings as they stand, shown and active.
    void start()
    {
        m_w = std::make_unique<MainWindow>(m_services);
        m_w->show();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        m_box.clear();
        m_help.clear();
    }

    // Opens the search menu, then its submenu by the access key, as a user does.
    void openSearchSubmenu(Qt::Key key, QMenu *submenu)
    {
        QMenu *search = w().MENU_SEARCH_CATEGORY;
        search->popup(w().mapToGlobal(QPoint(10, 10)));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        QTest::keyClick(search, key);
        QTRY_VERIFY(submenu->isVisible());
    }

    // Searches `in` (the tree by default) for the keyword, by Enter in the
    // keyword box; the names of the files listed, in the list's order.
    QStringList search(const QString &keyword, const QString &in = QString())
    {
        QComboBox *folder = w().Combo1, *words = w().Combo2;
        folder->setEditText(in.isEmpty() ? root() : in);
        words->setFocus();
        words->setEditText(keyword); // typed keys are ASCII only in Qt Test
        QTest::keyClick(words->lineEdit(), Qt::Key_Return);
        QStringList names;
        for (int i = 0; i < w().List1->count(); ++i)
            names << QFileInfo(w().List1->itemText(i)).fileName();
        return names;
    }
};
