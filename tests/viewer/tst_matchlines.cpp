// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Going through the lines that hold every word of the keyword (F3, Shift+F3),
// select all (Ctrl+A) and the viewer's context menu: real keys and clicks on a
// real viewer over real files, and the line rule checked against a plain
// reference (split the bytes as the search does, decode each line, look for
// every word).

#include "platform/FakeBeeper.h"
#include "resources/Texts.h"
#include "tests/viewer/RandomCp932.h"
#include "text/Cp932.h"
#include "text/Fold.h"
#include "viewer/LineIndex.h"
#include "viewer/MatchLines.h"
#include "viewer/TextViewer.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFile>
#include <QMenu>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray sjis(const QString &text)
{
    return cp932::encode(text).bytes;
}

// The lines of bytes as the search reads them: split at CR-LF and lone CR (and
// at a lone LF when loneLf), each decoded on its own.
struct RefLine {
    qsizetype first; // raw start
    qsizetype end;   // raw position of its terminator
    QString text;
};
QList<RefLine> referenceLines(const QByteArray &bytes, bool loneLf)
{
    QList<RefLine> out;
    qsizetype begin = 0;
    for (qsizetype i = 0;; ++i) {
        if (i == bytes.size() || bytes[i] == '\r' || (loneLf && bytes[i] == '\n')) {
            out.append({begin, i, cp932::decode(bytes.constData() + begin, i - begin)});
            if (i == bytes.size())
                break;
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            begin = i + 1;
        }
    }
    return out;
}

bool holdsAll(const QString &line, const QStringList &words)
{
    for (const QString &w : words)
        if (!line.contains(w))
            return false;
    return true;
}

} // namespace

