// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The folds of loose matching, one table: each pair that a fold makes one
// and each pair it keeps apart, under that fold alone and under none.

#include "text/Fold.h"

#include <QTest>

using textfold::Folds;

class FoldTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pairs_data();
    void pairs();
    void originsOfComposedPairs();
};

namespace {
constexpr Folds kCase{true, false, false};
constexpr Folds kWidth{false, true, false};
constexpr Folds kKana{false, false, true};
constexpr Folds kWidthKana{false, true, true};
constexpr Folds kAll{true, true, true};
} // namespace

void FoldTest::pairs_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("folds"); // bits: 1 case, 2 width, 4 kana
    QTest::addColumn<bool>("same");
    const auto row = [](const char *name, const QString &a, const QString &b, Folds f, bool same) {
        QTest::newRow(name) << a << b << (int(f.caseless) | int(f.width) << 1 | int(f.kana) << 2)
                            << same;
    };
    row("latin", u"Release Notes"_qs, u"release notes"_qs, kCase, true);
    row("full-width latin", u"ＰＤＦ"_qs, u"ｐｄｆ"_qs, kCase, true);
    row("greek", u"ΣΑΣ"_qs, u"σας"_qs, kCase, true);
    row("cyrillic", u"ДАННЫЕ"_qs, u"данные"_qs, kCase, true);
    row("capital sharp s", u"ẞ"_qs, u"ß"_qs, kCase, true);
    row("sharp s is not ss", u"ß"_qs, u"ss"_qs, kAll, false);
    row("dotted capital I", u"İ"_qs, u"i"_qs, kCase, false);
    row("case is not width", u"Ａ"_qs, u"a"_qs, kCase, false);
    row("digits", u"２０２６年度"_qs, u"2026年度"_qs, kWidth, true);
    row("full-width letters", u"ＰＤＦ"_qs, u"PDF"_qs, kWidth, true);
    row("width is not case", u"ＰＤＦ"_qs, u"pdf"_qs, kWidth, false);
    row("width and case", u"ＰＤＦ"_qs, u"pdf"_qs, kAll, true);
    row("ideographic space", u"見積書　提出"_qs, u"見積書 提出"_qs, kWidth, true);
    row("half-width katakana", u"ｶﾀｶﾅ"_qs, u"カタカナ"_qs, kWidth, true);
    row("voiced pairs", u"ﾃﾞｰﾀﾍﾞｰｽ"_qs, u"データベース"_qs, kWidth, true);
    row("semi-voiced pair", u"ﾊﾟｿｺﾝ"_qs, u"パソコン"_qs, kWidth, true);
    row("vu", u"ｳﾞ"_qs, u"ヴ"_qs, kWidth, true);
    row("wa and wo voiced", u"ﾜﾞｦﾞ"_qs, u"ヷヺ"_qs, kWidth, true);
    row("lone mark", u"ｰﾞ"_qs, u"ー゛"_qs, kWidth, true);
    row("half-width punctuation", u"｢｡､･｣"_qs, u"「。、・」"_qs, kWidth, true);
    row("wave dash", u"～"_qs, u"〜"_qs, kWidth, true);
    row("minus", u"－"_qs, u"−"_qs, kWidth, true);
    row("yen", u"￥"_qs, u"¥"_qs, kWidth, true);
    row("yen is not 5C", u"￥"_qs, u"\\"_qs, kAll, false);
    row("full-width backslash", u"＼"_qs, u"\\"_qs, kWidth, true);
    row("circled one", u"①"_qs, u"1"_qs, kAll, false);
    row("square kiro", u"㌔"_qs, u"キロ"_qs, kAll, false);
    row("ka is not ga", u"ｶﾞ"_qs, u"カ゛"_qs, kAll, false);
    row("hiragana", u"さーばー"_qs, u"サーバー"_qs, kKana, true);
    row("iteration marks", u"ゝゞ"_qs, u"ヽヾ"_qs, kKana, true);
    row("small ke", u"ゖ"_qs, u"ヶ"_qs, kKana, true);
    row("ha is not ba", u"は"_qs, u"ば"_qs, kAll, false);
    row("tsu is not small tsu", u"つ"_qs, u"っ"_qs, kAll, false);
    row("kana is not width", u"ｻｰﾊﾞｰ"_qs, u"さーばー"_qs, kKana, false);
    row("width and kana", u"ｻｰﾊﾞｰ"_qs, u"さーばー"_qs, kWidthKana, true);
}

void FoldTest::pairs()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QFETCH(int, folds);
    QFETCH(bool, same);
    const Folds f{(folds & 1) != 0, (folds & 2) != 0, (folds & 4) != 0};
    QVERIFY(a != b);
    QCOMPARE(textfold::folded(a, f) == textfold::folded(b, f), same);
    QCOMPARE(textfold::folded(b, f) == textfold::folded(a, f), same);
    // No other fold makes the pair one by itself.
    for (const Folds other : {kCase, kWidth, kKana}) {
        if (same && !(other.caseless && f.caseless) && !(other.width && f.width) &&
            !(other.kana && f.kana))
            QVERIFY(textfold::folded(a, other) != textfold::folded(b, other));
    }
}

void FoldTest::originsOfComposedPairs()
{
    // A match of ガス in xｶﾞｽy covers ｶﾞｽ, and カ is not in ｶﾞ.
    const QString text = u"xｶﾞｽyﾊﾟ"_qs;
    QString out;
    std::vector<qsizetype> origins;
    textfold::appendFolded(text, kWidth, out, &origins);
    QCOMPARE(out, u"xガスyパ"_qs);
    QCOMPARE(origins, (std::vector<qsizetype>{0, 1, 3, 4, 5}));
    const qsizetype at = out.indexOf(u"ガス"_qs);
    QCOMPARE(text.mid(origins[size_t(at)], origins[size_t(at) + 2] - origins[size_t(at)]),
             u"ｶﾞｽ"_qs);
    QVERIFY(!out.contains(textfold::folded(u"ｶ"_qs, kWidth)));
    QVERIFY(!out.contains(textfold::folded(u"ﾊ"_qs, kWidth)));
}

QTEST_APPLESS_MAIN(FoldTest)
#include "tst_fold.moc"
