// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Archives and compressed files: the fixtures of real producers read in
// process and through the shut-in helper (the same answer), the hostile set
// under the default limits and lowered ones, what the first bytes say, and
// tarnwell-find -z over a tree.

#include "documents/ArchiveDocument.h"
#include "documents/ChoiceReader.h"
#include "documents/ReaderPool.h"
#include "documents/Recognize.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

using namespace documents;
using platform::EncodingMode;

namespace {

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

QString fixture(const QString &name)
{
    return QStringLiteral(ARCHIVE_DIR "/fixtures/") + name;
}

QString hostile(const QString &name)
{
    return QStringLiteral(ARCHIVE_DIR "/hostile/") + name;
}

// The text as "label|line", each line under the part it is in.
QStringList rendered(const DocumentText &text)
{
    QStringList out;
    std::size_t part = 0;
    QString label;
    for (std::size_t i = 0; i < text.lines.size(); ++i) {
        for (; part < text.locations.size() && text.locations[part].line <= qsizetype(i); ++part)
            label = text.locations[part].label;
        out << label + u'|' + text.lines[i];
    }
    return out;
}

ReaderPool::Options helpers(qint64 chunkBytes = Limits{}.archiveChunkBytes)
{
    ReaderPool::Options options;
    options.program = DOCREADER;
    options.pdfProgram = PDFREADER;
    options.helpers = 1;
    options.limits.archiveChunkBytes = chunkBytes;
    return options;
}

// The members a search is handed, in order ("text:" and the bytes as they
// are, "lines:" and the lines); it takes the first holding `take`, if any.
class Recorder final : public MemberSink {
public:
    explicit Recorder(QByteArray take = {}) : m_take(std::move(take)) {}
    bool textMember(QByteArrayView bytes) override
    {
        seen << QByteArray("text:") + bytes.toByteArray();
        return !m_take.isEmpty() && bytes.contains(m_take);
    }
    bool documentLines(const std::vector<QString> &lines) override
    {
        QStringList all;
        for (const QString &line : lines)
            all << line;
        seen << "lines:" + all.join(u'\n').toUtf8();
        return !m_take.isEmpty() && seen.back().contains(m_take);
    }
    QByteArrayList seen;

private:
    QByteArray m_take;
};

ReadResult readThroughHelper(const QString &path, const ArchiveChoice &choice, MemberSink &sink,
                             qint64 chunkBytes)
{
    ReaderPool pool(helpers(chunkBytes));
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        qFatal("cannot open %s", qPrintable(path));
    const ReadResult result = pool.readArchiveInto(fd, choice, sink);
    ::close(fd);
    return result;
}

// A UDF disc image's start, as ECMA-167 lays it out (no producer of one is
// here): 32 KiB of system area, then its volume recognition sequence, one
// descriptor per 2,048-byte sector: BEA01, NSR02, TEA01.
QByteArray udfImage()
{
    QByteArray image(40960, '\0');
    for (const auto &[sector, id] : {std::pair{16, "BEA01"}, {17, "NSR02"}, {18, "TEA01"}})
        image.replace(sector * 2048 + 1, 6, QByteArray(id) + '\1');
    return image;
}

// The names of the files tarnwell-find lists under `tree`, sorted.
QStringList findNames(const QStringList &args, const QString &keyword, const QString &tree,
                      int &status)
{
    QProcess process;
    process.start(QStringLiteral(TARNWELL_FIND), QStringList(args) << keyword << tree);
    process.waitForFinished(120'000);
    status = process.exitCode();
    QStringList found =
        QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    for (QString &path : found)
        path = QFileInfo(path).fileName();
    found.sort();
    return found;
}

} // namespace

class TestArchive : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void members_data();
    void members();
    void hostileEndsFast_data();
    void hostileEndsFast();
    void lowerLimits_data();
    void lowerLimits();
    void recognised_data();
    void recognised();
    void zipAtTheEnd_data();
    void zipAtTheEnd();
    void officeZipIsADocument();
    void udfImageNamed();
    void findOnTree();
    void membersForSearch_data();
    void membersForSearch();
    void stopsAtFirstMatch();
    void compressedFileAsTextFile();
    void wholeInflateAsStreamed_data();
    void wholeInflateAsStreamed();
    void pdfMemberByPdfHelper();
};

