// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The EUC-JP and ISO-2022-JP decoders against Qt's ICU-backed decoders, on
// every character of both JIS tables and on random broken input; the same
// decoders fed in pieces, and to UTF-8, against themselves fed whole. Where
// ICU reads otherwise, the difference is listed below with the reason.
// Set TARNWELL_SEED to repeat a run of the random tests.

#include "tests/common/TestSeed.h"
#include "text/JisEncodings.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>

namespace {

enum class Enc { EucJp, Iso2022Jp };

QString decode(Enc enc, const QByteArray &bytes, std::vector<qsizetype> *errors = nullptr,
               qsizetype *errorCount = nullptr)
{
    QString out;
    auto run = [&](auto decoder) {
        decoder.append(bytes.constData(), bytes.size(), out, errors);
        decoder.finish(out, errors);
        if (errorCount)
            *errorCount = decoder.errors();
    };
    if (enc == Enc::EucJp)
        run(jis::EucJpDecoder());
    else
        run(jis::Iso2022JpDecoder());
    return out;
}

QString icu(Enc enc, const QByteArray &bytes)
{
    QStringDecoder d(enc == Enc::EucJp ? "EUC-JP" : "ISO-2022-JP");
    return d(bytes);
}

// ICU marks an illegal byte with U+001A and an unmapped sequence with U+FFFD,
// one for each byte; these decoders give one U+FFFD a broken sequence. Both
// become one U+FFFD per run of errors.
QString errorsAsOne(QString s)
{
    s.replace(QChar(0x1A), QChar(0xFFFD));
    QString out;
    for (QChar c : s) {
        if (!(c == QChar(0xFFFD) && out.endsWith(QChar(0xFFFD))))
            out += c;
    }
    return out;
}

using testing_seed::seed;

QByteArray bytes(std::initializer_list<int> list)
{
    QByteArray out;
    for (int b : list)
        out += char(b);
    return out;
}

} // namespace

class JisEncodingsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyCharacterAgainstIcu();
    void knownDifferences_data();
    void knownDifferences();
    void brokenInputAgainstIcu();
    void piecesAndUtf8AgainstWhole();
    void longCheckAgainstDecoding();
    void charactersEucJpHolds();
};

// Every JIS X 0208 and JIS X 0212 row and cell, every half-width katakana and
// JIS X 0201 Roman byte. ICU agrees everywhere but on the 0212 forms below:
// ICU's EUC-JP table puts IBM extensions (small and capital roman numerals,
// U+3231) at 8F F3 A1-B7, where JIS X 0212 has nothing, and reads 8F A2 B7
// (JIS X 0212's TILDE) as U+FF5E; the standard table is kept here.
void JisEncodingsTest::everyCharacterAgainstIcu()
{
    int mapped0208 = 0, mapped0212 = 0;
    QStringList differences;
    for (int row = 0; row < 94; ++row) {
        for (int cell = 0; cell < 94; ++cell) {
            const QByteArray euc = bytes({0xA1 + row, 0xA1 + cell});
            const QByteArray euc3 = bytes({0x8F, 0xA1 + row, 0xA1 + cell});
            const QByteArray iso = "\x1B$B" + bytes({0x21 + row, 0x21 + cell}) + "\x1B(B";
            const QByteArray iso83 = "\x1B$@" + bytes({0x21 + row, 0x21 + cell});
            const QString c = decode(Enc::EucJp, euc);
            QCOMPARE(c, icu(Enc::EucJp, euc));
            QCOMPARE(decode(Enc::Iso2022Jp, iso), c);
            QCOMPARE(decode(Enc::Iso2022Jp, iso83), c);
            QCOMPARE(icu(Enc::Iso2022Jp, iso), c);
            const char16_t j = jis::jis0208(row, cell);
            QCOMPARE(c, j ? QString(QChar(j)) : QStringLiteral("\uFFFD"));
            mapped0208 += j != 0;
            const QString c3 = decode(Enc::EucJp, euc3);
            if (c3 != icu(Enc::EucJp, euc3))
                differences << QStringLiteral("%1-%2").arg(row + 1).arg(cell + 1);
            mapped0212 += jis::jis0212(row, cell) != 0;
        }
    }
    QStringList expected{QStringLiteral("2-23")};
    for (int cell = 1; cell <= 20; ++cell)
        expected << QStringLiteral("83-%1").arg(cell);
    expected << QStringLiteral("83-23");
    QCOMPARE(differences, expected);
    // JIS X 0208's 6879 characters, row 13's 83 and rows 89-92's 374.
    QCOMPARE(mapped0208, 7336);
    QCOMPARE(mapped0212, 6067);
    QCOMPARE(decode(Enc::EucJp, "\xAD\xA1\xF9\xA1\xA1\xC1"), QStringLiteral("①纊～"));
    QCOMPARE(decode(Enc::Iso2022Jp, "\x1B$B-!y!!A\x1B(B"), QStringLiteral("①纊～"));
    for (int b = 0xA1; b <= 0xDF; ++b) {
        const QString kana(QChar(0xFF61 + b - 0xA1));
        QCOMPARE(decode(Enc::EucJp, bytes({0x8E, b})), kana);
        QCOMPARE(icu(Enc::EucJp, bytes({0x8E, b})), kana);
        const QByteArray iso = "\x1B(I" + bytes({b - 0x80}) + "\x1B(B";
        QCOMPARE(decode(Enc::Iso2022Jp, iso), kana);
        QCOMPARE(icu(Enc::Iso2022Jp, iso), kana);
    }
    for (int b = 0x20; b <= 0x7E; ++b) {
        const QByteArray roman = "\x1B(J" + bytes({b}) + "\x1B(B";
        QCOMPARE(decode(Enc::Iso2022Jp, roman), icu(Enc::Iso2022Jp, roman));
    }
}

