// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The menu bar and the commands it runs.

#include "mainwindow/MainWindow.h"

#include "folderpicker/SelectFolder.h"
#include "infowindows/AboutWindow.h"
#include "platform/HelpFile.h"
#include "platform/HelpViewer.h"
#include "resources/Texts.h"

#include <QActionGroup>
#include <QComboBox>
#include <QMenu>
#include <QMenuBar>

namespace {

// What the folder picker reads and writes on the window: `path` and the
// folder box's edit text.
class PickerHost : public FolderPickerHost {
public:
    explicit PickerHost(MainWindow &w) : m_w(w) {}
    QString path() const override { return m_w.path; }
    void setPath(const QString &path) override { m_w.path = path; }
    void setFolderBoxText(const QString &text) override { m_w.Combo1->setEditText(text); }

private:
    MainWindow &m_w;
};

QAction *addItem(QMenu *menu, const QString &caption, const QKeySequence &shortcut)
{
    QAction *action = menu->addAction(caption);
    action->setShortcut(shortcut);
    // Taken by the window even while a text box has the focus.
    action->setShortcutContext(Qt::WindowShortcut);
    return action;
}

} // namespace

void MainWindow::createMenus()
{
    QMenuBar *bar = menuBar();

    MENU_FILE_CATEGORY = bar->addMenu(texts::menuFile);
    MENU_FILE_CATEGORY->setObjectName(QStringLiteral("MENU_FILE_CATEGORY"));
    MENU_EXIT = addItem(MENU_FILE_CATEGORY, texts::menuExit, QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(MENU_EXIT, &QAction::triggered, this, [this] { MENU_EXIT_Click(); });

    MENU_SEARCH_CATEGORY = bar->addMenu(texts::menuSearch);
    MENU_SEARCH_CATEGORY->setObjectName(QStringLiteral("MENU_SEARCH_CATEGORY"));
    MENU_FOLDER =
        addItem(MENU_SEARCH_CATEGORY, texts::menuFolder, QKeySequence(Qt::CTRL | Qt::Key_F));
    connect(MENU_FOLDER, &QAction::triggered, this, [this] { MENU_FOLDER_Click(); });
    MENU_SEARCH =
        addItem(MENU_SEARCH_CATEGORY, texts::menuSearchItem, QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(MENU_SEARCH, &QAction::triggered, this, [this] { MENU_SEARCH_Click(); });

    // How files are read: takes effect at the next search.
    MENU_ENCODING_CATEGORY = MENU_SEARCH_CATEGORY->addMenu(texts::menuEncoding);
    MENU_ENCODING_CATEGORY->setObjectName(QStringLiteral("MENU_ENCODING_CATEGORY"));
    auto *group = new QActionGroup(MENU_ENCODING_CATEGORY);
    group->setExclusive(true);
    const struct {
        QAction *&action;
        const QString &caption;
        platform::EncodingMode mode;
    } items[] = {
        {MENU_ENCODING_CP932, texts::menuEncodingCp932, platform::EncodingMode::Cp932},
        {MENU_ENCODING_UTF8, texts::menuEncodingUtf8, platform::EncodingMode::Utf8},
        {MENU_ENCODING_EUCJP, texts::menuEncodingEucJp, platform::EncodingMode::EucJp},
        {MENU_ENCODING_AUTO, texts::menuEncodingAuto, platform::EncodingMode::Auto},
    };
    for (const auto &item : items) {
        item.action = MENU_ENCODING_CATEGORY->addAction(item.caption);
        item.action->setCheckable(true);
        group->addAction(item.action);
        const platform::EncodingMode mode = item.mode;
        connect(item.action, &QAction::triggered, this, [this, mode] { setEncodingMode(mode); });
    }
    setEncodingMode(m_encoding);

    // Whether documents are searched through their text: from the next search.
    MENU_DOCUMENTS = MENU_SEARCH_CATEGORY->addAction(texts::menuDocuments);
    MENU_DOCUMENTS->setObjectName(QStringLiteral("MENU_DOCUMENTS"));
    MENU_DOCUMENTS->setCheckable(true);
    // Without a reader the item cannot take effect; the choice is still kept.
    MENU_DOCUMENTS->setEnabled(m_services.documents != nullptr);
    connect(MENU_DOCUMENTS, &QAction::toggled, this, [this](bool on) { m_searchDocuments = on; });
    setSearchDocuments(m_searchDocuments);

    // Loose matching: three folds, each on its own, from the next search.
    MENU_LOOSE_CATEGORY = MENU_SEARCH_CATEGORY->addMenu(texts::menuLoose);
    MENU_LOOSE_CATEGORY->setObjectName(QStringLiteral("MENU_LOOSE_CATEGORY"));
    const struct {
        QAction *&action;
        const QString &caption;
        const char *name;
        bool textfold::Folds::*fold;
    } folds[] = {
        {MENU_IGNORE_CASE, texts::menuIgnoreCase, "MENU_IGNORE_CASE", &textfold::Folds::caseless},
        {MENU_IGNORE_WIDTH, texts::menuIgnoreWidth, "MENU_IGNORE_WIDTH", &textfold::Folds::width},
        {MENU_IGNORE_KANA, texts::menuIgnoreKana, "MENU_IGNORE_KANA", &textfold::Folds::kana},
    };
    for (const auto &item : folds) {
        item.action = MENU_LOOSE_CATEGORY->addAction(item.caption);
        item.action->setObjectName(QString::fromLatin1(item.name));
        item.action->setCheckable(true);
        const auto fold = item.fold;
        connect(item.action, &QAction::toggled, this,
                [this, fold](bool on) { m_folds.*fold = on; });
    }
    setFolds(m_folds);

    // Whether archives and compressed files are searched inside: the same way.
    MENU_ARCHIVES = MENU_SEARCH_CATEGORY->addAction(texts::menuArchives);
    MENU_ARCHIVES->setObjectName(QStringLiteral("MENU_ARCHIVES"));
    MENU_ARCHIVES->setCheckable(true);
    MENU_ARCHIVES->setEnabled(m_services.documents != nullptr);
    connect(MENU_ARCHIVES, &QAction::toggled, this, [this](bool on) { m_searchArchives = on; });
    setSearchArchives(m_searchArchives);

    MENU_HELP_CATEGORY = bar->addMenu(texts::menuHelp);
    MENU_HELP_CATEGORY->setObjectName(QStringLiteral("MENU_HELP_CATEGORY"));
    MENU_CONTENTS = addItem(MENU_HELP_CATEGORY, texts::menuContents, {});
    connect(MENU_CONTENTS, &QAction::triggered, this, [this] { MENU_CONTENTS_Click(); });
    MENU_ABOUT = addItem(MENU_HELP_CATEGORY, texts::menuAbout, {});
    connect(MENU_ABOUT, &QAction::triggered, this, [this] { MENU_ABOUT_Click(); });
}

void MainWindow::setEncodingMode(platform::EncodingMode mode)
{
    m_encoding = mode;
    QAction *checked = mode == platform::EncodingMode::Utf8    ? MENU_ENCODING_UTF8
                       : mode == platform::EncodingMode::Auto  ? MENU_ENCODING_AUTO
                       : mode == platform::EncodingMode::EucJp ? MENU_ENCODING_EUCJP
                                                               : MENU_ENCODING_CP932;
    if (checked)
        checked->setChecked(true);
}

void MainWindow::setSearchDocuments(bool on)
{
    m_searchDocuments = on;
    if (MENU_DOCUMENTS)
        MENU_DOCUMENTS->setChecked(on);
}

void MainWindow::setFolds(textfold::Folds folds)
{
    m_folds = folds;
    if (MENU_IGNORE_CASE) {
        MENU_IGNORE_CASE->setChecked(folds.caseless);
        MENU_IGNORE_WIDTH->setChecked(folds.width);
        MENU_IGNORE_KANA->setChecked(folds.kana);
    }
}

void MainWindow::setSearchArchives(bool on)
{
    m_searchArchives = on;
    if (MENU_ARCHIVES)
        MENU_ARCHIVES->setChecked(on);
}

documents::DocumentReader *MainWindow::searchReader()
{
    if (!m_services.documents || (!m_searchDocuments && !m_searchArchives))
        return nullptr;
    if (!m_searchArchives)
        return m_services.documents; // as before archives could be searched
    // One for each choice, kept while the window lives: the viewer may still
    // read a file listed by an earlier search through it.
    for (const auto &reader : m_choiceReaders)
        if (reader->documents() == m_searchDocuments && reader->encoding() == m_encoding)
            return reader.get();
    m_choiceReaders.push_back(std::make_unique<documents::ChoiceReader>(
        *m_services.documents, m_searchDocuments, true, m_encoding));
    return m_choiceReaders.back().get();
}

void MainWindow::MENU_EXIT_Click()
{
    Q_EMIT commandRun(QStringLiteral("MENU_EXIT_Click"));
    close();
}

void MainWindow::MENU_CONTENTS_Click()
{
    Q_EMIT commandRun(QStringLiteral("MENU_CONTENTS_Click"));
    if (m_services.help)
        m_services.help->winHelp(this, helpfile::name(), HelpViewer::HELP_FINDER, 0);
}

void MainWindow::showHelpTopic(int topic)
{
    if (!m_services.help)
        return;
    if (topic > 0)
        m_services.help->winHelp(this, helpfile::name(), HelpViewer::HELP_CONTEXT, topic);
    else
        m_services.help->winHelp(this, helpfile::name(), HelpViewer::HELP_FINDER, 0);
}

void MainWindow::MENU_FOLDER_Click()
{
    Q_EMIT commandRun(QStringLiteral("MENU_FOLDER_Click"));
    if (m_selectFolder && m_selectFolder->isVisible())
        return; // already shown
    // Loaded on first use (its constructor runs its load), shown modally and
    // unloaded when it closes: it keeps no state between showings. Start-up
    // leaves it loaded and hidden; that instance is the one shown first.
    if (!m_pickerHost)
        m_pickerHost = std::make_unique<PickerHost>(*this);
    if (!m_selectFolder)
        m_selectFolder = std::make_unique<SelectFolder>(*m_pickerHost, m_services, this);
    m_selectFolder->exec();
    m_selectFolder.reset();
}

void MainWindow::MENU_ABOUT_Click()
{
    Q_EMIT commandRun(QStringLiteral("MENU_ABOUT_Click"));
    if (m_aboutWindow)
        return; // already shown
    m_aboutWindow = std::make_unique<AboutWindow>(this);
    m_aboutWindow->exec();
    m_aboutWindow.reset();
}

void MainWindow::Command1_Click()
{
    MENU_FOLDER_Click();
}

void MainWindow::Command2_Click()
{
    MENU_SEARCH_Click();
}
