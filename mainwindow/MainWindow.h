// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The program's one main window: its controls, menus, toolbar and status bar,
// and the commands they run. The controls keep their design names (Combo1,
// List1, ...) so every part of the program refers to them the same way.

#include "documents/ChoiceReader.h"
#include "folderpicker/FolderPickerHost.h"
#include "mainwindow/PathList.h"
#include "platform/Services.h"
#include "platform/SettingsStore.h"
#include "search/Tokenizer.h"
#include "text/EncodingMode.h"
#include "text/Fold.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QString>

#include <memory>
#include <stop_token>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QStatusBar;
class QToolBar;
class AboutWindow;
class SelectFolder;
class TextViewer;
class RepaintPacer;
class DesktopShell;
class BackgroundDocumentReads;
class InputGate;
struct ListedDocument;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const PlatformServices &services, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Public state, read and written by the other windows.
    short version1 = 0;
    short version2 = 0;
    QString path;     // the folder of the last search or of the last folder-picker choice
    QString pattern;  // passes from the settings store to Combo3 and back
    int lastleft = 0; // the window geometry of the last layout pass, in twips
    int lasttop = 0;
    int lastwidth = 0;
    int lastheight = 0;

    // Controls, in creation order. Hidden: List2, Combo3, Picture1.
    QToolBar *Toolbar1 = nullptr;
    QCheckBox *Check1 = nullptr;
    PathListView *List2 = nullptr; // the work list; item data Qt::UserRole: native path
    QComboBox *Combo3 = nullptr;
    QWidget *Picture1 = nullptr;
    TextViewer *RichTextBox1 = nullptr;
    PathListView *List1 = nullptr; // the result list; item data Qt::UserRole: native path
    QStatusBar *StatusBar1 = nullptr;
    QPushButton *Command2 = nullptr;
    QPushButton *Command1 = nullptr;
    QComboBox *Combo2 = nullptr;
    QComboBox *Combo1 = nullptr;
    QWidget *Image1 = nullptr;
    QList<QPixmap> ImageList1; // images 1..5 at positions 0..4
    QLabel *Label2 = nullptr;
    QLabel *Label1 = nullptr;

    // Menu items.
    QMenu *MENU_FILE_CATEGORY = nullptr;
    QAction *MENU_EXIT = nullptr;
    QMenu *MENU_SEARCH_CATEGORY = nullptr;
    QAction *MENU_FOLDER = nullptr;
    QAction *MENU_SEARCH = nullptr;
    QMenu *MENU_ENCODING_CATEGORY = nullptr; // a submenu of the search menu
    QAction *MENU_ENCODING_CP932 = nullptr;  // radio items, one checked
    QAction *MENU_ENCODING_UTF8 = nullptr;
    QAction *MENU_ENCODING_EUCJP = nullptr;
    QAction *MENU_ENCODING_AUTO = nullptr;
    QAction *MENU_DOCUMENTS = nullptr;    // a check item: search inside documents
    QMenu *MENU_LOOSE_CATEGORY = nullptr; // あいまい検索: the three folds
    QAction *MENU_IGNORE_CASE = nullptr;
    QAction *MENU_IGNORE_WIDTH = nullptr;
    QAction *MENU_IGNORE_KANA = nullptr;
    QAction *MENU_ARCHIVES = nullptr; // a check item: search inside archives
    QMenu *MENU_HELP_CATEGORY = nullptr;
    QAction *MENU_CONTENTS = nullptr;
    QAction *MENU_ABOUT = nullptr;
    // In the search menu: stops the running search (enabled only then); also
    // Esc and the toolbar's stop button (index 9).
    QAction *MENU_STOP = nullptr;
    // In the search menu: the files the last search could not read, with
    // why (enabled when there are any).
    QAction *MENU_UNREADABLE = nullptr;

    // Panel 1 of StatusBar1.
    QString panelText() const;
    void setPanelText(const QString &text);

    // The help topic F1 opens for a control or menu, 0 for none (the contents).
    int helpTopicFor(const QObject *target) const;

    // Commands.
    void MENU_EXIT_Click();
    void MENU_FOLDER_Click();
    void MENU_SEARCH_Click();
    void MENU_CONTENTS_Click();
    void MENU_ABOUT_Click();
    void Command1_Click();
    void Command2_Click();
    void Toolbar1_ButtonClick(short index);
    void StatusBar1_PanelDblClick(short index);
    void List1_Click();
    void MENU_STOP_Click();
    void MENU_UNREADABLE_Click();
    // The files and folders the last search could not read: "path: why".
    const QStringList &unreadableFiles() const { return m_unreadable; }
    // The window MENU_UNREADABLE shows, while it is open.
    QWidget *unreadableWindow() const { return m_unreadableWindow; }

    // The tokenizer and the folder walk, over the engine.
    QString GetToken(const QString &str, const QString &token);
    void GetFileNameInAllSubDirectory(QString str);

    bool searchRunning() const { return m_searchRunning; }
    // The longest time, in ms, the last search went without processing the
    // window system's events (paint, expose, the accessibility bus).
    qint64 longestUnpaintedMs() const;
    // The listed documents being read for the viewer, each on a thread of
    // its own while the window goes on (busy(): the viewer waits for one).
    const BackgroundDocumentReads &documentReads() const { return *m_documentReads; }

    // How the next search reads files (the checked item of the encoding
    // submenu), and how the search that filled the result list read them:
    // the viewer shows a listed file decoded that way.
    platform::EncodingMode encodingMode() const { return m_encoding; }
    void setEncodingMode(platform::EncodingMode mode);
    platform::EncodingMode listedEncodingMode() const { return m_listedEncoding; }
    // Whether the next search reads documents through their text (the search
    // menu's check item; kept when no reader is available, but then unused).
    bool searchDocuments() const { return m_searchDocuments; }
    // The folds of loose matching for the next search, and those of the
    // search that listed the files (the viewer finds under them).
    textfold::Folds folds() const { return m_folds; }
    void setFolds(textfold::Folds folds);
    textfold::Folds listedFolds() const { return m_listedFolds; }
    void setSearchDocuments(bool on);
    bool searchArchives() const { return m_searchArchives; }
    void setSearchArchives(bool on);

    // Start-up and shut-down (Startup.cpp), the layout pass and the splitter
    // (Layout.cpp). X and Y are in twips from the splitter's top-left corner.
    void Form_Load();
    void Form_Unload(short &Cancel);
    void Form_Resize();
    void Image1_MouseDown(short Button, short Shift, float X, float Y);
    void Image1_MouseMove(short Button, short Shift, float X, float Y);
    void Image1_MouseUp(short Button, short Shift, float X, float Y);
    int splitX() const { return splitx; }
    bool isDragging() const { return dragging; }
    // The modal dialog the window is showing, or null.
    SelectFolder *selectFolder() const { return m_selectFolder.get(); }
    AboutWindow *aboutWindow() const { return m_aboutWindow.get(); }

