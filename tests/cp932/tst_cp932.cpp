// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The code page 932 decoder against two independent sources:
// - Qt's ICU-backed decoder for every one- and two-byte input (ICU differs from
//   Windows on a few single bytes, listed below, and on invalid input);
// - a plain model of Windows' segmentation, built on ICU's units, for invalid
//   input: every three-byte input that starts with a lead byte and random lines.
// Set TARNWELL_CP932_SEED to repeat a run of the random tests.

#include "text/Cp932.h"
#include "text/Cp932Boundary.h"

#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTest>

#include <memory>
#include <vector>

namespace {

constexpr char16_t kDot = u'\u30FB';

bool modelLead(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Single bytes on which Windows and ICU disagree: ICU swaps 1A/1C/7F and has no
// character for 80, A0 and FD-FF. These are Windows' values.
struct KnownDifference {
    unsigned char byte;
    char16_t windows;
};
constexpr KnownDifference kKnownDifferences[] = {
    {0x1A, 0x001A}, {0x1C, 0x001C}, {0x7F, 0x007F}, {0x80, 0x0080},
    {0xA0, 0xF8F0}, {0xFD, 0xF8F1}, {0xFE, 0xF8F2}, {0xFF, 0xF8F3},
};

// One unit through a fresh stateless ICU decoder: its character, or nothing when
// ICU reports an error or does not give exactly one character.
std::optional<char16_t> icuUnit(const QByteArray &bytes)
{
    QStringDecoder icu("CP932", QStringDecoder::Flag::Stateless);
    const QString text = icu.decode(bytes);
    if (icu.hasError() || text.size() != 1)
        return std::nullopt;
    return text.at(0).unicode();
}

// What each unit decodes to under Windows, from ICU and the known differences.
struct Model {
    char16_t single[256] = {};    // bytes that are not lead bytes
    char16_t pair[256][256] = {}; // lead byte, non-zero next byte; kDot if undefined
    bool pairDefined[256][256] = {};
};

const Model &model()
{
    static const std::unique_ptr<Model> m = [] {
        auto built = std::make_unique<Model>();
        for (int b = 0; b < 256; ++b) {
            const auto byte = static_cast<unsigned char>(b);
            if (modelLead(byte)) {
                for (int t = 1; t < 256; ++t) {
                    const char raw[2] = {char(b), char(t)};
                    const auto c = icuUnit(QByteArray(raw, 2));
                    built->pair[b][t] = c.value_or(kDot);
                    built->pairDefined[b][t] = c.has_value();
                }
            } else {
                built->single[b] = icuUnit(QByteArray(1, char(b))).value_or(0xFFFF);
            }
        }
        for (const auto &d : kKnownDifferences)
            built->single[d.byte] = d.windows;
        return built;
    }();
    return *m;
}

// Windows' segmentation, unit by unit: a lead byte takes the next byte unless it
// is the last byte or the next byte is 00. Returns the number of units written;
// starts (when given) receives the offset at which each unit starts.
int modelDecode(const unsigned char *p, int n, char16_t *out, std::vector<int> *starts = nullptr)
{
    const Model &m = model();
    int units = 0;
    int i = 0;
    while (i < n) {
        if (starts)
            starts->push_back(i);
        if (modelLead(p[i]) && i + 1 < n && p[i + 1] != 0) {
            out[units++] = m.pair[p[i]][p[i + 1]];
            i += 2;
        } else if (modelLead(p[i])) {
            out[units++] = kDot;
            i += 1;
        } else {
            out[units++] = m.single[p[i]];
            i += 1;
        }
    }
    return units;
}

QString hex(const unsigned char *p, int n)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(p), n).toHex(' '));
}

QString codes(QStringView text)
{
    QStringList parts;
    for (const QChar c : text)
        parts << QString::asprintf("%04X", c.unicode());
    return parts.join(u' ');
}

QString codes(const char16_t *p, int n)
{
    return codes(QStringView(p, n));
}

const char *bytesOf(const unsigned char *p)
{
    return reinterpret_cast<const char *>(p);
}