// Broken input ICU reads otherwise, with the reason this reading is kept.
void JisEncodingsTest::knownDifferences_data()
{
    QTest::addColumn<int>("enc");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("ours");
    QTest::addColumn<QString>("theirs");
    const int euc = int(Enc::EucJp);
    // 80-8D and 90-A0 are no EUC-JP text (the WHATWG standard agrees); ICU
    // passes them as C1 controls.
    QTest::newRow("80") << euc << QByteArray("a\x80") << QStringLiteral("a\uFFFD")
                        << QStringLiteral("a\u0080");
    QTest::newRow("90") << euc << QByteArray("\x90") << QStringLiteral("\uFFFD")
                        << QStringLiteral("\u0090");
    // 8E E0-E2: IBM's additions to the half-width row, which no Japanese
    // EUC-JP writer uses; ICU reads them as the cent, pound and not signs.
    QTest::newRow("8E E0") << euc << QByteArray("\x8E\xE0\xB0\xA1\n")
                           << QStringLiteral("\uFFFD\u724B\uFFFD\n")
                           << QStringLiteral("\u00A2\u4E9C\n");
    QTest::newRow("8E E2") << euc << QByteArray("\x8E\xE2\n") << QStringLiteral("\uFFFD\uFFFD\n")
                           << QStringLiteral("\u00AC\n");
    // A JIS X 0208 byte alone before a line end: ICU drops the line end with
    // it, which would join two lines.
    QTest::newRow("lead before LF") << int(Enc::Iso2022Jp) << QByteArray("\x1B$B0\nA")
                                    << QStringLiteral("\uFFFD\nA") << QStringLiteral("\uFFFD");
    // ESC $ A (GB 2312, of ISO-2022-JP-2) is no set here: ESC is an error and
    // "$A" text; ICU knows the sequence and drops it whole.
    // JIS X 0212 by ESC $ ( D (ISO-2022-JP-1) is read; ICU's ISO-2022-JP
    // does not read it.
    QTest::newRow("ESC $ ( D") << int(Enc::Iso2022Jp) << QByteArray("\x1B$(D0!\x1B(B")
                               << QStringLiteral("\u4E02") << QStringLiteral("\uFFFD0!");
    // The space and DEL stand for themselves in a two-byte set too; ICU
    // makes them errors.
    QTest::newRow("space in JIS X 0208")
        << int(Enc::Iso2022Jp) << QByteArray("\x1B$B0! 0!\x7F\x1B(B")
        << QStringLiteral("\u4E9C \u4E9C\u007F") << QStringLiteral("\u4E9C\uFFFD\u4E9C\uFFFD");
    // Two escape sequences with nothing between are harmless here; ICU (and
    // the WHATWG standard) make the second an error. The random input below
    // writes a character after each.
    QTest::newRow("two escapes in a row") << int(Enc::Iso2022Jp) << QByteArray("\x1B(J\x1B(Ba")
                                          << QStringLiteral("a") << QStringLiteral("\uFFFDa");
    QTest::newRow("ESC $ A") << int(Enc::Iso2022Jp) << QByteArray("\x1B$Ax")
                             << QStringLiteral("\uFFFD$Ax") << QStringLiteral("\uFFFDx");
    // A sequence cut by the end of the text is an error here; ICU waits for
    // more bytes and gives nothing.
    QTest::newRow("cut at the end, EUC-JP")
        << euc << QByteArray("a\xB0") << QStringLiteral("a\uFFFD") << QStringLiteral("a");
    QTest::newRow("cut at the end, ISO-2022-JP")
        << int(Enc::Iso2022Jp) << QByteArray("\x1B$B0") << QStringLiteral("\uFFFD") << QString();
}

