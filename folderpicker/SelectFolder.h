// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// `SelectFolder`: the modal dialog in which the folder to search is chosen from
// a drive list and a folder tree. It starts from the host's `path` and, on OK,
// writes the open folder to the host's folder box and `path`. It keeps no state
// of its own: the opener destroys it after exec() and builds a new one next time.

#include <QDialog>

#include "folderpicker/FolderPickerHost.h"
#include "platform/Services.h"

class DriveList;
class FolderTree;
class MessageBoxService;
class QLabel;
class QPushButton;
class VolumeList;

class SelectFolder : public QDialog {
    Q_OBJECT
public:
    // Runs Form_Load: the controls are pointed at host.path() at once, and a
    // volume that is not ready is reported from here.
    SelectFolder(FolderPickerHost &host, const PlatformServices &services,
                 QWidget *parent = nullptr);
    ~SelectFolder() override;

    DriveList *Drive1() const { return m_drive1; }
    FolderTree *Dir1() const { return m_dir1; }
    QLabel *Label1() const { return m_label1; }
    QLabel *Label2() const { return m_label2; }
    QPushButton *Command1() const { return m_command1; }
    QPushButton *Command2() const { return m_command2; }

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createControls();
    void Form_Load();
    void Drive1_Change();
    void Dir1_Change();
    void Command1_Click();
    void Command2_Click();
    void showFolderInLabel();

    FolderPickerHost &m_host;
    MessageBoxService *m_messageBox;
    const VolumeList *m_volumes;

    QLabel *m_label1 = nullptr;
    DriveList *m_drive1 = nullptr;
    QLabel *m_label2 = nullptr;
    FolderTree *m_dir1 = nullptr;
    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
};
