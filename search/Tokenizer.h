// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
#include <QString>
#include <QStringList>

// Splits a text into pieces at a separator, one piece per call, keeping its
// place between calls. One instance per owner: the state is not shared.
class Tokenizer {
public:
    // A non-empty str starts a new split of str; an empty str goes on with the
    // saved text. Returns the next piece: the empty text for an empty piece and
    // after the last piece.
    QString GetToken(const QString &str, const QString &token);

    // True once the saved text is used up (the last piece has been returned).
    bool atEnd() const { return m_position == 0; }

private:
    QString m_saved;
    qsizetype m_position = 0; // 1-based start of the next piece; 0: used up
};

// The words of a keyword text: its pieces at U+0020, empty pieces skipped.
// With fullWidthSpace, the ideographic space U+3000 separates words too.
QStringList splitKeyword(const QString &keywordText, bool fullWidthSpace = false);