// A line weighted towards lead bytes, the bytes decoders disagree on and line
// bytes, with ASCII runs long enough for the eight-byte fast path.
QByteArray randomLine(QRandomGenerator &rng)
{
    static const unsigned char specials[] = {0x00, 0x0A, 0x0D, 0x5C, 0x7F,
                                             0x80, 0xA0, 0xFD, 0xFE, 0xFF};
    QByteArray line;
    const int target = int(rng.bounded(48));
    while (line.size() < target) {
        const int kind = int(rng.bounded(100));
        if (kind < 35) {
            const int lead = int(rng.bounded(60));
            line.append(char(lead < 31 ? 0x81 + lead : 0xE0 + lead - 31));
        } else if (kind < 60) {
            line.append(char(specials[rng.bounded(int(sizeof specials))]));
        } else if (kind < 75) {
            line.append(char(0x40 + rng.bounded(0xBD))); // trail range 40-FC
        } else if (kind < 90) {
            line.append(char(rng.bounded(256)));
        } else {
            const int run = 1 + int(rng.bounded(20));
            for (int k = 0; k < run; ++k)
                line.append(char(0x20 + rng.bounded(0x5F)));
        }
    }
    return line;
}

} // namespace

class TestCp932 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void singleBytesAgreeWithIcuExceptKnownDifferences();
    void everyTwoByteInput();
    void everyThreeByteInputFromALeadByte();
    void randomLines();
    void spotChecks_data();
    void spotChecks();
    void encodeClassifiesEveryCharacter();
    void encodeWords_data();
    void encodeWords();

private:
    quint32 m_seed = 0;
};

void TestCp932::initTestCase()
{
    QVERIFY2(QStringDecoder("CP932").isValid(), "Qt has no CP932 decoder (ICU missing)");
    bool ok = false;
    m_seed = qEnvironmentVariable("TARNWELL_CP932_SEED").toUInt(&ok);
    if (!ok)
        m_seed = QRandomGenerator::global()->generate();
    qInfo("random seed: %u (repeat with TARNWELL_CP932_SEED=%u)", m_seed, m_seed);
    model();
}

void TestCp932::singleBytesAgreeWithIcuExceptKnownDifferences()
{
    int characters = 0;
    for (int b = 0; b < 256; ++b) {
        const char raw = char(b);
        const QString ours = cp932::decode(&raw, 1);
        QCOMPARE(ours.size(), 1);
        if (modelLead(static_cast<unsigned char>(b))) {
            QCOMPARE(ours.at(0).unicode(), kDot);
            continue;
        }
        ++characters;
        const auto icu = icuUnit(QByteArray(1, raw));
        const auto *known = std::find_if(std::begin(kKnownDifferences), std::end(kKnownDifferences),
                                         [b](const KnownDifference &d) { return d.byte == b; });
        if (known != std::end(kKnownDifferences)) {
            QCOMPARE(ours.at(0).unicode(), known->windows);
            QVERIFY2(icu != known->windows, qPrintable(QString::asprintf("byte %02X", b)));
        } else {
            QVERIFY2(icu.has_value(), qPrintable(QString::asprintf("byte %02X", b)));
            QCOMPARE(ours.at(0).unicode(), *icu);
        }
    }
    QCOMPARE(characters, 196);
}

void TestCp932::everyTwoByteInput()
{
    const Model &m = model();
    int defined = 0;
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const unsigned char raw[2] = {static_cast<unsigned char>(a),
                                          static_cast<unsigned char>(b)};
            const QString ours = cp932::decode(bytesOf(raw), 2);
            QString expected;
            if (modelLead(raw[0]) && b != 0) {
                // A pair: the table agrees with ICU wherever ICU has a character.
                if (m.pairDefined[a][b])
                    ++defined;
                expected = QChar(m.pair[a][b]);
            } else {
                expected += QChar(modelLead(raw[0]) ? kDot : m.single[a]);
                expected += QChar(modelLead(raw[1]) ? kDot : m.single[b]);
            }
            if (ours != expected)
                QFAIL(qPrintable(QStringLiteral("%1: got %2, expected %3")
                                     .arg(hex(raw, 2), codes(ours), codes(expected))));
        }
    }
    QCOMPARE(defined, 9604);
}

