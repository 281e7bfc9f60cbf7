// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The mail reader on messages written by Python's email and mailbox
// packages (fixtures/make-fixtures.py), its decoded text against Python's own
// reading of the same messages, the first look that tells mail from text,
// and hostile mail.

#include "documents/MailCharset.h"
#include "documents/OutlookMessage.h"
#include "documents/ReadDocument.h"
#include "documents/TextSink.h"
#include "tests/common/TestSeed.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace documents;

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(QStringLiteral(TARNWELL_MAIL_FIXTURES "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("missing fixture %s", qPrintable(name));
    return file.readAll();
}

ReadResult readMail(const QByteArray &bytes, const Limits &limits = {})
{
    return readDocument(bytes, sniff(bytes.constData(), bytes.size()), limits);
}

// The label of the part that holds line `line`.
QString labelOf(const DocumentText &text, qsizetype line)
{
    QString label;
    for (const Location &location : text.locations)
        if (location.line <= line)
            label = location.label;
    return label;
}

// The lines under parts named `label`.
QStringList linesUnder(const DocumentText &text, const QString &label)
{
    QStringList out;
    for (qsizetype i = 0; i < qsizetype(text.lines.size()); ++i)
        if (labelOf(text, i) == label)
            out << text.lines[size_t(i)];
    return out;
}

QString dump(const DocumentText &text)
{
    QString out;
    for (qsizetype i = 0; i < qsizetype(text.lines.size()); ++i)
        out += labelOf(text, i) + QStringLiteral(" | ") + text.lines[size_t(i)] + u'\n';
    return out;
}

} // namespace

class TestMail : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void reads_data();
    void reads();
    void likePython_data();
    void likePython();
    void firstLook_data();
    void firstLook();
    void hostile_data();
    void hostile();
    void compressedRtf_data();
    void compressedRtf();
    void charsets_data();
    void charsets();
    void wholeLinesAsRuns();
    void linesAtOnce();
};

