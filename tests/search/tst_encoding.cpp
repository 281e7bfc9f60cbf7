// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The encoding modes: the per-file decision, UTF-8 and UTF-16 decoding, and
// the engine in every mode against the plain reference (decode as the mode
// says, split lines by its rule, look for every word), on single files and on
// whole trees searched on one thread and on several.

#include "search/SearchRun.h"
#include "search/TextMatcher.h"
#include "tests/common/TestSeed.h"
#include "tests/search/EncodingReference.h"
#include "tests/search/MemorySource.h"
#include "text/EncodingMode.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

using platform::EncodingMode;
using platform::FileEncoding;

namespace {

EncodingMode toMode(reference::Mode m)
{
    return m == reference::Mode::Cp932   ? EncodingMode::Cp932
           : m == reference::Mode::Utf8  ? EncodingMode::Utf8
           : m == reference::Mode::EucJp ? EncodingMode::EucJp
                                         : EncodingMode::Auto;
}

FileEncoding toEncoding(reference::Kind k)
{
    switch (k) {
    case reference::Kind::Utf8:
        return FileEncoding::Utf8;
    case reference::Kind::Utf16LE:
        return FileEncoding::Utf16LE;
    case reference::Kind::Utf16BE:
        return FileEncoding::Utf16BE;
    case reference::Kind::EucJp:
        return FileEncoding::EucJp;
    case reference::Kind::Iso2022Jp:
        return FileEncoding::Iso2022Jp;
    case reference::Kind::Cp932:
        break;
    }
    return FileEncoding::Cp932;
}

// A source that cannot start again (a pipe, say).
class OneWaySource : public MemorySource {
public:
    using MemorySource::MemorySource;
    bool rewind() override { return false; }
};

bool engineMatches(EncodingMode mode, const QByteArray &bytes, const QStringList &words,
                   qsizetype blockSize, qsizetype chunk = 1 << 30, bool tellsEnd = false,
                   FileEncoding *read = nullptr)
{
    TextMatcher matcher(words, mode);
    MemorySource source(bytes, chunk, tellsEnd);
    const bool found = matcher.matches(source, blockSize);
    if (read)
        *read = matcher.lastEncoding();
    return found;
}

QByteArray utf16(const QString &text, bool bigEndian)
{
    QByteArray out;
    for (QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

QByteArray unit16(char16_t u, bool bigEndian)
{
    return utf16(QString(QChar(u)), bigEndian);
}

// The words the generated files are made of and searched for.
const QStringList &wordPool()
{
    static const QStringList pool{
        "A",
        "ab",
        "\\",
        "a\nb",
        QStringLiteral("設定"),
        QStringLiteral("テスト"),
        QStringLiteral("ア"),
        QStringLiteral("・"),
        QStringLiteral("é"),
        QStringLiteral("𠮷"),
        QStringLiteral("😀"),
        QStringLiteral("\uFFFD"),
        QStringLiteral("\uFEFF"),
        QStringLiteral("表"),
        QStringLiteral("≒"),
        QStringLiteral("設定 テスト"),
        QString(QChar(0xD83D)),   // a lone surrogate: never matches
        QStringLiteral("\u4100"), // "A\0" read as UTF-16 big-endian, "\0A" little-endian
    };
    return pool;
}

// Random text: pool words, kana, ASCII, line ends of every kind.
QString randomText(QRandomGenerator &rng, qsizetype length)
{
    static const QStringList pieces{"a",
                                    "b",
                                    "A",
                                    " ",
                                    "\r\n",
                                    "\n",
                                    "\r",
                                    "\\",
                                    QStringLiteral("設"),
                                    QStringLiteral("定"),
                                    QStringLiteral("テ"),
                                    QStringLiteral("ス"),
                                    QStringLiteral("ト"),
                                    QStringLiteral("é"),
                                    QStringLiteral("😀"),
                                    QStringLiteral("\uFFFD"),
                                    QStringLiteral("・"),
                                    QStringLiteral("\u4100")};
    QString out;
    while (out.size() < length) {
        if (rng.bounded(4) == 0)
            out += wordPool()[rng.bounded(wordPool().size())];
        else
            out += pieces[rng.bounded(pieces.size())];
    }
    return out;
}

// Bytes that break UTF-8: lone continuation bytes, cut sequences, overlong
// and surrogate forms, bytes that never occur.
QByteArray invalidUtf8(QRandomGenerator &rng)
{
    static const QList<QByteArray> bad{"\x80",         "\xBF",     "\xC0\xAF",     "\xC1",
                                       "\xE3\x81",     "\xE3",     "\xF0\x9F\x98", "\xF0\x9F",
                                       "\xED\xA0\x80", "\xF5",     "\xFF",         "\xE0\x80\x80",
                                       "\xF4\x90\x80", "\xEF\xBF", "\xC3"};
    return bad[rng.bounded(bad.size())];
}

// The text in EUC-JP or ISO-2022-JP as ICU writes it (a character neither
// has becomes ICU's substitute), now and then with a broken or stray byte.
QByteArray jisFile(QRandomGenerator &rng, const QString &text, bool iso)
{
    QStringEncoder encoder(iso ? "ISO-2022-JP" : "EUC-JP");
    QByteArray out = encoder(text);
    static const QList<QByteArray> bad{"\x8E",      "\x8F\xB0", "\xA4",    "\x80",
                                       "\xFF",      "\x1B",     "\x1B$",   "\x1B$B0",
                                       "\x1B(J\\~", "\x1B(I1",  "\xA9\xA1"};
    if (rng.bounded(3) == 0)
        out.insert(rng.bounded(out.size() + 1), bad[rng.bounded(bad.size())]);
    return out;
}

// One random file of the kinds a mixed tree holds.
QByteArray randomFile(QRandomGenerator &rng)
{
    const QString text = randomText(rng, rng.bounded(120));
    switch (rng.bounded(11)) {
    case 9:
        return jisFile(rng, text, false);
    case 10:
        return jisFile(rng, text, true);
    case 0: { // code page 932, CR-LF and LF
        QByteArray out;
        for (QChar c : text) {
            const cp932::Encoding e = cp932::encode(QString(c));
            out += e.form == cp932::Form::Unique ? e.bytes : QByteArray("\x83\x41");
        }
        return out;
    }
    case 1:
        return text.toUtf8();
    case 2:
        return "\xEF\xBB\xBF" + text.toUtf8();
    case 3:
    case 4: { // invalid sequences next to whole characters
        QByteArray out;
        const QByteArray whole = text.toUtf8();
        for (qsizetype i = 0; i < whole.size(); ++i) {
            if (rng.bounded(12) == 0)
                out += invalidUtf8(rng);
            out += whole[i];
        }
        return (rng.bounded(3) == 0 ? QByteArray("\xEF\xBB\xBF") : QByteArray()) + out;
    }
    case 5: { // valid UTF-8 but for one late byte
        QByteArray out = text.toUtf8();
        out.insert(out.size() - qMin<qsizetype>(out.size(), rng.bounded(3)), invalidUtf8(rng));
        return out;
    }
    case 6:
    case 7: { // UTF-16, a lone surrogate now and then, a word's bytes at odd offsets
        const bool be = rng.bounded(2);
        QByteArray out = be ? "\xFE\xFF" : "\xFF\xFE";
        out += utf16(text, be);
        if (rng.bounded(2))
            out.insert(2 + 2 * rng.bounded(out.size() / 2), unit16(0xDC00, be));
        if (rng.bounded(2)) // shifted by one byte: every later unit straddles two
            out.insert(2 + rng.bounded(out.size() - 1), char(rng.bounded(256)));
        return out;
    }
    default: { // raw bytes
        QByteArray out;
        const qsizetype n = rng.bounded(80);
        for (qsizetype i = 0; i < n; ++i)
            out += char(rng.bounded(256));
        return out;
    }
    }
}

QStringList randomWords(QRandomGenerator &rng, const QByteArray &bytes)
{
    QStringList words;
    const int count = 1 + int(rng.bounded(3));
    for (int i = 0; i < count; ++i) {
        const QString text = QString::fromUtf8(bytes);
        if (rng.bounded(3) == 0 && !text.isEmpty()) {
            // A slice of the text as UTF-8 sees it: likely to occur.
            const QString slice = text.mid(rng.bounded(text.size()), 1 + rng.bounded(3));
            if (!slice.isEmpty())
                words << slice;
        } else {
            words << wordPool()[rng.bounded(wordPool().size())];
        }
    }
    words.removeAll(QString());
    return words;
}

using testing_seed::seed;

class Recorder : public SearchObserver {
public:
    void statusTextChanged(const QString &) override {}
    void fileListed(const FoundFile &file) override { listed << file.path(); }
    bool searchSubfolders() override { return true; }
    void fileMatched(const FoundFile &file) override { found << file.path(); }
    QStringList listed, found;
};

constexpr reference::Mode kModes[] = {reference::Mode::Cp932, reference::Mode::Utf8,
                                      reference::Mode::Auto, reference::Mode::EucJp};

} // namespace

class EncodingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void modeNames();
    void decision_data();
    void decision();
    void decodersAgainstReference();
    void validatorOnLongText();
    void fixedCases_data();
    void fixedCases();
    void lateInvalidByteAfterManyBlocks();
    void differentialEveryMode();
    void treeEveryModeOneAndManyThreads();
};

void EncodingTest::modeNames()
{
    EncodingMode mode = EncodingMode::Auto;
    QVERIFY(platform::parseEncodingMode(u"cp932", mode));
    QCOMPARE(mode, EncodingMode::Cp932);
    QVERIFY(platform::parseEncodingMode(u"utf-8", mode));
    QCOMPARE(mode, EncodingMode::Utf8);
    QVERIFY(platform::parseEncodingMode(u"euc-jp", mode));
    QCOMPARE(mode, EncodingMode::EucJp);
    QVERIFY(platform::parseEncodingMode(u"auto", mode));
    QCOMPARE(mode, EncodingMode::Auto);
    for (const char *bad : {"", "UTF-8", "utf8", "sjis", "auto ", "EUC-JP", "eucjp"})
        QVERIFY(!platform::parseEncodingMode(QString::fromLatin1(bad), mode));
    QCOMPARE(mode, EncodingMode::Auto);
    for (EncodingMode m :
         {EncodingMode::Cp932, EncodingMode::Utf8, EncodingMode::Auto, EncodingMode::EucJp}) {
        EncodingMode back = EncodingMode::Cp932;
        QVERIFY(platform::parseEncodingMode(platform::encodingModeName(m), back));
        QCOMPARE(back, m);
    }
}

void EncodingTest::decision_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("mark");
    QTest::newRow("empty") << QByteArray() << int(FileEncoding::Utf8) << 0;
    QTest::newRow("ascii") << QByteArray("abc\r\n") << int(FileEncoding::Utf8) << 0;
    QTest::newRow("utf-8 kanji") << QByteArray("\xE8\xA8\xAD") << int(FileEncoding::Utf8) << 0;
    QTest::newRow("cp932 kanji") << QByteArray("\x90\xDD") << int(FileEncoding::Cp932) << 0;
    // Not UTF-8, but a JIS X 0208 character in EUC-JP.
    QTest::newRow("cut at the end") << QByteArray("a\xE8\xA8") << int(FileEncoding::EucJp) << 0;
    QTest::newRow("surrogate form") << QByteArray("\xED\xA0\x80") << int(FileEncoding::Cp932) << 0;
    QTest::newRow("utf-8 mark, invalid after")
        << QByteArray("\xEF\xBB\xBF\x90\xDD") << int(FileEncoding::Utf8) << 3;
    QTest::newRow("two bytes of the mark")
        << QByteArray("\xEF\xBB") << int(FileEncoding::EucJp) << 0;
    QTest::newRow("utf-16le") << QByteArray("\xFF\xFE"
                                            "a\0",
                                            4)
                              << int(FileEncoding::Utf16LE) << 2;
    QTest::newRow("utf-16be mark alone")
        << QByteArray("\xFE\xFF") << int(FileEncoding::Utf16BE) << 2;
    QTest::newRow("FF alone") << QByteArray("\xFF") << int(FileEncoding::Cp932) << 0;
    const int euc = int(FileEncoding::EucJp), iso = int(FileEncoding::Iso2022Jp);
    QTest::newRow("euc-jp kana and kanji") << QByteArray("\xA4\xA2\xB0\xA1 x") << euc << 0;
    QTest::newRow("euc-jp half-width, 0212") << QByteArray("\x8E\xB1\x8F\xB0\xA1\r\n") << euc << 0;
    QTest::newRow("euc-jp cut at the end")
        << QByteArray("\xA4\xA2\xA4") << int(FileEncoding::Cp932) << 0;
    QTest::newRow("euc-jp unmapped pair")
        << QByteArray("\xA9\xA1") << int(FileEncoding::Cp932) << 0;
    QTest::newRow("cp932 kana is no euc-jp")
        << QByteArray("\x82\xA0\x90\xDD") << int(FileEncoding::Cp932) << 0;
    // Valid EUC-JP too, but half-width katakana (A1-DF) alone, in code page 932.
    const int cp = int(FileEncoding::Cp932);
    QTest::newRow("cp932 half-width pair") << QByteArray("\xB1\xB2") << cp << 0;
    QTest::newRow("cp932 half-width words")
        << QByteArray("\xB6\xC0\xB6\xC5 \xC3\xDE\xB0\xC0\r\n") << cp << 0; // ｶﾀｶﾅ ﾃﾞｰﾀ
    QTest::newRow("cp932 half-width, pairs of rare rows")
        << QByteArray("\xD2\xD3 \xA6\xB1\xA5\xB2") << cp << 0; // ﾒﾓ ｦｱ･ｲ
    QTest::newRow("euc-jp first-level kanji alone: a tie")
        << QByteArray("\xCC\xBE\xC1\xB0") << cp << 0; // 名前
    QTest::newRow("euc-jp katakana from A1-DF")
        << QByteArray("\xA5\xC6\xA5\xB9\xA5\xC8\n") << euc << 0; // テスト
    QTest::newRow("euc-jp kana outnumber rare rows")
        << QByteArray("\xA5\xC7\xA1\xBC\xA5\xBF\xD0\xA1") << euc << 0; // データ and a kanji
    QTest::newRow("euc-jp settled by a byte from E0")
        << QByteArray("\xD2\xD3\xD2\xD3 \xC0\xDF\xC4\xEA") << euc << 0;
    QTest::newRow("euc-jp settled by 8E") << QByteArray("\xD2\xD3\x8E\xB1") << euc << 0;
    QTest::newRow("iso-2022-jp") << QByteArray("a\x1B$B0!\x1B(B\n") << iso << 0;
    QTest::newRow("iso-2022-jp designation across the first block")
        << QByteArray(5000, 'a') + "\x1B$B0!\x1B(B" << iso << 0;
    QTest::newRow("designation with a high byte: utf-8")
        << QByteArray("\x1B(J\xC3\xA9") << int(FileEncoding::Utf8) << 0;
    QTest::newRow("designation with a high byte late: euc-jp")
        << QByteArray("\x1B$B0!\x1B(B") + QByteArray(5000, 'a') + "\xA4\xA2" << euc << 0;
    QTest::newRow("terminal colours are no designation")
        << QByteArray("\x1B[31mred\x1B[0m") << int(FileEncoding::Utf8) << 0;
}

