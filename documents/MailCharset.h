// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The text of mail: bytes in the charset a message names, and header values
// with their encoded words ("=?charset?B?...?=", "=?charset?Q?...?=").
//
// The Japanese charsets are read through code page 932, so that the
// characters Japanese mailers write beyond JIS X 0208 (the circled numbers
// and the other NEC and IBM characters) read as the mailer meant them:
// ISO-2022-JP's and EUC-JP's two-byte codes are turned into their code page
// 932 bytes and decoded by text/Cp932.h. Every other charset a message names
// goes to ICU (QStringDecoder), which Qt already links. A charset that is
// missing, unknown, or that the bytes break (8-bit bytes in 7-bit
// ISO-2022-JP or US-ASCII, invalid UTF-8) gives way to the rule the
// automatic encoding mode reads a text file by, with ISO-2022-JP recognised
// by its escape sequences.

#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace documents::mail {

// True when decodeCharset() reads `bytes` as the UTF-8 they are: the charset
// names UTF-8 and the bytes are valid UTF-8.
bool readsAsUtf8(QByteArrayView bytes, QByteArrayView charsetName);

// The text of `bytes` in `charset` (a MIME charset name, any case). Line ends
// are kept as they are.
QString decodeCharset(QByteArrayView bytes, QByteArrayView charset);

// A header's value, unfolded, with its encoded words decoded (adjacent words
// of one charset joined before they are decoded, so a character split
// between two words reads whole; the blanks between encoded words dropped)
// and its other bytes read by the automatic rule. An encoded word that never
// ends is left as it stands.
QString decodeHeader(QByteArrayView value);

// Base64 and quoted-printable, forgiving as mail readers are: base64 skips
// what is not of its alphabet and ends at '='; quoted-printable keeps an '='
// that starts no escape. Each output is at most as long as its input.
QByteArray decodeBase64(QByteArrayView bytes);
// `header`: RFC 2047's Q form, where '_' stands for a space.
QByteArray decodeQuotedPrintable(QByteArrayView bytes, bool header = false);

} // namespace documents::mail