void TestMail::reads_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("kind");
    // label=line pairs that must be there; lines starting with '!' must not be anywhere.
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char *file, Kind kind, QStringList expected) {
        QTest::newRow(file) << QString::fromUtf8(file) << int(kind) << expected;
    };
    row("iso2022jp.eml", Kind::Mail,
        {u"件名=会議 議事録"_qs, u"差出人=山田 太郎 <taro@example.jp>"_qs,
         u"宛先=hanako@example.jp"_qs, u"日付=Wed, 01 Apr 2026 09:30:00 +0900"_qs,
         u"本文=会議 議事録"_qs, u"本文=①議題 ②結論"_qs, u"本文=髙橋さんより"_qs});
    row("sjis.eml", Kind::Mail, {u"本文=丸数字①と表﨑"_qs});
    row("eucjp.eml", Kind::Mail, {u"本文=ＥＵＣの本文です"_qs, u"本文=半角ｶﾀｶﾅ"_qs});
    row("no-charset.eml", Kind::Mail, {u"本文=文字コードなしの本文"_qs});
    row("wrong-charset.eml", Kind::Mail, {u"本文=間違ったラベル"_qs});
    row("attachments.eml", Kind::Mail,
        {u"件名=添付あり"_qs, u"本文=添付ファイルを送ります"_qs,
         u"!エイチティーエムエルだけの語"_qs, u"添付: 資料メモ.txt=資料メモ.txt"_qs,
         u"添付: 資料メモ.txt=添付テキストの中身"_qs, u"添付: 写真.png=写真.png"_qs,
         u"添付: 報告.docx=報告.docx"_qs, u"添付: 報告.docx · 本文=営業報告書 請求書 未払い"_qs});
    // The corners of a message's structure (make-fixtures.py says which).
    row("structure.eml", Kind::Mail,
        {u"件名=月次 報告 report"_qs, u"CC=経理部 <keiri@example.jp>"_qs,
         u"本文=the marker --tarnwell-boundary"_qs, u"本文=next line"_qs, u"本文=ＨＴＭＬの語"_qs,
         u"本文=半角ﾊﾟｰﾃｨｰ"_qs, u"!エンリッチだけの語"_qs, u"!preamble-only-word"_qs,
         u"!epilogue-only-word"_qs});
    row("named-sjis-as-utf8.eml", Kind::Mail, {u"本文=ラベルはUTF-8でも中身はシフトJIS"_qs});
    row("html-only.eml", Kind::Mail,
        {u"本文=社内の手続き案内"_qs, u"本文=A&Bあい"_qs, u"本文=次の行"_qs, u"本文=品名\t数量"_qs,
         u"!隠す"_qs, u"!color"_qs});
    row("page.mht", Kind::WebArchive,
        {u"件名=社内ページ"_qs, u"本文=社内の手続き案内"_qs, u"!スタイルだけの語"_qs});
    row("three.mbox", Kind::Mailbox,
        {u"メール 1 件名=メール1"_qs, u"メール 1 本文=一通目の本文"_qs, u"メール 2 件名=メール2"_qs,
         u"メール 2 本文=二通目の本文"_qs, u"メール 3 本文=三通目の本文"_qs});
    // A line that began with "From ", written ">From " by the mbox writer.
    row("quoted-from.mbox", Kind::Mailbox,
        {u"メール 1 本文=From the start of a line"_qs, u"!>From the start of a line"_qs,
         u"メール 2 本文=second message"_qs});
    // Written by mutt in batch mode (make-mutt.sh).
    row("mutt.mbox", Kind::Mailbox,
        {u"メール 1 件名=会議 資料"_qs, u"メール 1 差出人=山田 太郎 <taro@example.jp>"_qs,
         u"メール 1 本文=②の件もよろしく。"_qs, u"メール 1 添付: 見積書.txt=見積書.txt"_qs,
         u"メール 1 添付: 見積書.txt=見積書の中身です"_qs, u"メール 2 件名=混在 Ünïcödé"_qs,
         u"メール 2 本文=Ünïcödé と日本語の混ざった本文"_qs});
    row("plain.msg", Kind::OutlookMessage,
        {u"件名=会議 議事録 (Outlook)"_qs, u"差出人=鈴木 一郎 <ichiro@example.jp>"_qs,
         u"宛先=山田 太郎; 佐藤 花子"_qs, u"CC=経理部"_qs, u"日付=2026/04/01 00:30:00 UTC"_qs,
         u"本文=Outlook の本文です。"_qs, u"本文=②番目の行"_qs});
    row("rtf-body.msg", Kind::OutlookMessage,
        {u"件名=８ビットの件名"_qs, u"本文=RTF 本文 only"_qs, u"本文=second line again"_qs,
         u"!Arial"_qs});
    // Recipients from their table, with addresses; attachments as in MIME
    // mail, a message inside one named after it.
    row("attachments.msg", Kind::OutlookMessage,
        {u"宛先=山田 太郎 <taro@example.jp>; 佐藤 花子"_qs, u"CC=経理部 <keiri@example.jp>"_qs,
         u"BCC=監査役 <kansa@example.jp>"_qs, u"!/O=EXAMPLE"_qs,
         u"添付: 議事録メモ.txt=議事録メモ.txt"_qs, u"添付: 議事録メモ.txt=①番の項目"_qs,
         u"添付: 報告.docx · 本文=営業報告書 請求書 未払い"_qs,
         u"添付: 転送された会議案内 · 件名=会議案内 (転送)"_qs,
         u"添付: 転送された会議案内 · 本文=来週の会議は第5会議室です。"_qs,
         u"添付: 転送された会議案内 · 添付: 地図.txt=駅から徒歩５分"_qs,
         u"添付: 共有フォルダの資料.xlsx=共有フォルダの資料.xlsx"_qs});
    // The subject's entry claims more than the file holds and the property
    // stream a 2 GiB body and a cut entry: what can be read still is.
    row("lying-sizes.msg", Kind::OutlookMessage,
        {u"差出人=送信者は読める"_qs, u"本文=本文も読める"_qs, u"!うその大きさ"_qs});
}

void TestMail::reads()
{
    QFETCH(QString, file);
    QFETCH(int, kind);
    QFETCH(QStringList, expected);
    const QByteArray bytes = fixture(file);
    QCOMPARE(int(sniff(bytes.constData(), bytes.size())),
             int(file.endsWith(u".msg") ? Container::Compound : Container::Mail));
    const ReadResult result = readMail(bytes);
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(int(result.text.kind), kind);
    for (const QString &want : expected) {
        if (want.startsWith(u'!')) {
            for (const QString &line : result.text.lines)
                QVERIFY2(!line.contains(want.mid(1)), qPrintable(dump(result.text)));
            continue;
        }
        const qsizetype equals = want.indexOf(u'=');
        QVERIFY2(linesUnder(result.text, want.left(equals)).contains(want.mid(equals + 1)),
                 qPrintable(want + u'\n' + dump(result.text)));
    }
}