void JisEncodingsTest::knownDifferences()
{
    QFETCH(int, enc);
    QFETCH(QByteArray, input);
    QFETCH(QString, ours);
    QFETCH(QString, theirs);
    QCOMPARE(decode(Enc(enc), input), ours);
    QCOMPARE(icu(Enc(enc), input), theirs);
}

// Random mixes of whole characters, cut and broken sequences, stray bytes
// and escapes, each ended by a line feed (so that ICU ends every sequence).
void JisEncodingsTest::brokenInputAgainstIcu()
{
    static const QList<QByteArray> euc{"a",        "\r\n",     "\n",   "\xA4\xA2",     "\xB0\xA1",
                                       "\x8E\xB1", "\x8E\xDF", "\x8E", "\x8F",         "\x8F\xB0",
                                       "\xAD\xA1", "\xF9\xA1", "\xA1", "\x8F\xB0\xA1", "\xFF",
                                       "\xA9\xA1", "\x8E\xE5", "\x1B", "\x8F\xA1"};
    static const QList<QByteArray> iso{"a",       "\r\n",     "\n",      "\x1B$B0!", "\x1B$@-!",
                                       "\x1B(Ba", "\x1B(J\\", "\x1B(I1", "\x1B",     "\x1B$",
                                       "\x1B(",   "\x1B$(",   "\x1B[0m", "$",        "(",
                                       "0!",      "-!",       "y!",      "!A",       "1",
                                       "\\",      "~",        "\x80",    "\xA4",     "\x7E\x7E"};
    QRandomGenerator rng(seed());
    int compared = 0, skipped = 0;
    for (Enc enc : {Enc::EucJp, Enc::Iso2022Jp}) {
        const QList<QByteArray> &pool = enc == Enc::EucJp ? euc : iso;
        for (int round = 0; round < 20000; ++round) {
            QByteArray input;
            const int pieces = 1 + int(rng.bounded(8));
            for (int k = 0; k < pieces; ++k)
                input += pool[rng.bounded(pool.size())];
            input += '\n';
            // Line ends as "lead before LF" says: compared without them, and
            // not where ICU drops one after an error.
            const QString whole = decode(enc, input);
            if (enc == Enc::Iso2022Jp &&
                (whole.contains(u"\uFFFD\n") || whole.contains(u"\uFFFD\r"))) {
                ++skipped;
                continue;
            }
            ++compared;
            const QString ours = errorsAsOne(QString(whole).remove(u'\n').remove(u'\r'));
            const QString theirs = errorsAsOne(icu(enc, input).remove(u'\n').remove(u'\r'));
            if (ours != theirs)
                qWarning() << "input" << input.toHex(' ');
            QCOMPARE(ours, theirs);
        }
    }
    QVERIFY2(skipped < compared / 4, qPrintable(QStringLiteral("%1 skipped").arg(skipped)));
}