void TestArchive::members_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("mode");
    // Lines that must be there, in this order ("label|line").
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<QString>("reason");

    const QString memo = QStringLiteral("memo.txt|見積書 納品書");
    const QString notes = QStringLiteral("sub/notes.txt|alpha beta");
    const int cp = int(EncodingMode::Cp932), au = int(EncodingMode::Auto);
    for (const char *name : {"infozip.zip", "gnutar.tar.gz", "gnutar.tar.xz", "gnutar.tar.bz2",
                             "gnutar.tar.zst", "ustar.tar", "p7zip.7z"})
        QTest::newRow(name) << QString::fromLatin1(name) << au << QStringList{memo, notes}
                            << QString();
    // In code page 932 a lone LF stays inside the line, as in a text file.
    QTest::newRow("cp932 mode") << u"infozip.zip"_qs << cp
                                << QStringList{memo, u"memo.txt|second line"_qs,
                                               u"sub/notes.txt|alpha beta\ngamma\n"_qs}
                                << QString();
    QTest::newRow("single gzip") << u"memo.txt.gz"_qs << cp
                                 << QStringList{u"|見積書 納品書"_qs, u"|second line"_qs}
                                 << QString();
    QTest::newRow("nested") << u"nested.zip"_qs << au
                            << QStringList{u"middle.zip/inner.tar.gz/memo.txt|見積書 納品書"_qs,
                                           u"middle.zip/inner.tar.gz/sub/notes.txt|alpha beta"_qs}
                            << QString();
    QTest::newRow("cp932 names") << u"cp932-names.zip"_qs << cp
                                 << QStringList{u"報告書/議事録.txt|議事録 本文"_qs,
                                                u"表.txt|予定表"_qs}
                                 << QString();
    QTest::newRow("utf-8 names") << u"utf8-names.zip"_qs << au
                                 << QStringList{u"日本語.txt|unicode name"_qs} << QString();
    // LZH from a Japanese LHA tool, each header level: code page 932 names
    // (表's second byte is a backslash), and -lh5-/-lh6-/-lh7- members.
    const QString minutes = u"報告書/議事録.txt|議事録 本文"_qs;
    for (const char *name : {"lha-lh5-level0.lzh", "lha-lh6-level1.lzh", "lha-lh7-level2.lzh"})
        QTest::newRow(name) << QString::fromLatin1(name) << au
                            << QStringList{memo, notes, minutes, u"表.txt|予定表"_qs,
                                           u"long.txt|alpha beta last"_qs}
                            << QString();
    // The same names in UTF-8 (jlha under a UTF-8 setting), unmarked; most
    // are valid code page 932 too. Code page 932 names, the second valid
    // UTF-8 as well: the first tells the archive's. A name that is neither,
    // shown, and the archive read on. The level 1 archive behind a program.
    for (const char *name : {"lha-utf8-level0.lzh", "lha-utf8-level2.lzh"})
        QTest::newRow(name) << QString::fromLatin1(name) << au
                            << QStringList{memo, minutes, u"表.txt|予定表"_qs} << QString();
    QTest::newRow("lzh, names of both")
        << u"lha-cp932-ambiguous.lzh"_qs << au
        << QStringList{u"表.txt|予定表"_qs, u"遙秀.txt|ambiguous name"_qs} << QString();
    QTest::newRow("lzh, name of neither")
        << u"hostile/bad-name.lzh"_qs << au
        << QStringList{u"・x.txt|neither name"_qs, u"after.txt|after"_qs} << QString();
    QTest::newRow("self-extracting zip")
        << u"zip-sfx.exe"_qs << au << QStringList{memo, u"long.txt|alpha beta last"_qs}
        << QString();
    QTest::newRow("self-extracting zip, compressed")
        << u"zip-sfx-member.gz"_qs << au << QStringList{u"/memo.txt|見積書 納品書"_qs} << QString();
    QTest::newRow("self-extracting lzh")
        << u"lha-sfx.exe"_qs << au
        << QStringList{memo, notes, minutes, u"表.txt|予定表"_qs, u"long.txt|alpha beta last"_qs}
        << QString();
    // ISO 9660: Joliet names alone (UCS-2), and Rock Ridge with Joliet (its
    // own order).
    QTest::newRow("genisoimage") << u"genisoimage-joliet.iso"_qs << au
                                 << QStringList{memo, minutes, notes} << QString();
    QTest::newRow("xorriso") << u"xorriso-rockridge.iso"_qs << au
                             << QStringList{memo, notes, minutes} << QString();
    // One member behind a password: named, and the other one read.
    QTest::newRow("encrypted member")
        << u"encrypted.zip"_qs << au << QStringList{notes} << u"memo.txt: encrypted"_qs;
}

