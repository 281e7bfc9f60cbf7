// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The engine with documents on. A double reader gives the lines written in a
// file's own bytes, so a random tree of documents and text files checks the
// engine against the plain reference on the same lines, on one thread and on
// several, with documents read alone and sent ahead in a queue; then tarnwell-find --documents over
// real PDFs and a hostile one.

#include "documents/DocumentReader.h"
#include "documents/Recognize.h"
#include "search/SearchRun.h"
#include "tests/search/ReferenceMatcher.h"
#include "text/Cp932.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <deque>
#include <memory>
#include <set>

#include <unistd.h>

namespace {

// "%PDF-LINES\n" then the lines in UTF-8, one per LF: those lines;
// "%PDF-FAIL reason": damaged, for that reason; "%PDF-TEXT...": not a document.
class DoubleReader : public documents::DocumentReader {
public:
    documents::ReadResult read(int descriptor, documents::Container container) override
    {
        ++calls;
        QByteArray bytes(1 << 16, '\0');
        const ssize_t n = pread(descriptor, bytes.data(), size_t(bytes.size()), 0);
        bytes.resize(qMax<ssize_t>(n, 0));
        return readBytes(bytes, container);
    }
    documents::ReadResult readBytes(const QByteArray &bytes, documents::Container container)
    {
        if (container != documents::Container::Pdf || bytes.startsWith("%PDF-TEXT"))
            return {documents::Failure::NotDocument, {}, {}};
        if (bytes.startsWith("%PDF-FAIL "))
            return {documents::Failure::Damaged, QString::fromUtf8(bytes.mid(10)), {}};
        documents::ReadResult result;
        result.text.kind = documents::Kind::Pdf;
        const QList<QByteArray> lines = bytes.split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i)
            result.text.lines.push_back(QString::fromUtf8(lines[i]));
        return result;
    }
    // With `queueing`, a queue that reads what it takes at once and answers
    // in order: it turns every third document away (read alone later) and
    // hands back every fourth it took unread (read alone again). A file
    // handed over whole is read from those bytes, not from its descriptor.
    std::unique_ptr<documents::DocumentQueue> queue(const documents::MatchQuery *) override
    {
        if (!queueing)
            return {};
        class Queue final : public documents::DocumentQueue {
        public:
            explicit Queue(DoubleReader &reader) : m_reader(reader) {}
            bool send(int descriptor, documents::Container container, const std::stop_token &,
                      QByteArrayView whole) override
            {
                if (++m_seen % 3 == 0)
                    return false;
                const bool unread = ++m_taken % 4 == 0;
                documents::ReadResult result;
                if (!unread && whole.isEmpty()) {
                    result = m_reader.read(descriptor, container);
                } else if (!unread) {
                    ++m_reader.calls;
                    ++m_reader.wholeFiles;
                    result = m_reader.readBytes(whole.toByteArray(), container);
                }
                m_answers.push_back({unread, std::move(result)});
                return true;
            }
            int waiting() const override { return int(m_answers.size()); }
            documents::ReadResult take(bool &again, const std::stop_token &,
                                       std::optional<bool> &) override
            {
                again = m_answers.front().first;
                documents::ReadResult result = std::move(m_answers.front().second);
                m_answers.pop_front();
                return result;
            }

        private:
            DoubleReader &m_reader;
            int m_seen = 0;
            int m_taken = 0;
            std::deque<std::pair<bool, documents::ReadResult>> m_answers;
        };
        return std::make_unique<Queue>(*this);
    }
    bool queueing = false;
    std::atomic<int> calls{0};
    std::atomic<int> wholeFiles{0}; // handed to the queue whole
};

class Recorder : public SearchObserver {
public:
    void statusTextChanged(const QString &) override {}
    bool wantsStatusTexts() const override { return false; }
    void fileListed(const FoundFile &) override {}
    bool searchSubfolders() override { return true; }
    void fileMatched(const FoundFile &file) override { matched.insert(file.path()); }
    void cannotReadDocument(const FoundFile &file, const QString &reason) override
    {
        reasons << file.path() + u": "_qs + reason;
    }
    std::set<QString> matched;
    QStringList reasons;
};

bool write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString randomLine(QRandomGenerator &random)
{
    static const QString alphabet = u"請求書未払い見積ab \t"_qs;
    QString line;
    for (int n = int(random.bounded(12)); n > 0; --n)
        line += alphabet.at(random.bounded(alphabet.size()));
    return line;
}

} // namespace

