// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// tarnwell-find [-r] [-s] [-j N] [-E MODE] [-0] [--documents] [-z] [-i] [--ignore-width]
//               [--ignore-kana] KEYWORD FOLDER
// Runs the search engine without a window and prints the full path of each
// matching file, one per line, in the order the result list would show them.
// Says on standard error what could not be searched, unless -s.
// Exit status: 0 something was found, 1 nothing was and nothing failed, 2 a
// usage error, a FOLDER that cannot be searched, nothing found while something
// could not be searched, or a run that ran short of descriptors or memory;
// 130 or 143 when SIGINT or SIGTERM stopped it (tools/SignalStop.h).

#include "documents/ChoiceReader.h"
#include "documents/ReaderPool.h"
#include "platform/ResourceLimits.h"
#include "resources/Texts.h"
#include "search/ReadFailure.h"
#include "search/SearchRun.h"
#include "text/Cp932.h"
#include "text/JisEncodings.h"
#include "tools/SignalStop.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stop_token>
#include <utility>

namespace {

const char kUsage[] =
    "Usage: tarnwell-find [-r] [-s] [-j N] [-E MODE] [-0] [--documents] [-z] [-i]\n"
    "                     [--ignore-width] [--ignore-kana] KEYWORD FOLDER\n"
    "Lists the files in FOLDER that have a line holding every word of KEYWORD.\n"
    "\n"
    "  KEYWORD     words separated by spaces, as typed into the keyword box (one argument)\n"
    "  FOLDER      the folder to search; the empty text is the root folder\n"
    "  -r          search sub-folders too\n"
    "  -s, --no-messages\n"
    "              say nothing of files and folders that cannot be read\n"
    "  -j N        read and match files on N threads, 1 to 64 (default: twice the\n"
    "              processor count, 4 to 32, and 64 on a network share or FUSE\n"
    "              mount); -j 1 reads on one thread. The output is the same for\n"
    "              every N\n"
    "  -E MODE, --encoding MODE\n"
    "              how files are read: cp932 (the default), utf-8, euc-jp or auto\n"
    "  -0, --null  end each path with a NUL byte instead of a newline (for xargs -0)\n"
    "  --documents search inside documents too: Word, Excel and PowerPoint files (old\n"
    "              and new), OpenDocument, RTF and PDF files, recognised by their\n"
    "              content, are searched through their text (read in separate,\n"
    "              shut-in helper processes); so are saved e-mail (.eml, mbox,\n"
    "              Outlook .msg) and web pages saved as one file (.mht)\n"
    "  -z, --archives\n"
    "              search inside archives and compressed files too: zip, 7z, LZH,\n"
    "              tar, cpio, cab, RAR and gzip, bzip2, xz, zstd, lz4 or compress\n"
    "              around any of them or around a single file, recognised by their\n"
    "              content; each member is read as the file it is (a document only\n"
    "              with --documents, text in the -E mode), archives inside archives\n"
    "              up to 5 deep, in memory, in the same helper processes\n"
    "  -i, --ignore-case\n"
    "              upper and lower case match each other (A and a, Ａ and ａ, Σ and σ)\n"
    "  --ignore-width\n"
    "              full and half width match each other (２０２６ and 2026, ｶﾞ and ガ,\n"
    "              ～ and 〜, ￥ and ¥); the full-width space then separates words too\n"
    "  --ignore-kana\n"
    "              hiragana and katakana match each other (さーばー and サーバー)\n"
    "  --help      show this text\n"
    "  --version   show the version\n"
    "\n"
    "With cp932, files are read as code page 932 text and lines end at CR-LF or\n"
    "CR. With utf-8, files are read as UTF-8 (invalid bytes match no word). With\n"
    "euc-jp, files are read as EUC-JP. With auto, a file with a UTF-8 byte order\n"
    "mark is read as UTF-8, one with a UTF-16 byte order mark as UTF-16; then a\n"
    "7-bit file with ISO-2022-JP escape sequences as ISO-2022-JP, a file valid\n"
    "UTF-8 throughout as UTF-8, one valid EUC-JP throughout as EUC-JP, any other\n"
    "as code page 932. With utf-8, euc-jp and auto, a lone LF also ends a line.\n"
    "With --documents, a line is a paragraph, a table or sheet row (cells joined by\n"
    "a tab) or a line of a PDF page, and a document that cannot be read (damaged,\n"
    "encrypted, over a limit) counts as a file that cannot be read.\n"
    "With -z, an archive that matches is listed under its own path; one that does\n"
    "not while some of its members could not be read (encrypted, damaged, over a\n"
    "limit) counts as a file that cannot be read, and they are named.\n"
    "Files and folders that cannot be read are named on standard error with the\n"
    "reason, unless -s is given.\n"
    "Exit status: 0 when a file was found; 1 when none was and nothing failed;\n"
    "2 on a usage error, when FOLDER does not exist, is not a folder or cannot be\n"
    "listed, when nothing was found but something could not be read, or when the\n"
    "search ran short of descriptors or memory (its list may then lack files);\n"
    "130 or 143 when SIGINT (Ctrl+C) or SIGTERM stopped the search (the files\n"
    "found before the stop are listed; a second signal ends it at once).\n";

// Prints each match as it is found; everything else the run reports is for a window.
class PrintingObserver : public SearchObserver {
public:
    PrintingObserver(bool subfolders, char terminator, bool messages, std::stop_token stop)
        : m_subfolders(subfolders), m_terminator(terminator), m_messages(messages),
          m_stop(std::move(stop))
    {}
    void statusTextChanged(const QString &) override {}
    bool wantsStatusTexts() const override { return false; }
    void fileListed(const FoundFile &) override {}
    bool searchSubfolders() override { return m_subfolders; }
    void fileMatched(const FoundFile &file) override
    {
        // The native bytes, so that every printed path can be opened again.
        std::fwrite(file.nativePath.data(), 1, size_t(file.nativePath.size()), stdout);
        std::fputc(m_terminator, stdout);
    }
    void cannotRead(const FoundFile &path, int error, bool brokenOff) override
    {
        if (!m_messages || m_stop.stop_requested())
            return;
        // The results so far first, so that both streams read in order on a terminal.
        std::fflush(stdout);
        std::fputs("tarnwell-find: ", stderr);
        std::fwrite(path.nativePath.data(), 1, size_t(path.nativePath.size()), stderr);
        std::fprintf(stderr, ": %s\n",
                     cannotReadReason(error, brokenOff).toLocal8Bit().constData());
    }
    void cannotReadDocument(const FoundFile &path, const QString &reason) override
    {
        if (!m_messages || m_stop.stop_requested())
            return;
        std::fflush(stdout);
        std::fputs("tarnwell-find: ", stderr);
        std::fwrite(path.nativePath.data(), 1, size_t(path.nativePath.size()), stderr);
        std::fprintf(stderr, ": %s\n", reason.toUtf8().constData());
    }

private:
    bool m_subfolders;
    char m_terminator;
    bool m_messages;
    // Once stopped, a failure is the stop's doing (Ctrl+C on a terminal ends
    // the helpers too): nothing more is said.
    std::stop_token m_stop;
};

enum class Parsed { Run, Help, Version, Error };

Parsed usageError(const char *message)
{
    std::fprintf(stderr, "tarnwell-find: %s (try --help)\n", message);
    return Parsed::Error;
}

// Why FOLDER could not be searched, in one line.
int folderError(const char *folder, int error)
{
    const char *folderText = folder[0] ? folder : "/";
    std::fprintf(stderr, "tarnwell-find: %s: %s\n", folderText,
                 folderErrorReason(error).toLocal8Bit().constData());
    return 2;
}

// A thread count from 1 to 64, or 0 when the text is not one.
int parseWorkers(const char *text)
{
    if (!text || *text < '0' || *text > '9')
        return 0;
    char *end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return *end == 0 && n >= 1 && n <= 64 ? int(n) : 0;
}

struct Options {
    bool subfolders = false;
    bool messages = true;
    SearchOptions search;
    char terminator = '\n';
    bool documents = false;
    bool archives = false;
    const char *keyword = nullptr;
    const char *folder = nullptr;
};

Parsed parseArguments(int argc, char **argv, Options &options)
{
    bool optionsDone = false;
    const char *positional[2] = {nullptr, nullptr};
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!optionsDone && arg[0] == '-' && arg[1] != 0) {
            if (std::strcmp(arg, "--") == 0)
                optionsDone = true;
            else if (std::strcmp(arg, "--help") == 0)
                return Parsed::Help;
            else if (std::strcmp(arg, "--version") == 0)
                return Parsed::Version;
            else if (std::strcmp(arg, "-r") == 0)
                options.subfolders = true;
            else if (std::strcmp(arg, "-s") == 0 || std::strcmp(arg, "--no-messages") == 0)
                options.messages = false;
            else if (std::strncmp(arg, "-j", 2) == 0) {
                const char *value = arg[2] != 0 ? arg + 2 : (i + 1 < argc ? argv[++i] : nullptr);
                options.search.workers = parseWorkers(value);
                if (options.search.workers == 0)
                    return usageError("-j takes a thread count from 1 to 64");
            } else if (std::strncmp(arg, "-E", 2) == 0 || std::strcmp(arg, "--encoding") == 0 ||
                       std::strncmp(arg, "--encoding=", 11) == 0) {
                const char *value = nullptr;
                if (std::strncmp(arg, "--encoding=", 11) == 0)
                    value = arg + 11;
                else if (arg[1] == 'E' && arg[2] != 0)
                    value = arg + 2;
                else if (i + 1 < argc)
                    value = argv[++i];
                if (!value ||
                    !platform::parseEncodingMode(QString::fromUtf8(value), options.search.encoding))
                    return usageError("-E takes cp932, utf-8, euc-jp or auto");
            } else if (std::strcmp(arg, "-0") == 0 || std::strcmp(arg, "--null") == 0)
                options.terminator = '\0';
            else if (std::strcmp(arg, "--documents") == 0)
                options.documents = true;
            else if (std::strcmp(arg, "-i") == 0 || std::strcmp(arg, "--ignore-case") == 0)
                options.search.folds.caseless = true;
            else if (std::strcmp(arg, "--ignore-width") == 0)
                options.search.folds.width = true;
            else if (std::strcmp(arg, "--ignore-kana") == 0)
                options.search.folds.kana = true;
            else if (std::strcmp(arg, "-z") == 0 || std::strcmp(arg, "--archives") == 0)
                options.archives = true;
            else
                return usageError((QByteArray("unknown option ") + arg).constData());
            continue;
        }
        if (count == 2)
            return usageError("too many arguments");
        positional[count++] = arg;
    }
    if (count < 2)
        return usageError("KEYWORD and FOLDER are required");
    options.keyword = positional[0];
    options.folder = positional[1];
    return Parsed::Run;
}

