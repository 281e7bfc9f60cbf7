// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// tarnwell-docreader and tarnwell-pdfreader: read documents for the program
// that started them, one at a time, shut in (Sandbox.h). The one program is
// built twice: tarnwell-docreader reads every kind but PDF, without poppler,
// so that the helper most documents need starts without loading it;
// tarnwell-pdfreader (TARNWELL_READER_PDF) links poppler and reads PDF, and
// every other kind too for a file with a PDF inside (a mail's attachment, an
// archive's member), which tarnwell-docreader answers with
// Failure::NeedsPdfReader. It is given its socket as descriptor 3; each
// request brings the document's descriptor (the file the program's walk
// opened, so no path is looked up again), and the helper maps that file
// read-only, reads it and writes the answer back (ReaderProtocol.h); a small
// document the program has read whole already comes in the request itself.
// It ends when the program closes the socket.
//
//   tarnwell-docreader [--address-space BYTES] [--cpu SECONDS] [--text-units N]
//                      [--file-bytes N] [--member-bytes N] [--document-bytes N]
//                      [--zip-members N] [--xml-depth N] [--chunk-bytes N]
//                      [--progress]
//   tarnwell-pdfreader [the same options]
//
// With --progress, descriptor 4 is a page shared with the program, where the
// helper tells which document it reads (protocol::progressWord), and it
// holds its answers back while more requests wait.

#include "documents/ArchiveDocument.h"
#include "documents/ReadDocument.h"
#ifdef TARNWELL_READER_PDF
#include "documents/PdfDocument.h"
#endif
#include "documents/QueryMatcher.h"
#include "documents/ReaderProtocol.h"
#include "documents/helper/Sandbox.h"

#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <malloc.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef TARNWELL_READER_TEST_HOOKS
#include <QStringList>

#include <atomic>
#include <memory>
#include <thread>

#include <ctime>

#include <fcntl.h>
#include <pthread.h>
#include <sys/resource.h>
#endif

using namespace documents;
namespace protocol = documents::protocol;

namespace {

// The requests as they come, as many read at once as the socket holds: a
// worker hands over several documents one after another, most of them small
// enough to come in the request itself. A descriptor comes beside the bytes
// of its request, and the socket hands over at most one with each read, so
// the descriptors are taken in order as their requests are.
class Requests {
public:
    struct Request {
        Container container = Container::None;
        ArchiveChoice choice;
        bool members = false;
        bool verdict = false; // answered with the verdict, where a query is held
        int fd = -1;          // the document, or -1
        QByteArrayView bytes; // the document itself when it came in the request
        bool query = false;   // no request: a query came (query())
    };

    ~Requests()
    {
        for (const int fd : m_fds)
            ::close(fd);
    }
    // The next request; the bytes stay valid until the call after. False
    // when the program closed the socket or broke the protocol, which ends
    // the helper too.
    bool next(Request &request)
    {
        request = {};
        m_at = m_next;
        if (!fill(protocol::kRequestBytes))
            return false;
        const QByteArrayView head(m_buffer.data() + m_at, protocol::kRequestBytes);
        if (qFromLittleEndian<quint32>(head.data()) == protocol::kQueryMagic)
            return nextQuery(request);
        qsizetype inlineBytes = -1;
        if (!protocol::decodeRequest(head, request.container, &request.choice, &request.members,
                                     &inlineBytes, &request.verdict))
            return false;
        m_at += protocol::kRequestBytes;
        if (inlineBytes >= 0) {
            if (!fill(inlineBytes))
                return false;
            request.bytes = QByteArrayView(m_buffer.data() + m_at, inlineBytes);
            m_next = m_at + inlineBytes;
            return true;
        }
        m_next = m_at;
        if (!m_fds.empty()) {
            request.fd = m_fds.front();
            m_fds.erase(m_fds.begin());
        }
        return true;
    }
    // Bytes past the request taken last: the program sent more before its answer.
    bool more() const { return m_have > m_next; }
    // The query that came last.
    const MatchQuery &query() const { return m_query; }

private:
    bool nextQuery(Request &request)
    {
        const qsizetype size = qsizetype(qFromLittleEndian<quint32>(m_buffer.data() + m_at + 4));
        if (size > protocol::kMostQueryBytes)
            return false;
        m_at += protocol::kHeaderBytes;
        if (!fill(size) ||
            !protocol::decodeQuery(QByteArrayView(m_buffer.data() + m_at, size), m_query))
            return false;
        m_next = m_at + size;
        request.query = true;
        return true;
    }