void EncodingTest::decision()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, encoding);
    QFETCH(int, mark);
    const platform::FileDecision d =
        platform::decideEncoding(EncodingMode::Auto, bytes.constData(), bytes.size());
    QCOMPARE(int(d.encoding), encoding);
    QCOMPARE(d.markSize, qsizetype(mark));
    // The search reaches the same decision reading the file in small blocks.
    for (qsizetype block : {1, 2, 4, 4096}) {
        FileEncoding read = FileEncoding::Cp932;
        engineMatches(EncodingMode::Auto, bytes, {QStringLiteral("\uFFFF")}, block, 1, false,
                      &read);
        QCOMPARE(int(read), encoding);
    }
    QCOMPARE(int(platform::decideEncoding(EncodingMode::Cp932, bytes.constData(), bytes.size())
                     .encoding),
             int(FileEncoding::Cp932));
    QCOMPARE(
        int(platform::decideEncoding(EncodingMode::Utf8, bytes.constData(), bytes.size()).encoding),
        int(FileEncoding::Utf8));
}

// The viewer's decoders give the reference's text, with U+FFFD for each error.
void EncodingTest::decodersAgainstReference()
{
    QRandomGenerator rng(seed());
    auto toQString = [](const std::u32string &points) {
        QString s;
        for (char32_t c : points) {
            if (c == reference::kError) {
                s += QChar(0xFFFD);
            } else if (c >= 0x10000) {
                s += QChar(QChar::highSurrogate(c));
                s += QChar(QChar::lowSurrogate(c));
            } else {
                s += QChar(char16_t(c));
            }
        }
        return s;
    };
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = randomFile(rng);
        if (round % 2)
            bytes += invalidUtf8(rng);
        QString text;
        platform::appendUtf8(bytes.constData(), bytes.size(), text);
        QCOMPARE(text, toQString(reference::decodeUtf8(bytes, 0)));
        for (bool be : {false, true}) {
            QString t16;
            platform::appendUtf16(bytes.constData(), bytes.size(), be, t16);
            QCOMPARE(t16, toQString(reference::decodeUtf16(bytes, 0, be)));
        }
        platform::Utf8Validator v;
        const qsizetype cut = bytes.isEmpty() ? 0 : rng.bounded(bytes.size());
        v.feed(bytes.constData(), cut);
        v.feed(bytes.constData() + cut, bytes.size() - cut);
        bool valid = false;
        reference::decodeUtf8(bytes, 0, &valid);
        QCOMPARE(v.finish(), valid);
    }
}

