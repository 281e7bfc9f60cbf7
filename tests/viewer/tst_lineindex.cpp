// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The viewer's line index and find, without a widget: a file whose lines end in
// a lone CR must read exactly as its twin with CR-LF ends (the same lines,
// offsets, text and find results), and both must agree with decoding each line
// on its own and searching the joined text.

#include "tests/viewer/RandomCp932.h"
#include "text/Cp932.h"
#include "viewer/LineIndex.h"
#include "viewer/TextFind.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

// One line of random bytes without CR or LF; now and then an empty one.
QByteArray randomLine(QRandomGenerator &rng)
{
    return randomCp932(rng, rng.bounded(100) < 10 ? 0 : int(rng.bounded(60)), false);
}

QByteArray joined(const QList<QByteArray> &lines, const QByteArray &eol)
{
    QByteArray out;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size())
            out += eol;
    }
    return out;
}

struct Twins {
    LineIndex crlf;
    LineIndex cr;
    QStringList lines; // each line decoded on its own
    QString text;      // the lines joined with "\n"
};

void makeTwins(const QList<QByteArray> &lines, Twins &t)
{
    t.crlf.setBytes(joined(lines, "\r\n"), nullptr);
    t.cr.setBytes(joined(lines, "\r"), nullptr);
    t.lines.clear();
    for (const QByteArray &line : lines)
        t.lines += cp932::decode(line);
    t.text = t.lines.join(u'\n');
}

} // namespace