void TestCp932::everyThreeByteInputFromALeadByte()
{
    QString ours;
    char16_t expected[3];
    for (int a = 0x81; a <= 0xFC; ++a) {
        if (!modelLead(static_cast<unsigned char>(a)))
            continue;
        for (int b = 0; b < 256; ++b) {
            for (int c = 0; c < 256; ++c) {
                const unsigned char raw[3] = {static_cast<unsigned char>(a),
                                              static_cast<unsigned char>(b),
                                              static_cast<unsigned char>(c)};
                ours.resize(0);
                cp932::appendDecoded(bytesOf(raw), 3, ours);
                const int n = modelDecode(raw, 3, expected);
                if (ours.size() != n ||
                    !std::equal(expected, expected + n,
                                reinterpret_cast<const char16_t *>(ours.constData())))
                    QFAIL(qPrintable(QStringLiteral("%1: got %2, expected %3")
                                         .arg(hex(raw, 3), codes(ours), codes(expected, n))));
            }
        }
    }
}

// Whole lines, the same lines in random pieces, the boundary test at every
// offset and the boundary cursor, all against the model.
void TestCp932::randomLines()
{
    QRandomGenerator rng(m_seed);
    std::vector<char16_t> expected;
    std::vector<int> starts;
    cp932::LineDecoder pieces;
    for (int round = 0; round < 100000; ++round) {
        const QByteArray line = randomLine(rng);
        const auto *p = reinterpret_cast<const unsigned char *>(line.constData());
        const int n = int(line.size());
        expected.resize(size_t(n));
        starts.clear();
        const int units = modelDecode(p, n, expected.data(), &starts);
        const QString want = QString::fromUtf16(expected.data(), units);

        const QString whole = cp932::decode(line);
        if (whole != want)
            QFAIL(qPrintable(QStringLiteral("%1: got %2, expected %3")
                                 .arg(hex(p, n), codes(whole), codes(want))));

        // Its CR and LF bytes taken for line ends: each line decoded alone,
        // the ends kept as they are.
        QString lineWise;
        for (int from = 0, at = 0; at <= n; ++at) {
            if (at < n && p[at] != '\r' && p[at] != '\n')
                continue;
            lineWise += QString::fromUtf16(expected.data(),
                                           modelDecode(p + from, at - from, expected.data()));
            if (at < n)
                lineWise += QChar(p[at]);
            from = at + 1;
        }
        QString lines = QStringLiteral("prefix");
        cp932::appendDecodedLines(line.constData(), n, lines);
        if (lines != QStringLiteral("prefix") + lineWise)
            QFAIL(
                qPrintable(QStringLiteral("%1 as lines: got %2, expected %3")
                               .arg(hex(p, n), codes(QStringView(lines).mid(6)), codes(lineWise))));

        // Cut into up to four pieces, empty ones included; the decoder is reused.
        QString joined = QStringLiteral("prefix");
        int from = 0;
        QStringList cuts;
        for (int k = int(rng.bounded(4)); k > 0; --k) {
            const int to = from + int(rng.bounded(n - from + 1));
            pieces.appendDecoded(line.constData() + from, to - from, joined);
            cuts << QString::number(to);
            from = to;
        }
        pieces.appendDecoded(line.constData() + from, n - from, joined);
        pieces.finish(joined);
        if (joined != QStringLiteral("prefix") + want)
            QFAIL(qPrintable(QStringLiteral("%1 cut at %2: got %3, expected %4")
                                 .arg(hex(p, n), cuts.join(u','), codes(QStringView(joined).mid(6)),
                                      codes(want))));

        size_t next = 0;
        for (int at = 0; at <= n; ++at) {
            const bool isStart = next < starts.size() && starts[next] == at;
            if (isStart)
                ++next;
            const bool boundary = isStart || at == n;
            if (cp932::isUnitBoundary(p, p + at, p + n) != boundary ||
                (at < n && cp932::isUnitBoundary(p, p + at) != boundary))
                QFAIL(qPrintable(QStringLiteral("%1: offset %2 should %3be a boundary")
                                     .arg(hex(p, n))
                                     .arg(at)
                                     .arg(boundary ? "" : "not ")));
        }

        // The cursor, asked at a random increasing subset of the offsets, now and
        // then crossing pairs of lead-range bytes up to a random stop byte.
        std::vector<char> isStart(size_t(n) + 1, 0);
        for (int at : starts)
            isStart[size_t(at)] = 1;
        isStart[size_t(n)] = 1;
        cp932::BoundaryCursor cursor(p);
        for (int at = 0; at < n; ++at) {
            if (cursor.known() > p + at || rng.bounded(3) == 0)
                continue;
            if (cursor.isBoundary(p + at) != bool(isStart[size_t(at)]))
                QFAIL(qPrintable(
                    QStringLiteral("%1: the cursor is wrong at offset %2").arg(hex(p, n)).arg(at)));
            if (rng.bounded(4) != 0)
                continue;
            const unsigned char stop = p[rng.bounded(n)];
            const unsigned char *from = cursor.known();
            const unsigned char *to =
                cursor.skipLeadPairs(p + n, [stop](unsigned char b) { return b == stop; });
            bool stepsOverStop = false;
            for (const unsigned char *q = from; q < to; ++q)
                stepsOverStop = stepsOverStop || (isStart[size_t(q - p)] && *q == stop);
            if (to < from || !isStart[size_t(to - p)] || stepsOverStop)
                QFAIL(qPrintable(QStringLiteral("%1: skipping pairs from %2 stopped at %3")
                                     .arg(hex(p, n))
                                     .arg(from - p)
                                     .arg(to - p)));
        }
    }
}