// Every message Python wrote an .expect for: the subject and the body's
// lines as Python's email package reads them.
void TestMail::likePython_data()
{
    QTest::addColumn<QString>("file");
    const QStringList expects =
        QDir(QStringLiteral(TARNWELL_MAIL_FIXTURES)).entryList({QStringLiteral("*.expect")});
    QVERIFY(expects.size() >= 4);
    for (const QString &name : expects)
        QTest::newRow(qPrintable(name)) << name.chopped(7);
}

void TestMail::likePython()
{
    QFETCH(QString, file);
    const QJsonObject python = QJsonDocument::fromJson(fixture(file + u".expect"_qs)).object();
    const ReadResult result = readMail(fixture(file));
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(linesUnder(result.text, u"件名"_qs), QStringList{python[u"subject"].toString()});
    QStringList body;
    for (const QJsonValue &line : python[u"body"].toArray())
        body << line.toString();
    QCOMPARE(linesUnder(result.text, u"本文"_qs), body);
}

void TestMail::firstLook_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("mail");
    QTest::newRow("received first") << QByteArray("Received: from a by b\r\n\tid 1\r\n"
                                                  "Subject: x\r\n\r\nbody")
                                    << true;
    QTest::newRow("mbox") << QByteArray("From - Mon Apr  1 00:00:00 2026\nX-Mozilla-Status: 0001\n"
                                        "From: a@b\nSubject: s\n\nbody\n")
                          << true;
    QTest::newRow("headers past the look")
        << QByteArray("From: z\r\nReceived: x\r\n\t" + QByteArray(2000, 'y') + "\r\n\r\n") << true;
    QTest::newRow("one field") << QByteArray("Subject: notes\n\ntext\n") << false;
    QTest::newRow("no empty line") << QByteArray("from: a\nto: b\nkey: c\n") << false;
    QTest::newRow("prose after fields")
        << QByteArray("From: a\nSubject: b\nthis line is no header\n\n") << false;
    QTest::newRow("source") << QByteArray("#include <x>\nFrom: a\nTo: b\n\n") << false;
    QTest::newRow("From as a word") << QByteArray("From here on\nwe go\n") << false;
    QTest::newRow("continuation first") << QByteArray(" From: a\nTo: b\n\n") << false;
}

void TestMail::firstLook()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, mail);
    QCOMPARE(sniff(bytes.constData(), bytes.size()) == Container::Mail, mail);
}