void TestArchive::members()
{
    QFETCH(QString, file);
    QFETCH(int, mode);
    QFETCH(QStringList, expected);
    QFETCH(QString, reason);
    const ArchiveChoice choice{false, EncodingMode(mode)};
    const QString path =
        file.startsWith(u"hostile/"_qs) ? QStringLiteral(ARCHIVE_DIR "/") + file : fixture(file);
    const QByteArray bytes = bytesOf(path);
    const ReadResult result = readArchiveDocument(bytes, choice, Limits{});
    // Read under a locale of its own, the thread's is given back.
    QCOMPARE(uselocale(locale_t(0)), LC_GLOBAL_LOCALE);
    QVERIFY2(result.ok(), qPrintable(result.reason));
    QCOMPARE(result.text.kind, Kind::Archive);
    QCOMPARE(result.reason, reason);
    const QStringList lines = rendered(result.text);
    qsizetype at = 0;
    for (const QString &line : expected) {
        at = lines.indexOf(line, at);
        QVERIFY2(at >= 0, qPrintable(line + u" not in "_qs + lines.join(u" / "_qs)));
    }
    // The helper, shut in, gives the same answer.
    ReaderPool pool(helpers());
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const ReadResult helped = pool.readArchive(fd, choice);
    ::close(fd);
    QCOMPARE(helped.failure, result.failure);
    QCOMPARE(helped.reason, result.reason);
    QCOMPARE(rendered(helped.text), lines);
}

void TestArchive::hostileEndsFast_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("reason"); // what the reason begins with
    QTest::addColumn<int>("lines");      // -1: any number
    QTest::newRow("nested bomb") << u"nested-bomb.zip"_qs << u"level2-0.zip/level1-0.zip/"_qs << -1;
    QTest::newRow("flat bomb") << u"flat-bomb.tar.bz2"_qs << u"zeros0.txt: inflates over"_qs << -1;
    QTest::newRow("sparse") << u"sparse.tar"_qs << u"sparse.bin: inflates over 1000 times"_qs << 0;
    // The length field is never read: the text is all there.
    QTest::newRow("lying length") << u"lying.gz"_qs << QString() << 1000;
    QTest::newRow("deep") << u"deep.zip"_qs
                          << u"d6.zip/d5.zip/d4.zip/d3.zip/d2.zip/d1.zip: an archive more than 5"_qs
                          << 0;
    // A program holding a sound LZH header whose member is cut short.
    QTest::newRow("cut sfx") << u"cut-sfx.exe"_qs << u"cut.txt: "_qs << 0;
}

// Through the helper as the search reads them: each ends well inside the
// helper's time limit (or the pool would say so), the file named.
void TestArchive::hostileEndsFast()
{
    QFETCH(QString, file);
    QFETCH(QString, reason);
    QFETCH(int, lines);
    ReaderPool pool(helpers());
    const int fd = ::open(QFile::encodeName(hostile(file)).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const ReadResult result = pool.readArchive(fd, {true, EncodingMode::Auto});
    ::close(fd);
    QVERIFY2(result.reason.startsWith(reason), qPrintable(result.reason));
    QVERIFY(!reason.isEmpty() || result.reason.isEmpty());
    QCOMPARE(result.failure, Failure::None);
    if (lines >= 0)
        QCOMPARE(qsizetype(result.text.lines.size()), qsizetype(lines));
}

void TestArchive::lowerLimits_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("limit");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QStringList>("kept"); // lines read before the limit
    QTest::newRow("members") << fixture(u"infozip.zip"_qs) << u"members"_qs
                             << u"over the 2 member limit"_qs
                             << QStringList{u"memo.txt|見積書 納品書"_qs,
                                            u"memo.txt|second line"_qs};
    QTest::newRow("member bytes") << fixture(u"gnutar.tar.gz"_qs) << u"member"_qs
                                  << u"memo.txt: over the 0 MiB member limit"_qs << QStringList{};
    QTest::newRow("text") << fixture(u"infozip.zip"_qs) << u"text"_qs
                          << u"over the 0 MiB text limit"_qs << QStringList{};
    QTest::newRow("single gzip, member bytes")
        << fixture(u"memo.txt.gz"_qs) << u"member"_qs << u"over the 0 MiB member limit"_qs
        << QStringList{};
    QTest::newRow("single gzip, members") << fixture(u"memo.txt.gz"_qs) << u"none"_qs
                                          << u"over the 0 member limit"_qs << QStringList{};
    QTest::newRow("climbing names")
        << hostile(u"climbing.zip"_qs) << QString() << QString()
        << QStringList{u"../../escaped.txt|climbing out"_qs, u"/etc/absolute.txt|absolute name"_qs,
                       u"a/../../b.txt|back and out"_qs};
}

