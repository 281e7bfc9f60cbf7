// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The folded search against the plain reference (decode the whole file,
// split its lines, fold each, compare), over random text made of characters
// that fold into one another, in every encoding mode, with blocks and reads
// short enough to cut lines, characters and composed pairs anywhere.

#include "search/SearchRun.h"
#include "search/TextMatcher.h"
#include "tests/common/TestSeed.h"
#include "tests/search/EncodingReference.h"
#include "tests/search/MemorySource.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>
#include <QTest>

using platform::EncodingMode;
using textfold::Folds;

namespace {

// Each entry: the forms one thing may take in a text; a text and a word
// take each thing in forms chosen apart.
const QList<QStringList> &things()
{
    static const QList<QStringList> list{
        {u"a"_qs, u"A"_qs, u"ａ"_qs, u"Ａ"_qs},
        {u"k"_qs, u"K"_qs, u"\u212A"_qs, u"ｋ"_qs},
        {u"ガ"_qs, u"が"_qs, u"ｶﾞ"_qs},
        {u"カ"_qs, u"か"_qs, u"ｶ"_qs},
        {u"パ"_qs, u"ぱ"_qs, u"ﾊﾟ"_qs},
        {u"ハ"_qs, u"は"_qs, u"ﾊ"_qs},
        {u"ヴ"_qs, u"ゔ"_qs, u"ｳﾞ"_qs},
        {u"ー"_qs, u"ｰ"_qs},
        {u"ﾞ"_qs, u"゛"_qs},
        {u"～"_qs, u"〜"_qs, u"~"_qs},
        {u"－"_qs, u"−"_qs, u"-"_qs},
        {u"￥"_qs, u"¥"_qs},
        {u"\\"_qs, u"＼"_qs},
        {u"Σ"_qs, u"σ"_qs},
        {u" "_qs, u"　"_qs},
        {u"見"_qs},
        {u"積"_qs},
        {u"ß"_qs},
        {u"・"_qs},
        {u"😀"_qs},
    };
    return list;
}

QString render(const std::vector<int> &ids, QRandomGenerator &rng)
{
    QString out;
    for (const int id : ids) {
        const QStringList &forms = things()[id];
        out += forms[rng.bounded(forms.size())];
    }
    return out;
}

QByteArray encodeCp932(const QString &text, QRandomGenerator &rng)
{
    QByteArray out;
    for (const QChar c : text) {
        const QList<QByteArray> forms = cp932::unitForms(c.unicode());
        out += forms.isEmpty() ? QByteArray("?") : forms[rng.bounded(forms.size())];
    }
    return out;
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

// Lines of things; lines long enough now and then to be cut in pieces.
QString randomText(QRandomGenerator &rng)
{
    static const char *const breaks[] = {"\r\n", "\n", "\r"};
    QString text;
    const int lines = 1 + int(rng.bounded(6));
    for (int l = 0; l < lines; ++l) {
        std::vector<int> ids(rng.bounded(rng.bounded(4) == 0 ? 200 : 20));
        for (int &id : ids)
            id = int(rng.bounded(things().size()));
        text += render(ids, rng);
        if (l + 1 < lines)
            text += QString::fromLatin1(breaks[rng.bounded(3)]);
    }
    return text;
}

// A file of such lines in any encoding; a stray invalid byte now and then.
QByteArray randomFile(QRandomGenerator &rng)
{
    const QString text = randomText(rng);
    switch (rng.bounded(8)) {
    case 6:
        return QStringEncoder("EUC-JP").encode(text);
    case 7:
        return QStringEncoder("ISO-2022-JP").encode(text);
    case 0:
    case 1:
        return encodeCp932(text, rng);
    case 2:
        return text.toUtf8();
    case 3: {
        QByteArray out = text.toUtf8();
        out.insert(rng.bounded(out.size() + 1), "\xE3\x81");
        return out;
    }
    case 4:
        return "\xEF\xBB\xBF" + text.toUtf8();
    default:
        return utf16(text, rng.bounded(2));
    }
}

QStringList randomWords(QRandomGenerator &rng)
{
    QStringList words;
    const int count = 1 + int(rng.bounded(2));
    for (int i = 0; i < count; ++i) {
        std::vector<int> ids(1 + rng.bounded(3));
        for (int &id : ids)
            id = int(rng.bounded(things().size()));
        words << render(ids, rng);
    }
    return words;
}

using testing_seed::seed;

} // namespace

class FoldMatcherTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void differentialEveryModeAndFold();
    void documentLines();
    void linesAtOnce();
    void asciiWordsOnTheirBytes();
    void autoModeReadsEachEncoding();
};

