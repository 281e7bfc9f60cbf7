// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The viewer control on its own: loading and line ends, the decoding it shares
// with the search, find, load failures, scrolling, selection and accessibility.

#include "tests/viewer/RandomCp932.h"
#include "text/Cp932.h"
#include "viewer/TextViewer.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray sjis(const char *utf8)
{
    return cp932::encode(QString::fromUtf8(utf8)).bytes;
}

// What the viewer must show for raw bytes: lines split at CR-LF, CR or LF, each
// decoded on its own with the shared decoder, joined with "\n".
QString expectedText(const QByteArray &bytes)
{
    QString out;
    qsizetype begin = 0;
    for (qsizetype i = 0;; ++i) {
        if (i == bytes.size() || bytes[i] == '\r' || bytes[i] == '\n') {
            out += cp932::decode(bytes.constData() + begin, i - begin);
            if (i == bytes.size())
                break;
            out += u'\n';
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
            begin = i + 1;
        }
    }
    return out;
}

// Removes a chain of folders named "d" (with links named "l" beside them) below
// top, bottom-up, holding two descriptors at a time: removing by whole paths,
// as QTemporaryDir does, fails past PATH_MAX.
void removeFolderChain(const QByteArray &top)
{
    int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int depth = 0;
    while (fd >= 0) {
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (next < 0)
            break;
        ::close(fd);
        fd = next;
        ++depth;
    }
    if (fd < 0)
        return;
    ::unlinkat(fd, "deep.txt", 0);
    for (; depth > 0; --depth) {
        const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        if (parent < 0)
            return;
        fd = parent;
        ::unlinkat(fd, "l", 0);
        ::unlinkat(fd, "d", AT_REMOVEDIR);
    }
    ::close(fd);
}

} // namespace