void TestArchive::lowerLimits()
{
    QFETCH(QString, file);
    QFETCH(QString, limit);
    QFETCH(QString, reason);
    QFETCH(QStringList, kept);
    Limits limits;
    if (limit == u"members")
        limits.archiveMembers = 2;
    if (limit == u"none")
        limits.archiveMembers = 0;
    if (limit == u"member")
        limits.archiveMemberBytes = 4;
    if (limit == u"text")
        limits.textUnits = 4;
    const ReadResult result =
        readArchiveDocument(bytesOf(file), {false, EncodingMode::Auto}, limits);
    QCOMPARE(result.failure, Failure::None);
    QCOMPARE(result.reason, reason);
    QCOMPARE(rendered(result.text), kept);
}

void TestArchive::recognised_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Container>("container");
    for (const char *name : {"gnutar.tar.gz", "gnutar.tar.xz", "gnutar.tar.bz2", "gnutar.tar.zst",
                             "ustar.tar", "p7zip.7z", "memo.txt.gz", "lha-lh5-level0.lzh",
                             "lha-lh6-level1.lzh", "lha-utf8-level0.lzh", "lha-lh7-level2.lzh",
                             "genisoimage-joliet.iso", "xorriso-rockridge.iso"})
        QTest::newRow(name) << bytesOf(fixture(QString::fromLatin1(name))) << Container::Archive;
    QTest::newRow("zip") << bytesOf(fixture(u"infozip.zip"_qs)) << Container::Zip;
    QTest::newRow("sparse tar") << bytesOf(hostile(u"sparse.tar"_qs)) << Container::Archive;
    QByteArray v7 = bytesOf(fixture(u"ustar.tar"_qs));
    v7.replace(257, 8, QByteArray(8, '\0'));                    // no magic: the checksum alone...
    QTest::newRow("old tar, bad sum") << v7 << Container::None; // ...which no longer holds
    QTest::newRow("lzh header") << QByteArray("\x24\x5a-lh5-").append(40, '\0')
                                << Container::Archive;
    // An image's mark is the last of the bytes looked at.
    const QByteArray iso = bytesOf(fixture(u"xorriso-rockridge.iso"_qs)).left(kIsoSniffBytes);
    QTest::newRow("iso cut short") << iso.left(kIsoSniffBytes - 1) << Container::None;
    QTest::newRow("iso, mark changed")
        << QByteArray(iso).replace(kIso9660Mark, 5, "CD002") << Container::None;
    // A program with an LZH in it: within the first 64 KiB, and its header
    // sound (a level 0 header's byte sum; a level 2 header's extended headers,
    // which fill it); a program alone, or the archive further in, is a program.
    const QByteArray sfx = bytesOf(fixture(u"lha-sfx.exe"_qs));
    const QByteArray program = sfx.left(40000);
    QTest::newRow("sfx") << sfx << Container::Archive;
    QTest::newRow("sfx, past 64 KiB")
        << program + program.mid(2, 26000) + sfx.mid(40000) << Container::None;
    const QByteArray level0 = bytesOf(fixture(u"lha-lh5-level0.lzh"_qs));
    const QByteArray header0 = level0.left(quint8(level0[0]) + 2); // the first header alone
    QTest::newRow("sfx, level 0 header") << program + header0 << Container::Archive;
    QByteArray sum = header0;
    sum[1] = char(~sum[1]);
    QTest::newRow("sfx, level 0 sum broken") << program + sum << Container::None;
    const QByteArray level2 = bytesOf(fixture(u"lha-lh7-level2.lzh"_qs));
    const QByteArray header2 = level2.left(quint8(level2[0]) | quint8(level2[1]) << 8);
    QTest::newRow("sfx, level 2 header") << program + header2 << Container::Archive;
    QByteArray sizes = header2;
    sizes[24] = char(sizes[24] + 1); // the first extended header's size
    QTest::newRow("sfx, level 2 sizes broken") << program + sizes << Container::None;
    QTest::newRow("program") << program << Container::None;
    QTest::newRow("udf") << udfImage() << Container::Archive;
    QTest::newRow("udf cut before NSR") << udfImage().left(34816 + 5) << Container::None;
    QTest::newRow("text") << QByteArray(600, 'a') << Container::None;
    QTest::newRow("BZh text") << QByteArray("BZh9 is not bzip2 without a block") << Container::None;
    QTest::newRow("short") << QByteArray("\x1f") << Container::None;
}

void TestArchive::recognised()
{
    QFETCH(QByteArray, bytes);
    QFETCH(Container, container);
    QCOMPARE(sniffArchive(bytes.constData(), qMin(bytes.size(), kArchiveSniffBytes)), container);
}

