// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// GetToken's pieces and state, and how the keyword text becomes words.

#include "search/Tokenizer.h"

#include <QtTest>

class TokenizerTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pieces_data();
    void pieces();
    void freshTokenizerReturnsEmpty();
    void newTextRestarts();
    void stateIsPerInstance();
    void splitKeyword_data();
    void splitKeyword();
};

void TokenizerTest::pieces_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QStringList>("expected"); // successive results, then two more calls

    QTest::newRow("three words") << "a b c"
                                 << " " << QStringList{"a", "b", "c", "", ""};
    QTest::newRow("two spaces") << "a  b"
                                << " " << QStringList{"a", "", "b", "", ""};
    QTest::newRow("leading space") << " a"
                                   << " " << QStringList{"", "a", "", ""};
    QTest::newRow("trailing space") << "a "
                                    << " " << QStringList{"a", "", "", ""};
    QTest::newRow("full-width space does not split")
        << QStringLiteral("検索　語 x") << " "
        << QStringList{QStringLiteral("検索　語"), "x", "", ""};
    QTest::newRow("longer separator") << "a, b,c"
                                      << ", " << QStringList{"a", "b,c", "", ""};
    QTest::newRow("case-sensitive separator") << "aXbxc"
                                              << "x" << QStringList{"aXb", "c", ""};
    QTest::newRow("empty separator gives the rest") << "a b"
                                                    << "" << QStringList{"a b", "", ""};
}

void TokenizerTest::pieces()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QStringList, expected);
    Tokenizer tokenizer;
    QStringList got{tokenizer.GetToken(text, separator)};
    while (got.size() < expected.size())
        got << tokenizer.GetToken(QString(), separator);
    QCOMPARE(got, expected);
    QVERIFY(tokenizer.atEnd());
}

void TokenizerTest::freshTokenizerReturnsEmpty()
{
    Tokenizer tokenizer;
    QCOMPARE(tokenizer.GetToken(QString(), QStringLiteral(" ")), QString());
    QVERIFY(tokenizer.atEnd());
}

void TokenizerTest::newTextRestarts()
{
    Tokenizer tokenizer;
    QCOMPARE(tokenizer.GetToken(QStringLiteral("a b c"), QStringLiteral(" ")), QStringLiteral("a"));
    QCOMPARE(tokenizer.GetToken(QStringLiteral("x y"), QStringLiteral(" ")), QStringLiteral("x"));
    QCOMPARE(tokenizer.GetToken(QString(), QStringLiteral(" ")), QStringLiteral("y"));
    QCOMPARE(tokenizer.GetToken(QString(), QStringLiteral(" ")), QString());
}

void TokenizerTest::stateIsPerInstance()
{
    Tokenizer first, second;
    first.GetToken(QStringLiteral("a b"), QStringLiteral(" "));
    QCOMPARE(second.GetToken(QString(), QStringLiteral(" ")), QString());
    second.GetToken(QStringLiteral("x y"), QStringLiteral(" "));
    QCOMPARE(first.GetToken(QString(), QStringLiteral(" ")), QStringLiteral("b"));
}

void TokenizerTest::splitKeyword_data()
{
    QTest::addColumn<QString>("keyword");
    QTest::addColumn<QStringList>("words");

    QTest::newRow("empty") << "" << QStringList{};
    QTest::newRow("spaces only") << "   " << QStringList{};
    QTest::newRow("two words") << "alpha beta" << QStringList{"alpha", "beta"};
    QTest::newRow("empty pieces skipped") << " alpha  beta " << QStringList{"alpha", "beta"};
    QTest::newRow("full-width space inside a word")
        << QStringLiteral("全角　空白") << QStringList{QStringLiteral("全角　空白")};
    QTest::newRow("tab is not a separator") << "a\tb" << QStringList{"a\tb"};
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QString::number(i);
    QTest::newRow("more than a hundred words") << many.join(QLatin1Char(' ')) << many;
}

void TokenizerTest::splitKeyword()
{
    QFETCH(QString, keyword);
    QFETCH(QStringList, words);
    QCOMPARE(::splitKeyword(keyword), words);
}

QTEST_GUILESS_MAIN(TokenizerTest)
#include "tst_tokenizer.moc"