// Long runs are validated 32 bytes at a time where the processor can: an
// invalid byte at any offset of a block, a sequence cut by a block's end, a
// block of ASCII after a cut sequence, pieces of any size.
void EncodingTest::validatorOnLongText()
{
    QRandomGenerator rng(seed());
    static const QList<QByteArray> chars{"a",
                                         "\n",
                                         "\xC2\x80",
                                         "\xDF\xBF",
                                         "\xC3\xA9",
                                         "\xE0\xA0\x80",
                                         "\xE3\x81\x82",
                                         "\xE8\xA8\xAD",
                                         "\xED\x9F\xBF",
                                         "\xEE\x80\x80",
                                         "\xEF\xBF\xBD",
                                         "\xF0\x90\x80\x80",
                                         "\xF0\x9F\x98\x80",
                                         "\xF4\x8F\xBF\xBF"};
    static const QList<QByteArray> moreBad{"\xF0\x8F\xBF\xBF", "\xF8\x88\x80\x80\x80",
                                           "\xC0\x80",         "\xE0\x9F\xBF",
                                           "\xED\xBF\xBF",     "\xF4\xBF\xBF\xBF"};
    // A sequence cut at each offset of a block, then only ASCII.
    for (const QByteArray &cut : {QByteArray("\xE3"), QByteArray("\xE3\x81"),
                                  QByteArray("\xF0\x9F\x98"), QByteArray("\xC3")}) {
        for (qsizetype k = 0; k < 70; ++k) {
            const QByteArray bytes = QByteArray(k, 'a') + cut + QByteArray(100, 'b');
            platform::Utf8Validator v;
            v.feed(bytes.constData(), bytes.size());
            QVERIFY2(!v.finish(), bytes.toHex(' ').constData());
        }
    }
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes;
        const qsizetype length = 60 + rng.bounded(220);
        const bool mostlyAscii = rng.bounded(2) == 0;
        while (bytes.size() < length) {
            if (mostlyAscii && rng.bounded(8) != 0)
                bytes += char('a' + rng.bounded(26));
            else
                bytes += chars[rng.bounded(chars.size())];
        }
        if (round % 2) {
            const QByteArray bad =
                rng.bounded(3) == 0 ? moreBad[rng.bounded(moreBad.size())] : invalidUtf8(rng);
            bytes.insert(rng.bounded(bytes.size() + 1), bad);
        }
        platform::Utf8Validator v;
        for (qsizetype at = 0; at < bytes.size();) {
            const qsizetype n =
                std::min<qsizetype>(bytes.size() - at, rng.bounded(3) == 0 ? 1 + rng.bounded(8)
                                                                           : 64 + rng.bounded(200));
            v.feed(bytes.constData() + at, n);
            at += n;
        }
        bool valid = false;
        reference::decodeUtf8(bytes, 0, &valid);
        if (v.finish() != valid)
            qDebug() << "bytes:" << bytes.toHex(' ');
        QCOMPARE(v.finish(), valid);
    }
}