void TestMail::hostile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("failure");
    QTest::addColumn<QString>("line"); // a line the reading keeps, or empty
    const QByteArray head("From: a@example.jp\r\nSubject: s\r\nMIME-Version: 1.0\r\n");
    QByteArray deep = head;
    for (int i = 0; i < 10'000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) +
                "\r\n\r\n--b" + QByteArray::number(i) + "\r\n";
    deep += "\r\n深い本文\r\n";
    QTest::newRow("nested 10,000 deep") << deep << int(Failure::OverLimit) << QString();
    QTest::newRow("boundary never closes")
        << head +
               "Content-Type: multipart/mixed; boundary=zz\r\n\r\n--zz\r\n\r\n終わらない部分\r\n" +
               QByteArray(100'000, 'x')
        << int(Failure::None) << u"終わらない部分"_qs;
    QByteArray big = head + "Content-Type: text/plain; charset=utf-8\r\n"
                            "Content-Transfer-Encoding: base64\r\n\r\n";
    big += QByteArray(3 << 20, 'A');
    QTest::newRow("base64 over the part limit") << big << int(Failure::OverLimit) << QString();
    QTest::newRow("encoded word never ends")
        << "From: a\r\nSubject: =?utf-8?B?" + QByteArray(1 << 20, 'Q') + "\r\n\r\n本文\r\n"
        << int(Failure::None) << u"本文"_qs;
    QTest::newRow("1 MiB charset name")
        << head + "Content-Type: text/plain; charset=" + QByteArray(1 << 20, 'c') +
               "\r\n\r\n名前の長い本文\r\n"
        << int(Failure::None) << u"名前の長い本文"_qs;
    QTest::newRow("1 MiB charset in a word")
        << "From: a\r\nSubject: =?" + QByteArray(1 << 20, 'c') +
               "?B?5pys?= =?=?=?=?\r\n\r\n本文\r\n"
        << int(Failure::None) << u"本文"_qs;
    QByteArray sections = head + "Content-Type: text/plain; name*0=a";
    for (int i = 1; i < 20'000; ++i)
        sections += "; name*" + QByteArray::number(i % 1500) + "*=%E3";
    QTest::newRow("parameter sections")
        << sections + "\r\nContent-Disposition: attachment\r\n\r\nx\r\n"
        << int(Failure::None) << QString();
    QByteArray tags = head + "Content-Type: text/html\r\n\r\n";
    for (int i = 0; i < 50'000; ++i)
        tags += "<<script<!--&#";
    QTest::newRow("broken tags") << tags << int(Failure::None) << QString();
    QByteArray inner = "Subject: 中\r\nFrom: a\r\n\r\n最深部\r\n";
    for (int i = 0; i < 100; ++i)
        inner = "From: a\r\nSubject: s\r\nContent-Type: message/rfc822\r\n\r\n" + inner;
    QTest::newRow("a lone attachment")
        << QByteArray("From: a\r\nSubject: s\r\nContent-Type: application/octet-stream; "
                      "name=\"=?UTF-8?B?5ZCN5YmN?=.bin\"\r\nContent-Transfer-Encoding: "
                      "base64\r\n\r\nAAEC\r\n")
        << int(Failure::None) << u"名前.bin"_qs;
    QTest::newRow("messages 100 deep") << inner << int(Failure::OverLimit) << QString();
    QTest::newRow("messages in a .msg 40 deep")
        << fixture(u"embedded-deep.msg"_qs) << int(Failure::OverLimit) << QString();
    QTest::newRow(".msg storages sharing entries")
        << fixture(u"looping-storages.msg"_qs) << int(Failure::Damaged) << QString();
}

void TestMail::hostile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, failure);
    QFETCH(QString, line);
    Limits limits;
    limits.memberBytes = 1 << 20;
    const ReadResult result = readMail(bytes, limits);
    QCOMPARE(int(result.failure), failure);
    if (!result.ok())
        QVERIFY(!result.reason.isEmpty());
    if (!line.isEmpty())
        QVERIFY2(std::find(result.text.lines.begin(), result.text.lines.end(), line) !=
                     result.text.lines.end(),
                 qPrintable(dump(result.text)));
}

void TestMail::compressedRtf_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("rtf"); // its start
    const auto header = [](quint32 compressed, quint32 raw, const char *type) {
        QByteArray out;
        for (const quint32 value : {compressed, raw})
            for (int i = 0; i < 4; ++i)
                out.append(char(value >> (8 * i)));
        return out + QByteArray(type, 4) + QByteArray(4, '\0');
    };
    // The worked example that [MS-OXRTFCP] publishes.
    QTest::newRow("example") << QByteArray::fromHex(
                                    "2d0000002b0000004c5a4675f1c5c7a703000a0072637067313235423"
                                    "20af32068656c090020627705b06c647d0a800fa0")
                             << true
                             << QByteArray("{\\rtf1\\ansi\\ansicpg1252\\pard hello world}\r\n");
    QTest::newRow("stored") << header(20, 5, "MELA") + "{\\rtf" << true << QByteArray("{\\rtf");
    QTest::newRow("unknown form") << header(20, 5, "ABCD") + "xxxx" << false << QByteArray();
    QTest::newRow("cut header") << QByteArray("LZFu") << false << QByteArray();
    // References that reach the byte they write, over and over (a run of
    // one byte): 17 bytes per two, stopped by the limit.
    QByteArray backwards =
        header(0xFFFFFFF0, 0xFFFFFFF0, "LZFu") + QByteArray(1, '\0') + "{\\rtf1 x";
    for (int i = 0; i < 40'000; ++i) {
        // Each control byte: eight references to the last byte written.
        backwards += char(0xFF);
        for (int k = 0; k < 8; ++k) {
            const quint32 write = (207 + 8 + 17 * (8 * i + k)) % 4096;
            const quint32 reference = ((write + 4095) % 4096) << 4 | 15;
            backwards += char(reference >> 8);
            backwards += char(reference);
        }
    }
    QTest::newRow("backward references") << backwards << false << QByteArray();
    // A compressed size larger than the stream: read to the stream's end.
    QTest::newRow("size lies") << header(0x7FFFFFFF, 4, "LZFu") + QByteArray(1, '\0') + "{\\rtf"
                               << true << QByteArray("{\\rtf");
}