// A zip behind a program, by the end record at the file's end.
void TestArchive::zipAtTheEnd_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("zip");
    const QByteArray sfx = bytesOf(fixture(u"zip-sfx.exe"_qs));
    const qsizetype record = sfx.lastIndexOf("PK\x05\x06");
    QTest::newRow("self-extracting zip") << sfx << true;
    QTest::newRow("with a comment")
        << QByteArray(sfx).replace(record + 20, 2, QByteArray("\x03\0", 2)) + "abc" << true;
    QTest::newRow("one byte more") << sfx + 'x' << false;
    QTest::newRow("one byte less") << sfx.chopped(1) << false;
    QTest::newRow("the program alone") << sfx.left(70000) << false;
    QTest::newRow("directory past the record")
        << QByteArray(sfx).replace(record + 16, 4, "\xff\xff\xff\x7f") << false;
    QTest::newRow("no entries") << QByteArray(sfx).replace(record + 8, 4, QByteArray(4, '\0'))
                                << false;
}

void TestArchive::zipAtTheEnd()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, zip);
    QVERIFY(isProgram(bytes.constData(), bytes.size()));
    const qsizetype tail = std::min(bytes.size(), kZipTailBytes);
    QCOMPARE(zipAtEnd(bytes.constData() + bytes.size() - tail, tail, bytes.size()), zip);
}

// libarchive reads no UDF: such an image is named, in the helper too, not
// searched as one text file.
void TestArchive::udfImageNamed()
{
    const QString reason = u"a UDF disc image: only ISO 9660 images are read"_qs;
    const ReadResult result = readArchiveDocument(udfImage(), {}, Limits{});
    QCOMPARE(result.failure, Failure::Unsupported);
    QCOMPARE(result.reason, reason);
    QTemporaryDir dir;
    QFile file(dir.filePath(u"disc.img"_qs));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(udfImage()) == 40960);
    file.close();
    ReaderPool pool(helpers());
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const ReadResult helped = pool.readArchive(fd, {});
    ::close(fd);
    QCOMPARE(helped.failure, Failure::Unsupported);
    QCOMPARE(helped.reason, reason);
}

// An Office zip stays a document: read as one with documents on, and as
// text (NotDocument) with documents off, never entered as an archive.
void TestArchive::officeZipIsADocument()
{
    const QByteArray docx = bytesOf(QStringLiteral(OOXML_FIXTURES "/lo-text.docx"));
    const ReadResult on = readArchiveDocument(docx, {true, EncodingMode::Auto}, Limits{});
    QVERIFY2(on.ok(), qPrintable(on.reason));
    QCOMPARE(on.text.kind, Kind::Word);
    const ReadResult off = readArchiveDocument(docx, {false, EncodingMode::Auto}, Limits{});
    QCOMPARE(off.failure, Failure::NotDocument);
    // Nothing that is no archive is taken for one.
    QCOMPARE(readArchiveDocument("plain text\n", {}, Limits{}).failure, Failure::NotDocument);
}