    // Until `want` bytes are held from m_at on.
    bool fill(qsizetype want)
    {
        if (m_have - m_at >= want)
            return true;
        if (m_at > 0) {
            std::memmove(m_buffer.data(), m_buffer.data() + m_at, size_t(m_have - m_at));
            m_have -= m_at;
            m_next -= m_at;
            m_at = 0;
        }
        if (qsizetype(m_buffer.size()) < std::max(want, kRoomBytes))
            m_buffer.resize(size_t(std::max(want, kRoomBytes)));
        while (m_have < want) {
            alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
            iovec io{m_buffer.data() + m_have, m_buffer.size() - size_t(m_have)};
            msghdr message{};
            message.msg_iov = &io;
            message.msg_iovlen = 1;
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            const ssize_t n = recvmsg(helper::kSocket, &message, MSG_CMSG_CLOEXEC);
            if (n < 0 && errno == EINTR)
                continue;
            for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS &&
                    c->cmsg_len == CMSG_LEN(sizeof(int))) {
                    int fd;
                    std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
                    m_fds.push_back(fd);
                }
            }
            if (n <= 0 || (message.msg_flags & MSG_CTRUNC))
                return false;
            m_have += n;
        }
        return true;
    }

    // Room for several requests with their documents.
    static constexpr qsizetype kRoomBytes = 2 * protocol::kMostInlineBytes + 64;

    std::vector<char> m_buffer;
    qsizetype m_at = 0;   // the request being taken
    qsizetype m_next = 0; // past the request taken last
    qsizetype m_have = 0;
    std::vector<int> m_fds; // handed over, their requests not yet taken
    MatchQuery m_query;
};

bool sendAll(QByteArrayView bytes)
{
    const char *at = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(helper::kSocket, at, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += n;
        left -= n;
    }
    return true;
}

// A search's members, sent in chunks: after about Limits::archiveChunkBytes
// the helper waits for the program's word, and reads no further member once
// told the search found what it looked for. Small members are gathered into
// one chunk; a large one goes as it is, in a chunk of its own. A program that
// breaks off or says anything else ends the helper. Not a MemberSink: the
// reader calls it through MemberCalls, with no virtual call.
class ChunkSender {
public:
    explicit ChunkSender(qint64 chunkBytes) : m_chunkBytes(chunkBytes) {}
    bool textMember(QByteArrayView bytes)
    {
        if (bytes.size() < kGatheredBytes) {
            m_chunk.addText(bytes);
            return sendIfFull();
        }
        sendGathered(protocol::kMore);
        m_unheard += bytes.size();
        const bool wait = m_unheard >= m_chunkBytes;
        send(protocol::MemberChunk::textHead(bytes.size(),
                                             wait ? protocol::kWait : protocol::kMore));
        send(bytes);
        return wait && hear();
    }
    bool documentLines(const std::vector<QString> &lines)
    {
        m_chunk.addLines(lines);
        return sendIfFull();
    }
    // Sends the members not yet sent; the answer follows them.
    void sendRest()
    {
        sendGathered(protocol::kMore);
        m_unheard = 0;
    }

private:
    // Members smaller are copied into the chunk.
    static constexpr qsizetype kGatheredBytes = qsizetype(64) << 10;

    static void send(QByteArrayView bytes)
    {
        if (!sendAll(bytes))
            ::_exit(1);
    }
    void sendGathered(protocol::ChunkEnd end)
    {
        if (m_chunk.empty())
            return;
        m_unheard += m_chunk.size();
        send(m_chunk.finish(end));
        m_chunk.clear();
    }
    bool sendIfFull()
    {
        if (m_unheard + m_chunk.size() < m_chunkBytes)
            return false;
        sendGathered(protocol::kWait);
        return hear();
    }
    // The program's word: true when it says stop.
    bool hear()
    {
        m_unheard = 0;
        // read(), which the filter allows on the socket as on the document.
        char word[4];
        for (std::size_t got = 0; got < sizeof word;) {
            const ssize_t n = ::read(helper::kSocket, word + got, sizeof word - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ::_exit(1);
            got += std::size_t(n);
        }
        const quint32 said = qFromLittleEndian<quint32>(word);
        if (said != protocol::kGoOnMagic && said != protocol::kStopMagic)
            ::_exit(1);
        return said == protocol::kStopMagic;
    }

    protocol::MemberChunk m_chunk;
    qint64 m_chunkBytes;
    qint64 m_unheard = 0; // sent since the program's last word
};

#ifdef TARNWELL_READER_TEST_HOOKS
// Processor time used so far, user and system, in microseconds.
void timeUsed(qint64 &user, qint64 &system)
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    user = qint64(usage.ru_utime.tv_sec) * 1'000'000 + usage.ru_utime.tv_usec;
    system = qint64(usage.ru_stime.tv_sec) * 1'000'000 + usage.ru_stime.tv_usec;
}