void FoldMatcherTest::differentialEveryModeAndFold()
{
    QRandomGenerator rng(seed());
    static const qsizetype blocks[] = {1, 7, 64, 100, 65536};
    static const std::pair<reference::Mode, EncodingMode> modes[] = {
        {reference::Mode::Cp932, EncodingMode::Cp932},
        {reference::Mode::Utf8, EncodingMode::Utf8},
        {reference::Mode::Auto, EncodingMode::Auto},
        {reference::Mode::EucJp, EncodingMode::EucJp}};
    qint64 matched = 0, runs = 0;
    for (int file = 0; file < 1500; ++file) {
        const QByteArray bytes = randomFile(rng);
        const QStringList words = randomWords(rng);
        const int bits = 1 + int(rng.bounded(7));
        const Folds folds{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0};
        for (const auto &[refMode, mode] : modes) {
            const bool expected = reference::matches(refMode, bytes, words, folds);
            const qsizetype block = blocks[rng.bounded(5)];
            const qsizetype chunk = rng.bounded(3) == 0 ? 1 + rng.bounded(7) : 1 << 30;
            MemorySource source(bytes, chunk, rng.bounded(2));
            TextMatcher matcher(words, mode, folds);
            const bool got = matcher.matches(source, block);
            ++runs;
            matched += expected;
            if (got != expected) {
                qWarning() << "got" << got << "mode" << int(mode) << "folds" << bits << "block"
                           << block << "chunk" << chunk << "words" << words << "bytes"
                           << bytes.toHex(' ');
                QCOMPARE(got, expected);
            }
        }
    }
    qInfo("%lld runs, %lld matches", runs, matched);
    QVERIFY(matched > runs / 20);
}

void FoldMatcherTest::documentLines()
{
    // Documents' lines under each fold, a composed pair never cut.
    const std::vector<QString> lines{u"ＰＤＦ形式の資料"_qs, u"ﾃﾞｰﾀﾍﾞｰｽ"_qs, u"サーバーの設定"_qs};
    const auto found = [&](const QStringList &words, Folds folds) {
        return TextMatcher(words, EncodingMode::Cp932, folds).matchesLines(lines);
    };
    QVERIFY(found({u"pdf"_qs, u"資料"_qs}, {true, true, false}));
    QVERIFY(!found({u"pdf"_qs, u"資料"_qs}, {false, true, false}));
    QVERIFY(found({u"データ"_qs}, {false, true, false}));
    QVERIFY(!found({u"テ"_qs}, {true, true, true}));
    QVERIFY(found({u"さーばー"_qs, u"設定"_qs}, {false, false, true}));
    QVERIFY(!found({u"さーばー"_qs, u"設定"_qs}, {true, true, false}));
}

void FoldMatcherTest::linesAtOnce()
{
    // A document's text handed over whole, its lines ending at CR or LF, as
    // UTF-16 or as UTF-8: found exactly where one of its lines is found
    // alone, with every fold and with none (the exact search, which takes
    // the text in one pass), whatever the mode files are read in.
    QRandomGenerator rng(seed());
    int found = 0;
    for (int i = 0; i < 3000; ++i) {
        const QString text = randomText(rng);
        const QStringList words = randomWords(rng);
        const int bits = int(rng.bounded(8));
        static const EncodingMode modes[] = {EncodingMode::Cp932, EncodingMode::Utf8,
                                             EncodingMode::Auto, EncodingMode::EucJp};
        TextMatcher matcher(words, modes[rng.bounded(4)],
                            {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0});
        bool alone = false;
        for (const QString &line : text.split(QRegularExpression(u"[\r\n]"_qs), Qt::SkipEmptyParts))
            alone = alone || matcher.matchesLine(line);
        found += alone;
        if (matcher.matchesLinesIn(text) != alone ||
            matcher.matchesUtf8LinesIn(text.toUtf8()) != alone) {
            qWarning() << "folds" << bits << "words" << words << "text" << text;
            QCOMPARE(!alone, alone);
        }
    }
    QVERIFY(found > 100);

    // The helper's matcher goes on from an archive's member, found in a line
    // cut between blocks, to a message's text: the text starts afresh.
    for (const EncodingMode mode : {EncodingMode::Utf8, EncodingMode::Cp932}) {
        TextMatcher reused({u"alpha"_qs, u"beta"_qs}, mode, {});
        const auto foundCut = [&reused] {
            MemorySource cut("alpha " + QByteArray(100, 'x') + " beta and on");
            return reused.matches(cut, 16);
        };
        QVERIFY(foundCut());
        QVERIFY(!reused.matchesUtf8LinesIn("beta\nalpha\n"));
        QVERIFY(foundCut());
        QVERIFY(!reused.matchesLinesIn(u"beta\nalpha\n"));
    }
}