void EncodingTest::fixedCases_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<bool>("expected");
    const int cp = int(EncodingMode::Cp932), u8 = int(EncodingMode::Utf8),
              au = int(EncodingMode::Auto);
    const QStringList two{"alpha", "beta"};
    const QByteArray settei = QStringLiteral("設定").toUtf8();

    QTest::newRow("cp932: lone LF stays in the line")
        << cp << QByteArray("alpha\nbeta") << two << true;
    QTest::newRow("utf-8: lone LF ends the line")
        << u8 << QByteArray("alpha\nbeta") << two << false;
    QTest::newRow("auto: lone LF ends a cp932 line")
        << au << QByteArray("\x90\xDD alpha\nbeta") << two << false;
    QTest::newRow("auto: CR-LF cp932 lines")
        << au << QByteArray("\x90\xDD\x92\xE8\r\nalpha beta\r\n") << two << true;
    QTest::newRow("auto: cp932 word")
        << au << QByteArray("x\x90\xDD\x92\xE8") << QStringList{QStringLiteral("設定")} << true;
    QTest::newRow("cp932 mode misses utf-8")
        << cp << settei << QStringList{QStringLiteral("設定")} << false;
    QTest::newRow("utf-8 word") << u8 << "x" + settei << QStringList{QStringLiteral("設定")}
                                << true;
    QTest::newRow("utf-8 outside cp932") << u8 << QStringLiteral("a𠮷é😀").toUtf8()
                                         << QStringList{QStringLiteral("𠮷é"), "😀"} << true;
    QTest::newRow("invalid byte next to a whole char")
        << u8 << "\xE8" + settei << QStringList{QStringLiteral("設定")} << true;
    QTest::newRow("invalid sequence is no U+FFFD of a word")
        << u8 << QByteArray("a\xE8\xA8z") << QStringList{QStringLiteral("a\uFFFDz")} << false;
    QTest::newRow("literal U+FFFD matches")
        << u8 << QByteArray("a\xEF\xBF\xBDz") << QStringList{QStringLiteral("a\uFFFDz")} << true;
    QTest::newRow("utf-8 mark is not text") << u8
                                            << QByteArray("\xEF\xBB\xBF"
                                                          "a")
                                            << QStringList{QStringLiteral("\uFEFFa")} << false;
    QTest::newRow("auto: mark then invalid stays utf-8")
        << au << "\xEF\xBB\xBF\x90" + settei << QStringList{QStringLiteral("設定")} << true;
    QTest::newRow("auto: one late byte makes it cp932")
        << au << settei + QByteArray(40, 'x') + "\xFF" << QStringList{QStringLiteral("設定")}
        << false;
    QTest::newRow("auto: match before a late invalid byte, cp932 decides")
        << au << "a b\n" + settei + "\xFF" << QStringList{"a", "b"} << true;
    QTest::newRow("utf-16le word")
        << au << QByteArray("\xFF\xFE") + utf16(QStringLiteral("x設定"), false)
        << QStringList{QStringLiteral("設定")} << true;
    QTest::newRow("utf-16be emoji")
        << au << QByteArray("\xFE\xFF") + utf16(QStringLiteral("😀\n"), true)
        << QStringList{QStringLiteral("😀")} << true;
    // "A" is 41 00 in UTF-16LE; here those bytes sit across two units.
    QTest::newRow("utf-16 bytes at an odd offset")
        << au << QByteArray("\xFF\xFE\x00\x41\x00\x41", 6) << QStringList{"A"} << false;
    QTest::newRow("utf-16 lines") << au << QByteArray("\xFF\xFE") + utf16("alpha\nbeta", false)
                                  << two << false;
    QTest::newRow("utf-16 lone surrogate is no U+FFFD")
        << au << QByteArray("\xFF\xFE") + utf16(QString(QChar(0xDC00)), false)
        << QStringList{QStringLiteral("\uFFFD")} << false;
    QTest::newRow("utf-8 mode reads utf-16 bytes as utf-8")
        << u8 << QByteArray("\xFF\xFE") + utf16("A", false) << QStringList{"A"} << true;
    QTest::newRow("word with LF never, auto")
        << au << QByteArray("a\nb") << QStringList{"a\nb"} << false;
    const int ej = int(EncodingMode::EucJp);
    const QStringList kanji{QStringLiteral("亜")};
    QTest::newRow("euc-jp word") << ej << QByteArray("x\xB0\xA1y") << kanji << true;
    QTest::newRow("euc-jp word not across characters")
        << ej << QByteArray("\xA4\xB0\xA1\xA2") << QStringList{QStringLiteral("亜")} << false;
    QTest::newRow("euc-jp 0212 and half-width")
        << ej << QByteArray("\x8F\xB0\xA1\x8E\xB1") << QStringList{QStringLiteral("丂ｱ")} << true;
    QTest::newRow("euc-jp lone LF ends the line")
        << ej << QByteArray("alpha\nbeta") << two << false;
    QTest::newRow("euc-jp error is no U+FFFD")
        << ej << QByteArray("a\xA9\xA1") << QStringList{QStringLiteral("a\uFFFD")} << false;
    QTest::newRow("auto: euc-jp") << au << QByteArray("\xB0\xA1\xA4\xA2") << kanji << true;
    QTest::newRow("auto: cp932 half-width katakana valid as euc-jp")
        << au << QByteArray("\xB6\xC0\xB6\xC5 \xC3\xDE\xB0\xC0")
        << QStringList{QStringLiteral("ﾃﾞｰﾀ")} << true;
    QTest::newRow("auto: short euc-jp katakana") << au << QByteArray("x \xA5\xC6\xA5\xB9\xA5\xC8")
                                                 << QStringList{QStringLiteral("テスト")} << true;
    QTest::newRow("auto: iso-2022-jp") << au << QByteArray("\x1B$B0!\x1B(B") << kanji << true;
    QTest::newRow("auto: iso-2022-jp ascii word inside a kanji")
        << au << QByteArray("\x1B$B0!\x1B(B") << QStringList{"0!"} << false;
    QTest::newRow("auto: ascii word matches before a late designation")
        << au << QByteArray("0!\n") + QByteArray(3000, 'a') + "\x1B$B0!\x1B(B" << QStringList{"0!"}
        << true;
    QTest::newRow("euc-jp mode reads iso-2022-jp as ascii")
        << ej << QByteArray("\x1B$B0!\x1B(B") << QStringList{"0!"} << true;
}