void TestCp932::spotChecks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("lead byte ends the line") << QByteArray("A\x81") << QStringLiteral(u"A・");
    QTest::newRow("lead byte before 00") << QByteArray("\x81\x00"
                                                       "A",
                                                       3)
                                         << QString(QStringLiteral(u"・") + QChar(0) + u'A');
    QTest::newRow("lead byte takes a line feed") << QByteArray("\x81\nA") << QStringLiteral(u"・A");
    QTest::newRow("placeholder 8540") << QByteArray("\x85\x40") << QStringLiteral(u"・");
    QTest::newRow("placeholder EF40") << QByteArray("\xEF\x40") << QStringLiteral(u"・");
    QTest::newRow("middle dot itself") << QByteArray("\x81\x45") << QStringLiteral(u"・");
    QTest::newRow("first user-defined") << QByteArray("\xF0\x40") << QStringLiteral(u"\uE000");
    QTest::newRow("last user-defined") << QByteArray("\xF9\xFC") << QStringLiteral(u"\uE757");
    QTest::newRow("backslash and tilde") << QByteArray("\x5C\x7E") << QStringLiteral(u"\\~");
    QTest::newRow("trail 5C") << QByteArray("\x83\x5C\x95\x5C") << QStringLiteral(u"ソ表");
    QTest::newRow("lead pairs with lead") << QByteArray("\x81\x81\x81") << QStringLiteral(u"＝・");
    QTest::newRow("half-width katakana") << QByteArray("\xB1\xDF") << QStringLiteral(u"ｱﾟ");
    QTest::newRow("ascii run then kanji")
        << QByteArray("abcdefghij\x8A\xBF\x8E\x9A") << QStringLiteral(u"abcdefghij漢字");
}

void TestCp932::spotChecks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(codes(cp932::decode(bytes)), codes(text));
}