void TestArchive::findOnTree()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString tree = dir.filePath(u"tree"_qs);
    QVERIFY(QDir().mkpath(tree));
    for (const QString &name : {u"gnutar.tar.gz"_qs, u"memo.txt.gz"_qs, u"nested.zip"_qs,
                                u"encrypted.zip"_qs, u"lha-lh6-level1.lzh"_qs,
                                u"genisoimage-joliet.iso"_qs, u"lha-sfx.exe"_qs, u"zip-sfx.exe"_qs})
        QVERIFY(QFile::copy(fixture(name), tree + u'/' + name));
    QVERIFY(QFile::copy(QStringLiteral(OOXML_FIXTURES "/lo-text.docx"), tree + u"/w.docx"_qs));
    const auto find = [&](const QStringList &args, const QString &keyword, int &status) {
        return findNames(args, keyword, tree, status);
    };
    int status = 0;
    // An ISO 9660 image by its mark at byte 32,769, in the engine's first block.
    QCOMPARE(
        find({u"-z"_qs}, u"見積書 納品書"_qs, status),
        (QStringList{u"genisoimage-joliet.iso"_qs, u"gnutar.tar.gz"_qs, u"lha-lh6-level1.lzh"_qs,
                     u"lha-sfx.exe"_qs, u"memo.txt.gz"_qs, u"nested.zip"_qs, u"zip-sfx.exe"_qs}));
    QCOMPARE(status, 0);
    // Without -z, only where the members are stored as they are.
    QCOMPARE(find({}, u"見積書 納品書"_qs, status),
             (QStringList{u"genisoimage-joliet.iso"_qs, u"lha-lh6-level1.lzh"_qs, u"lha-sfx.exe"_qs,
                          u"zip-sfx.exe"_qs}));
    // A compressed member of the self-extracting LZH, whose first header is
    // 40,000 bytes in: in the engine's first block; and of the zip behind a
    // program longer than that block, told by the file's end.
    QCOMPARE(find({u"-z"_qs}, u"alpha beta last"_qs, status),
             (QStringList{u"lha-lh6-level1.lzh"_qs, u"lha-sfx.exe"_qs, u"zip-sfx.exe"_qs}));
    QCOMPARE(find({}, u"alpha beta last"_qs, status), QStringList{});
    // The encrypted member may hold the words: the archive cannot be read.
    QCOMPARE(find({u"--archives"_qs, u"-E"_qs, u"auto"_qs}, u"gamma"_qs, status),
             (QStringList{u"encrypted.zip"_qs, u"genisoimage-joliet.iso"_qs, u"gnutar.tar.gz"_qs,
                          u"lha-lh6-level1.lzh"_qs, u"lha-sfx.exe"_qs, u"nested.zip"_qs}));
    // The image's UTF-8 member beside code page 932 ones: found only when the
    // image is read member by member, each decided on its own.
    const QStringList autoMode{u"-E"_qs, u"auto"_qs};
    QCOMPARE(find(autoMode + QStringList{u"-z"_qs}, u"日本語 テキスト"_qs, status),
             QStringList{u"genisoimage-joliet.iso"_qs});
    QCOMPARE(find(autoMode, u"日本語 テキスト"_qs, status), QStringList{});
    QCOMPARE(find({u"-z"_qs}, u"no such words"_qs, status), QStringList{});
    QCOMPARE(status, 2);
    // A docx: read as a document only with --documents too.
    const QString inDocx = QStringLiteral("請求書 未払い");
    QVERIFY(!find({u"-z"_qs}, inDocx, status).contains(u"w.docx"_qs));
    QVERIFY(find({u"-z"_qs, u"--documents"_qs}, inDocx, status).contains(u"w.docx"_qs));
}

void TestArchive::membersForSearch_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("documents");
    QTest::addColumn<int>("count"); // members handed over
    QTest::newRow("zip") << u"infozip.zip"_qs << false << 3;
    QTest::newRow("nested") << u"nested.zip"_qs << false << 3;
    QTest::newRow("single gzip") << u"memo.txt.gz"_qs << false << 1;
    QTest::newRow("encrypted member") << u"encrypted.zip"_qs << false << 1;
    // A member of 300,000 bytes goes on its own, between small ones.
    QTest::newRow("long, docx as text") << u"long.zip"_qs << false << 3;
    QTest::newRow("long, docx read") << u"long.zip"_qs << true << 3;
}