void EncodingTest::fixedCases()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, words);
    QFETCH(bool, expected);
    QCOMPARE(reference::matches(reference::Mode(mode), bytes, words), expected);
    for (qsizetype block : {1, 3, 7, 65536})
        QCOMPARE(engineMatches(EncodingMode(mode), bytes, words, block), expected);
}

// A file valid UTF-8 for many blocks and invalid only near its end is read
// again from the start as code page 932; a source that cannot start again
// counts as no match rather than a wrong one.
void EncodingTest::lateInvalidByteAfterManyBlocks()
{
    const QByteArray utf8Part = QStringLiteral("設定\n").repeated(5000).toUtf8();
    const QByteArray cp932Line = "\r\n\x90\xDD\x92\xE8 x\r\n\xFF";
    const QByteArray bytes = utf8Part + cp932Line;
    const QStringList words{QStringLiteral("設定"), "x"};
    QVERIFY(reference::matches(reference::Mode::Auto, bytes, words));
    FileEncoding read = FileEncoding::Utf8;
    QVERIFY(engineMatches(EncodingMode::Auto, bytes, words, 4096, 1000, true, &read));
    QCOMPARE(read, FileEncoding::Cp932);
    // Valid UTF-8 words are on a line in the UTF-8 part, but the file is not UTF-8.
    const QStringList utf8Words{QStringLiteral("設定")};
    QVERIFY(!engineMatches(EncodingMode::Auto, utf8Part + "\xFF", utf8Words, 4096));
    QVERIFY(engineMatches(EncodingMode::Auto, utf8Part, utf8Words, 4096));

    TextMatcher matcher(words, EncodingMode::Auto);
    OneWaySource oneWay(bytes);
    QVERIFY(!matcher.matches(oneWay, 4096));
    OneWaySource early(cp932Line + utf8Part); // invalid in the first block: no need to
    QVERIFY(matcher.matches(early, 4096));
}

