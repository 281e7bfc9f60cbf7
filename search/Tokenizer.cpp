// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "search/Tokenizer.h"

QString Tokenizer::GetToken(const QString &str, const QString &token)
{
    if (!str.isEmpty()) {
        m_saved = str;
        m_position = 1;
    }
    if (m_position == 0)
        return QString();

    const qsizetype from = m_position - 1; // 0-based
    // An empty separator is never passed by the program; it yields the rest of
    // the text as one piece rather than an endless run of empty pieces.
    const qsizetype k = token.isEmpty() ? -1 : m_saved.indexOf(token, from, Qt::CaseSensitive);
    if (k >= 0) {
        m_position = k + token.size() + 1;
        return m_saved.mid(from, k - from);
    }
    m_position = 0;
    return m_saved.mid(from);
}

QStringList splitKeyword(const QString &keywordText, bool fullWidthSpace)
{
    QStringList words;
    if (keywordText.isEmpty())
        return words;
    Tokenizer tokenizer;
    const QString separator = QStringLiteral(" ");
    QString word = tokenizer.GetToken(
        fullWidthSpace ? QString(keywordText).replace(QChar(0x3000), u' ') : keywordText,
        separator);
    for (;;) {
        if (!word.isEmpty())
            words.append(word);
        if (tokenizer.atEnd())
            break;
        word = tokenizer.GetToken(QString(), separator);
    }
    return words;
}
