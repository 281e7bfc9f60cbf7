// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// tarnwell-find [-r] [-j N] KEYWORD FOLDER
// Runs the search engine without a window and prints the full path of each
// matching file, one per line, in the order the result list would show them.
// Exit status: 0 something was found, 1 nothing was, 2 usage error.

#include "SearchRun.h"

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: tarnwell-find [-r] [-j N] KEYWORD FOLDER\n"
    "Lists the files in FOLDER that have a line holding every word of KEYWORD.\n"
    "\n"
    "  KEYWORD  words separated by spaces, as typed into the keyword box (one argument)\n"
    "  FOLDER   the folder to search; the empty text is the root folder\n"
    "  -r       search sub-folders too\n"
    "  -j N     read and match files on N threads, 1 to 64 (default: twice the\n"
    "           processor count, 4 to 32); -j 1 reads on one thread. The output\n"
    "           is the same for every N\n"
    "  --help   show this text\n"
    "\n"
    "Files are read as code page 932 text; lines end at CR-LF or CR.\n"
    "Exit status: 0 when a file was found, 1 when none was, 2 on a usage error.\n";

// Prints each match as it is found; everything else the run reports is for a window.
class PrintingObserver : public SearchObserver {
public:
    explicit PrintingObserver(bool subfolders) : m_subfolders(subfolders) {}
    void statusTextChanged(const QString &) override {}
    bool wantsStatusTexts() const override { return false; }
    void fileListed(const FoundFile &) override {}
    bool searchSubfolders() override { return m_subfolders; }
    void fileMatched(const FoundFile &file) override
    {
        // The native bytes, so that every printed path can be opened again.
        std::fwrite(file.nativePath.constData(), 1, size_t(file.nativePath.size()), stdout);
        std::fputc('\n', stdout);
    }

private:
    bool m_subfolders;
};

int usageError(const char *message)
{
    std::fprintf(stderr, "tarnwell-find: %s (try --help)\n", message);
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

} // namespace

int main(int argc, char **argv)
{
    bool subfolders = false;
    SearchOptions options;
    bool optionsDone = false;
    const char *positional[2] = {nullptr, nullptr};
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (!optionsDone && std::strcmp(arg, "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (!optionsDone && std::strcmp(arg, "-r") == 0) {
            subfolders = true;
            continue;
        }
        if (!optionsDone && std::strncmp(arg, "-j", 2) == 0) {
            const char *value = arg[2] != 0 ? arg + 2 : (i + 1 < argc ? argv[++i] : nullptr);
            options.workers = parseWorkers(value);
            if (options.workers == 0)
                return usageError("-j takes a thread count from 1 to 64");
            continue;
        }
        if (!optionsDone && std::strcmp(arg, "--") == 0) {
            optionsDone = true;
            continue;
        }
        if (!optionsDone && arg[0] == '-' && arg[1] != 0)
            return usageError((QByteArray("unknown option ") + arg).constData());
        if (count == 2)
            return usageError("too many arguments");
        positional[count++] = arg;
    }
    if (count < 2)
        return usageError("KEYWORD and FOLDER are required");

    static char outputBuffer[1 << 16];
    std::setvbuf(stdout, outputBuffer, _IOFBF, sizeof outputBuffer);

    PrintingObserver observer(subfolders);
    const SearchOutcome outcome = runSearchNative(
        QByteArray(positional[1]), QString::fromUtf8(positional[0]), observer, options);
    if (std::fflush(stdout) != 0) {
        std::fprintf(stderr, "tarnwell-find: cannot write the results\n");
        return 2;
    }
    return outcome.matches > 0 ? 0 : 1;
}