void FoldMatcherTest::asciiWordsOnTheirBytes()
{
    // ASCII words under the case fold are looked for on the bytes: only where
    // a character starts (the second byte of ガ, 83 4B, is "K"), and not where
    // another character folds to a letter (K U+212A and ſ U+017F in UTF-8).
    // Under the width fold too, a full-width letter anywhere in the word.
    const Folds width{false, true, false};
    const struct {
        EncodingMode mode;
        QByteArray bytes;
        QStringList words;
        bool found;
        Folds folds = {true, false, false};
    } cases[] = {
        {EncodingMode::Cp932, "\x83\x4B", {u"k"_qs}, false},
        {EncodingMode::Cp932, "\x83\x4Bk", {u"K"_qs}, true},
        {EncodingMode::Cp932, "\x83\x4B\x83\x4Bx \x82\xCCKX", {u"kx"_qs, u"x"_qs}, true},
        {EncodingMode::Cp932, "\x83\x4B\x83\x4Bx\r\nk", {u"kx"_qs}, false},
        {EncodingMode::Utf8,
         "\xE2\x84\xAA"
         "ey",
         {u"KEY"_qs},
         true},
        {EncodingMode::Utf8,
         "ca\xC5\xBF"
         "e",
         {u"case"_qs},
         true},
        {EncodingMode::Auto, "Release\nNOTES \xE2\x84\xAA", {u"release"_qs, u"notes"_qs}, false},
        {EncodingMode::Auto, "Release NOTES \xE2\x84\xAA", {u"release"_qs, u"notes"_qs}, true},
        {EncodingMode::Cp932, "r\x82\x85lease", {u"release"_qs}, true, width},
        {EncodingMode::Cp932, "R\x82\x85lease", {u"release"_qs}, false, width},
        {EncodingMode::Cp932, "R\x82\x85lease", {u"release"_qs}, true, {true, true, false}},
        {EncodingMode::Utf8,
         "relea\xEF\xBD\x93"
         "e",
         {u"release"_qs},
         true,
         width},
    };
    for (const auto &c : cases) {
        MemorySource source(c.bytes, 1 << 30, false);
        TextMatcher matcher(c.words, c.mode, c.folds);
        QVERIFY2(matcher.matches(source, 65536) == c.found, c.bytes.toHex(' ').constData());
    }
}

void FoldMatcherTest::autoModeReadsEachEncoding()
{
    // A file without a mark in auto mode, under a fold: searched as UTF-8
    // until a byte says otherwise, then decided (EUC-JP, else code page 932)
    // and searched again; the bytes that say so in the first block or later.
    const QByteArray head(70000, 'a');
    const QByteArray euc("\xC0\xDF\xC4\xEA"), sjis("\x90\xDD\x92\xE8"); // 設定
    const QByteArray utf8 = u"設定"_qs.toUtf8();
    const QByteArray halfWidth("\xB6\xC0\xB6\xC5 \xC3\xDE\xB0\xC0"); // ｶﾀｶﾅ ﾃﾞｰﾀ, valid EUC-JP too
    const QByteArray eucKatakana("\xA5\xC6\xA5\xB9\xA5\xC8"); // テスト
    const struct {
        QByteArray bytes;
        bool found;
        QString word = u"設定"_qs;
    } cases[] = {
        {euc, true},
        {sjis, true},
        {utf8, true},
        {head + '\n' + euc, true},
        {head + '\n' + sjis, true},
        {head + '\n' + euc + "\x80", false}, // 80 is no EUC-JP byte: code page 932
        {head + '\n' + sjis + "\xA4", true}, // 90 neither: code page 932 too
        {halfWidth, true, u"ﾃﾞｰﾀ"_qs},       // code page 932 by the weighing of rows
        {head + '\n' + halfWidth, true, u"ﾃﾞｰﾀ"_qs},
        {eucKatakana, true, u"テスト"_qs},
        {head + '\n' + eucKatakana, true, u"テスト"_qs},
    };
    for (const auto &c : cases) {
        for (const qsizetype chunk : {qsizetype(7), qsizetype(1) << 30}) {
            MemorySource source(c.bytes, chunk, false);
            TextMatcher matcher({c.word}, EncodingMode::Auto, {false, false, true});
            QVERIFY2(matcher.matches(source, 4096) == c.found,
                     c.bytes.right(16).toHex(' ').constData());
        }
    }
}

QTEST_APPLESS_MAIN(FoldMatcherTest)
#include "tst_fold_matcher.moc"