class TestMatchLines : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    FakeBeeper m_beeper;
    QStringList m_words;

    QByteArray write(const char *name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", name);
        return QFile::encodeName(path);
    }

    // A shown viewer whose keyword is m_words, as the main window sets it up.
    std::unique_ptr<TextViewer> makeViewer()
    {
        auto v = std::make_unique<TextViewer>();
        v->resize(400, 200);
        v->setKeywordSource([this] { return m_words; });
        v->setBeeper(&m_beeper);
        v->show();
        v->setFocus();
        m_beeper.clear();
        return v;
    }

    static qsizetype lineOfSelection(const TextViewer &v)
    {
        return v.lineOfOffset(v.selectionStart());
    }
    static qsizetype columnOfSelection(const TextViewer &v)
    {
        const qsizetype line = lineOfSelection(v);
        qsizetype start = v.selectionStart();
        while (start > 0 && v.lineOfOffset(start - 1) == line)
            --start;
        return v.selectionStart() - start;
    }
    static bool selectionOnScreen(const TextViewer &v)
    {
        const qsizetype line = lineOfSelection(v);
        return line >= v.firstVisibleLine() && line < v.firstVisibleLine() + v.visibleLineCount();
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void farFirstWordInALargeFile()
    {
        // 60,000 lines, over 3.5 MB: the first word is everywhere from line 60
        // on, the second word alone on other lines; both stand together on
        // lines 30,000 (second word first) and 54,999 only.
        const QString fatal = QStringLiteral("致命的");
        QByteArray bytes;
        bytes.reserve(60000 * 64);
        for (int i = 0; i < 60000; ++i) {
            QString line = QStringLiteral("%1 ").arg(i, 6, 10, QLatin1Char('0'));
            if (i == 30000)
                line += fatal + QStringLiteral(" at 12:00:00");
            else if (i == 54999)
                line += QStringLiteral("12:00:00 ") + fatal + QStringLiteral(" disk gone");
            else if (i >= 60 && i % 7 == 4)
                line += QStringLiteral("12:00:00 all is well");
            else if (i % 1000 == 500)
                line += fatal + QStringLiteral(" only, at 11:59:59");
            else
                line += QStringLiteral("nothing to see");
            line += QString(62 - line.size(), u'.');
            bytes += sjis(line) + "\r\n";
        }
        QVERIFY(bytes.size() > 3'500'000);
        const QByteArray path = write("large.log", bytes);
        m_words = {QStringLiteral("12:00:00"), fatal};
        auto v = makeViewer();
        QVERIFY(v->loadFile(path));
        // The first selection: the first occurrence of the first word.
        QVERIFY(v->find(m_words.first(), 0) >= 0);
        QCOMPARE(lineOfSelection(*v), qsizetype(60));

        QTest::keyClick(v.get(), Qt::Key_F3);
        QCOMPARE(lineOfSelection(*v), qsizetype(30000));
        QCOMPARE(v->selectedText(), m_words.first());
        QCOMPARE(columnOfSelection(*v), qsizetype(7 + 3 + 1 + 3)); // after "致命的 at "
        QVERIFY(selectionOnScreen(*v));

        QTest::keyClick(v.get(), Qt::Key_F3);
        QCOMPARE(lineOfSelection(*v), qsizetype(54999));
        QCOMPARE(columnOfSelection(*v), qsizetype(7));
        QCOMPARE(v->selectedText(), m_words.first());
        QVERIFY(selectionOnScreen(*v));
        QCOMPARE(m_beeper.count(), 0);

        // The last one: it stays and beeps.
        const qsizetype last = v->selectionStart();
        QTest::keyClick(v.get(), Qt::Key_F3);
        QCOMPARE(v->selectionStart(), last);
        QCOMPARE(m_beeper.count(), 1);

        QTest::keyClick(v.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(lineOfSelection(*v), qsizetype(30000));
        QVERIFY(selectionOnScreen(*v));
        QTest::keyClick(v.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(lineOfSelection(*v), qsizetype(30000));
        QCOMPARE(m_beeper.count(), 2);

        // From the top, through a line that holds the first word only.
        v->select(0, 0);
        QTest::keyClick(v.get(), Qt::Key_F3);
        QCOMPARE(lineOfSelection(*v), qsizetype(30000));
        // The second word alone drives nothing: only the first word is selected.
        m_words = {fatal, QStringLiteral("disk")};
        v->select(0, 0);
        QTest::keyClick(v.get(), Qt::Key_F3);
        QCOMPARE(lineOfSelection(*v), qsizetype(54999));
        QCOMPARE(v->selectedText(), fatal);
        QCOMPARE(columnOfSelection(*v), qsizetype(7 + 9));
    }

    void loneCrAndCrLfLines()
    {
        // As the search reads them: "alpha" | "beta alpha" | "alpha\nbeta" (a
        // lone LF stays inside the line) | "beta" | "xx alpha beta".
        const QByteArray path =
            write("ends.txt", "alpha\rbeta alpha\r\nalpha\nbeta\rbeta\r\nxx alpha beta");
        m_words = {QStringLiteral("alpha"), QStringLiteral("beta")};
        auto v = makeViewer();
        QVERIFY(v->loadFile(path));
        QCOMPARE(v->lineCount(), qsizetype(6)); // the viewer breaks at the lone LF too
        v->find(QStringLiteral("alpha"), 0);
        QCOMPARE(v->selectionStart(), qsizetype(0));

        const QList<std::pair<qsizetype, qsizetype>> forward = {{1, 5}, {2, 0}, {5, 3}};
        for (const auto &[line, column] : forward) {
            QTest::keyClick(v.get(), Qt::Key_F3);
            QCOMPARE(lineOfSelection(*v), line);
            QCOMPARE(columnOfSelection(*v), column);
            QCOMPARE(v->selectedText(), QStringLiteral("alpha"));
        }
        QCOMPARE(m_beeper.count(), 0);
        QTest::keyClick(v.get(), Qt::Key_F3);
        QCOMPARE(lineOfSelection(*v), qsizetype(5));
        QCOMPARE(m_beeper.count(), 1);

        // Backwards; the line of the lone LF counts once, from its part after it too.
        v->select(v->text().indexOf(QStringLiteral("beta\nbeta")), 0);
        QCOMPARE(lineOfSelection(*v), qsizetype(3));
        QTest::keyClick(v.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(lineOfSelection(*v), qsizetype(1));
        QTest::keyClick(v.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(lineOfSelection(*v), qsizetype(1));
        QCOMPARE(m_beeper.count(), 2);
    }

    void linesFollowTheEncodingMode()
    {
        // "x a\nb" | "y b a" as code page 932 reads it; with utf-8 and auto a
        // lone LF ends a line too, so only "y b a" holds both words.
        const QByteArray path = write("modes.txt", "x a\nb\r\ny b a\r\n");
        m_words = {QStringLiteral("a"), QStringLiteral("b")};
        const struct {
            platform::EncodingMode mode;
            qsizetype previous; // where Shift+F3 from the last line's "a" goes
        } rows[] = {{platform::EncodingMode::Cp932, 2},
                    {platform::EncodingMode::Utf8, 11},
                    {platform::EncodingMode::Auto, 11}};
        for (const auto &row : rows) {
            auto v = makeViewer();
            QVERIFY(v->loadFile(path, row.mode));
            v->select(11, 1);
            const int beeps = m_beeper.count();
            QTest::keyClick(v.get(), Qt::Key_F3, Qt::ShiftModifier);
            QCOMPARE(v->selectionStart(), row.previous);
            QCOMPARE(m_beeper.count(), beeps + (row.previous == 11 ? 1 : 0));
        }
    }

    void aReplacementForInvalidBytesIsNoWordsCharacter()
    {
        // Line 0 has U+FFFD only for bytes UTF-8 cannot read (FF, a cut
        // sequence); line 1 has the character itself. The search lists the
        // file for line 1 alone, so the viewer selects and visits only it.
        const QByteArray utf8 = write("bad8.txt", "x \xFF y \xE3\x81\n"
                                                  "z \xEF\xBF\xBD y\n");
        // UTF-16 LE: a lone high surrogate, then the character itself.
        const QByteArray utf16 = write("bad16.txt", QByteArray("\xFF\xFEx\0 \0\x3D\xD8 \0y\0\n\0"
                                                               "z\0 \0\xFD\xFF \0y\0\n\0",
                                                               30));
        m_words = {QString(QChar(0xFFFD)), QStringLiteral("y")};
        const struct {
            QByteArray path;
            platform::EncodingMode mode;
            qsizetype literal; // offset of the U+FFFD that was in the text
        } rows[] = {{utf8, platform::EncodingMode::Utf8, 10},
                    {utf8, platform::EncodingMode::Auto, -1}, // not valid: code page 932
                    {utf16, platform::EncodingMode::Auto, 8}};
        for (const auto &row : rows) {
            auto v = makeViewer();
            QVERIFY(v->loadFile(row.path, row.mode));
            if (row.literal < 0) {
                QVERIFY(v->text().startsWith(QStringLiteral("x ")));
                continue;
            }
            QCOMPARE(v->text().count(QChar(0xFFFD)),
                     row.mode == platform::EncodingMode::Utf8 ? 3 : 2);
            QCOMPARE(v->find(QString(QChar(0xFFFD)), 0), row.literal);
            QCOMPARE(v->find(QStringLiteral("\uFFFD y"), 0), row.literal);
            v->select(0, 0);
            const int beeps = m_beeper.count();
            QTest::keyClick(v.get(), Qt::Key_F3);
            QCOMPARE(v->selectionStart(), row.literal);
            QTest::keyClick(v.get(), Qt::Key_F3, Qt::ShiftModifier);
            QCOMPARE(v->selectionStart(), row.literal);
            QCOMPARE(m_beeper.count(), beeps + 1);
        }
    }

    void aLoneLfEndsALineWhereTheIndexSaysSo()
    {
        const QByteArray bytes = "alpha\nbeta\r\nbeta alpha\n";
        LineIndex index;
        index.setBytes(bytes, nullptr);
        const QStringList words = {QStringLiteral("alpha"), QStringLiteral("beta")};
        QCOMPARE(findMatchLine(index, words, 0, MatchDirection::Previous).offset, qsizetype(-1));
        // Inside the line "alpha\nbeta": the next is "beta alpha".
        QCOMPARE(findMatchLine(index, words, 7, MatchDirection::Next).offset, qsizetype(16));
        index.setLoneLfEndsLine(true);
        QCOMPARE(findMatchLine(index, words, 0, MatchDirection::Next).offset, qsizetype(16));
        QCOMPARE(findMatchLine(index, words, 16, MatchDirection::Previous).offset, qsizetype(-1));
        index.setLoneLfEndsLine(false);
        QCOMPARE(findMatchLine(index, words, 16, MatchDirection::Previous).offset, qsizetype(0));
    }

    void agreesWithTheReferenceOnRandomBytes()
    {
        // Every line that holds all words is visited, in order, forwards from
        // the top and backwards from the end, at the first word's first
        // occurrence; lone LFs, lead bytes before a line end and invalid pairs
        // count as the search decodes them.
        QRandomGenerator rng(20261208);
        for (int round = 0; round < 400; ++round) {
            const QByteArray bytes = randomCp932(rng, 20 + int(rng.bounded(600)));
            const bool loneLf = rng.bounded(4) == 0;
            const QList<RefLine> lines = referenceLines(bytes, loneLf);
            // Words taken from the text itself, so that lines do match.
            QStringList words;
            const int count = 1 + int(rng.bounded(3));
            for (int i = 0; i < count; ++i) {
                const QString &from = lines[rng.bounded(int(lines.size()))].text;
                if (!from.isEmpty())
                    words << from.mid(int(rng.bounded(int(from.size()))), 1 + int(rng.bounded(3)));
            }
            if (words.isEmpty())
                continue;
            LineIndex index;
            index.setBytes(bytes, nullptr);
            index.setLoneLfEndsLine(loneLf);

            QList<qsizetype> expected; // the first word's offset in each matching line
            for (const RefLine &l : lines) {
                if (!holdsAll(l.text, words))
                    continue;
                // Step over the characters before the first word, unit by unit.
                qsizetype p = l.first;
                for (qsizetype n = l.text.indexOf(words.first()); n > 0; --n)
                    p += cp932::isLeadByte(uchar(bytes[p])) && p + 1 < l.end && bytes[p + 1] != 0
                             ? 2
                             : 1;
                const LineIndex::Line at = index.lineForRawPos(p);
                expected << at.offset + index.charsIn(at.begin, p);
            }

            QList<qsizetype> forward;
            if (holdsAll(lines.first().text, words))
                forward << expected.first();
            for (qsizetype at = 0;;) {
                const MatchLineHit hit = findMatchLine(index, words, at, MatchDirection::Next);
                if (hit.offset < 0)
                    break;
                QVERIFY2(hit.offset > at, qPrintable(QStringLiteral("round %1").arg(round)));
                forward << hit.offset;
                at = hit.offset;
            }
            QCOMPARE(forward, expected);

            QList<qsizetype> backward;
            for (qsizetype at = index.length();;) {
                const MatchLineHit hit = findMatchLine(index, words, at, MatchDirection::Previous);
                if (hit.offset < 0)
                    break;
                QVERIFY2(hit.offset < at, qPrintable(QStringLiteral("round %1").arg(round)));
                backward.prepend(hit.offset);
                at = hit.offset;
            }
            if (holdsAll(lines.last().text, words))
                backward << expected.last();
            QCOMPARE(backward, expected);
        }
    }

    void underFoldsAgreesWithTheReference()
    {
        // Text drawn from characters that fold into one another, under every
        // choice of folds: each matching line is visited, its first word
        // covering the line's own characters, as a plain reference finds it
        // (decode the line, fold it with each unit's origin, look for every
        // folded word).
        const QString alphabet = u"AaＡａｶﾞﾟﾊカガかがパぱｰー1１x漢 "_qs;
        QRandomGenerator rng(20261209);
        for (int round = 0; round < 300; ++round) {
            const textfold::Folds folds{rng.bounded(2) == 1, rng.bounded(2) == 1,
                                        rng.bounded(2) == 1};
            QString text;
            for (int n = 20 + int(rng.bounded(200)); n > 0; --n)
                text += rng.bounded(12) == 0 ? (rng.bounded(2) ? u"\r\n"_qs : u"\r"_qs)
                                             : QString(alphabet[rng.bounded(alphabet.size())]);
            const QByteArray bytes = sjis(text);
            const QList<RefLine> lines = referenceLines(bytes, false);
            QStringList words;
            for (int i = 1 + int(rng.bounded(2)); i > 0; --i) {
                const QString &from = lines[rng.bounded(int(lines.size()))].text;
                if (!from.isEmpty())
                    words << from.mid(int(rng.bounded(int(from.size()))), 1 + int(rng.bounded(3)));
            }
            if (words.isEmpty())
                continue;
            QStringList foldedWords;
            for (const QString &w : words)
                foldedWords << textfold::folded(w, folds);
            LineIndex index;
            index.setBytes(bytes, nullptr);
            index.setLoneLfEndsLine(false);

            QList<MatchLineHit> expected;
            for (const RefLine &l : lines) {
                QString folded;
                std::vector<qsizetype> origins;
                textfold::appendFolded(l.text, folds, folded, &origins);
                if (!holdsAll(folded, foldedWords))
                    continue;
                const qsizetype at = folded.indexOf(foldedWords.first());
                const qsizetype end = at + foldedWords.first().size();
                const qsizetype from = origins[size_t(at)];
                const qsizetype to =
                    end < qsizetype(origins.size()) ? origins[size_t(end)] : l.text.size();
                const LineIndex::Line line = index.lineForRawPos(l.first);
                const qsizetype offset = line.offset + index.charsIn(line.begin, l.first);
                expected.append({offset + from, to - from}); // one character per unit here
            }
            QList<MatchLineHit> forward;
            const auto same = [](const MatchLineHit &a, const MatchLineHit &b) {
                return a.offset == b.offset && a.length == b.length;
            };
            const MatchLineHit first = findFirstUnderFolds(index, words.first(), folds);
            if (!expected.isEmpty() &&
                holdsAll(textfold::folded(lines.first().text, folds), foldedWords))
                forward << first;
            for (qsizetype at = 0;;) {
                const MatchLineHit hit =
                    findMatchLine(index, words, at, MatchDirection::Next, folds);
                if (hit.offset < 0)
                    break;
                QVERIFY2(hit.offset > at, qPrintable(QStringLiteral("round %1").arg(round)));
                forward << hit;
                at = hit.offset;
            }
            QVERIFY2(
                std::equal(forward.begin(), forward.end(), expected.begin(), expected.end(), same),
                qPrintable(QStringLiteral("round %1: %2 lines, %3 expected")
                               .arg(round)
                               .arg(forward.size())
                               .arg(expected.size())));
            const MatchLineHit last =
                findMatchLine(index, words, index.length(), MatchDirection::Previous, folds);
            if (!expected.isEmpty() &&
                !holdsAll(textfold::folded(lines.last().text, folds), foldedWords))
                QVERIFY(same(last, expected.last()));
        }
    }

    void aPieceNeverEndsBetweenAKanaAndItsMark()
    {
        // A line longer than what is decoded at a time, with ｶﾞ across the
        // place where the first piece ends: ガ is found, カ is not.
        const QByteArray bytes = QByteArray((1 << 20) - 1, 'x') + sjis(u"ｶﾞｽ"_qs) + "\r\nend";
        LineIndex index;
        index.setBytes(bytes, nullptr);
        const textfold::Folds width{false, true, false};
        const MatchLineHit hit = findFirstUnderFolds(index, u"ガス"_qs, width);
        QCOMPARE(hit.offset, qsizetype((1 << 20) - 1));
        QCOMPARE(hit.length, qsizetype(3));
        QCOMPARE(findFirstUnderFolds(index, u"カ"_qs, width).offset, qsizetype(-1));
        QCOMPARE(findFirstUnderFolds(index, u"ｶ"_qs, {}).offset, qsizetype((1 << 20) - 1));
    }

    void emptyKeywordDoesNothing()
    {
        const QByteArray path = write("plain.txt", "alpha beta\r\nalpha beta\r\n");
        m_words.clear();
        auto v = makeViewer();
        QVERIFY(v->loadFile(path));
        v->select(2, 3);
        QTest::keyClick(v.get(), Qt::Key_F3);
        QTest::keyClick(v.get(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(v->selectionStart(), qsizetype(2));
        QCOMPARE(v->selectionLength(), qsizetype(3));
        QCOMPARE(m_beeper.count(), 0);
        // Without a source at all, the same.
        v->setKeywordSource({});
        QTest::keyClick(v.get(), Qt::Key_F3);
        QCOMPARE(v->selectionStart(), qsizetype(2));
        QCOMPARE(m_beeper.count(), 0);
    }

    void ctrlASelectsTheWholeText()
    {
        const QByteArray path = write("all.txt", sjis(QStringLiteral("一行目\r\n二行目\rthree")));
        auto v = makeViewer();
        QVERIFY(v->loadFile(path));
        QTest::keyClick(v.get(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(v->selectionStart(), qsizetype(0));
        QCOMPARE(v->selectionLength(), v->length());
        QTest::keyClick(v.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("一行目\n二行目\nthree"));
    }

    void contextMenu()
    {
        const QByteArray path = write("menu.txt", "one\r\nalpha beta\r\nthree\r\nbeta alpha\r\n");
        m_words = {QStringLiteral("alpha"), QStringLiteral("beta")};
        auto v = makeViewer();
        QVERIFY(v->loadFile(path));

        // The right button opens it; nothing is selected, so Copy is off.
        const QPoint at(20, 5);
        QContextMenuEvent press(QContextMenuEvent::Mouse, at, v->viewport()->mapToGlobal(at));
        QApplication::sendEvent(v->viewport(), &press);
        QMenu *menu = v->contextMenu();
        QVERIFY(menu);
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QStringList texts;
        QList<QAction *> actions;
        for (QAction *a : menu->actions()) {
            if (a->isSeparator())
                continue;
            texts << a->text();
            actions << a;
        }
        // Last how the file was read, for information only.
        QCOMPARE(texts.takeLast(), texts::viewerReadAs + texts::readAsCp932);
        QVERIFY(!actions.takeLast()->isEnabled());
        QCOMPARE(texts, (QStringList{texts::viewerCopy, texts::viewerSelectAll,
                                     texts::viewerNextMatch, texts::viewerPreviousMatch}));
        QCOMPARE(actions[2]->shortcut(), QKeySequence(Qt::Key_F3));
        QCOMPARE(actions[3]->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F3));
        QVERIFY(!actions[0]->isEnabled());
        QVERIFY(actions[1]->isEnabled() && actions[2]->isEnabled() && actions[3]->isEnabled());
        QCOMPARE(v->selectionLength(), qsizetype(0)); // the right button selects nothing

        // N, its access key: the next matching line.
        QTest::keyClick(menu, Qt::Key_N);
        QTRY_VERIFY(!v->contextMenu());
        QCOMPARE(lineOfSelection(*v), qsizetype(1));
        QCOMPARE(v->selectedText(), QStringLiteral("alpha"));

        // From the keyboard (the Menu key); the selection enables Copy.
        QTest::keyClick(v.get(), Qt::Key_Menu);
        menu = v->contextMenu();
        QVERIFY(menu);
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QVERIFY(menu->actions().first()->isEnabled());
        QTest::keyClick(menu, Qt::Key_C);
        QTRY_VERIFY(!v->contextMenu());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("alpha"));

        // Shift+F10, then A: select all.
        QTest::keyClick(v.get(), Qt::Key_F10, Qt::ShiftModifier);
        menu = v->contextMenu();
        QVERIFY(menu);
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::keyClick(menu, Qt::Key_A);
        QTRY_VERIFY(!v->contextMenu());
        QCOMPARE(v->selectionLength(), v->length());

        // P: the previous matching line, before the last line: line 1 again.
        v->select(v->length() - 2, 0);
        QTest::keyClick(v.get(), Qt::Key_Menu);
        menu = v->contextMenu();
        QVERIFY(menu);
        QVERIFY(QTest::qWaitForWindowExposed(menu));
        QTest::keyClick(menu, Qt::Key_P);
        QTRY_VERIFY(!v->contextMenu());
        QCOMPARE(lineOfSelection(*v), qsizetype(1));

        // With an empty keyword the two line commands are off.
        m_words.clear();
        QTest::keyClick(v.get(), Qt::Key_Menu);
        menu = v->contextMenu();
        QVERIFY(menu);
        const QList<QAction *> all = menu->actions();
        QCOMPARE(all.size(), 7);
        QVERIFY(!all[3]->isEnabled());
        QVERIFY(!all[4]->isEnabled());
        menu->close();
        QTRY_VERIFY(!v->contextMenu());
    }
};

QTEST_MAIN(TestMatchLines)
#include "tst_matchlines.moc"