// A search is handed each text member's bytes as they are and a document
// member's lines, the same in process and through the helper, whether the
// helper waits for the program's word after every member or after a chunk.
void TestArchive::membersForSearch()
{
    QFETCH(QString, file);
    QFETCH(bool, documents);
    QFETCH(int, count);
    const ArchiveChoice choice{documents, EncodingMode::Auto};
    Recorder here;
    const ReadResult local = readArchiveDocument(bytesOf(fixture(file)), choice, Limits{}, here);
    QVERIFY2(local.ok(), qPrintable(local.reason));
    QVERIFY(local.text.lines.empty());
    QCOMPARE(here.seen.size(), count);
    for (const qint64 chunk : {qint64(1), Limits{}.archiveChunkBytes}) {
        Recorder there;
        const ReadResult helped = readThroughHelper(fixture(file), choice, there, chunk);
        QCOMPARE(helped.failure, local.failure);
        QCOMPARE(helped.reason, local.reason);
        QVERIFY(helped.text.lines.empty());
        QCOMPARE(there.seen, here.seen);
    }
    if (file == u"long.zip") {
        QCOMPARE(here.seen.front().size(), 5 + 300'016);
        QVERIFY(here.seen.front().endsWith("alpha beta last\n"));
        QCOMPARE(here.seen.back().startsWith("lines:"), documents);
    }
}

// The first member the search takes ends the reading: the member behind a
// password after it is never reached, in process or in the helper told to
// wait after each member. Read to the end, it is named.
void TestArchive::stopsAtFirstMatch()
{
    const ArchiveChoice choice{false, EncodingMode::Auto};
    const QString stop = fixture(u"stop.zip"_qs);
    Recorder taking("alpha beta one");
    const ReadResult local = readArchiveDocument(bytesOf(stop), choice, Limits{}, taking);
    QCOMPARE(local.reason, QString());
    QCOMPARE(taking.seen.size(), 1);
    Recorder takingThere("alpha beta one");
    const ReadResult helped = readThroughHelper(stop, choice, takingThere, 1);
    QCOMPARE(helped.failure, Failure::None);
    QCOMPARE(helped.reason, QString());
    QCOMPARE(takingThere.seen.size(), 1);
    Recorder all;
    const ReadResult whole = readThroughHelper(stop, choice, all, 1);
    QCOMPARE(whole.reason, u"b.txt: encrypted"_qs);
    QCOMPARE(all.seen.size(), 1);
    // The same helper reads the next archive whole after a stop.
    ReaderPool pool(helpers(1));
    for (const char *name : {"stop.zip", "infozip.zip"}) {
        Recorder next("alpha beta");
        const int fd =
            ::open(QFile::encodeName(fixture(QString::fromLatin1(name))).constData(), O_RDONLY);
        QVERIFY(fd >= 0);
        const ReadResult result = pool.readArchiveInto(fd, choice, next);
        ::close(fd);
        QCOMPARE(result.failure, Failure::None);
        QVERIFY(next.seen.back().contains("alpha beta"));
    }
    QCOMPARE(pool.started(), 1);
}

// A compressed text file is found exactly where the same file uncompressed
// is, in every encoding mode: the same encoding and line rules.
void TestArchive::compressedFileAsTextFile()
{
    const QString tree = fixture(u"enc"_qs);
    QSet<QString> seen;
    for (const char *mode : {"cp932", "utf-8", "auto", "euc-jp"}) {
        int status = 0;
        const QStringList found = findNames({u"-z"_qs, u"-E"_qs, QString::fromLatin1(mode)},
                                            u"見積書 納品書"_qs, tree, status);
        QStringList plain, compressed;
        for (const QString &name : found)
            (name.endsWith(u".gz") ? compressed : plain)
                << name.chopped(name.endsWith(u".gz") ? 3 : 0);
        QVERIFY2(!plain.isEmpty(), mode);
        QCOMPARE(compressed, plain);
        seen.insert(plain.join(u' '));
    }
    QCOMPARE(seen.size(), 4); // each mode reads the files its own way
}

// A small gzip file and a zip's stored or deflated members are inflated
// whole, in one call; whatever that cannot take as it is (a trailer or a
// directory that lies, two gzip members, bytes after one, a broken sum, a
// local header that differs from the directory) is left to libarchive's
// streaming. Either way the text and the reasons are the ones streaming
// everything gives, under the default limits and lowered ones.
void TestArchive::wholeInflateAsStreamed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const auto le32At = [](QByteArray bytes, qsizetype at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char(value >> (8 * i));
        return bytes;
    };
    const QByteArray gz = bytesOf(fixture(u"memo.txt.gz"_qs));
    const qsizetype trailer = gz.size() - 4;
    QTest::newRow("gzip, trailer says less") << le32At(gz, trailer, 3);
    QTest::newRow("gzip, trailer says more") << le32At(gz, trailer, 5000);
    QTest::newRow("gzip, trailer says 4 GiB") << le32At(gz, trailer, 0xFFFFFFF0u);
    QTest::newRow("gzip, two members") << gz + gz;
    QTest::newRow("gzip, zeros after it") << gz + QByteArray(512, '\0');
    QTest::newRow("gzip, sum broken") << le32At(gz, trailer - 4, 0x12345678);
    const QByteArray tgz = bytesOf(fixture(u"gnutar.tar.gz"_qs));
    QTest::newRow("tar.gz, trailer says less") << le32At(tgz, tgz.size() - 4, 10);
    // infozip.zip: its first member's local header, then its directory record.
    const QByteArray zip = bytesOf(fixture(u"infozip.zip"_qs));
    const qsizetype central = zip.indexOf("PK\1\2");
    QVERIFY(zip.startsWith("PK\3\4") && central > 0);
    const auto flipped = [](QByteArray bytes, qsizetype at) {
        bytes[at] = char(bytes[at] ^ 1);
        return bytes;
    };
    QTest::newRow("zip, local sum") << flipped(zip, 14);
    QTest::newRow("zip, directory sum") << flipped(zip, central + 16);
    QTest::newRow("zip, local stored size") << flipped(zip, 18);
    QTest::newRow("zip, directory stored size") << flipped(zip, central + 20);
    QTest::newRow("zip, directory size") << le32At(zip, central + 24, 3);
    QTest::newRow("zip, directory offset") << le32At(zip, central + 42, 5);
    // A byte of the first member's data changed, past its local header's
    // name and extra field: stored (Info-ZIP keeps so a member deflate
    // would not shrink), and deflated in deflate's own stored blocks (five
    // bytes of block header), where the data stays well formed and only the
    // sum tells.
    const auto dataChanged = [&flipped](const QByteArray &bytes, qsizetype into) {
        return flipped(bytes, 30 + (uchar(bytes[26]) | uchar(bytes[27]) << 8) +
                                  (uchar(bytes[28]) | uchar(bytes[29]) << 8) + into);
    };
    QTest::newRow("zip, stored data changed") << dataChanged(zip, 2);
    QTest::newRow("zip, level 0 data changed")
        << dataChanged(bytesOf(fixture(u"deflate-level0.zip"_qs)), 7);
    // Sizes and sum deferred to a data descriptor: the local header's own
    // fields must then be zeros, and the descriptor must say what the
    // directory says.
    const QByteArray deferred = bytesOf(fixture(u"deferred-sizes.zip"_qs));
    QTest::newRow("zip, deferred, a local sum") << le32At(deferred, 14, 0xFA0000);
    const qsizetype descriptor = deferred.indexOf("PK\7\10");
    QVERIFY(descriptor > 0);
    QTest::newRow("zip, deferred, descriptor sum") << flipped(deferred, descriptor + 4);
    QTest::newRow("zip, deferred, descriptor size") << flipped(deferred, descriptor + 12);
    QTest::newRow("zip, bytes before it") << QByteArray(300, 'x') + zip;
    QTest::newRow("zip, cut") << zip.left(zip.size() - 30);
    const QDir fixtures(QStringLiteral(ARCHIVE_DIR "/fixtures"));
    const QDir hostileFiles(QStringLiteral(ARCHIVE_DIR "/hostile"));
    for (const QDir &dir : {fixtures, hostileFiles}) {
        for (const QFileInfo &file : dir.entryInfoList(QDir::Files)) {
            if (file.suffix() != u"sh" && file.suffix() != u"py")
                QTest::newRow(qPrintable(file.fileName())) << bytesOf(file.filePath());
        }
    }
}

