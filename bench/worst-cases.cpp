// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// Times the inputs that once took quadratic time against ordinary Japanese text
// of the same size, measured in the same run with the two taking turns:
// - lead-range runs in which the keyword's bytes sit only between characters
//   (9F 88 ... for 亜, E0 81 ... for ≒), and a run of pairs whose second byte is
//   the keyword (95 5C ... for "\"), each ending with one real occurrence, through
//   the matcher (KeywordMatcher::matches, 256 KiB blocks as the search reads)
//   and through the viewer's find (findText from the start);
// - the set-up of a keyword of 128,000 characters with one "≒" against one of
//   128,000 "a";
// - with --find, the same files and keywords through tarnwell-find as a process;
// - keywords that defeat a search comparing each candidate from its start, in
//   each encoding mode through TextMatcher: 9,999 "~" then "x" over a run of
//   "~", "~" x 5,000 "A" "~" x 5,000 over UTF-16 "~", and 10,001 words of which
//   each line holds all but the last ("w00000 ... w09999 ee0" over lines of
//   "w09999,...,w00000"), and the first 10,000 over such lines that each lack
//   another of them, each against a keyword of as many characters (and words)
//   over the ordinary text, found nowhere; and with every fold of loose
//   matching on, 9,999 "ガ" then "x" (and "x" then 9,999 "ガ") over a run of
//   half-width "ｶﾞ", in code page 932 and UTF-8.
//
// The ordinary text is the Japanese corpus (bench/make-corpus-ja.sh) joined in
// path order and cut to size, with every character of the keywords replaced by
// a neighbour (亜 by 唖, ≒ by ＝, "\" by "/") so that both inputs are searched to
// their very end, where the one occurrence is.
//
// Usage: worst-cases [--runs N] [--sizes KIB,KIB,...] [--ja DIR] [--find PATH]
//                    [--find-only] [--work DIR]
// --find-only times only tarnwell-find (for an older build's figures).
// Prints one Markdown table row per case: medians of the thread's CPU time and
// of wall time, and the ratio of the worst case to the ordinary text.

#include "search/KeywordMatcher.h"
#include "search/TextMatcher.h"
#include "text/Cp932.h"
#include "viewer/LineIndex.h"
#include "viewer/TextFind.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <tuple>
#include <vector>

extern char **environ;

namespace {

constexpr qsizetype kBlockSize = 256 * 1024; // the search's default block

struct Sample {
    double cpuMs = 0;
    double wallMs = 0;
};

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

Sample timed(const std::function<void()> &work)
{
    const double cpu0 = threadCpuMs();
    const auto wall0 = std::chrono::steady_clock::now();
    work();
    const auto wall1 = std::chrono::steady_clock::now();
    return {threadCpuMs() - cpu0, std::chrono::duration<double, std::milli>(wall1 - wall0).count()};
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

class MemorySource : public ByteSource {
public:
    explicit MemorySource(const QByteArray &bytes) : m_bytes(bytes) {}
    qsizetype read(char *buffer, qsizetype max) override
    {
        const qsizetype n = std::min(max, m_bytes.size() - m_offset);
        std::memcpy(buffer, m_bytes.constData() + m_offset, size_t(n));
        m_offset += n;
        return n;
    }
    bool atEnd() const override { return m_offset == m_bytes.size(); }

private:
    const QByteArray &m_bytes;
    qsizetype m_offset = 0;
};

// The corpus's files joined in path order until size bytes, cut at a CR-LF.
QByteArray ordinaryText(const QString &dir, qsizetype size)
{
    QStringList paths;
    QDirIterator it(dir, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << it.next();
    paths.sort();
    QByteArray out;
    for (const QString &path : std::as_const(paths)) {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            out += f.readAll();
        if (!out.endsWith("\r\n"))
            out += "\r\n";
        if (out.size() >= size + 4096)
            break;
    }
    out.truncate(out.lastIndexOf("\r\n", size - 64) + 2);
    // Replace the keywords' characters, unit by unit as a line decodes.
    for (qsizetype i = 0; i + 1 < out.size();) {
        const auto b = static_cast<unsigned char>(out[i]);
        const auto next = static_cast<unsigned char>(out[i + 1]);
        if (cp932::isLeadByte(b) && next != 0 && next != '\r') {
            const int pair = b << 8 | next;
            if (pair == 0x889F) // 亜 -> 唖
                out[i + 1] = char(0xA0);
            else if (pair == 0x81E0 || pair == 0x8790) { // ≒ -> ＝
                out[i] = char(0x81);
                out[i + 1] = char(0x81);
            }
            i += 2;
        } else {
            if (b == 0x5C)
                out[i] = '/';
            ++i;
        }
    }
    return out;
}

struct Case {
    const char *name;
    QString keyword; // one word
    QByteArray unit; // repeated to make the worst case
    QByteArray tail; // the one real occurrence that ends both inputs
};

// Runs tarnwell-find KEYWORD FOLDER, output to /dev/null; the child's wall time
// and CPU time (user + system).
Sample runFind(const QByteArray &find, const QByteArray &keyword, const QByteArray &folder,
               int *status, const QByteArrayList &options = {})
{
    std::vector<const char *> argv{find.constData()};
    for (const QByteArray &option : options)
        argv.push_back(option.constData());
    for (const char *arg : {keyword.constData(), folder.constData(), (const char *)nullptr})
        argv.push_back(arg);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto wall0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char **>(argv.data()), environ) !=
        0) {
        std::fprintf(stderr, "cannot run %s\n", argv[0]);
        std::exit(2);
    }
    posix_spawn_file_actions_destroy(&actions);
    rusage usage{};
    wait4(pid, status, 0, &usage);
    const auto wall1 = std::chrono::steady_clock::now();
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    return {cpu, std::chrono::duration<double, std::milli>(wall1 - wall0).count()};
}

void printRow(const QString &what, const std::vector<Sample> &ordinary,
              const std::vector<Sample> &worst)
{
    std::vector<double> oc, ow, wc, ww;
    for (const Sample &s : ordinary) {
        oc.push_back(s.cpuMs);
        ow.push_back(s.wallMs);
    }
    for (const Sample &s : worst) {
        wc.push_back(s.cpuMs);
        ww.push_back(s.wallMs);
    }
    const double ratioCpu = median(wc) / std::max(median(oc), 1e-3);
    const double ratioWall = median(ww) / std::max(median(ow), 1e-3);
    std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |\n", qPrintable(what), median(oc),
                median(wc), ratioCpu, median(ow), median(ww), ratioWall);
    std::fflush(stdout);
}