class TestTextViewer : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_serial = 0;

    QByteArray writeFile(const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("f%1.txt").arg(++m_serial));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the test file");
        return QFile::encodeName(path);
    }

    static void prepare(TextViewer &v)
    {
        v.resize(400, 240);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::addColumn<qsizetype>("lines");
        QTest::newRow("empty") << QByteArray() << QString() << qsizetype(1);
        QTest::newRow("crlf") << QByteArray("a\r\nb") << QStringLiteral("a\nb") << qsizetype(2);
        QTest::newRow("lone cr") << QByteArray("a\rb") << QStringLiteral("a\nb") << qsizetype(2);
        QTest::newRow("lone lf") << QByteArray("a\nb") << QStringLiteral("a\nb") << qsizetype(2);
        QTest::newRow("cr then crlf")
            << QByteArray("a\r\r\nb") << QStringLiteral("a\n\nb") << qsizetype(3);
        QTest::newRow("lf then cr")
            << QByteArray("a\n\rb") << QStringLiteral("a\n\nb") << qsizetype(3);
        QTest::newRow("trailing end")
            << QByteArray("a\r\n") << QStringLiteral("a\n") << qsizetype(2);
        QTest::newRow("lead before line end")
            << QByteArray("\x82\r\n\x82\xa0") << QStringLiteral("\u30FB\nあ") << qsizetype(2);
        QTest::newRow("rtf header shown as text")
            << QByteArray("{\\rtf1\\ansi x}\r\n") << QStringLiteral("{\\rtf1\\ansi x}\n")
            << qsizetype(2);
    }
    void lineEnds()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QFETCH(qsizetype, lines);
        TextViewer v;
        QVERIFY(v.loadFile(writeFile(bytes)));
        QCOMPARE(v.text(), text);
        QCOMPARE(v.lineCount(), lines);
        QCOMPARE(v.length(), text.size());
        // A set text breaks lines the same way.
        TextViewer w;
        w.setText(QString::fromLatin1(bytes));
        QCOMPARE(w.lineCount(), lines);
    }

    // Random files: the text, every range of it and every find agree with the
    // shared decoder and QString::indexOf, across many index checkpoints.
    void randomFilesAgreeWithDecoder()
    {
        QRandomGenerator rng(20260308);
        for (int round = 0; round < 12; ++round) {
            const QByteArray bytes = randomCp932(rng, 2000 + int(rng.bounded(6000)));
            const QString expected = expectedText(bytes);
            TextViewer v;
            QVERIFY(v.loadFile(writeFile(bytes)));
            QCOMPARE(v.text(), expected);
            QCOMPARE(v.length(), expected.size());
            QCOMPARE(v.lineCount(), expected.count(u'\n') + 1);
            TextViewer s;
            s.setText(expected);
            for (int k = 0; k < 40; ++k) {
                const qsizetype a = rng.bounded(int(expected.size()));
                const qsizetype b = a + rng.bounded(200);
                QCOMPARE(v.textRange(a, b), expected.mid(a, b - a));
                QCOMPARE(v.lineOfOffset(a), QStringView(expected).left(a).count(u'\n'));

                const QString word = expected.mid(a, 1 + rng.bounded(4));
                const qsizetype from = k % 2 ? 0 : rng.bounded(int(expected.size()));
                const qsizetype want = expected.indexOf(word, from);
                QCOMPARE(v.find(word, from), want);
                QCOMPARE(s.find(word, from), want);
                if (want >= 0) {
                    QCOMPARE(v.selectionStart(), want);
                    QCOMPARE(v.selectedText(), word);
                }
            }
        }
    }

    void find_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("word");
        QTest::addColumn<qsizetype>("start");
        QTest::addColumn<qsizetype>("found");
        QTest::newRow("at offset 0")
            << QByteArray("key rest") << QStringLiteral("key") << qsizetype(0) << qsizetype(0);
        QTest::newRow("case-sensitive")
            << QByteArray("Tarn tarn") << QStringLiteral("tarn") << qsizetype(0) << qsizetype(5);
        QTest::newRow("no other case")
            << QByteArray("TARN") << QStringLiteral("tarn") << qsizetype(0) << qsizetype(-1);
        QTest::newRow("line break counts one")
            << QByteArray("ab\r\ncd\r\nkey") << QStringLiteral("key") << qsizetype(0)
            << qsizetype(6);
        QTest::newRow("not inside a double-byte character")
            << (sjis("ア") + "xA") << QStringLiteral("A") << qsizetype(0) << qsizetype(2);
        QTest::newRow("japanese after japanese")
            << sjis("日本語の本") << QStringLiteral("本") << qsizetype(2) << qsizetype(4);
        QTest::newRow("second form of a character")
            << QByteArray("x\xFA\x5C") << QString(QChar(0x7E8A)) << qsizetype(0) << qsizetype(1);
        QTest::newRow("character no bytes give")
            << QByteArray("abc") << QString(QChar(0xFFFD)) << qsizetype(0) << qsizetype(-1);
        QTest::newRow("across a line end")
            << QByteArray("xa\r\nb") << QStringLiteral("a\nb") << qsizetype(0) << qsizetype(1);
        QTest::newRow("empty word")
            << QByteArray("abc") << QString() << qsizetype(0) << qsizetype(-1);
        QTest::newRow("start past the end")
            << QByteArray("abc") << QStringLiteral("a") << qsizetype(4) << qsizetype(-1);
        QTest::newRow("start after the first")
            << QByteArray("a a") << QStringLiteral("a") << qsizetype(1) << qsizetype(2);
    }
    void find()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, word);
        QFETCH(qsizetype, start);
        QFETCH(qsizetype, found);
        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(writeFile(bytes)));
        v.select(1, 1);
        QCOMPARE(v.find(word, start), found);
        if (found >= 0) {
            QCOMPARE(v.selectionStart(), found);
            QCOMPARE(v.selectionLength(), word.size());
        } else { // selection unchanged, viewer still usable
            QCOMPARE(v.selectionStart(), qsizetype(1));
            QCOMPARE(v.selectionLength(), qsizetype(1));
            QCOMPARE(v.find(QStringLiteral("a"), 0), v.text().indexOf(u'a'));
        }
    }

    void unreadableFileEmptiesViewer_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << QStringLiteral("missing");
        QTest::newRow("deleted after listing") << QStringLiteral("deleted");
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("fifo") << QStringLiteral("fifo");
        QTest::newRow("empty name") << QStringLiteral("empty");
    }
    void unreadableFileEmptiesViewer()
    {
        QFETCH(QString, kind);
        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(writeFile("old content\nline 2")));
        QVERIFY(v.find(QStringLiteral("line"), 0) >= 0);
        QByteArray path = QFile::encodeName(m_dir.filePath(kind));
        if (kind == QLatin1String("deleted")) {
            path = writeFile("soon gone");
            QVERIFY(QFile::remove(QFile::decodeName(path)));
        } else if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(m_dir.path()).mkpath(kind));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(::mkfifo(path.constData(), 0600), 0); // must not block
        } else if (kind == QLatin1String("empty")) {
            path.clear();
        }
        QVERIFY(!v.loadFile(path));
        QCOMPARE(v.text(), QString());
        QCOMPARE(v.length(), qsizetype(0));
        QCOMPARE(v.selectionLength(), qsizetype(0));
        QCOMPARE(v.find(QStringLiteral("line"), 0), qsizetype(-1));
        QVERIFY(v.loadFile(writeFile("works again")));
        QCOMPARE(v.find(QStringLiteral("again"), 0), qsizetype(6));
    }

    // A file 3,000 folders down, at a path of about 6,000 bytes (open() takes
    // 4,096), shows with its word selected like any other; a link on the way is
    // followed as a shorter path would follow it.
    void fileAtAnyDepth()
    {
        constexpr int kDepth = 3000;
        constexpr int kLinkAt = 1500;
        // In memory where the system has a memory file system: removing 3,000
        // folders from a disk that discards freed blocks takes seconds.
        const QFileInfo shm(QStringLiteral("/dev/shm"));
        QTemporaryDir dir(shm.isDir() && shm.isWritable()
                              ? shm.filePath() + QStringLiteral("/tarnwell-XXXXXX")
                              : QString());
        QVERIFY(dir.isValid());
        const QByteArray top = QFile::encodeName(dir.path());
        const auto cleanup = qScopeGuard([&] { removeFolderChain(top); });
        // Built with *at() calls, since mkdir -p on the whole path fails too.
        QByteArray path = top;
        int fd = ::open(top.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < kDepth && fd >= 0; ++level) {
            QCOMPARE(::mkdirat(fd, "d", 0700), 0);
            if (level == kLinkAt) {
                QCOMPARE(::symlinkat("d", fd, "l"), 0);
                path += "/l";
            } else {
                path += "/d";
            }
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        QVERIFY(fd >= 0);
        const QByteArray text = sjis("一行目\r\n深い所の語です\r\n");
        const int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        ::close(fd);
        QVERIFY(file >= 0);
        QCOMPARE(::write(file, text.constData(), size_t(text.size())), ssize_t(text.size()));
        ::close(file);
        path += "/deep.txt";
        QVERIFY(path.size() > 6000);
        QCOMPARE(::open(path.constData(), O_RDONLY), -1);
        QCOMPARE(errno, ENAMETOOLONG);

        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(path));
        QCOMPARE(v.text(), QStringLiteral("一行目\n深い所の語です\n"));
        QCOMPARE(v.find(QStringLiteral("語"), 0), qsizetype(8));
        QCOMPARE(v.selectedText(), QStringLiteral("語"));
        QCOMPARE(v.lineOfOffset(v.selectionStart()), qsizetype(1));
    }

    // Showing a file does not touch its access time (the file is the test's
    // own, so the system allows that).
    void viewingKeepsAccessTime()
    {
        const QByteArray path = writeFile("read me\r\n");
        const struct timespec times[2] = {{1000000000, 0}, {0, UTIME_OMIT}};
        QCOMPARE(::utimensat(AT_FDCWD, path.constData(), times, 0), 0);
        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(path));
        QCOMPARE(v.text(), QStringLiteral("read me\n"));
        struct stat st {};
        QCOMPARE(::stat(path.constData(), &st), 0);
        QCOMPARE(qint64(st.st_atim.tv_sec), qint64(1000000000));
    }

    // Another program truncates the shown file: reading it must not end the
    // program; what is gone reads as zero bytes.
    void fileTruncatedWhileShown()
    {
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i)
            bytes += "line " + QByteArray::number(i) + " of text\r\n";
        const QByteArray path = writeFile(bytes);
        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(path));
        const qsizetype length = v.length();
        QVERIFY(QFile::resize(QFile::decodeName(path), 100));
        v.verticalScrollBar()->setValue(v.verticalScrollBar()->maximum());
        v.viewport()->repaint();
        const QString text = v.text();
        QVERIFY(text.startsWith(QStringLiteral("line 0 of text\nline 1")));
        QCOMPARE(v.find(QStringLiteral("line 19999"), 0), qsizetype(-1));
        QVERIFY(v.length() == length);
        QVERIFY(v.loadFile(writeFile("fresh")));
        QCOMPARE(v.text(), QStringLiteral("fresh"));
    }

    // The found word is scrolled into view vertically and horizontally, also in
    // a line too long to lay out whole, and a click there hits the same offset.
    void foundWordIsScrolledIntoView_data()
    {
        QTest::addColumn<int>("lineLength");
        QTest::addColumn<int>("lines");
        QTest::newRow("short lines") << 20 << 3000;
        QTest::newRow("long line") << 3000 << 300;
        QTest::newRow("very long line") << 60000 << 40;
    }
    void foundWordIsScrolledIntoView()
    {
        QFETCH(int, lineLength);
        QFETCH(int, lines);
        // Lines of x's then kanji; the needle replaces x's near the end of the x's
        // of a line far down.
        const QByteArray xs(lineLength / 2, 'x');
        const QByteArray line = xs + sjis("漢字").repeated(lineLength / 8) + "\r\n";
        QByteArray bytes = line.repeated(lines);
        bytes.replace((lines - lines / 6) * line.size() + xs.size() - 10, 6, "needle");
        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(writeFile(bytes)));
        const qsizetype found = v.find(QStringLiteral("needle"), 0);
        QCOMPARE(found, expectedText(bytes).indexOf(QStringLiteral("needle")));
        const qsizetype row = v.lineOfOffset(found);
        QVERIFY(row >= v.firstVisibleLine());
        QVERIFY(row < v.firstVisibleLine() + v.visibleLineCount());
        const QRect r = v.characterRect(found);
        QVERIFY2(v.viewport()->rect().contains(r.center()), qPrintable(QString::number(r.x())));
        QCOMPARE(v.offsetAt(QPoint(r.left() + 1, r.center().y())), found);
        QCOMPARE(v.textRange(found, found + 6), QStringLiteral("needle"));
    }

    // The selection is drawn in the highlight colour also while another widget
    // has the focus (the result list keeps it while the user browses).
    void selectionHighlightedWithoutFocus()
    {
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        auto *other = new QLineEdit(&window);
        auto *v = new TextViewer(&window);
        layout->addWidget(other);
        layout->addWidget(v);
        window.resize(400, 300);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(v->loadFile(writeFile("first line\r\nsecond WORD here\r\n")));
        other->setFocus();
        const QColor highlight = v->palette().color(QPalette::Active, QPalette::Highlight);
        auto highlighted = [&](const QRect &r) {
            const QImage image = v->viewport()->grab().toImage();
            int n = 0;
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    n += image.pixelColor(x, y) == highlight;
            return n;
        };
        const QRect wordRect = v->characterRect(18).united(v->characterRect(21));
        QCOMPARE(highlighted(wordRect), 0);
        QCOMPARE(v->find(QStringLiteral("WORD"), 0), qsizetype(18));
        QVERIFY(!v->hasFocus());
        QVERIFY(highlighted(wordRect) > wordRect.width() * wordRect.height() / 4);
    }

    void keyboardScrolling()
    {
        QByteArray bytes;
        for (int i = 0; i < 500; ++i)
            bytes += "line " + QByteArray::number(i) + "\n";
        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(writeFile(bytes)));
        v.setFocus();
        const qsizetype page = v.visibleLineCount();
        QTest::keyClick(&v, Qt::Key_Down);
        QCOMPARE(v.firstVisibleLine(), qsizetype(1));
        QTest::keyClick(&v, Qt::Key_PageDown);
        QCOMPARE(v.firstVisibleLine(), 1 + page);
        QTest::keyClick(&v, Qt::Key_End);
        QCOMPARE(v.firstVisibleLine(), v.lineCount() - page);
        QTest::keyClick(&v, Qt::Key_PageUp);
        QCOMPARE(v.firstVisibleLine(), v.lineCount() - 2 * page);
        QTest::keyClick(&v, Qt::Key_Home);
        QCOMPARE(v.firstVisibleLine(), qsizetype(0));
        QTest::keyClick(&v, Qt::Key_Up);
        QCOMPARE(v.firstVisibleLine(), qsizetype(0));
    }

    void mouseSelectionAndCopy()
    {
        TextViewer v;
        prepare(v);
        QVERIFY(v.loadFile(writeFile(sjis("日本語のテキスト\r\nsecond line"))));
        const QPoint from = v.characterRect(2).topLeft() + QPoint(1, 2);
        const QPoint to = v.characterRect(13).topLeft() + QPoint(1, 2);
        QTest::mousePress(v.viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(v.viewport(), to);
        QTest::mouseRelease(v.viewport(), Qt::LeftButton, {}, to);
        QCOMPARE(v.selectionStart(), qsizetype(2));
        QCOMPARE(v.selectedText(), QStringLiteral("語のテキスト\nseco"));
        QGuiApplication::clipboard()->clear();
        QTest::keyClick(&v, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("語のテキスト\nseco"));
        QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, from);
        QCOMPARE(v.selectionLength(), qsizetype(0));
    }

    void accessibleText()
    {
        TextViewer v;
        v.setAccessibleName(QStringLiteral("viewer"));
        prepare(v);
        QVERIFY(v.loadFile(writeFile(sjis("一行目\r\n二行目"))));
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&v);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("viewer"));
        QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("一行目\n二行目"));
        QVERIFY(iface->state().readOnly);
        QAccessibleTextInterface *text = iface->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 7);
        QCOMPARE(text->text(4, 7), QStringLiteral("二行目"));
        QCOMPARE(v.find(QStringLiteral("行"), 2), qsizetype(5));
        int a = -1, b = -1;
        text->selection(0, &a, &b);
        QCOMPARE(a, 5);
        QCOMPARE(b, 6);
    }

    // What a screen reader asks for reads the same in a file of lone-CR lines
    // as in its CR-LF twin.
    void accessibleTextOnLoneCr()
    {
        QByteArray crlf;
        for (int i = 0; i < 300; ++i)
            crlf += sjis("行") + QByteArray::number(i) + " text\r\n";
        crlf += sjis("最後");
        QByteArray cr = crlf;
        cr.replace("\r\n", "\r");
        TextViewer a, b;
        prepare(a);
        prepare(b);
        QVERIFY(a.loadFile(writeFile(crlf)));
        QVERIFY(b.loadFile(writeFile(cr)));
        QAccessibleTextInterface *ta = QAccessible::queryAccessibleInterface(&a)->textInterface();
        QAccessibleTextInterface *tb = QAccessible::queryAccessibleInterface(&b)->textInterface();
        QVERIFY(ta && tb);
        QCOMPARE(tb->characterCount(), ta->characterCount());
        QCOMPARE(QAccessible::queryAccessibleInterface(&b)->text(QAccessible::Value),
                 expectedText(crlf));
        QCOMPARE(tb->text(0, 11), QStringLiteral("行0 text\n行1 "));
        const int n = tb->characterCount();
        QCOMPARE(tb->text(n - 10, n), QStringLiteral("99 text\n最後"));
        for (int from = 0; from < n; from += 97)
            QCOMPARE(tb->text(from, from + 150), ta->text(from, from + 150));
        QCOMPARE(b.find(QStringLiteral("最後"), 0), qsizetype(n - 2));
        int s = -1, e = -1;
        tb->selection(0, &s, &e);
        QCOMPARE(s, n - 2);
        QCOMPARE(e, n);
    }
};

QTEST_MAIN(TestTextViewer)
#include "tst_textviewer.moc"