void TestArchive::wholeInflateAsStreamed()
{
    QFETCH(QByteArray, bytes);
    for (const bool lowered : {false, true}) {
        Limits limits;
        if (lowered) {
            limits.archiveMemberBytes = 1000;
            limits.archiveMembers = 2;
        }
        Limits streamed = limits;
        streamed.archiveWholeInflate = false;
        for (const bool documents : {false, true}) {
            const ArchiveChoice choice{documents, EncodingMode::Auto};
            const ReadResult expected = readArchiveDocument(bytes, choice, streamed);
            const ReadResult result = readArchiveDocument(bytes, choice, limits);
            QCOMPARE(result.failure, expected.failure);
            QCOMPARE(result.reason, expected.reason);
            QCOMPARE(rendered(result.text), rendered(expected.text));
        }
    }
}

QTEST_GUILESS_MAIN(TestArchive)
// A PDF member: this process and tarnwell-docreader read no PDF and say so;
// the pool has tarnwell-pdfreader read the archive again, whole and for a
// search alike.
void TestArchive::pdfMemberByPdfHelper()
{
    const ArchiveChoice choice{true, EncodingMode::Auto};
    const QByteArray bytes = bytesOf(fixture(u"with-pdf.zip"_qs));
    QCOMPARE(int(readArchiveDocument(bytes, choice, Limits{}).failure),
             int(Failure::NeedsPdfReader));
    ReaderPool pool(helpers());
    const int fd =
        ::open(QFile::encodeName(fixture(u"with-pdf.zip"_qs)).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    const ReadResult whole = pool.readArchive(fd, choice);
    QVERIFY2(whole.ok(), qPrintable(whole.reason));
    const QStringList lines = rendered(whole.text);
    QVERIFY2(lines.contains(u"short.txt|alpha beta short"_qs), qPrintable(lines.join(u" / "_qs)));
    QVERIFY2(std::any_of(lines.begin(), lines.end(),
                         [](const QString &line) {
                             return line.startsWith(u"docs/mixed.pdf") &&
                                    line.endsWith(u"|第5項による");
                         }),
             qPrintable(lines.join(u" / "_qs)));
    Recorder search("第5項による");
    const ReadResult searched = pool.readArchiveInto(fd, choice, search);
    ::close(fd);
    QVERIFY2(searched.ok(), qPrintable(searched.reason));
    QVERIFY(!search.seen.isEmpty() && search.seen.back().contains("第5項による"));
}

#include "tst_archive.moc"