class TestLineIndex : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Every line, offset and range of a lone-CR file is that of its CR-LF twin.
    void loneCrReadsAsCrlf_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("lineCount");
        QTest::newRow("one line") << 1u << 1;
        QTest::newRow("a few lines") << 2u << 5;
        QTest::newRow("across checkpoints") << 3u << int(3 * LineIndex::kLinesPerCheckpoint + 7);
        QTest::newRow("many lines") << 4u << 2000;
    }
    void loneCrReadsAsCrlf()
    {
        QFETCH(quint32, seed);
        QFETCH(int, lineCount);
        QRandomGenerator rng(seed);
        QList<QByteArray> bytes;
        for (int i = 0; i < lineCount; ++i)
            bytes += randomLine(rng);
        Twins t;
        makeTwins(bytes, t);

        for (const LineIndex *index : {&t.crlf, &t.cr}) {
            QCOMPARE(index->lineCount(), qsizetype(lineCount));
            QCOMPARE(index->length(), t.text.size());
            QCOMPARE(index->textRange(0, index->length()), t.text);
            qsizetype offset = 0;
            for (int i = 0; i < lineCount; ++i) {
                const LineIndex::Line line = index->lineAt(i);
                QCOMPARE(line.index, qsizetype(i));
                QCOMPARE(line.offset, offset);
                QCOMPARE(line.chars, t.lines[i].size());
                QCOMPARE(index->charsIn(line.begin, line.end), line.chars);
                QCOMPARE(index->decodeRange(line.begin, line.end), t.lines[i]);
                QCOMPARE(index->lineForRawPos(line.begin).index, qsizetype(i));
                QCOMPARE(index->lineForOffset(offset + line.chars).index, qsizetype(i));
                offset += line.chars + 1;
            }
        }
        // Lookups in a random order, so that they do not only go forward.
        for (int k = 0; k < 300; ++k) {
            const qsizetype a = rng.bounded(int(t.text.size() + 1));
            const qsizetype b = a + rng.bounded(200);
            QCOMPARE(t.cr.lineForOffset(a).index, t.crlf.lineForOffset(a).index);
            QCOMPARE(t.cr.lineForOffset(a).offset, t.crlf.lineForOffset(a).offset);
            QCOMPARE(t.cr.textRange(a, b), t.text.mid(a, b - a));
            QCOMPARE(t.crlf.textRange(a, b), t.text.mid(a, b - a));
        }
    }

    // Find gives the same answers in both files, on the byte path (one byte
    // form) and the decoding path (two byte forms, or a line break in the
    // word), as searching the decoded text does.
    void findInLoneCrAsInCrlf()
    {
        QRandomGenerator rng(11);
        QList<QByteArray> bytes;
        for (int i = 0; i < 500; ++i)
            bytes += randomLine(rng);
        bytes += "ascii needle";
        bytes += cp932::encode(u"終端語").bytes;
        bytes += "\x81\xE0 needle"; // ≒ in its first byte form of two
        Twins t;
        makeTwins(bytes, t);

        QStringList words = {QStringLiteral("ascii needle"),   QStringLiteral("終端語"),
                             QStringLiteral("≒ needle"),       QStringLiteral("needle\n終端"),
                             QStringLiteral("needle\r\n終端"), QStringLiteral("absent")};
        for (int k = 0; k < 60; ++k) { // pieces of the text, some across line breaks
            const qsizetype a = rng.bounded(int(t.text.size()));
            words += t.text.mid(a, 1 + rng.bounded(6));
        }
        for (const QString &word : std::as_const(words)) {
            QString plain = word;
            plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            for (const qsizetype start : {qsizetype(0), t.text.size() / 2, t.text.size() - 20}) {
                const qsizetype expected = t.text.indexOf(plain, start);
                const FindHit crlf = findText(t.crlf, word, start);
                const FindHit cr = findText(t.cr, word, start);
                QCOMPARE(crlf.offset, expected);
                QCOMPARE(cr.offset, expected);
                QCOMPARE(cr.length, expected < 0 ? 0 : plain.size());
            }
        }
    }

    // Lines that are long runs of lead-range bytes in which the word's bytes sit
    // between characters (9F 88 9F 88 ... holds 88 9F, the bytes of 亜, at every
    // other byte), with now and then a real occurrence or a byte that shifts the
    // pairing: find on the byte path, from starts inside the runs, gives what
    // searching the decoded text gives.
    void findInLeadRuns()
    {
        QRandomGenerator rng(12);
        const QList<QByteArray> units{"\x9F\x88", "\x88\x9F", "\x88\x88\x9F",
                                      "\xE0\x81", "\x88",     "\x9F\x88\x88"};
        const QList<QByteArray> breaks{"A",        "\x9F",     "\x88\x9F", QByteArray("\0", 1),
                                       "\x81\xE0", "\x95\x5C", "\x88"};
        const QStringList words{QStringLiteral("亜"), QStringLiteral("亜亜"), QStringLiteral("A"),
                                QStringLiteral("\\"), QStringLiteral("亜A"),  QStringLiteral("≒")};
        for (int round = 0; round < 200; ++round) {
            QList<QByteArray> lines;
            for (int n = 1 + int(rng.bounded(4)); n > 0; --n) {
                QByteArray line;
                for (int piece = int(rng.bounded(4)); piece > 0; --piece) {
                    line += units[rng.bounded(units.size())].repeated(rng.bounded(400));
                    if (rng.bounded(2))
                        line += breaks[rng.bounded(breaks.size())];
                }
                lines += line;
            }
            Twins t;
            makeTwins(lines, t);
            for (const QString &word : words) {
                for (int k = 0; k < 4; ++k) {
                    const qsizetype start = k == 0 ? 0 : rng.bounded(int(t.text.size() + 1));
                    const qsizetype expected = t.text.indexOf(word, start);
                    QCOMPARE(findText(t.crlf, word, start).offset, expected);
                    QCOMPARE(findText(t.cr, word, start).offset, expected);
                }
            }
        }
        // One line of a run 512 KiB long with the word once, at its end.
        LineIndex index;
        index.setBytes(QByteArray("\x9F\x88").repeated(1 << 18) + "\x88\x9F", nullptr);
        QCOMPARE(findText(index, QStringLiteral("亜"), 0).offset, qsizetype(1) << 18);
        QCOMPARE(findText(index, QStringLiteral("亜"), 1000).offset, qsizetype(1) << 18);
    }

    // A long file of short lone-CR lines: every step of a find over it costs
    // its line, so the word at the very end is found.
    void findAtTheEndOfManyLoneCrLines()
    {
        QByteArray bytes;
        for (int i = 0; i < 200000; ++i)
            bytes += "line " + QByteArray::number(i) + '\r';
        bytes += "\x87\x90 needle"; // ≒ in its second byte form
        LineIndex index;
        index.setBytes(bytes, nullptr);
        QCOMPARE(index.lineCount(), qsizetype(200001));
        const FindHit hit = findText(index, QStringLiteral("≒ needle"), 0);
        QCOMPARE(hit.offset, index.length() - 8);
        QCOMPARE(index.textRange(hit.offset - 12, index.length()),
                 QStringLiteral("line 199999\n≒ needle"));
    }
};

QTEST_GUILESS_MAIN(TestLineIndex)
#include "tst_lineindex.moc"
