// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "text/EncodingMode.h"

#include "text/JisEncodings.h"

#include <algorithm>

namespace platform {

QString encodingModeName(EncodingMode mode)
{
    switch (mode) {
    case EncodingMode::Utf8:
        return QStringLiteral("utf-8");
    case EncodingMode::Auto:
        return QStringLiteral("auto");
    case EncodingMode::EucJp:
        return QStringLiteral("euc-jp");
    case EncodingMode::Cp932:
        break;
    }
    return QStringLiteral("cp932");
}

bool parseEncodingMode(QStringView name, EncodingMode &mode)
{
    for (EncodingMode m :
         {EncodingMode::Cp932, EncodingMode::Utf8, EncodingMode::Auto, EncodingMode::EucJp}) {
        if (name == encodingModeName(m)) {
            mode = m;
            return true;
        }
    }
    return false;
}

bool decideByMark(EncodingMode mode, const char *data, qsizetype size, FileDecision &decision)
{
    const auto *b = reinterpret_cast<const unsigned char *>(data);
    const bool utf8Mark = size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF;
    switch (mode) {
    case EncodingMode::Cp932:
        decision = {FileEncoding::Cp932, 0};
        return true;
    case EncodingMode::Utf8:
        decision = {FileEncoding::Utf8, utf8Mark ? 3 : 0};
        return true;
    case EncodingMode::EucJp:
        decision = {FileEncoding::EucJp, 0};
        return true;
    case EncodingMode::Auto:
        break;
    }
    if (utf8Mark) {
        decision = {FileEncoding::Utf8, 3};
        return true;
    }
    if (size >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
        decision = {FileEncoding::Utf16LE, 2};
        return true;
    }
    if (size >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
        decision = {FileEncoding::Utf16BE, 2};
        return true;
    }
    return false;
}

FileDecision decideEncoding(EncodingMode mode, const char *data, qsizetype size)
{
    FileDecision decision;
    if (decideByMark(mode, data, size, decision))
        return decision;
    decision.markSize = 0;
    if (jis::looksIso2022Jp(data, size)) {
        decision.encoding = FileEncoding::Iso2022Jp;
        return decision;
    }
    Utf8Validator validator;
    validator.feed(data, size);
    decision.encoding = validator.finish()            ? FileEncoding::Utf8
                        : jis::looksEucJp(data, size) ? FileEncoding::EucJp
                                                      : FileEncoding::Cp932;
    return decision;
}

QString decodeUnicodeFile(const FileDecision &decision, const char *data, qsizetype size,
                          std::vector<qsizetype> *errors)
{
    QString text;
    const qsizetype mark = std::min(decision.markSize, size);
    data += mark;
    size -= mark;
    switch (decision.encoding) {
    case FileEncoding::Utf8:
        appendUtf8(data, size, text, u'\uFFFD', errors);
        break;
    case FileEncoding::Utf16LE:
    case FileEncoding::Utf16BE:
        appendUtf16(data, size, decision.encoding == FileEncoding::Utf16BE, text, u'\uFFFD',
                    errors);
        break;
    case FileEncoding::EucJp: {
        jis::EucJpDecoder decoder;
        decoder.append(data, size, text, errors);
        decoder.finish(text, errors);
        break;
    }
    case FileEncoding::Iso2022Jp: {
        jis::Iso2022JpDecoder decoder;
        decoder.append(data, size, text, errors);
        decoder.finish(text, errors);
        break;
    }
    case FileEncoding::Cp932:
        break;
    }
    return text;
}

} // namespace platform
