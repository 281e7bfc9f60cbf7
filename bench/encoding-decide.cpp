// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// encoding-decide FOLDER: for every regular file below FOLDER, the encoding
// 自動判別 reads it in (the rule of text/EncodingMode.h, as the search and
// the viewer take it), and the one the rule before EUC-JP and ISO-2022-JP
// gave (a mark, valid UTF-8, else code page 932), one line a file:
// NEW<TAB>OLD<TAB>PLAIN<TAB>PATH, PLAIN 1 when every byte is below 80 and
// none is ESC (text that reads the same in every encoding here).
// encoding-decide --texts: the same rule for each text on standard input,
// texts separated by a NUL byte, one decision a line.
// Used by encoding-auto.py.

#include "text/EncodingMode.h"

#include <QDirIterator>
#include <QFile>

#include <cstdio>
#include <cstring>

namespace {

const char *name(platform::FileEncoding e)
{
    switch (e) {
    case platform::FileEncoding::Cp932:
        return "cp932";
    case platform::FileEncoding::Utf8:
        return "utf-8";
    case platform::FileEncoding::Utf16LE:
        return "utf-16le";
    case platform::FileEncoding::Utf16BE:
        return "utf-16be";
    case platform::FileEncoding::EucJp:
        return "euc-jp";
    case platform::FileEncoding::Iso2022Jp:
        return "iso-2022-jp";
    }
    return "?";
}

} // namespace

int decideTexts()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return 2;
    const QByteArray all = in.readAll();
    for (const QByteArray &text : all.split('\0')) {
        const auto decided =
            platform::decideEncoding(platform::EncodingMode::Auto, text.constData(), text.size());
        std::printf("%s\n", name(decided.encoding));
    }
    return 0;
}

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--texts") == 0)
        return decideTexts();
    if (argc != 2) {
        std::fprintf(stderr, "usage: encoding-decide FOLDER\n");
        return 2;
    }
    QDirIterator it(QString::fromLocal8Bit(argv[1]), QDir::Files | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            continue;
        }
        const QByteArray bytes = file.readAll();
        const auto decided =
            platform::decideEncoding(platform::EncodingMode::Auto, bytes.constData(), bytes.size());
        platform::FileDecision before;
        if (!platform::decideByMark(platform::EncodingMode::Auto, bytes.constData(), bytes.size(),
                                    before)) {
            platform::Utf8Validator validator;
            validator.feed(bytes.constData(), bytes.size());
            before.encoding =
                validator.finish() ? platform::FileEncoding::Utf8 : platform::FileEncoding::Cp932;
        }
        bool plain = true;
        for (char c : bytes)
            plain = plain && static_cast<unsigned char>(c) < 0x80 && c != 0x1B;
        std::printf("%s\t%s\t%d\t%s\n", name(decided.encoding), name(before.encoding), int(plain),
                    path.toLocal8Bit().constData());
    }
    return 0;
}
