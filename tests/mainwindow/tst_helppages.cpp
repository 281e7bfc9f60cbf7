// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// What the compiled-in help pages say, held against the program: a page that
// speaks of line ends or of how files are read names every encoding mode by
// its menu item's name, and every link leads to a page that is there.

#include "resources/Texts.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace {

// A menu item's name as the pages write it: without its access key.
QString menuName(const QString &text)
{
    return QString(text).remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
}

QString pageText(const QString &html)
{
    return QString(html).remove(QRegularExpression(QStringLiteral("<[^>]*>")));
}

} // namespace

class TestHelpPages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pagesAgreeWithTheProgram_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList pages =
            QDir(QStringLiteral(":/help"))
                .entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
        QVERIFY(pages.size() >= 10);
        for (const QString &page : pages)
            QTest::newRow(qPrintable(page)) << page;
    }
    void pagesAgreeWithTheProgram()
    {
        QFETCH(QString, name);
        QFile file(QStringLiteral(":/help/") + name);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        const QString text = pageText(html);

        // Line ends and the reading of files depend on the encoding mode.
        static const QRegularExpression speaksOfReading(
            QStringLiteral("\\b(CR|LF)\\b|シフト ?JIS|コード ページ|文字コード|UTF-"));
        if (text.contains(speaksOfReading)) {
            const QStringList names = {
                menuName(texts::menuEncoding), menuName(texts::menuEncodingCp932),
                menuName(texts::menuEncodingUtf8), menuName(texts::menuEncodingAuto)};
            for (const QString &mode : names)
                QVERIFY2(text.contains(mode), qPrintable(name + " does not name " + mode));
            QVERIFY2(!text.contains(QStringLiteral("シフト JIS")),
                     qPrintable(name + " spells シフトJIS unlike the menu"));
        }

        static const QRegularExpression link(QStringLiteral("href=\"([^\"#:]+)(#[^\"]*)?\""));
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const QString target = it.next().captured(1);
            QVERIFY2(QFile::exists(QStringLiteral(":/help/") + target),
                     qPrintable(name + " links to a missing " + target));
        }
    }
};

QTEST_GUILESS_MAIN(TestHelpPages)
#include "tst_helppages.moc"