// The check that takes 64 bytes at a time where they are plainly valid says
// what decoding says, on long text of whole rows, kana and ASCII with now
// and then one byte or pair that is not, fed whole and in pieces.
void JisEncodingsTest::longCheckAgainstDecoding()
{
    static const QList<QByteArray> valid{"a",        "abc de",   "0123456789abcdef", "\n",
                                         "\xB0\xA1", "\xCE\xFE", "\xD0\xA1",         "\xF3\xFE",
                                         "\xA4\xA2", "\xA4\xF3", "\xA5\xF6",         "\xA1\xA1",
                                         "\xA1\xFE", "\xA2\xA1", "\xA3\xB0"};
    // Rarer, as in text: each stops the 64-byte check where it stands.
    static const QList<QByteArray> rare{"\x8E\xB1", "\x8F\xB0\xA1"};
    static const QList<QByteArray> faults{
        "\xA4\xF4", "\xA5\xF7", "\xA2\xAF", "\xCF\xD4", "\xB0",     "\xFF",     "\x80",
        "\x8E\xE0", "\xA9\xA1", "\xB0\x41", "\x8F\xB0", "\xB0\x80", "\xB0\xFF", "\xF4\xA7"};
    QRandomGenerator rng(seed());
    int validInputs = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray input;
        const int pieces = 20 + int(rng.bounded(300));
        const int fault = rng.bounded(2) ? int(rng.bounded(pieces)) : -1;
        for (int k = 0; k < pieces; ++k)
            input += k == fault             ? faults[rng.bounded(faults.size())]
                     : rng.bounded(40) == 0 ? rare[rng.bounded(rare.size())]
                                            : valid[rng.bounded(valid.size())];
        qsizetype errorCount = -1;
        decode(Enc::EucJp, input, nullptr, &errorCount);
        const bool expected = errorCount == 0;
        validInputs += expected;
        if (jis::isValidEucJp(input.constData(), input.size()) != expected)
            qWarning() << "input" << input.toHex(' ');
        QCOMPARE(jis::isValidEucJp(input.constData(), input.size()), expected);
        jis::EucJpDecoder checker;
        for (qsizetype at = 0, n = 0; at < input.size(); at += n) {
            n = std::min<qsizetype>(input.size() - at, 1 + rng.bounded(200));
            checker.check(input.constData() + at, n);
        }
        checker.finishCheck();
        QCOMPARE(checker.errors() == 0, expected);
    }
    QVERIFY(validInputs > 1000 && validInputs < 2000);
}

