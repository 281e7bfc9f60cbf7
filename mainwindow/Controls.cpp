// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The controls of the client area at their design places, in creation order.

#include "mainwindow/MainWindow.h"

#include "mainwindow/PathList.h"

#include "platform/Twips.h"
#include "resources/Artwork.h"
#include "resources/Texts.h"
#include "viewer/TextViewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QStyle>

namespace {

void place(QWidget *w, double left, double top, double width, double height)
{
    w->setGeometry(twips::toPixels(left, top, width, height));
}

// The text a caption shows: access-key markers removed, "&&" shown as "&".
QString shownCaption(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out;
}

// The width a control needs to show its caption whole. A push button needs
// its text between the style's margins and frame (the style's preferred
// minimum width for buttons is a look, not a need); the others their size hint.
int captionWidth(const QWidget *w)
{
    if (const auto *button = qobject_cast<const QPushButton *>(w)) {
        const QStyle *style = button->style();
        return button->fontMetrics().horizontalAdvance(shownCaption(button->text())) +
               2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
               2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
    }
    return w->sizeHint().width();
}

// A captioned control keeps its design place but grows to its caption's width
// when the font in use needs more than its design width, so no caption is
// cut off; it never shrinks below the design width.
void placeCaptioned(QWidget *w, double left, double top, double width, double height)
{
    place(w, left, top, width, height);
    const int needed = captionWidth(w);
    if (w->width() < needed)
        w->resize(needed, w->height());
}

// The folder and keyword boxes start after their labels. Where the font in use
// makes a label wider than the space before its box, both boxes start that much
// later (with the design gap between label and box) and keep their right edges,
// so no label runs under a box's frame and the two boxes stay aligned.
void clearLabels(const QList<QLabel *> &labels, const QList<QWidget *> &boxes)
{
    const int gap = twips::toPixelsX(1320 - (120 + 1095));
    int start = 0;
    for (const QLabel *label : labels)
        start = qMax(start, label->geometry().right() + 1 + gap);
    for (QWidget *box : boxes) {
        if (box->x() >= start)
            continue;
        const int right = box->geometry().right();
        box->setGeometry(start, box->y(), right + 1 - start, box->height());
    }
}

QComboBox *makeFolderOrKeywordBox(QWidget *parent, const QString &tip)
{
    auto *box = new QComboBox(parent);
    box->setEditable(true);
    // The histories grow only through the search, never by Enter in the box.
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setDuplicatesEnabled(true);
    box->setCompleter(nullptr);
    box->setToolTip(tip);
    box->setAccessibleName(tip);
    box->lineEdit()->setAccessibleName(tip);
    return box;
}

} // namespace

