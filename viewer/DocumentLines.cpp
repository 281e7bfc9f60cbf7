// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/DocumentLines.h"

#include "resources/Texts.h"

#include <algorithm>

QString documentViewText(const documents::DocumentText &document)
{
    qsizetype size = 0;
    for (const QString &line : document.lines)
        size += line.size() + 1;
    QString text;
    text.reserve(size);
    bool first = true;
    for (const QString &line : document.lines) {
        if (!first)
            text.append(u'\n');
        first = false;
        const qsizetype at = text.size();
        text.append(line);
        for (qsizetype i = at; i < text.size(); ++i) {
            if (text.at(i) == u'\r' || text.at(i) == u'\n')
                text[i] = u' ';
        }
    }
    return text;
}

qsizetype partOfLine(const std::vector<documents::Location> &locations, qsizetype line)
{
    const auto after =
        std::upper_bound(locations.begin(), locations.end(), line,
                         [](qsizetype l, const documents::Location &loc) { return l < loc.line; });
    return after - locations.begin() - 1;
}

QString encodingLabel(platform::FileEncoding encoding)
{
    switch (encoding) {
    case platform::FileEncoding::Cp932:
        return texts::readAsCp932;
    case platform::FileEncoding::Utf8:
        return texts::readAsUtf8;
    case platform::FileEncoding::Utf16LE:
        return texts::readAsUtf16LE;
    case platform::FileEncoding::Utf16BE:
        return texts::readAsUtf16BE;
    case platform::FileEncoding::EucJp:
        return texts::readAsEucJp;
    case platform::FileEncoding::Iso2022Jp:
        return texts::readAsIso2022Jp;
    }
    return QString();
}
