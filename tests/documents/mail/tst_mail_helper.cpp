// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Mail read by the real reader helper, shut in and under its limits, against
// the same reader in this process: every fixture, a message in a charset
// only ICU knows, and hostile mail, which must end as a failure with its
// reason while the helper goes on with the next file. A message with a PDF
// attached is read again by the helper that reads PDF.

#include "documents/PdfDocument.h"
#include "documents/ReadDocument.h"
#include "documents/ReaderPool.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

using namespace documents;

class TestMailHelper : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameAsInProcess();
    void verdictsAsInProcess();
};

namespace {

std::vector<std::pair<QString, QByteArray>> fixtureFiles()
{
    std::vector<std::pair<QString, QByteArray>> files;
    const QDir fixtures(QStringLiteral(TARNWELL_MAIL_FIXTURES));
    for (const QString &name :
         fixtures.entryList({QStringLiteral("*.eml"), QStringLiteral("*.mbox"),
                             QStringLiteral("*.mht"), QStringLiteral("*.msg")})) {
        QFile file(fixtures.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("cannot read %s", qPrintable(name));
        files.emplace_back(name, file.readAll());
    }
    return files;
}

ReaderPool::Options helperOptions()
{
    ReaderPool::Options options;
    options.program = DOCREADER;
    options.pdfProgram = PDFREADER;
    options.helpers = 2;
    return options;
}

} // namespace

void TestMailHelper::sameAsInProcess()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::vector<std::pair<QString, QByteArray>> files = fixtureFiles();
    QVERIFY(files.size() >= 12);
    files.emplace_back(u"koi8.eml"_qs, QByteArray("From: a\r\nSubject: =?koi8-r?B?8NLJ18XU?=\r\n"
                                                  "Content-Type: text/plain; charset=koi8-r\r\n\r\n"
                                                  "\xf0\xd2\xc9\xd7\xc5\xd4\r\n"));
    QByteArray deep("From: a\r\nSubject: s\r\n");
    for (int i = 0; i < 10'000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) +
                "\r\n\r\n--b" + QByteArray::number(i) + "\r\n";
    files.emplace_back(u"deep.eml"_qs, deep);

    ReaderPool pool(helperOptions());
    setPdfReader(&readPdfDocument);
    for (const auto &[name, bytes] : files) {
        const QString path = dir.filePath(name);
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();
        const Container container = sniff(bytes.constData(), bytes.size());
        QVERIFY2(container == Container::Mail || container == Container::Compound,
                 qPrintable(name));
        const ReadResult here = readDocument(bytes, container, Limits{});
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const ReadResult there = pool.read(fd, container);
        ::close(fd);
        QCOMPARE(int(there.failure), int(here.failure));
        QCOMPARE(there.reason, here.reason);
        QCOMPARE(there.text.lines, here.text.lines);
        QCOMPARE(there.text.kind, here.text.kind);
        QCOMPARE(there.text.locations.size(), here.text.locations.size());
        if (name == u"koi8.eml")
            QVERIFY(there.text.lines ==
                    std::vector<QString>({u"Привет"_qs, u"a"_qs, u"Привет"_qs}));
        if (name == u"deep.eml")
            QCOMPARE(int(there.failure), int(Failure::OverLimit));
        if (name == u"pdf-attachment.eml")
            QVERIFY(std::find(there.text.lines.begin(), there.text.lines.end(),
                              u"第5項による"_qs) != there.text.lines.end());
    }
    QCOMPARE(pool.started(), 2); // no file ended a helper
}

// A search's verdict on each fixture, matched in the helper as the message
// is read, against its lines read here: the words of a first, middle and
// last line (found), those of two lines apart and a word in none (not
// found unless one line holds them all), sent in the request and by
// descriptor.
void TestMailHelper::verdictsAsInProcess()
{
    ReaderPool pool(helperOptions());
    setPdfReader(&readPdfDocument);
    const std::stop_token none;
    int found = 0, notFound = 0;
    for (const auto &[name, bytes] : fixtureFiles()) {
        const Container container = sniff(bytes.constData(), bytes.size());
        const ReadResult here = readDocument(bytes, container, Limits{});
        const std::vector<QString> &lines = here.text.lines;
        if (!here.ok() || lines.empty())
            continue;
        const auto wordsOf = [&](size_t i) {
            QStringList words = lines[i].split(u' ', Qt::SkipEmptyParts);
            return words.size() > 2 ? QStringList{words.first(), words.last()} : words;
        };
        const size_t last = lines.size() - 1;
        std::vector<QStringList> queries = {wordsOf(0), wordsOf(last / 2), wordsOf(last),
                                            wordsOf(0) + wordsOf(last),
                                            wordsOf(last / 2) + QStringList{u"どこにもない語"_qs}};
        const int fd =
            ::open(QFile::encodeName(QStringLiteral(TARNWELL_MAIL_FIXTURES "/") + name).constData(),
                   O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        for (const QStringList &words : queries) {
            if (words.isEmpty())
                continue;
            const bool expected = std::any_of(lines.begin(), lines.end(), [&](const QString &line) {
                return std::all_of(words.begin(), words.end(),
                                   [&](const QString &word) { return line.contains(word); });
            });
            (expected ? found : notFound) += 1;
            MatchQuery query{words, {}, {false, platform::EncodingMode::Auto}};
            const std::unique_ptr<DocumentQueue> queue = pool.queue(&query);
            QVERIFY(queue->send(fd, container, none, bytes));
            QVERIFY(queue->send(fd, container, none));
            for (int i = 0; i < 2; ++i) {
                bool again = true;
                std::optional<bool> verdict;
                const ReadResult there = queue->take(again, none, verdict);
                if (again) // another helper's kind (a PDF inside): read alone
                    continue;
                QVERIFY2(there.ok(), qPrintable(name + u": "_qs + there.reason));
                QVERIFY2(verdict && *verdict == expected,
                         qPrintable(name + u": "_qs + words.join(u' ')));
            }
        }
        ::close(fd);
    }
    QVERIFY(found >= 30 && notFound >= 12);
}

QTEST_GUILESS_MAIN(TestMailHelper)
#include "tst_mail_helper.moc"