void EncodingTest::differentialEveryMode()
{
    QRandomGenerator rng(seed());
    static const qsizetype blocks[] = {1, 2, 3, 5, 8, 13, 64, 65536};
    qint64 matched = 0, files = 0;
    while (files < 30000) {
        const QByteArray bytes = randomFile(rng);
        const QStringList words = randomWords(rng, bytes);
        if (words.isEmpty())
            continue;
        ++files;
        for (reference::Mode mode : kModes) {
            const bool expected = reference::matches(mode, bytes, words);
            matched += expected;
            const qsizetype block = blocks[rng.bounded(8)];
            const qsizetype chunk = rng.bounded(3) == 0 ? 1 + rng.bounded(7) : 1 << 30;
            FileEncoding read = FileEncoding::Cp932;
            const bool got =
                engineMatches(toMode(mode), bytes, words, block, chunk, rng.bounded(2), &read);
            if (got != expected) {
                qWarning() << "mode" << int(mode) << "block" << block << "chunk" << chunk << "words"
                           << words << "bytes" << bytes.toHex(' ');
                QCOMPARE(got, expected);
            }
            // The file's encoding is settled whenever the file is read at all.
            if (mode == reference::Mode::Auto && !TextMatcher(words, toMode(mode)).neverMatches()) {
                QCOMPARE(int(read), int(toEncoding(reference::kindOf(mode, bytes))));
                // The viewer decides from the whole file by the same rule.
                QCOMPARE(int(platform::decideEncoding(EncodingMode::Auto, bytes.constData(),
                                                      bytes.size())
                                 .encoding),
                         int(read));
            }
        }
    }
    qInfo("%lld files, %lld matches over three modes", files, matched);
    QVERIFY(matched > files / 10);
}