// Fed in pieces cut anywhere, and to UTF-8, the text is the same; each error
// is one U+FFFD (one byte FF in UTF-8) at the index the decoder reports, and
// a text is valid exactly when it decodes without one.
void JisEncodingsTest::piecesAndUtf8AgainstWhole()
{
    QRandomGenerator rng(seed());
    static const QList<QByteArray> pool{
        "a",      "\n",     "\xA4\xA2", "\x8E\xB1", "\x8F\xB0\xA1", "\xAD\xA1", "\x1B$B",
        "\x1B(B", "\x1B(I", "\x1B(J",   "0!",       "\\~",          "\x8E",     "\x8F\xB0",
        "\xFF",   "\x1B$",  "\x1B",     "\xA9\xA1", "\xB0"};
    for (int round = 0; round < 20000; ++round) {
        QByteArray input;
        const int pieces = int(rng.bounded(12));
        for (int k = 0; k < pieces; ++k)
            input += pool[rng.bounded(pool.size())];
        for (Enc enc : {Enc::EucJp, Enc::Iso2022Jp}) {
            std::vector<qsizetype> errors;
            qsizetype errorCount = -1;
            const QString whole = decode(enc, input, &errors, &errorCount);
            QCOMPARE(qsizetype(errors.size()), errorCount);
            for (qsizetype at : errors)
                QCOMPARE(whole.at(at), QChar(0xFFFD));
            QCOMPARE(whole.count(QChar(0xFFFD)), errorCount);
            if (enc == Enc::EucJp)
                QCOMPARE(jis::isValidEucJp(input.constData(), input.size()), errorCount == 0);

            auto inPieces = [&](auto decoder) {
                QString text;
                QByteArray utf8(decoder.utf8Room(input.size()) + 64, '\0');
                char *end = utf8.data();
                auto utf8Decoder = decoder;
                qsizetype at = 0;
                while (at < input.size()) {
                    const qsizetype n = std::min<qsizetype>(input.size() - at, 1 + rng.bounded(4));
                    decoder.append(input.constData() + at, n, text);
                    end = utf8Decoder.appendUtf8(input.constData() + at, n, end);
                    at += n;
                }
                decoder.finish(text);
                end = utf8Decoder.finishUtf8(end);
                utf8.truncate(end - utf8.data());
                QCOMPARE(text, whole);
                QByteArray expected = whole.toUtf8();
                expected.replace("\xEF\xBF\xBD", "\xFF");
                QCOMPARE(utf8, expected);
            };
            if (enc == Enc::EucJp)
                inPieces(jis::EucJpDecoder());
            else
                inPieces(jis::Iso2022JpDecoder());
        }
    }
    // A designation found across pieces as in one.
    for (int round = 0; round < 5000; ++round) {
        QByteArray input;
        for (int k = 0; k < 6; ++k)
            input += QList<QByteArray>{"a", "\x1B", "$", "(", "B", "@", "J", "I", "\x1B[0m"}.at(
                rng.bounded(9));
        jis::DesignationFinder finder;
        for (char c : input)
            finder.feed(&c, 1);
        QCOMPARE(finder.found(), jis::looksIso2022Jp(input.constData(), input.size()));
    }
    // feedUntilHigh: a designation counts only before the first byte from 80
    // up, whatever the pieces and however long the ASCII between (the search
    // for ESC or a high byte goes 16 and 32 bytes at a time).
    for (int round = 0; round < 3000; ++round) {
        QByteArray input;
        for (int k = 0; k < 8; ++k)
            input +=
                QList<QByteArray>{
                    QByteArray(int(rng.bounded(80)), 'a'), "\x1B", "$", "(", "B", "\xA4", "\x1B[0m"}
                    .at(rng.bounded(7));
        const qsizetype high = input.indexOf('\xA4');
        jis::DesignationFinder finder;
        for (qsizetype at = 0; at < input.size();) {
            const qsizetype n = std::min<qsizetype>(1 + rng.bounded(40), input.size() - at);
            // The bytes of each piece before the first high byte, when no designation came.
            const qsizetype ascii =
                high < 0 || high >= at + n ? n : std::max<qsizetype>(high - at, 0);
            if (!finder.feedUntilHigh(input.constData() + at, n))
                QCOMPARE(finder.asciiLength(), ascii);
            at += n;
        }
        const QByteArray before = high < 0 ? input : input.left(high);
        QCOMPARE(finder.found(), jis::looksIso2022Jp(before.constData(), before.size()));
        QCOMPARE(finder.sawHigh(), high >= 0 && !finder.found());
    }
}

void JisEncodingsTest::charactersEucJpHolds()
{
    // What some EUC-JP bytes decode to (ASCII, half-width katakana, JIS X 0208
    // with the NEC and IBM rows as decoded here, JIS X 0212), and what none do.
    const struct {
        QString text;
        QString first;
    } cases[] = {
        {u"abc\\~ｱﾞ亜①ⅰ©～－"_qs, u""_qs},
        {u"野家¥"_qs, u"¥"_qs},
        {u"a〜"_qs, u"〜"_qs},
        {u"−"_qs, u"−"_qs},
        {u"x😀y"_qs, u"😀"_qs},
        {u"€"_qs, u"€"_qs},
    };
    for (const auto &c : cases)
        QCOMPARE(jis::firstNotInEucJp(c.text), c.first);
    // The one byte form of a word, which the search looks for before decoding.
    QCOMPARE(jis::eucJpUniqueForm(u"a設定ｱ"_qs), QByteArray("a\xC0\xDF\xC4\xEA\x8E\xB1"));
    QCOMPARE(jis::eucJpUniqueForm(u"設😀"_qs), QByteArray());
    const QString back = u"a設定ｱ"_qs;
    QString decoded;
    jis::EucJpDecoder decoder;
    const QByteArray form = jis::eucJpUniqueForm(back);
    decoder.append(form.constData(), form.size(), decoded);
    decoder.finish(decoded);
    QCOMPARE(decoded, back);
}

QTEST_APPLESS_MAIN(JisEncodingsTest)
#include "tst_jisencodings.moc"