void printHeader(const char *title, const char *peer)
{
    std::printf("\n%s\n\n| case | %s CPU ms | worst CPU ms | × | %s wall ms | worst wall ms | × "
                "|\n|---|---:|---:|---:|---:|---:|---:|\n",
                title, peer, peer);
}

// A keyword of `size` ordinary letters found nowhere in the corpus: ASCII
// letters in turn, then "x".
QString ordinaryWord(qsizetype size)
{
    QString word;
    for (qsizetype i = 0; i + 1 < size; ++i)
        word += QLatin1Char(char('a' + (i * 7) % 26));
    return word + QLatin1Char('x');
}

struct RepeatCase {
    QString name;
    platform::EncodingMode mode;
    QString worstKeyword, plainKeyword;
    QByteArray worst, plain;
    textfold::Folds folds = {};
};

// The repeated-character and many-word cases at one size, in each mode.
QList<RepeatCase> repeatCases(const QByteArray &ordinary, qsizetype size)
{
    using platform::EncodingMode;
    QList<RepeatCase> out;
    const QString tildes = QString(9999, QLatin1Char('~')) + QLatin1Char('x');
    const QByteArray run(size, '~');
    // UTF-16 with its mark: "~" units, and the ordinary text as UTF-16.
    QByteArray utf16Run("\xFF\xFE");
    while (utf16Run.size() < size)
        utf16Run += QByteArray("~\0", 2);
    const QString decoded = cp932::decode(ordinary);
    QByteArray utf16Plain("\xFF\xFE");
    utf16Plain += QByteArray(reinterpret_cast<const char *>(decoded.utf16()),
                             std::min<qsizetype>(decoded.size() * 2, size - 2) & ~qsizetype(1));
    const QString middle =
        QString(5000, QLatin1Char('~')) + QLatin1Char('A') + QString(5000, QLatin1Char('~'));
    // 10,001 words: each line holds the first 10,000 in reverse order.
    QString manyWords, plainWords;
    QByteArray line;
    for (int w = 0; w < 10000; ++w) {
        manyWords += QStringLiteral("w%1 ").arg(w, 5, 10, QLatin1Char('0'));
        plainWords += QStringLiteral("o%1 ").arg(w, 5, 10, QLatin1Char('0'));
    }
    const QString tenThousand = manyWords.trimmed(), plainTenThousand = plainWords.trimmed();
    manyWords += QStringLiteral("ee0");
    plainWords += QStringLiteral("ee0");
    for (int w = 9999; w >= 0; --w)
        line += "w" + QByteArray::number(w).rightJustified(5, '0') + ",";
    line += "\r\n";
    QByteArray lines;
    while (lines.size() + line.size() <= size)
        lines += line;
    lines += QByteArray(size - lines.size(), ' ');
    // Lines that each lack another of the 10,000 (its digits turned to "v").
    QByteArray varied;
    for (int k = 0; varied.size() + line.size() <= size; ++k) {
        QByteArray next = line;
        next[(9999 - k % 10000) * 7 + 1] = 'v';
        varied += next;
    }
    varied += QByteArray(size - varied.size(), ' ');
    for (const auto &[mode, modeName] :
         {std::pair{EncodingMode::Cp932, "cp932"}, std::pair{EncodingMode::Utf8, "utf-8"},
          std::pair{EncodingMode::Auto, "auto"}}) {
        const QString m = QString::fromLatin1(modeName);
        out.append({QStringLiteral("9,999 ~ then x in ~ ... (%1)").arg(m), mode, tildes,
                    ordinaryWord(tildes.size()), run, ordinary.left(size)});
        out.append({QStringLiteral("10,001 words, each line all but one (%1)").arg(m), mode,
                    manyWords, plainWords, lines, ordinary.left(size)});
        out.append({QStringLiteral("10,000 words, each line lacking another (%1)").arg(m), mode,
                    tenThousand, plainTenThousand, varied, ordinary.left(size)});
    }
    out.append({QStringLiteral("~ x 5,000, A, ~ x 5,000 in UTF-16 ~ ... (auto)"),
                EncodingMode::Auto, middle, ordinaryWord(middle.size()), utf16Run, utf16Plain});
    // Loose matching, every fold on: a run of half-width kana with voiced
    // marks (a pair across every block boundary, after one odd byte) against
    // keywords of 10,000 characters that each fold, the odd one at either end.
    const textfold::Folds all{true, true, true};
    const QString voiced(9999, u'ガ');
    for (const auto &[mode, modeName, pair] :
         {std::tuple{EncodingMode::Cp932, "cp932", QByteArray("\xB6\xDE")},
          std::tuple{EncodingMode::Utf8, "utf-8", QByteArray("\xEF\xBD\xB6\xEF\xBE\x9E")}}) {
        QByteArray kana("y");
        while (kana.size() + pair.size() <= size)
            kana += pair;
        const QString m = QString::fromLatin1(modeName);
        const QString plain = ordinaryWord(voiced.size() + 1);
        out.append({QStringLiteral("9,999 ガ then x in ｶﾞ ... (folds, %1)").arg(m), mode,
                    voiced + u'x', plain, kana, ordinary.left(size), all});
        out.append({QStringLiteral("x then 9,999 ガ in ｶﾞ ... (folds, %1)").arg(m), mode,
                    u'x' + voiced, plain, kana, ordinary.left(size), all});
    }
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 7;
    QList<qsizetype> sizesKiB{1024, 16384};
    QString ja =
        qEnvironmentVariable("TARNWELL_BENCH_DIR", QStringLiteral("/var/tmp/tarnwell-bench")) +
        QStringLiteral("/corpus/ja-cp932");
    QByteArray find;
    bool findOnly = false;
    QString work = QDir::tempPath() + QStringLiteral("/tarnwell-worst-cases");
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (std::strcmp(argv[i], "--runs") == 0 && more) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--sizes") == 0 && more) {
            sizesKiB.clear();
            for (const QString &s : QString::fromLatin1(argv[++i]).split(u','))
                sizesKiB << std::max<qsizetype>(1, s.toLongLong());
        } else if (std::strcmp(argv[i], "--ja") == 0 && more) {
            ja = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--find") == 0 && more) {
            find = argv[++i];
        } else if (std::strcmp(argv[i], "--find-only") == 0) {
            findOnly = true;
        } else if (std::strcmp(argv[i], "--work") == 0 && more) {
            work = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: worst-cases [--runs N] [--sizes KIB,...] [--ja DIR] "
                                 "[--find PATH] [--find-only] [--work DIR]\n");
            return 2;
        }
    }
    if (!QDir(ja).exists()) {
        std::fprintf(stderr, "no Japanese corpus at %s: run bench/make-corpus-ja.sh first\n",
                     qPrintable(ja));
        return 2;
    }

    const QList<Case> cases{
        {"亜 in 9F 88 ...", QStringLiteral("亜"), "\x9F\x88", "\x88\x9F"},
        {"亜亜 in 9F 88 ...", QStringLiteral("亜亜"), "\x9F\x88", "\x88\x9F\x88\x9F"},
        {"≒ in E0 81 ... (two forms)", QStringLiteral("≒"), "\xE0\x81", "\x87\x90"},
        {"\\ in 95 5C ... (表表...)", QStringLiteral("\\"), "\x95\x5C", "\\"},
    };

    std::printf("runs %d (medians; the ordinary text and the worst case take turns)\n", runs);
    for (const qsizetype kib : std::as_const(sizesKiB)) {
        const qsizetype size = kib * 1024;
        const QByteArray ordinary = ordinaryText(ja, size);
        std::vector<QByteArray> plain, worst;
        for (const Case &c : cases) {
            plain.push_back(ordinary + c.tail);
            worst.push_back(c.unit.repeated((size - c.tail.size()) / c.unit.size()) + c.tail);
        }

        if (!findOnly)
            printHeader(qPrintable(QStringLiteral("### Matcher, %1 KiB").arg(kib)), "ordinary");
        for (qsizetype k = 0; k < cases.size() && !findOnly; ++k) {
            KeywordMatcher matcher({cases[k].keyword});
            std::vector<Sample> a, b;
            for (int r = 0; r < runs; ++r) {
                for (int turn = 0; turn < 2; ++turn) {
                    const bool first = (turn == 0) == (r % 2 == 0);
                    const QByteArray &bytes = first ? plain[size_t(k)] : worst[size_t(k)];
                    bool found = false;
                    const Sample s = timed([&] {
                        MemorySource source(bytes);
                        found = matcher.matches(source, kBlockSize);
                    });
                    if (!found) {
                        std::fprintf(stderr, "%s: not found\n", cases[k].name);
                        return 1;
                    }
                    (first ? a : b).push_back(s);
                }
            }
            printRow(QString::fromUtf8(cases[k].name), a, b);
        }

        if (!findOnly)
            printHeader(
                qPrintable(QStringLiteral("### Repeated characters and many words, %1 KiB (no "
                                          "match in either)")
                               .arg(kib)),
                "ordinary");
        for (const RepeatCase &c : findOnly ? QList<RepeatCase>{} : repeatCases(ordinary, size)) {
            TextMatcher worstMatcher(QStringList(c.worstKeyword.split(u' ')), c.mode, c.folds);
            TextMatcher plainMatcher(QStringList(c.plainKeyword.split(u' ')), c.mode, c.folds);
            std::vector<Sample> a, b;
            for (int r = 0; r < runs; ++r) {
                for (int turn = 0; turn < 2; ++turn) {
                    const bool first = (turn == 0) == (r % 2 == 0);
                    bool found = false;
                    const Sample s = timed([&] {
                        MemorySource source(first ? c.plain : c.worst);
                        found = (first ? plainMatcher : worstMatcher).matches(source, kBlockSize);
                    });
                    if (found) {
                        std::fprintf(stderr, "%s: found\n", qPrintable(c.name));
                        return 1;
                    }
                    (first ? a : b).push_back(s);
                }
            }
            printRow(c.name, a, b);
        }

        if (!findOnly)
            printHeader(qPrintable(QStringLiteral("### Viewer's find, %1 KiB").arg(kib)),
                        "ordinary");
        for (qsizetype k = 0; k < cases.size() && !findOnly; ++k) {
            LineIndex plainIndex, worstIndex;
            plainIndex.setBytes(plain[size_t(k)], nullptr);
            worstIndex.setBytes(worst[size_t(k)], nullptr);
            std::vector<Sample> a, b;
            for (int r = 0; r < runs; ++r) {
                for (int turn = 0; turn < 2; ++turn) {
                    const bool first = (turn == 0) == (r % 2 == 0);
                    const LineIndex &index = first ? plainIndex : worstIndex;
                    FindHit hit;
                    const Sample s = timed([&] { hit = findText(index, cases[k].keyword, 0); });
                    if (hit.offset != index.length() - cases[k].keyword.size()) {
                        std::fprintf(stderr, "%s: viewer found %lld\n", cases[k].name,
                                     qlonglong(hit.offset));
                        return 1;
                    }
                    (first ? a : b).push_back(s);
                }
            }
            printRow(QString::fromUtf8(cases[k].name), a, b);
        }

        if (find.isEmpty())
            continue;
        printHeader(qPrintable(QStringLiteral("### tarnwell-find, %1 KiB").arg(kib)), "ordinary");
        for (qsizetype k = 0; k < cases.size(); ++k) {
            QByteArray folders[2];
            for (int w = 0; w < 2; ++w) {
                const QString dir = QStringLiteral("%1/%2-%3-%4").arg(work).arg(kib).arg(k).arg(w);
                QDir().mkpath(dir);
                QFile f(dir + QStringLiteral("/file.txt"));
                if (!f.open(QIODevice::WriteOnly) ||
                    f.write(w == 0 ? plain[size_t(k)] : worst[size_t(k)]) < 0) {
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
                    return 2;
                }
                folders[w] = QFile::encodeName(dir);
            }
            std::vector<Sample> a, b;
            for (int r = 0; r <= runs; ++r) { // the first round warms the cache, untimed
                for (int turn = 0; turn < 2; ++turn) {
                    const bool first = (turn == 0) == (r % 2 == 0);
                    int status = 0;
                    const Sample s =
                        runFind(find, cases[k].keyword.toUtf8(), folders[first ? 0 : 1], &status);
                    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
                        std::fprintf(stderr, "%s: tarnwell-find found nothing\n", cases[k].name);
                        return 1;
                    }
                    if (r > 0)
                        (first ? a : b).push_back(s);
                }
            }
            printRow(QString::fromUtf8(cases[k].name), a, b);
        }

        // The repeated characters and many words through the program on one
        // thread, in their mode; nothing is found in either file.
        const QList<RepeatCase> repeats = repeatCases(ordinary, size);
        for (qsizetype k = 0; k < repeats.size(); ++k) {
            const RepeatCase &c = repeats[k];
            QByteArray folders[2];
            for (int w = 0; w < 2; ++w) {
                const QString dir =
                    QStringLiteral("%1/%2-repeat%3-%4").arg(work).arg(kib).arg(k).arg(w);
                QDir().mkpath(dir);
                QFile f(dir + QStringLiteral("/file.txt"));
                if (!f.open(QIODevice::WriteOnly) || f.write(w == 0 ? c.plain : c.worst) < 0) {
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
                    return 2;
                }
                folders[w] = QFile::encodeName(dir);
            }
            const QByteArrayList options{"-j", "1", "-E",
                                         platform::encodingModeName(c.mode).toLatin1()};
            std::vector<Sample> a, b;
            for (int r = 0; r <= runs; ++r) {
                for (int turn = 0; turn < 2; ++turn) {
                    const bool first = (turn == 0) == (r % 2 == 0);
                    int status = 0;
                    const Sample s =
                        runFind(find, (first ? c.plainKeyword : c.worstKeyword).toUtf8(),
                                folders[first ? 0 : 1], &status, options);
                    if (!WIFEXITED(status) || WEXITSTATUS(status) != 1) {
                        std::fprintf(stderr, "%s: tarnwell-find did not end with 1\n",
                                     qPrintable(c.name));
                        return 1;
                    }
                    if (r > 0)
                        (first ? a : b).push_back(s);
                }
            }
            printRow(c.name + QStringLiteral(", -j 1"), a, b);
        }
    }

    // A keyword of 128,000 characters: one "≒" (two byte forms, so a prefilter
    // is built) against 128,000 "a" (one form).
    if (!findOnly || !find.isEmpty())
        printHeader("### Set-up of a 128,000-character keyword", "128,000 × a");
    const QString plainWord(128000, QLatin1Char('a'));
    const QString mixedWord = QStringLiteral("≒") + plainWord.left(127999);
    if (!findOnly) {
        std::vector<Sample> a, b;
        for (int r = 0; r < runs; ++r) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool first = (turn == 0) == (r % 2 == 0);
                bool never = true;
                const Sample s = timed([&] {
                    KeywordMatcher matcher({first ? plainWord : mixedWord});
                    never = matcher.neverMatches();
                });
                if (never)
                    return 1;
                (first ? a : b).push_back(s);
            }
        }
        printRow(QStringLiteral("≒ + 127,999 × a"), a, b);
    }
    if (!find.isEmpty()) {
        // Through the program: the set-up and a search of one small file.
        const QString dir = work + QStringLiteral("/keyword");
        QDir().mkpath(dir);
        QFile f(dir + QStringLiteral("/file.txt"));
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(1000, 'a') + "\r\n") < 0)
            return 2;
        f.close();
        std::vector<Sample> a, b;
        for (int r = 0; r <= runs; ++r) {
            for (int turn = 0; turn < 2; ++turn) {
                const bool first = (turn == 0) == (r % 2 == 0);
                int status = 0;
                const Sample s = runFind(find, (first ? plainWord : mixedWord).toUtf8(),
                                         QFile::encodeName(dir), &status);
                if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
                    return 1;
                if (r > 0)
                    (first ? a : b).push_back(s);
            }
        }
        printRow(QStringLiteral("≒ + 127,999 × a, tarnwell-find on one small file"), a, b);
    }
    return 0;
}