// A keyword with a character that code page 932 (or EUC-JP) cannot represent
// never matches a plain text file read in that encoding (a document's text
// still can): says which, and what would read it.
void reportUnrepresentable(const QString &keyword, platform::EncodingMode mode)
{
    const bool euc = mode == platform::EncodingMode::EucJp;
    const QString c = euc ? jis::firstNotInEucJp(keyword) : cp932::firstUnrepresentable(keyword);
    if (c.isEmpty())
        return;
    std::fprintf(stderr,
                 "tarnwell-find: the keyword holds %s (U+%04X), which %s cannot represent, so no "
                 "plain text file read as %s can match; try -E utf-8 or -E auto\n",
                 c.toUtf8().constData(), unsigned(c.toUcs4().value(0)),
                 euc ? "EUC-JP" : "code page 932", euc ? "euc-jp" : "cp932");
}

// The keyword exactly as given: QString::fromUtf8 would drop a leading U+FEFF
// (read as a byte order mark), and a word copied from a file that starts with
// one carries it.
QString keywordText(const char *bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(bytes));
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    switch (parseArguments(argc, argv, options)) {
    case Parsed::Help:
        std::fputs(kUsage, stdout);
        return 0;
    case Parsed::Version:
        std::printf("tarnwell-find %s\n", texts::versionLine.toUtf8().constData());
        return 0;
    case Parsed::Error:
        return 2;
    case Parsed::Run:
        break;
    }

    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);
    // A deep tree searched on many threads needs more descriptors than a
    // session's soft limit often allows; the run fits itself into what is left.
    platform::raiseDescriptorLimit();
    // Under a lowered address-space limit (`ulimit -v`) the threads share one
    // heap arena instead of reserving one each (glibc: up to 64 MiB apiece).
    platform::fitMemoryArenas();
    // Before any thread starts, so that only the waiting thread takes the two.
    options.search.stop = tools::stopOnSignals(options.documents || options.archives);

    // The helpers start with the first document.
    std::unique_ptr<documents::ReaderPool> pool;
    std::unique_ptr<documents::ChoiceReader> choice;
    if (options.documents || options.archives) {
        pool = std::make_unique<documents::ReaderPool>();
        options.search.documents = pool.get();
    }
    if (options.archives) {
        choice = std::make_unique<documents::ChoiceReader>(*pool, options.documents, true,
                                                           options.search.encoding);
        options.search.documents = choice.get();
    }
    PrintingObserver observer(options.subfolders, options.terminator, options.messages,
                              options.search.stop);
    SearchOutcome outcome;
    try {
        outcome = runSearchNative(QByteArray(options.folder), keywordText(options.keyword),
                                  observer, options.search);
    } catch (const std::bad_alloc &) {
        // Memory refused where the run cannot do without (the list of files).
        std::fflush(stdout);
        outcome.resourceError = ENOMEM;
    }
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tarnwell-find: cannot write the results\n");
        return 2;
    }
    // Stopped: what was found before the stop is printed, in order; the helpers
    // end with the pool, before the process does.
    if (const int signal = tools::stopSignal())
        return 128 + signal;
    if (outcome.folderError != 0)
        return folderError(options.folder, outcome.folderError);
    if (outcome.resourceError != 0) {
        std::fprintf(stderr,
                     "tarnwell-find: the search could not be completed, files may be missing "
                     "from the list: %s\n",
                     std::strerror(outcome.resourceError));
        return 2;
    }
    if (outcome.matches > 0)
        return 0;
    if ((options.search.encoding == platform::EncodingMode::Cp932 ||
         options.search.encoding == platform::EncodingMode::EucJp) &&
        !options.search.folds.any())
        reportUnrepresentable(keywordText(options.keyword), options.search.encoding);
    if (!options.search.folds.width && keywordText(options.keyword).contains(QChar(0x3000)))
        std::fprintf(stderr, "tarnwell-find: the keyword holds a full-width space (U+3000), "
                             "which is part of a word; with --ignore-width it separates "
                             "words as a space does\n");
    return outcome.unreadable > 0 ? 2 : 1;
}