// The test words about time: "%PDF-CPU" answers the processor-time limit in
// force (seconds) and the time used (microseconds) as one line; "%PDF-BURN-USER"
// and "%PDF-BURN-SYSTEM" use user or system time until the time of that kind
// is 0.55 to 0.85 s past a whole second (so that the next document begins
// with both well into their second); "%PDF-NAP MS" sleeps MS milliseconds.
bool timeHook(QByteArrayView bytes, ReadResult &result)
{
    qint64 user = 0;
    qint64 system = 0;
    if (bytes.startsWith("%PDF-CPU")) {
        timeUsed(user, system);
        rlimit limit{};
        getrlimit(RLIMIT_CPU, &limit);
        result.text.lines.push_back(
            QStringLiteral("%1 %2").arg(qint64(limit.rlim_cur)).arg(user + system));
        return true;
    }
    const bool burnUser = bytes.startsWith("%PDF-BURN-USER");
    if (burnUser || bytes.startsWith("%PDF-BURN-SYSTEM")) {
        const auto placed = [](qint64 t) {
            return t % 1'000'000 >= 550'000 && t % 1'000'000 < 850'000;
        };
        for (timeUsed(user, system); !placed(burnUser ? user : system); timeUsed(user, system)) {
            if (burnUser) {
                std::atomic<unsigned> spin{0};
                for (int i = 0; i < 100'000; ++i)
                    spin.fetch_add(1, std::memory_order_relaxed);
            } else {
                for (int i = 0; i < 100; ++i)
                    ::getppid();
            }
        }
        result.text.lines.push_back(QStringLiteral("burnt"));
        return true;
    }
    if (bytes.startsWith("%PDF-NAP ")) {
        const int ms = QByteArrayView(bytes.sliced(9)).toInt();
        const timespec nap{ms / 1000, long(ms % 1000) * 1'000'000};
        ::nanosleep(&nap, nullptr);
        result.text.lines.push_back(QStringLiteral("rested"));
        return true;
    }
    return false;
}

// The test words about answers: "%PDF-DISORDER" answers locations out of
// order, "%PDF-PASTEND" one past the last line, "%PDF-TRAILING" a payload
// with bytes after its last location (its header counting them), "%PDF-MORE"
// more bytes than its header announces, "%PDF-VERDICT" a verdict nobody asked
// for. The trailing payload and the verdict are the helper's last words, so
// that nothing after them tells the program the answer was wrong.
bool answerHook(QByteArrayView bytes, ReadResult &result)
{
    const auto is = [&](const char *word) { return bytes.startsWith(word); };
    if (is("%PDF-VERDICT")) {
        sendAll(protocol::encodeVerdict(result, true));
        ::_exit(0);
    }
    if (!is("%PDF-DISORDER") && !is("%PDF-PASTEND") && !is("%PDF-TRAILING") && !is("%PDF-MORE"))
        return false;
    result.text.lines = {QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("three")};
    if (is("%PDF-DISORDER"))
        result.text.locations = {{2, QStringLiteral("b")}, {1, QStringLiteral("a")}};
    else if (is("%PDF-PASTEND"))
        result.text.locations = {{4, QStringLiteral("a")}};
    else
        result.text.locations = {{1, QStringLiteral("a")}};
    if (is("%PDF-TRAILING") || is("%PDF-MORE")) {
        QByteArray answer = protocol::encodeAnswer(result);
        answer.append("tail", 4);
        if (is("%PDF-TRAILING"))
            qToLittleEndian(quint32(answer.size() - protocol::kHeaderBytes), answer.data() + 4);
        sendAll(answer);
        if (is("%PDF-TRAILING"))
            ::_exit(0);
    }
    return true;
}

// The progress page, for the test word that writes a lie on it.
std::atomic<quint64> *t_progress = nullptr;

// A test build obeys a few words in place of a document's body (of any
// container, so that both helpers can be shown misbehaving), to show what the
// program does with a helper that misbehaves and what the shut-in helper may do.
bool testHook(QByteArrayView bytes, ReadResult &result)
{
    const auto is = [&](const char *word) { return bytes.startsWith(word); };
    if (is("%PDF-AHEAD") || is("%PDF-LATER")) {
        // Lies on the progress page, then sleeps: this document begun an
        // hour from now, and with "AHEAD" a thousand more documents begun
        // than the helper was sent.
        if (t_progress) {
            const quint64 word = t_progress->load();
            t_progress->store(protocol::progressWord(quint32(word) + (is("%PDF-AHEAD") ? 1000 : 0),
                                                     qint64(word >> 16) + 3'600'000));
        }
        ::sleep(1000);
    }
    if (is("%PDF-CRASH")) {
        // As a reader's fault would end it, even where a sanitizer has a handler.
        std::signal(SIGSEGV, SIG_DFL);
        std::raise(SIGSEGV);
    }
    if (is("%PDF-SPIN")) {
        std::atomic<unsigned> spin{0};
        for (;;)
            spin.fetch_add(1, std::memory_order_relaxed);
    }
    if (is("%PDF-SLEEP"))
        ::sleep(1000);
    if (is("%PDF-GARBLE")) {
        sendAll(QByteArray("TWRS\x08\0\0\0garbage!", 16));
        return true;
    }
    if (is("%PDF-EAT")) {
        // Given back as std::bad_alloc unwinds, as a reader's would be.
        std::vector<std::unique_ptr<char[]>> kept;
        for (;;) {
            kept.emplace_back(new char[1 << 20]);
            std::memset(kept.back().get(), 1, 1 << 20);
        }
    }
    if (is("%PDF-ESCAPE")) {
        // What the filter lets through, one word each: "open" a file for
        // writing, "socket", "fork", "thread".
        QStringList done;
        const int fd = ::open("/tmp/tarnwell-docreader-escape", O_WRONLY | O_CREAT, 0600);
        if (fd >= 0)
            done << QStringLiteral("open");
        if (::socket(AF_INET, SOCK_STREAM, 0) >= 0)
            done << QStringLiteral("socket");
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(0);
        if (child > 0)
            done << QStringLiteral("fork");
        // pthread_create itself: std::thread's failure path trips the
        // undefined-behaviour sanitizer's type check inside libstdc++.
        pthread_t thread;
        if (::pthread_create(
                &thread, nullptr, [](void *) -> void * { return nullptr; }, nullptr) == 0) {
            ::pthread_join(thread, nullptr);
            done << QStringLiteral("thread");
        }
        result.failure = Failure::Unsupported;
        result.reason = QStringLiteral("escaped: ") + done.join(u' ');
        return true;
    }
    return timeHook(bytes, result) || answerHook(bytes, result);
}
#endif

// Small files are read into a buffer kept from one document to the next (one
// call, no mapping to set up and tear down); larger ones are mapped, so that
// only the parts a reader looks at are read (a presentation's thumbnail, say,
// never is).
constexpr qsizetype kReadBytes = qsizetype(64) << 10;

ReadResult readBytes(QByteArrayView bytes, Container container, const ArchiveChoice &choice,
                     const Limits &limits, const MemberCalls *members, LineCheck *check)
{
    ReadResult result;
#ifdef TARNWELL_READER_TEST_HOOKS
    if (testHook(bytes, result))
        return result;
#endif
    if (container == Container::Archive)
        result = readArchiveDocument(bytes, choice, limits, members);
    else
        result = readDocument(bytes, container, limits, check);
    return result;
}

ReadResult overFileLimit(const Limits &limits)
{
    return {Failure::OverLimit,
            QStringLiteral("over the %1 MiB document limit").arg(limits.fileBytes >> 20),
            {}};
}

// A document that came in its request.
ReadResult readHandedOver(QByteArrayView bytes, Container container, const Limits &limits,
                          LineCheck *check)
{
    if (bytes.size() > limits.fileBytes)
        return overFileLimit(limits);
    return readBytes(bytes, container, {}, limits, nullptr, check);
}

ReadResult readOne(int fd, Container container, const ArchiveChoice &choice, const Limits &limits,
                   const MemberCalls *members, LineCheck *check)
{
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return {Failure::Damaged, QStringLiteral("not a regular file"), {}};
    if (st.st_size > limits.fileBytes)
        return overFileLimit(limits);
    const qsizetype size = qsizetype(st.st_size);
    if (size <= kReadBytes) {
        static std::vector<char> buffer;
        buffer.resize(size_t(size));
        // What the file holds now: a file cut since fstat is read as it is.
        qsizetype got = 0;
        while (got < size) {
            const ssize_t n = ::pread(fd, buffer.data() + got, size_t(size - got), got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return {Failure::Damaged, QStringLiteral("cannot be read: ") + strerror(errno), {}};
            if (n == 0)
                break;
            got += n;
        }
        return readBytes(QByteArrayView(buffer.data(), got), container, choice, limits, members,
                         check);
    }
    void *map = mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map == MAP_FAILED)
        return {Failure::Damaged, QStringLiteral("cannot be mapped: ") + strerror(errno), {}};
    ReadResult result = readBytes(QByteArrayView(static_cast<const char *>(map), size), container,
                                  choice, limits, members, check);
    munmap(map, size_t(size));
    return result;
}

// The progress word in the page the program handed over, or null.
std::atomic<quint64> *mapProgress()
{
    void *page = mmap(nullptr, sizeof(quint64), PROT_READ | PROT_WRITE, MAP_SHARED,
                      protocol::kProgressDescriptor, 0);
    ::close(protocol::kProgressDescriptor);
    return page == MAP_FAILED ? nullptr : static_cast<std::atomic<quint64> *>(page);
}

qint64 numberAfter(int &i, int argc, char **argv)
{
    if (i + 1 >= argc)
        return -1;
    char *end = nullptr;
    const long long value = std::strtoll(argv[++i], &end, 10);
    return *end == 0 && value > 0 ? qint64(value) : -1;
}

// The limits of what a document may hold (Limits.h); false for another
// option or a value that is not a positive number.
bool documentLimit(const char *option, qint64 value, Limits &limits)
{
    if (value <= 0)
        return false;
    const int count = int(qMin<qint64>(value, 1'000'000'000));
    if (std::strcmp(option, "--file-bytes") == 0)
        limits.fileBytes = value;
    else if (std::strcmp(option, "--member-bytes") == 0)
        limits.memberBytes = value;
    else if (std::strcmp(option, "--document-bytes") == 0)
        limits.documentBytes = value;
    else if (std::strcmp(option, "--zip-members") == 0)
        limits.zipMembers = count;
    else if (std::strcmp(option, "--xml-depth") == 0)
        limits.xmlDepth = count;
    else if (std::strcmp(option, "--chunk-bytes") == 0)
        limits.archiveChunkBytes = value;
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    Limits limits;
    bool progressPage = false;
    for (int i = 1; i < argc; ++i) {
        qint64 value = -1;
        if (std::strcmp(argv[i], "--progress") == 0)
            progressPage = true;
        else if (std::strcmp(argv[i], "--address-space") == 0 &&
                 (value = numberAfter(i, argc, argv)) > 0)
            limits.addressSpaceBytes = value;
        else if (std::strcmp(argv[i], "--cpu") == 0 && (value = numberAfter(i, argc, argv)) > 0)
            limits.cpuSecondsPerDocument = int(qMin<qint64>(value, 1'000'000));
        else if (std::strcmp(argv[i], "--text-units") == 0 &&
                 (value = numberAfter(i, argc, argv)) > 0)
            limits.textUnits = value;
        else if (const char *option = argv[i];
                 !documentLimit(option, numberAfter(i, argc, argv), limits))
            return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
#ifdef TARNWELL_READER_PDF
    setPdfReader(&readPdfDocument);
#endif
    // One document after another allocates and frees much the same: keep
    // the freed heap (to 32 MiB) rather than give it back and fault it in
    // again for the next, and take blocks up to 4 MiB from it.
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    // Before the descriptors past the socket are closed.
    std::atomic<quint64> *const progress = progressPage ? mapProgress() : nullptr;
#ifdef TARNWELL_READER_TEST_HOOKS
    t_progress = progress;
#endif
    // Refused limits or filter: no document is read unguarded.
    if (!helper::setLimits(limits.addressSpaceBytes) || !helper::shutIn())
        return 3;
    quint32 begun = 0; // document requests
    // Answers held back while more requests wait, with the progress page.
    constexpr qsizetype kMostHeldBytes = qsizetype(64) << 10;
    QByteArray held;
    held.reserve(kMostHeldBytes);
    const auto sendHeld = [&held] {
        const bool sent = held.isEmpty() || sendAll(held);
        held.resize(0); // its room kept
        return sent;
    };
    Requests requests;
    Requests::Request request;
    ChunkSender chunks(limits.archiveChunkBytes); // its room kept from one archive to the next
    const MemberCalls calls{
        [&chunks](QByteArrayView bytes) { return chunks.textMember(bytes); },
        [&chunks](const std::vector<QString> &lines) { return chunks.documentLines(lines); }};
    // The search's matcher, from the query that came last; none when it
    // could not be made (its requests are then answered with the lines).
    std::unique_ptr<QueryMatcher> matcher;
    bool found = false; // of the archive being matched here
    const MemberCalls matching{
        [&](QByteArrayView bytes) { return found = matcher->matchesText(bytes); },
        [&](const std::vector<QString> &lines) { return found = matcher->matchesLines(lines); }};
    while (requests.next(request)) {
        // Held answers go out before the last request in hand is read (a
        // slow last document then holds none of them back), and so before
        // the helper waits for more.
        if (!requests.more() && !sendHeld())
            ::_exit(1);
        if (request.query) {
            matcher.reset();
            try {
                matcher = std::make_unique<QueryMatcher>(requests.query());
            } catch (const std::bad_alloc &) {
            }
            continue;
        }
        if (progress) {
            const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch());
            progress->store(protocol::progressWord(++begun, now.count()),
                            std::memory_order_release);
        }
        const bool inDocument = request.fd < 0 && request.bytes.data() != nullptr;
        // An archive's members wait for the program's word on the socket:
        // nothing else may come before its answer.
        const bool chunked = request.members && request.container == Container::Archive;
        if (chunked && requests.more())
            break;
        const bool verdict = request.verdict && matcher && !chunked;
        const MemberCalls *members = chunked ? &calls
                                     : verdict && request.container == Container::Archive
                                         ? &matching
                                         : nullptr;
        found = false;
        // A document matched here hands its lines to the matcher as they
        // are read, where its reader can, and keeps none of them.
        LineCheck check = matcher ? matcher->lineCheck() : LineCheck{};
        LineCheck *const checked =
            verdict && request.container != Container::Archive ? &check : nullptr;
        ReadResult result;
        if (request.fd < 0 && !inDocument) {
            result = {Failure::Damaged, QStringLiteral("no file was handed over"), {}};
        } else if (!helper::limitProcessorTime(limits.cpuSecondsPerDocument)) {
            result = {
                Failure::ReaderFailed, QStringLiteral("processor time cannot be limited"), {}};
        } else {
            try {
                if (inDocument)
                    result = readHandedOver(request.bytes, request.container, limits, checked);
                else
                    result = readOne(request.fd, request.container, request.choice, limits, members,
                                     checked);
                if (checked)
                    found =
                        result.ok() && (check.found || matcher->matchesLines(result.text.lines));
            } catch (const std::bad_alloc &) {
                result = {Failure::OverLimit,
                          QStringLiteral("over the %1 MiB memory limit")
                              .arg(limits.addressSpaceBytes >> 20),
                          {}};
            }
        }
        if (request.fd >= 0)
            ::close(request.fd);
        QByteArray answer;
        try {
            chunks.sendRest();
            answer =
                verdict ? protocol::encodeVerdict(result, found) : protocol::encodeAnswer(result);
        } catch (const std::bad_alloc &) {
            answer = protocol::encodeAnswer(
                {Failure::OverLimit,
                 QStringLiteral("over the %1 MiB memory limit").arg(limits.addressSpaceBytes >> 20),
                 {}});
        }
        // The program knows from the progress word which document this
        // helper reads: the answers may wait for the requests to run out,
        // and go in one write.
        if (progress && !chunked && requests.more() &&
            held.size() + answer.size() <= kMostHeldBytes) {
            held.append(answer);
            continue;
        }
        if (!sendHeld() || !sendAll(answer))
            ::_exit(1);
    }
    // Shut in, the helper ends without the exit handlers: it has nothing to
    // flush, and a sanitizer build's leak check needs a tracer thread the
    // filter refuses.
    ::_exit(0);
}
