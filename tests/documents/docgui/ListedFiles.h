// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// What the document window tests do as a user does: search a folder by Enter
// in the keyword box, and choose a listed file by the keys.

#include "mainwindow/MainWindow.h"
#include "mainwindow/PathList.h"
#include "viewer/DocumentFile.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QTest>

namespace listedfiles {

// The names of the files the search of `folder` for `keyword` lists, sorted.
inline QStringList search(MainWindow &w, const QString &folder, const QString &keyword)
{
    w.Combo1->setEditText(folder);
    w.Combo2->setFocus();
    w.Combo2->setEditText(keyword); // typed keys are ASCII only in Qt Test
    QTest::keyClick(w.Combo2->lineEdit(), Qt::Key_Return);
    QStringList names;
    for (int i = 0; i < w.List1->count(); ++i)
        names << QFileInfo(w.List1->itemText(i)).fileName();
    names.sort();
    return names;
}

// Chooses the listed file `name` by the keys; waits `waitMs` for a document's text, or not at
// all when 0. False when it is not listed.
inline bool show(MainWindow &w, const QString &name, int waitMs)
{
    w.List1->setFocus();
    for (int i = 0; i < w.List1->count(); ++i) {
        QTest::keyClick(w.List1, i == 0 ? Qt::Key_Home : Qt::Key_Down);
        if (w.List1->selectedRow() < 0) // Home on the current row: Space selects it
            QTest::keyClick(w.List1, Qt::Key_Space);
        if (QFileInfo(w.List1->itemText(w.List1->selectedRow())).fileName() == name) {
            if (waitMs > 0)
                return QTest::qWaitFor([&] { return !w.documentReads().busy(); }, waitMs);
            return true;
        }
    }
    return false;
}

} // namespace listedfiles
