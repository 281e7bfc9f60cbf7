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

#include <fcntl.h>
#include <unistd.h>

using namespace documents;

class TestMailHelper : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sameAsInProcess();
};

void TestMailHelper::sameAsInProcess()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    std::vector<std::pair<QString, QByteArray>> files;
    const QDir fixtures(QStringLiteral(TARNWELL_MAIL_FIXTURES));
    for (const QString &name :
         fixtures.entryList({QStringLiteral("*.eml"), QStringLiteral("*.mbox"),
                             QStringLiteral("*.mht"), QStringLiteral("*.msg")})) {
        QFile file(fixtures.filePath(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        files.emplace_back(name, file.readAll());
    }
    QVERIFY(files.size() >= 12);
    files.emplace_back(u"koi8.eml"_qs, QByteArray("From: a\r\nSubject: =?koi8-r?B?8NLJ18XU?=\r\n"
                                                  "Content-Type: text/plain; charset=koi8-r\r\n\r\n"
                                                  "\xf0\xd2\xc9\xd7\xc5\xd4\r\n"));
    QByteArray deep("From: a\r\nSubject: s\r\n");
    for (int i = 0; i < 10'000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=b" + QByteArray::number(i) +
                "\r\n\r\n--b" + QByteArray::number(i) + "\r\n";
    files.emplace_back(u"deep.eml"_qs, deep);

    ReaderPool::Options options;
    options.program = DOCREADER;
    options.pdfProgram = PDFREADER;
    options.helpers = 2;
    ReaderPool pool(options);
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

QTEST_GUILESS_MAIN(TestMailHelper)
#include "tst_mail_helper.moc"