void TestMail::compressedRtf()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QByteArray, rtf);
    QByteArray out;
    QString reason;
    QCOMPARE(decompressRtf(bytes, 1 << 20, &out, &reason), ok);
    QVERIFY(ok || !reason.isEmpty());
    QVERIFY(out.size() <= (1 << 20) + 17);
    if (ok)
        QVERIFY2(out.startsWith(rtf), out.left(80).constData());
}

// Bodies in the Japanese charsets, their shifts and line ends where the
// decoders take runs whole and where a run ends.
void TestMail::charsets_data()
{
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    const auto row = [](const char *name, const char *charset, QByteArray bytes, QString text) {
        QTest::newRow(name) << QByteArray(charset) << bytes << text;
    };
    row("jis runs", "iso-2022-jp", "ab\x1b$B0!0\"\x1b(Bcd", u"ab亜唖cd"_qs);
    row("jis line ends in kanji", "iso-2022-jp", "\x1b$B0!\r\n0!\x1b(B", u"亜\r\n亜"_qs);
    row("jis odd byte", "iso-2022-jp", "\x1b$B0!0\r\n0!0", u"亜0\r\n亜0"_qs);
    row("jis shift out", "iso-2022-jp",
        "a\x0e\x31\x32\x0f"
        "b",
        u"aｱｲb"_qs);
    // Shifts and escapes past the first sixteen bytes of a run (the run's
    // end is looked for sixteen bytes at a time).
    row("jis late shift out", "iso-2022-jp",
        "sixteen bytes in, then\x0e\x31\x0f"
        "two more long enough to pass\x1b$B0!\x1b(B",
        u"sixteen bytes in, thenｱtwo more long enough to pass亜"_qs);
    row("jis shift in kanji", "iso-2022-jp",
        "\x1b$B\x0e\x31\x0f"
        "0!",
        u"ｱ亜"_qs);
    row("jis roman", "iso-2022-jp", "\x1b(J\\~\x1b(B\\", u"¥‾\\"_qs);
    row("jis kana", "iso-2022-jp", "\x1b(I12\x1b(B3", u"ｱｲ3"_qs);
    row("jis nec", "iso-2022-jp", "\x1b$B-!-\"\x1b(B", u"①②"_qs);
    row("jis 1983 and q", "iso-2022-jp", "\x1b$@0!\x1b$(Q0\"\x1b(B", u"亜唖"_qs);
    row("jis escape cut", "iso-2022-jp", "a\x1b$", u"a\x1b$"_qs);
    row("sjis lead before line end", "shift_jis", "\x88\x9f\x88\r\n\x88\x9f", u"亜・\r\n亜"_qs);
    // 8-bit bytes under a 7-bit label: the automatic rule reads them.
    row("jis label on utf-8", "iso-2022-jp", "\xe3\x81\x82", u"あ"_qs);
    row("jis label on utf-8 at byte 7", "iso-2022-jp", "abcdefg\xe3\x81\x82", u"abcdefgあ"_qs);
    row("euc", "euc-jp", "\xb0\xa1\r\n\x8e\xb1", u"亜\r\nｱ"_qs);
}

void TestMail::charsets()
{
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(mail::decodeCharset(bytes, charset), text);
}

// A line handed over whole counts against the text limit as a run and its
// end do: the same lines, and the limit met at the same place.
void TestMail::wholeLinesAsRuns()
{
    const QStringList runs = {u"一行目"_qs, QString(), u"ab"_qs, u"三"_qs, u"最後の行です"_qs};
    for (int limit = 0; limit <= 24; ++limit) {
        for (int pending = 0; pending < 2; ++pending) {
            Limits limits;
            limits.textUnits = limit;
            TextSink runsAndEnds(Kind::Mail, limits), whole(Kind::Mail, limits);
            if (pending) { // a run before the first line, not yet ended
                runsAndEnds.append(u"前"_qs);
                whole.append(u"前"_qs);
            }
            for (const QString &run : runs) {
                runsAndEnds.append(run);
                runsAndEnds.endLineIfAny();
                whole.appendLine(run);
            }
            QCOMPARE(whole.overLimit(), runsAndEnds.overLimit());
            QCOMPARE(whole.take().lines, runsAndEnds.take().lines);
        }
    }
}