// A generated tree mixing every kind of file, searched in each mode on one
// thread and on several: the same files as the reference, in walk order.
void EncodingTest::treeEveryModeOneAndManyThreads()
{
    QRandomGenerator rng(seed());
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QHash<QString, QByteArray> contents;
    for (int i = 0; i < 300; ++i) {
        const QString sub = dir.path() + QStringLiteral("/d%1").arg(i % 7);
        QDir().mkpath(sub);
        const QString path = sub + QStringLiteral("/f%1.txt").arg(i);
        QByteArray bytes = randomFile(rng);
        if (i % 50 == 0) // bigger than a block, invalid late
            bytes = QStringLiteral("設定 テスト\n").repeated(3000).toUtf8() + "\xFF";
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        contents.insert(path, bytes);
    }
    for (const QString &keyword :
         {QStringLiteral("設定"), QStringLiteral("設定 テスト"), QStringLiteral("A"),
          QStringLiteral("😀"), QStringLiteral("a b"), QStringLiteral("\uFFFD")}) {
        for (reference::Mode mode : kModes) {
            QStringList expected;
            Recorder one;
            SearchOptions options;
            options.encoding = toMode(mode);
            options.workers = 1;
            options.blockSize = 4096;
            runSearch(dir.path(), keyword, one, options);
            for (const QString &path : one.listed) {
                if (reference::matches(mode, contents.value(path), keyword.split(u' ')))
                    expected << path;
            }
            QCOMPARE(one.found, expected);
            Recorder many;
            options.workers = 4;
            runSearch(dir.path(), keyword, many, options);
            QCOMPARE(many.listed, one.listed);
            QCOMPARE(many.found, expected);
        }
    }
}

QTEST_GUILESS_MAIN(EncodingTest)
#include "tst_encoding.moc"