class TestDocumentSearch : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void sameAsReference()
    {
        QRandomGenerator random(28);
        int wholeFiles = 0;
        for (int round = 0; round < 20; ++round) {
            QTemporaryDir dir;
            std::set<QString> expected;
            const QStringList words = {randomLine(random).simplified().left(2),
                                       u"請求書未払い"_qs.mid(random.bounded(5), 1)};
            const QStringList nonEmpty = words.filter(QRegularExpression(QStringLiteral(".")));
            const QStringList split =
                QStringList(nonEmpty.join(u' ').split(u' ', Qt::SkipEmptyParts));
            for (int f = 0; f < 24; ++f) {
                const QString path = dir.filePath(QString::number(f));
                QStringList lines;
                for (int n = int(random.bounded(6)); n > 0; --n)
                    lines << randomLine(random);
                bool found = false;
                if (f % 2) {
                    // Some past the engine's first read, so not handed over whole.
                    if (f % 4 == 1)
                        lines << QString(70'000, u' ');
                    QVERIFY(write(path, "%PDF-LINES\n" + lines.join(u'\n').toUtf8()));
                    for (const QString &line : lines) {
                        bool all = true;
                        for (const QString &word : split)
                            all = all && line.contains(word);
                        found = found || all;
                    }
                } else {
                    const QByteArray bytes = cp932::encode(lines.join(u"\r\n"_qs)).bytes;
                    QVERIFY(write(path, bytes));
                    found = referenceMatches(bytes, split);
                }
                if (found)
                    expected.insert(path);
            }
            for (const int workers : {1, 4}) {
                for (const bool queueing : {false, true}) {
                    DoubleReader reader;
                    reader.queueing = queueing;
                    SearchOptions options;
                    options.workers = workers;
                    options.documents = &reader;
                    Recorder recorder;
                    runSearch(dir.path(), split.join(u' '), recorder, options);
                    QCOMPARE(recorder.matched, expected);
                    QVERIFY(reader.calls.load() > 0 || split.isEmpty());
                    wholeFiles += reader.wholeFiles;
                }
            }
        }
        QVERIFY(wholeFiles > 0);
    }

    // The first look against a plain reading of its rule, on heads built of
    // the magic numbers' pieces, "%PDF-" planted about the 1,024-byte edge,
    // and every length.
    void sniffAgainstItsRule()
    {
        using documents::Container;
        const auto rule = [](const QByteArray &head) {
            if (head.startsWith("PK\x03\x04"))
                return Container::Zip;
            if (head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
                return Container::Compound;
            if (head.startsWith("{\\rtf"))
                return Container::Rtf;
            return head.left(documents::kSniffBytes).contains("%PDF-") ? Container::Pdf
                                                                       : Container::None;
        };
        const QByteArray pieces[] = {
            "%",     "%PDF",       "PDF-",   "-",
            "%PDF-", "PK\x03\x04", "{\\rtf", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1",
            "a",     "\x82\xA0"};
        QRandomGenerator random(27);
        int pdf = 0;
        for (int round = 0; round < 20000; ++round) {
            QByteArray head;
            const int target = int(random.bounded(1100));
            while (head.size() < target)
                head += pieces[random.bounded(int(std::size(pieces)))];
            head.truncate(target);
            if (round % 4 == 0) {
                const qsizetype at = documents::kSniffBytes - 8 + random.bounded(6);
                if (head.size() < at)
                    head.append(at - head.size(), ' ');
                head.replace(at, 5, "%PDF-");
                head.truncate(at + random.bounded(7));
            }
            const Container got = documents::sniff(head.constData(), head.size());
            QVERIFY2(got == rule(head), head.toHex().constData());
            pdf += got == Container::Pdf;
        }
        QVERIFY(pdf > 1000);
    }

    // Not a document after all: read as text; a failure: unreadable, with
    // its reason; documents off: the reader is never asked.
    void fates()
    {
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath(u"text"_qs), "%PDF-TEXT " + cp932::encode(u"請求書"_qs).bytes));
        QVERIFY(write(dir.filePath(u"bad"_qs), "%PDF-FAIL damaged PDF"));
        QVERIFY(write(dir.filePath(u"doc"_qs), "%PDF-LINES\n" + u"請求書"_qs.toUtf8()));
        DoubleReader reader;
        SearchOptions options;
        options.documents = &reader;
        // Blocks smaller than the first look take another way to it; a
        // queue hands over the same answers, on several threads.
        for (const bool queueing : {false, true}) {
            reader.queueing = queueing;
            options.workers = queueing ? 2 : 0;
            for (const qsizetype block : {qsizetype(256 * 1024), qsizetype(7)}) {
                options.blockSize = block;
                Recorder on;
                const SearchOutcome outcome = runSearch(dir.path(), u"請求書"_qs, on, options);
                QCOMPARE(on.matched,
                         (std::set<QString>{dir.filePath(u"text"_qs), dir.filePath(u"doc"_qs)}));
                QCOMPARE(on.reasons, QStringList{dir.filePath(u"bad"_qs) + u": damaged PDF"_qs});
                QCOMPARE(outcome.unreadable, 1);
            }
        }
        reader.queueing = false;
        options.workers = 0;
        options.documents = nullptr;
        reader.calls = 0;
        Recorder off;
        runSearch(dir.path(), u"請求書"_qs, off, options);
        QCOMPARE(off.matched, std::set<QString>{dir.filePath(u"text"_qs)});
        QCOMPARE(reader.calls.load(), 0);
    }

    // A keyword code page 932 cannot hold matches no text file in that mode,
    // but a document's text is Unicode: its lines are matched all the same.
    void documentsMatchedWhateverTheMode()
    {
        QTemporaryDir dir;
        QVERIFY(write(dir.filePath(u"doc"_qs),
                      "%PDF-LINES\n" + u"les fleurs sont flétris 〜"_qs.toUtf8()));
        QVERIFY(write(dir.filePath(u"text"_qs), u"sont flétris 〜\n"_qs.toUtf8()));
        for (const auto mode : {platform::EncodingMode::Cp932, platform::EncodingMode::Utf8}) {
            for (const int workers : {1, 4}) {
                DoubleReader reader;
                SearchOptions options;
                options.encoding = mode;
                options.workers = workers;
                options.documents = &reader;
                Recorder recorder;
                runSearch(dir.path(), u"sont flétris 〜"_qs, recorder, options);
                std::set<QString> expected{dir.filePath(u"doc"_qs)};
                if (mode == platform::EncodingMode::Utf8)
                    expected.insert(dir.filePath(u"text"_qs));
                QCOMPARE(recorder.matched, expected);
                QCOMPARE(reader.calls.load(), 1);
            }
        }
    }

    void tarnwellFind_data()
    {
        QTest::addColumn<QString>("keyword");
        QTest::addColumn<QStringList>("found");
        QTest::addColumn<int>("status");
        QTest::newRow("both") << u"請求書 未払い"_qs << QStringList{u"plain.txt"_qs, u"text.pdf"_qs}
                              << 0;
        QTest::newRow("document") << u"見積書"_qs << QStringList{u"text.pdf"_qs} << 0;
        // In the default cp932 mode, though code page 932 has no é.
        QTest::newRow("not in cp932") << u"sont flétris"_qs << QStringList{u"mixed.pdf"_qs} << 0;
        // Right-to-left words as typed, in the order they are read.
        QTest::newRow("right to left") << u"السّلام عليكم"_qs << QStringList{u"rtl.pdf"_qs} << 0;
        // Nothing found while a file could not be read.
        QTest::newRow("none") << u"存在しない"_qs << QStringList{} << 2;
    }
    void tarnwellFind()
    {
        QFETCH(QString, keyword);
        QFETCH(QStringList, found);
        QFETCH(int, status);
        QTemporaryDir dir;
        QVERIFY(
            QFile::copy(QStringLiteral(PDF_FIXTURES "/text.pdf"), dir.filePath(u"text.pdf"_qs)));
        QVERIFY(QFile::copy(QStringLiteral(PDF_FIXTURES "/random.pdf"),
                            dir.filePath(u"random.pdf"_qs)));
        QVERIFY(
            QFile::copy(QStringLiteral(PDF_FIXTURES "/mixed.pdf"), dir.filePath(u"mixed.pdf"_qs)));
        QVERIFY(QFile::copy(QStringLiteral(PDF_FIXTURES "/rtl.pdf"), dir.filePath(u"rtl.pdf"_qs)));
        QVERIFY(write(dir.filePath(u"plain.txt"_qs), cp932::encode(u"請求書 未払い\r\n"_qs).bytes));
        QProcess find;
        find.start(QStringLiteral(TARNWELL_FIND), {u"--documents"_qs, keyword, dir.path()});
        QVERIFY(find.waitForFinished(120000));
        QStringList listed =
            QString::fromUtf8(find.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        for (QString &path : listed)
            path = path.mid(dir.path().size() + 1);
        listed.sort();
        QCOMPARE(listed, found);
        QCOMPARE(QString::fromUtf8(find.readAllStandardError()),
                 u"tarnwell-find: "_qs + dir.filePath(u"random.pdf"_qs) + u": damaged PDF\n"_qs);
        QCOMPARE(find.exitCode(), status);
    }
};

QTEST_GUILESS_MAIN(TestDocumentSearch)
#include "tst_document_search.moc"