void TestMail::linesAtOnce()
{
    // Text handed to the sink at once, as UTF-16 or as UTF-8: kept, handed
    // to a check line by line, or handed to a check that takes the lines
    // together while they fit under the limit; the same lines and the same
    // count each way. Short texts at every limit, long ones (the vector
    // counts) around theirs.
    const auto lines = [](QStringView text) {
        return text.toString().split(QRegularExpression(u"[\r\n]"_qs), Qt::SkipEmptyParts);
    };
    QStringList texts = {u"一行目\r\n\r\nab\r三\n\n最後の行です"_qs, u"\n\r\nx"_qs, u"末尾\r\n"_qs};
    QRandomGenerator rng(testing_seed::seed());
    const QStringList pieces = {u"\r"_qs, u"\n"_qs, u"\r"_qs, u"\n"_qs,
                                u"a"_qs,  u"あ"_qs, u"ｿ"_qs,  u"😀"_qs};
    for (int i = 0; i < 40; ++i) {
        QString text;
        for (int n = 8 + int(rng.bounded(600)); n > 0; --n)
            text += pieces[rng.bounded(pieces.size())];
        texts << text;
    }
    struct Seen {
        QStringList lines;
        QStringList (*split)(QStringView);
    };
    const auto one = [](void *seen, QStringView line) {
        static_cast<Seen *>(seen)->lines << line.toString();
        return false;
    };
    const auto all = [](void *seen, QStringView text) {
        auto *s = static_cast<Seen *>(seen);
        s->lines << s->split(text);
        return false;
    };
    const auto allUtf8 = [](void *seen, QByteArrayView text) {
        auto *s = static_cast<Seen *>(seen);
        s->lines << s->split(QString::fromUtf8(text));
        return false;
    };
    for (const QString &text : std::as_const(texts)) {
        const QStringList expected = lines(text);
        // Handed over twice, so that a count too high shows as well as one too low.
        qint64 units = 0;
        for (const QString &line : expected)
            units += 2 * (line.size() + 1);
        QList<qint64> limits = {units - 1, units, units + 1};
        for (qint64 limit = 0; text.size() < 40 && limit <= units + 2; ++limit)
            limits << limit;
        for (const qint64 limit : std::as_const(limits)) {
            Limits bounds;
            bounds.textUnits = limit;
            Seen byLine{{}, +lines}, together{{}, +lines}, utf8{{}, +lines};
            LineCheck lineByLine{one, &byLine};
            LineCheck atOnce{one, &together, false, all};
            LineCheck utf8AtOnce{one, &utf8, false, nullptr, allUtf8};
            TextSink kept(Kind::Mail, bounds), sinkByLine(Kind::Mail, bounds),
                sinkAtOnce(Kind::Mail, bounds), keptUtf8(Kind::Mail, bounds),
                sinkUtf8(Kind::Mail, bounds);
            sinkByLine.handLinesTo(&lineByLine);
            sinkAtOnce.handLinesTo(&atOnce);
            sinkUtf8.handLinesTo(&utf8AtOnce);
            const QByteArray bytes = text.toUtf8();
            for (int twice = 0; twice < 2; ++twice) {
                for (TextSink *sink : {&kept, &sinkByLine, &sinkAtOnce})
                    sink->appendLines(text);
                for (TextSink *sink : {&keptUtf8, &sinkUtf8})
                    sink->appendUtf8Lines(bytes);
            }
            QCOMPARE(kept.overLimit(), limit < units);
            for (const TextSink *sink : {&sinkByLine, &sinkAtOnce, &keptUtf8, &sinkUtf8})
                QCOMPARE(sink->overLimit(), kept.overLimit());
            const std::vector<QString> keptVector = kept.take().lines;
            QCOMPARE(keptUtf8.take().lines, keptVector);
            const QStringList keptLines(keptVector.begin(), keptVector.end());
            if (!kept.overLimit())
                QCOMPARE(keptLines, expected + expected);
            QCOMPARE(byLine.lines, keptLines);
            QCOMPARE(together.lines, keptLines);
            QCOMPARE(utf8.lines, keptLines);
        }
    }
}

QTEST_APPLESS_MAIN(TestMail)
#include "tst_mail.moc"
