// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Start-up (Form_Load) and shut-down (Form_Unload): the settings are read once
// when the window loads and written once when it closes.

#include "mainwindow/MainWindow.h"

#include "folderpicker/DriveList.h"
#include "folderpicker/FolderTree.h"
#include "folderpicker/SelectFolder.h"
#include "infowindows/TitleWindow.h"
#include "mainwindow/WindowGeometry.h"
#include "platform/HelpFile.h"
#include "platform/HelpViewer.h"
#include "platform/NumberText.h"
#include "platform/SettingsStore.h"
#include "platform/SettingsTable.h"
#include "resources/Texts.h"
#include "viewer/DocumentFile.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QThread>

#include <climits>

namespace {

// What the folder picker loaded at start-up reads and writes on the window.
class StartupPickerHost : public FolderPickerHost {
public:
    explicit StartupPickerHost(MainWindow &w) : m_w(w) {}
    QString path() const override { return m_w.path; }
    void setPath(const QString &path) override { m_w.path = path; }
    void setFolderBoxText(const QString &text) override { m_w.Combo1->setEditText(text); }

private:
    MainWindow &m_w;
};

// Appends text to the box unless an entry equals it exactly (case-sensitive),
// then makes it the box's edit text.
void putIntoBox(QComboBox *box, const QString &text)
{
    bool found = false;
    for (int i = 0; i < box->count(); ++i) {
        if (box->itemText(i) == text) {
            found = true;
            break;
        }
    }
    if (!found)
        box->addItem(text);
    box->setEditText(text);
}

float readGeometry(const SettingsStore &store, Setting id, bool isSize)
{
    const float value = readSingleSetting(store, id);
    const bool accepted = isSize ? wingeom::acceptsSize(value) : wingeom::acceptsPosition(value);
    if (accepted)
        return value;
    return float(numbertext::read(QString::fromLatin1(settingDef(id).defaultText)));
}

} // namespace

SettingsStore &MainWindow::settingsStore()
{
    if (m_services.settings)
        return *m_services.settings;
    // Without a store (some tests), the defaults are read and writes go nowhere.
    if (!m_ownSettings)
        m_ownSettings = std::make_unique<MemorySettingsStore>();
    return *m_ownSettings;
}

void MainWindow::Form_Load()
{
    // 1. The title window stays up, painted, while the load runs.
    auto title = std::make_unique<TitleWindow>();
    title->show();
    title->repaint();

    // 2.
    helpfile::setName(texts::helpFileName);

    // 3. to 6. Every setting, read once. Values the window cannot take fall
    // back to their defaults.
    const SettingsStore &store = settingsStore();
    // The native window first, so that where the platform knows its frame
    // already the stored outer size is given at once; where the frame comes
    // only with the first showing, keepOuterSize corrects the size then.
    create();
    version1 = short(readIntegerSetting(store, Setting::Version1, SHRT_MIN, SHRT_MAX));
    version2 = short(readIntegerSetting(store, Setting::Version2, SHRT_MIN, SHRT_MAX));
    wingeom::setLeft(this, readGeometry(store, Setting::WindowLeft, false));
    wingeom::setTop(this, readGeometry(store, Setting::WindowTop, false));
    wingeom::setWidth(this, readGeometry(store, Setting::WindowWidth, true));
    wingeom::setHeight(this, readGeometry(store, Setting::WindowHeight, true));
    wingeom::moveOntoScreen(this);
    wingeom::keepOuterSize(this);
    int state = readIntegerSetting(store, Setting::WindowState, SHRT_MIN, SHRT_MAX);
    if (state != wingeom::StateNormal && state != wingeom::StateMinimized &&
        state != wingeom::StateMaximized)
        state = wingeom::StateNormal;
    wingeom::setState(this, state);
    splitx = readIntegerSetting(store, Setting::SplitX, INT_MIN, INT_MAX);
    path = readSetting(store, Setting::Path);
    pattern = readSetting(store, Setting::Pattern);
    setEncodingMode(readEncodingSetting(store, Setting::Encoding));
    setSearchDocuments(readSwitchSetting(store, Setting::Documents));
    setFolds({readSwitchSetting(store, Setting::IgnoreCase),
              readSwitchSetting(store, Setting::IgnoreWidth),
              readSwitchSetting(store, Setting::IgnoreKana)});
    setSearchArchives(readSwitchSetting(store, Setting::Archives));

    // 7. and 8. Load the folder picker hidden and point it at path; each
    // failing step is skipped. Its own load already sees the new path, and a
    // volume that is not ready is reported by the picker from here.
    if (!m_pickerHost)
        m_pickerHost = std::make_unique<StartupPickerHost>(*this);
    m_selectFolder = std::make_unique<SelectFolder>(*m_pickerHost, m_services, this);
    m_selectFolder->Drive1()->setValue(path);
    m_selectFolder->Dir1()->setPath(path);

    // 9. and 10.
    putIntoBox(Combo1, path);
    putIntoBox(Combo3, pattern);

    // 11. and 12.
    dragging = false;
    if (wingeom::state(this) == wingeom::StateMinimized)
        wingeom::setState(this, wingeom::StateNormal);

    // 13.
    title->unload();
    title.reset();
}

void MainWindow::Form_Unload(short &Cancel)
{
    Q_UNUSED(Cancel); // closing always proceeds
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A document still being read for the viewer is given up.
    m_documentReads->stop();

    // 1.
    if (m_services.help)
        m_services.help->winHelp(this, helpfile::name(), HelpViewer::HELP_QUIT, 0);

    // 2. to 5. Every setting, written once.
    SettingsStore &store = settingsStore();
    writeIntegerSetting(store, Setting::Version1, version1);
    writeIntegerSetting(store, Setting::Version2, version2);
    const int state = wingeom::state(this);
    if (state != wingeom::StateNormal && state != wingeom::StateMaximized) {
        writeIntegerSetting(store, Setting::WindowLeft, lastleft);
        writeIntegerSetting(store, Setting::WindowTop, lasttop);
        writeIntegerSetting(store, Setting::WindowWidth, lastwidth);
        writeIntegerSetting(store, Setting::WindowHeight, lastheight);
        writeIntegerSetting(store, Setting::WindowState, wingeom::StateNormal);
    } else {
        writeSingleSetting(store, Setting::WindowLeft, float(wingeom::left(this)));
        writeSingleSetting(store, Setting::WindowTop, float(wingeom::top(this)));
        writeSingleSetting(store, Setting::WindowWidth, float(wingeom::width(this)));
        writeSingleSetting(store, Setting::WindowHeight, float(wingeom::height(this)));
        writeIntegerSetting(store, Setting::WindowState, state);
    }
    writeIntegerSetting(store, Setting::SplitX, splitx);
    writeSetting(store, Setting::Path, path);
    writeSetting(store, Setting::Pattern, pattern);
    writeSetting(store, Setting::Encoding, platform::encodingModeName(m_encoding));
    writeSwitchSetting(store, Setting::Documents, m_searchDocuments);
    writeSwitchSetting(store, Setting::IgnoreCase, m_folds.caseless);
    writeSwitchSetting(store, Setting::IgnoreWidth, m_folds.width);
    writeSwitchSetting(store, Setting::IgnoreKana, m_folds.kana);
    writeSwitchSetting(store, Setting::Archives, m_searchArchives);
    store.flush();

    // 6. End the program: the hidden folder picker goes without its own close
    // handling, and the event loop, when one runs, stops.
    m_selectFolder.reset();
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}