void MainWindow::createControls()
{
    QWidget *client = m_client;

    createToolBar(); // Toolbar1 comes first

    Check1 = new QCheckBox(texts::subfolderBox, client);
    Check1->setObjectName(QStringLiteral("Check1"));
    placeCaptioned(Check1, 120, 1320, 2175, 255);

    List2 = new PathListView(client);
    List2->setObjectName(QStringLiteral("List2"));
    place(List2, 6120, 840, 1215, 240);
    List2->hide();

    Combo3 = new QComboBox(client);
    Combo3->setObjectName(QStringLiteral("Combo3"));
    Combo3->setEditable(true);
    Combo3->setInsertPolicy(QComboBox::NoInsert);
    Combo3->addItems({texts::patternAll, texts::patternText});
    place(Combo3, 6120, 480, 1215, 300);
    Combo3->hide();

    Picture1 = new QWidget(client);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Picture1->setAutoFillBackground(true);
    QPalette grey = Picture1->palette();
    grey.setColor(QPalette::Window, QColor(128, 128, 128));
    Picture1->setPalette(grey);
    place(Picture1, 6240, 1680, 135, 2295);
    Picture1->hide();

    // The viewer's design font, mapped to an installed Japanese monospace font.
    QFont::insertSubstitutions(texts::viewerFontFamily, {QStringLiteral("IPAGothic"),
                                                         QStringLiteral("Noto Sans Mono CJK JP"),
                                                         QStringLiteral("Noto Sans CJK JP")});
    RichTextBox1 = new TextViewer(client);
    RichTextBox1->setObjectName(QStringLiteral("RichTextBox1"));
    QFont viewerFont(texts::viewerFontFamily, 9);
    viewerFont.setStyleHint(QFont::Monospace);
    RichTextBox1->setFont(viewerFont);
    RichTextBox1->setToolTip(texts::tipViewer);
    RichTextBox1->setAccessibleName(texts::tipViewer);
    // F3 and Shift+F3 go through the lines that hold the keyword box's words,
    // split as the search that listed the file split them (at a full-width
    // space too under the width fold), read afresh at each press.
    RichTextBox1->setKeywordSource(
        [this] { return splitKeyword(Combo2->currentText(), m_listedFolds.width); });
    if (m_services.beeper)
        RichTextBox1->setBeeper(m_services.beeper);
    place(RichTextBox1, 1800, 1680, 4320, 2235);

    List1 = new PathListView(client);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setToolTip(texts::tipResultList);
    List1->setAccessibleName(texts::tipResultList);
    place(List1, 0, 1680, 1455, 2220);
    // A change of the selected entry, not of the current row: the list sets a
    // current row without selecting it when it takes the focus.
    connect(List1, &PathListView::selectedRowChanged, this, [this](int row) {
        if (row >= 0)
            List1_Click();
    });

    createStatusBar();

    Command2 = new QPushButton(texts::searchButton, client);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setToolTip(texts::tipSearchButton);
    Command2->setDefault(true);
    placeCaptioned(Command2, 5160, 840, 855, 300);
    connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });

    Command1 = new QPushButton(texts::browseButton, client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setToolTip(texts::tipBrowseButton);
    Command1->setAutoDefault(true); // Enter on the focused browse button clicks it
    placeCaptioned(Command1, 5160, 480, 855, 300);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    Combo2 = makeFolderOrKeywordBox(client, texts::tipKeywordBox);
    Combo2->setObjectName(QStringLiteral("Combo2"));
    place(Combo2, 1320, 840, 3735, 300);

    Combo1 = makeFolderOrKeywordBox(client, texts::tipFolderBox);
    Combo1->setObjectName(QStringLiteral("Combo1"));
    place(Combo1, 1320, 480, 3735, 300);

    // The splitter: an invisible strip that takes mouse events.
    Image1 = new QWidget(client);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setToolTip(texts::tipSplitter);
    Image1->setAccessibleName(texts::tipSplitter);
    Image1->setCursor(artwork::splitterCursor());
    place(Image1, 1560, 1680, 105, 2295);

    Label2 = new QLabel(texts::labelKeyword, client);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setToolTip(texts::tipKeywordBox);
    Label2->setBuddy(Combo2);
    placeCaptioned(Label2, 120, 910, 1095, 255);

    Label1 = new QLabel(texts::labelFolder, client);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setToolTip(texts::tipFolderBox);
    Label1->setBuddy(Combo1);
    placeCaptioned(Label1, 120, 550, 975, 255);
    clearLabels({Label1, Label2}, {Combo1, Combo2});

    // Tab order of the visible controls that take the focus.
    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Command1);
    setTabOrder(Command1, Command2);
    setTabOrder(Command2, List1);
    setTabOrder(List1, RichTextBox1);
    setTabOrder(RichTextBox1, Check1);
    setTabOrder(Check1, Combo1);
    for (QWidget *w : {static_cast<QWidget *>(List2), static_cast<QWidget *>(Combo3), Picture1,
                       Image1, static_cast<QWidget *>(Label1), static_cast<QWidget *>(Label2)})
        w->setFocusPolicy(Qt::NoFocus);
}