// Every BMP code unit against the preimages the model counts: none is
// Impossible, one is Unique (and round-trips), several or U+30FB is Ambiguous.
void TestCp932::encodeClassifiesEveryCharacter()
{
    const Model &m = model();
    std::vector<int> preimages(0x10000);
    for (int b = 0; b < 256; ++b) {
        if (!modelLead(static_cast<unsigned char>(b)))
            ++preimages[m.single[b]];
        for (int t = 1; t < 256; ++t) {
            if (m.pairDefined[b][t])
                ++preimages[m.pair[b][t]];
        }
    }
    int ambiguous = 0;
    int unique = 0;
    for (int u = 0; u < 0x10000; ++u) {
        const char16_t c = char16_t(u);
        const cp932::Encoding e = cp932::encode(QStringView(&c, 1));
        const auto expected = preimages[u] == 0                ? cp932::Form::Impossible
                              : preimages[u] == 1 && c != kDot ? cp932::Form::Unique
                                                               : cp932::Form::Ambiguous;
        if (e.form != expected || cp932::hasUniqueForm(c) != (expected == cp932::Form::Unique))
            QFAIL(qPrintable(
                QString::asprintf("U+%04X: form %d, expected %d", u, int(e.form), int(expected))));
        // Every unit form, for the characters of several forms and a sample of the rest.
        if (preimages[u] >= 2 || u % 61 == 0) {
            const QList<QByteArray> forms = cp932::unitForms(c);
            QCOMPARE(forms.size(), c == kDot ? 0 : preimages[u]);
            for (const QByteArray &form : forms)
                QCOMPARE(cp932::decode(form), QString(QChar(c)));
        }
        if (e.form == cp932::Form::Unique) {
            ++unique;
            QCOMPARE(cp932::decode(e.bytes), QString(QChar(c)));
        } else {
            QVERIFY(e.bytes.isEmpty());
            if (e.form == cp932::Form::Ambiguous && c != kDot)
                ++ambiguous;
        }
    }
    QCOMPARE(ambiguous, 396);
    // 9,800 byte forms, 398 of them second forms of the 396 characters, and U+30FB.
    QCOMPARE(unique, 196 + 9604 - 398 - 396 - 1);
}

void TestCp932::encodeWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<cp932::Form>("form");
    QTest::addColumn<QByteArray>("bytes");
    using cp932::Form;
    QTest::newRow("empty") << QString() << Form::Unique << QByteArray();
    QTest::newRow("katakana with trail 5C")
        << QStringLiteral(u"ソ") << Form::Unique << QByteArray("\x83\x5C");
    QTest::newRow("mixed word") << QStringLiteral(u"ソ表示A\\ｱ") << Form::Unique
                                << QByteArray("\x83\x5C\x95\x5C\x8E\xA6"
                                              "A\\\xB1");
    QTest::newRow("00 and user-defined") << QString(QChar(0) + QStringLiteral(u"\uE000"))
                                         << Form::Unique << QByteArray("\x00\xF0\x40", 3);
    QTest::newRow("bytes without a character of their own")
        << QStringLiteral(u"\u0080\uF8F0\uF8F3") << Form::Unique << QByteArray("\x80\xA0\xFF");
    QTest::newRow("yen sign") << QStringLiteral(u"¥") << Form::Impossible << QByteArray();
    QTest::newRow("wave dash") << QStringLiteral(u"〜") << Form::Impossible << QByteArray();
    QTest::newRow("lone surrogate") << QString(QChar(0xD800)) << Form::Impossible << QByteArray();
    QTest::newRow("astral character") << QStringLiteral(u"A😀") << Form::Impossible << QByteArray();
    QTest::newRow("astral ideograph")
        << QStringLiteral(u"𠮷野家") << Form::Impossible << QByteArray();
    QTest::newRow("NEC and IBM forms") << QStringLiteral(u"纊A") << Form::Ambiguous << QByteArray();
    QTest::newRow("JIS and NEC forms") << QStringLiteral(u"≒") << Form::Ambiguous << QByteArray();
    QTest::newRow("middle dot") << QStringLiteral(u"A・B") << Form::Ambiguous << QByteArray();
    QTest::newRow("impossible wins") << QStringLiteral(u"纊¥") << Form::Impossible << QByteArray();
}

void TestCp932::encodeWords()
{
    QFETCH(QString, text);
    QFETCH(cp932::Form, form);
    QFETCH(QByteArray, bytes);
    const cp932::Encoding e = cp932::encode(text);
    QCOMPARE(e.form, form);
    QCOMPARE(e.bytes.toHex(' '), bytes.toHex(' '));
    // The character named as the one that cannot be read is there exactly when
    // the text never matches, and is a character that alone never does.
    const QString bad = cp932::firstUnrepresentable(text);
    QCOMPARE(bad.isEmpty(), form != cp932::Form::Impossible);
    if (!bad.isEmpty()) {
        QVERIFY(text.contains(bad));
        QCOMPARE(cp932::encode(bad).form, cp932::Form::Impossible);
    }
}

QTEST_GUILESS_MAIN(TestCp932)
#include "tst_cp932.moc"