Q_SIGNALS:
    // Panel 1 took a new text (every text the search sets, in order).
    void panelTextChanged(const QString &text);
    // A command ran (its handler name), for whoever watches the window.
    void commandRun(const QString &handler);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void createControls();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    void dockBars();
    bool routeKey(QObject *watched, QKeyEvent *event);
    void showHelpTopic(int topic);

    PlatformServices m_services;
    Tokenizer m_tokenizer;
    QWidget *m_client = nullptr; // the client area the design positions refer to
    QLabel *m_panel1 = nullptr;
    // Panel 1's text; while a search runs the label takes it only when the
    // window repaints, so thousands of texts a second cost no label layout.
    QString m_panelText;
    void showPanelText();
    std::unique_ptr<RepaintPacer> m_pacer;
    // The folder picker while it is shown; it lives only from its load to its close.
    std::unique_ptr<FolderPickerHost> m_pickerHost;
    std::unique_ptr<SelectFolder> m_selectFolder;
    std::unique_ptr<AboutWindow> m_aboutWindow; // while it is shown
    bool m_searchRunning = false;
    bool m_closePending = false;
    // While a search runs (SearchStop.cpp): its stop, and the user's input
    // held for its end, but for Esc, the close box, the menus and the stop
    // button, which act at once.
    std::stop_source m_stop;
    std::unique_ptr<InputGate> m_gate;
    QStringList m_unreadable;
    QPointer<QWidget> m_unreadableWindow;
    void createUnreadableCommand();
    void showFolderError(int error);
    bool m_replayingInput = false; // the input held during a search is delivered
    void createStopCommand();
    void beginSearchInput();
    void endSearchInput();
    QWidget *inputTarget(QObject *target, const QEvent *event) const;
    int searchInputVerdict(QObject *target, QEvent *event);
    bool dropAfterSearch(QObject *target, const QEvent *event) const;
    platform::EncodingMode m_encoding = platform::EncodingMode::Cp932;
    platform::EncodingMode m_listedEncoding = platform::EncodingMode::Cp932;
    bool m_searchDocuments = false;
    textfold::Folds m_folds;
    textfold::Folds m_listedFolds;
    bool m_searchArchives = false;
    // The reader a search with these choices hands files to (null: none).
    documents::DocumentReader *searchReader();
    std::vector<std::unique_ptr<documents::ChoiceReader>> m_choiceReaders;
    // The reader of the search that filled the result list, null when it
    // read every file as text.
    documents::DocumentReader *m_listedDocuments = nullptr;
    // The listed document being read for the viewer; a newer choice, a
    // search and the close drop its answer.
    std::unique_ptr<BackgroundDocumentReads> m_documentReads;
    // Shows a listed file in the viewer as the search read it, and selects
    // `word` in it. A document is read on a thread and shown when its text
    // comes; a text file at once. A file that cannot be read leaves the
    // viewer empty.
    void showListedFile(const QByteArray &nativePath, const QString &word);
    void showListed(const QByteArray &nativePath, platform::EncodingMode encoding,
                    ListedDocument document, const QString &word);

    int splitx = 0; // twips
    bool dragging = false;

    void wireSplitter();
    void applySplitFromBar();
    SettingsStore &settingsStore();
    std::unique_ptr<SettingsStore> m_ownSettings; // used when no store was given
    std::unique_ptr<DesktopShell> m_ownDesktop;   // used when no desktop was given
    int m_layoutDepth = 0;                        // nesting of Form_Resize
    bool m_unloaded = false;

    friend class WindowSearchObserver;
};
