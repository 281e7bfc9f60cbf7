// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "folderpicker/SelectFolder.h"

#include "folderpicker/DriveList.h"
#include "folderpicker/FolderTree.h"
#include "platform/MessageBox.h"
#include "platform/QtMessageBox.h"
#include "platform/Twips.h"
#include "platform/Volumes.h"
#include "resources/Texts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

// Stand-ins for a caller that passes no service: the real ones.
MessageBoxService &defaultMessageBox()
{
    static QtMessageBox box;
    return box;
}

const VolumeList &defaultVolumes()
{
    static SystemVolumeList volumes;
    return volumes;
}

// A path shown in a label must not turn an '&' in a folder name into an access
// key (and lose the character).
QString literalForLabel(const QString &text)
{
    QString escaped = text;
    return escaped.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

SelectFolder::SelectFolder(FolderPickerHost &host, const PlatformServices &services,
                           QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_host(host), m_messageBox(services.messageBox ? services.messageBox : &defaultMessageBox()),
      m_volumes(services.volumes ? services.volumes : &defaultVolumes())
{
    setWindowTitle(texts::pickerCaption);
    setModal(true);
    setFixedSize(twips::toPixels(3645, 3825)); // client area
    createControls();

    connect(m_drive1, &DriveList::changed, this, &SelectFolder::Drive1_Change);
    connect(m_dir1, &FolderTree::changed, this, &SelectFolder::Dir1_Change);
    connect(m_command1, &QPushButton::clicked, this, &SelectFolder::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &SelectFolder::Command2_Click);

    Form_Load();
}

SelectFolder::~SelectFolder() = default;

void SelectFolder::createControls()
{
    m_label1 = new QLabel(texts::pickerDriveLabel, this);
    m_label1->setGeometry(twips::toPixels(120, 120, 855, 255));
    // Wide enough for its text in the font at hand.
    m_label1->resize(std::max(m_label1->width(), m_label1->sizeHint().width()), m_label1->height());

    m_drive1 = new DriveList(*m_volumes, this);
    m_drive1->setObjectName(QStringLiteral("Drive1"));
    m_drive1->setGeometry(twips::toPixels(120, 360, 3375, 300));
    m_label1->setBuddy(m_drive1);

    m_label2 = new QLabel(texts::pickerFolderLabel, this);
    m_label2->setGeometry(twips::toPixels(120, 840, 900, 180));

    m_dir1 = new FolderTree(*m_volumes, this);
    m_dir1->setObjectName(QStringLiteral("Dir1"));
    m_dir1->setGeometry(twips::toPixels(120, 1080, 3375, 1980));
    m_label2->setBuddy(m_dir1);

    m_command1 = new QPushButton(texts::pickerOk, this);
    m_command1->setGeometry(twips::toPixels(360, 3360, 1215, 300));
    m_command1->setDefault(true);

    m_command2 = new QPushButton(texts::pickerCancel, this);
    m_command2->setGeometry(twips::toPixels(2040, 3360, 1215, 300));

    setTabOrder(m_drive1, m_dir1);
    setTabOrder(m_dir1, m_command1);
    setTabOrder(m_command1, m_command2);
}

// Each step ignores its own failure and the next one runs.
void SelectFolder::Form_Load()
{
    m_drive1->setValue(m_host.path());
    m_dir1->setPath(m_host.path());
    showFolderInLabel();
}

void SelectFolder::Drive1_Change()
{
    // Retry repeats until the volume opens or the user cancels; on Cancel the
    // drive list keeps the volume that failed and the tree keeps its folder.
    while (!m_dir1->setPath(m_drive1->value())) {
        const QString text = m_drive1->value() + texts::driveNotAccessible +
                             QStringLiteral("\r\n\r\n") + texts::deviceNotReady;
        QWidget *owner = isVisible() ? this : parentWidget();
        const int answer =
            m_messageBox->show(owner, text, texts::productName, mb::Critical | mb::RetryCancel);
        if (answer != mb::Retry)
            break;
    }
}

void SelectFolder::Dir1_Change()
{
    showFolderInLabel();
}

void SelectFolder::showFolderInLabel()
{
    m_label2->setText(texts::pickerFolderPrefix + literalForLabel(m_dir1->path()));
    m_label2->resize(m_label2->sizeHint()); // the label sizes itself to its text
}

void SelectFolder::Command1_Click()
{
    m_host.setFolderBoxText(FolderTree::entryPath(m_dir1->openEntry()));
    m_host.setPath(platform::withTrailingSeparator(m_dir1->path()));
    accept();
}

void SelectFolder::Command2_Click()
{
    reject();
}

void SelectFolder::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Centred on the screen, not on the opener.
    const QScreen *screen = parentWidget() ? parentWidget()->screen() : this->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    m_drive1->setFocus(Qt::OtherFocusReason);
}
