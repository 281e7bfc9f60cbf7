// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ReaderPool.h"

#include "documents/ReaderProtocol.h"

#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace documents {

namespace {

namespace protocol = documents::protocol;
using Clock = std::chrono::steady_clock;

constexpr int kHelperSocket = 3; // where the helper finds its socket

// The document a helper has begun last, as its count of document requests
// (Helper::requests), and since when, from its progress word; false without
// a page. The word is the helper's, so it is only ever believed as far as
// it could be true: never more documents than it was sent, nor a time
// after now.
bool progressOf(const std::atomic<quint64> *progress, quint32 requests, quint32 &begun,
                Clock::time_point &since)
{
    if (!progress)
        return false;
    const quint64 word = progress->load(std::memory_order_acquire);
    const quint32 behind = quint16(quint16(requests) - quint16(word & 0xFFFFu));
    if (behind > requests)
        return false;
    begun = requests - behind;
    const auto now = Clock::now();
    const qint64 nowMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const qint64 ms = std::min(qint64(word >> 16), nowMs);
    since = Clock::time_point(std::chrono::milliseconds(ms));
    return true;
}

bool sendRequest(int socket, int descriptor, Container container, const ArchiveChoice &choice,
                 bool members, bool verdict = false)
{
    const QByteArray request = protocol::encodeRequest(container, choice, members, verdict);
    iovec io{const_cast<char *>(request.constData()), size_t(request.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr *c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &descriptor, sizeof descriptor);
    ssize_t n;
    do {
        // MSG_NOSIGNAL: a helper that died must not end this process by SIGPIPE.
        n = sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == request.size();
}

// Bytes sent whole (a stream socket may take them in pieces); false when
// the helper ended.
bool sendAll(int socket, QByteArrayView bytes)
{
    for (qsizetype sent = 0; sent < bytes.size();) {
        // MSG_NOSIGNAL: a helper that died must not end this process by SIGPIPE.
        const ssize_t n =
            ::send(socket, bytes.data() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += n;
    }
    return true;
}

enum class Received { Done, Closed, TimedOut, Failed };

// Reads `size` bytes into `out` (appending) before `deadline`, and with
// `extra` whatever more the socket holds already, up to that many past them.
// The buffer grows with what arrives, never by what was announced. What is
// there already is taken at once; poll() waits only for what is not.
Received receive(int socket, qsizetype size, QByteArray &out, Clock::time_point deadline,
                 qsizetype extra = 0)
{
    const qsizetype target = out.size() + size;
    while (out.size() < target) {
        const qsizetype want = std::min<qsizetype>(target + extra - out.size(), qsizetype(1) << 20);
        const qsizetype at = out.size();
        out.resize(at + want);
        const ssize_t n = ::recv(socket, out.data() + at, size_t(want), MSG_DONTWAIT);
        out.resize(at + std::max<qsizetype>(n, 0));
        if (n > 0)
            continue;
        if (n == 0)
            return Received::Closed;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return Received::Failed;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return Received::TimedOut;
        pollfd p{socket, POLLIN, 0};
        const int ready = poll(&p, 1, int(std::min<qint64>(left, 1 << 30)));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            return Received::Failed;
        if (ready == 0)
            return Received::TimedOut;
    }
    return Received::Done;
}

// The first read of an answer: it takes the header and, for most documents,
// the whole payload.
constexpr qsizetype kFirstReadBytes = qsizetype(64) << 10;

// Reads an answer, its header and its payload, into `bytes` before
// `deadline`; `size`: the payload's size, or -1 when the header is no
// answer's or more came than it announced. The socket waits at most the time
// per document on its own (SO_RCVTIMEO, set when the helper starts), so the
// first read, the only one most answers need, waits in recv() without a
// poll(); the rest of a long answer is read as it arrives.
Received receiveAnswer(int socket, QByteArray &bytes, qsizetype &size, Clock::time_point deadline)
{
    size = -1;
    bytes.resize(kFirstReadBytes);
    const ssize_t n = ::recv(socket, bytes.data(), size_t(bytes.size()), 0);
    if (n == 0)
        return Received::Closed;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return Received::TimedOut;
    if (n < 0 && errno != EINTR)
        return Received::Failed;
    bytes.resize(std::max<qsizetype>(n, 0)); // a signal: the rest below, by the deadline
    if (bytes.size() < protocol::kHeaderBytes) {
        const Received got =
            receive(socket, protocol::kHeaderBytes - bytes.size(), bytes, deadline);
        if (got != Received::Done)
            return got;
    }
    const qsizetype announced =
        protocol::payloadSize(QByteArrayView(bytes).first(protocol::kHeaderBytes));
    const qsizetype have = bytes.size() - protocol::kHeaderBytes;
    if (announced < 0 || have > announced)
        return Received::Done;
    size = announced;
    return have == size ? Received::Done : receive(socket, size - have, bytes, deadline);
}

constexpr qsizetype kKeptRoomBytes = qsizetype(4) << 20;

// The next of a queue's answers into `bytes` (header and payload), from what
// was read ahead and what the socket holds; `size` as for receiveAnswer().
// What came past it stays ahead for the next.
template <typename Ahead>
Received receiveAhead(int socket, Ahead &ahead, QByteArray &bytes, qsizetype &size,
                      Clock::time_point deadline)
{
    size = -1;
    const auto held = [&] { return ahead.bytes.size() - ahead.at; };
    const auto need = [&](qsizetype wanted) {
        if (held() >= wanted)
            return Received::Done;
        ahead.bytes.remove(0, ahead.at);
        ahead.at = 0;
        return receive(socket, wanted - held(), ahead.bytes, deadline, kFirstReadBytes);
    };
    Received got = need(protocol::kHeaderBytes);
    if (got != Received::Done)
        return got;
    const qsizetype announced =
        protocol::payloadSize(QByteArrayView(ahead.bytes).sliced(ahead.at, protocol::kHeaderBytes));
    if (announced < 0)
        return Received::Done; // size -1: malformed
    got = need(protocol::kHeaderBytes + announced);
    if (got != Received::Done)
        return got;
    bytes = ahead.bytes.sliced(ahead.at, protocol::kHeaderBytes + announced);
    ahead.at += protocol::kHeaderBytes + announced;
    size = announced;
    return Received::Done;
}

// A search's members (protocol::MemberChunk), chunk by chunk, each handed to
// `sink` and answered, until the answer itself: its payload in `bytes` from
// kHeaderBytes on, and `size` as for receiveAnswer(). Once the sink has taken
// a member the helper is told to stop and what it still sends is passed over.
Received receiveMembers(int socket, MemberSink &sink, QByteArray &bytes, qsizetype &size,
                        Clock::time_point deadline)
{
    bool found = false;
    for (;;) {
        size = -1;
        bytes.resize(0);
        Received got = receive(socket, protocol::kHeaderBytes, bytes, deadline);
        if (got != Received::Done)
            return got;
        quint32 magic = 0;
        const qsizetype announced = protocol::frameSize(bytes, magic);
        if (announced < 0)
            return Received::Done;
        got = receive(socket, announced, bytes, deadline);
        if (got != Received::Done || magic == protocol::kAnswerMagic) {
            size = announced;
            return got;
        }
        bool wait = false;
        bool taken = false;
        const QByteArrayView payload = QByteArrayView(bytes).sliced(protocol::kHeaderBytes);
        if (found) {
            wait = !payload.isEmpty() && payload.front() == char(protocol::kWait);
        } else if (!protocol::decodeMembers(payload, sink, wait, taken)) {
            return Received::Done; // size -1: malformed
        }
        found = found || taken;
        if (!wait)
            continue;
        char word[4];
        qToLittleEndian(found ? protocol::kStopMagic : protocol::kGoOnMagic, word);
        ssize_t n;
        do {
            n = ::send(socket, word, sizeof word, MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        if (n != sizeof word)
            return Received::Failed;
    }
}

QByteArray directoryOfProgram()
{
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return {};
    QByteArray self(path, n);
    return self.left(self.lastIndexOf('/') + 1);
}

ReadResult failed(QString reason)
{
    return {Failure::ReaderFailed, std::move(reason), {}};
}

ReadResult cancelled()
{
    return failed(QString::fromLatin1(DocumentReader::kCancelled));
}

} // namespace

ReaderPool::ReaderPool(Options options) : m_options(std::move(options))
{
    m_programs[Others] =
        m_options.program.isEmpty() ? helperProgram("tarnwell-docreader") : m_options.program;
    m_programs[PdfOnly] =
        m_options.pdfProgram.isEmpty() ? helperProgram("tarnwell-pdfreader") : m_options.pdfProgram;
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    m_max = m_options.helpers > 0 ? m_options.helpers : std::min(cores, 4);
}

ReaderPool::~ReaderPool()
{
    // Every read() has returned: all helpers are idle.
    for (std::vector<Helper> &idle : m_idle) {
        for (Helper &helper : idle)
            end(helper);
    }
}

int ReaderPool::started() const
{
    const std::lock_guard lock(m_mutex);
    return m_started;
}

QByteArray ReaderPool::helperProgram(const char *name)
{
    const QByteArray dir = directoryOfProgram();
    if (dir.isEmpty())
        return {};
    for (const char *place :
         {"", "../libexec/tarnwell/", "../documents/helper/", "../../documents/helper/"}) {
        const QByteArray path = dir + place + name;
        if (access(path.constData(), X_OK) == 0)
            return path;
    }
    return {};
}

bool ReaderPool::spawn(Program program, Helper &helper, QString &reason) const
{
    const QByteArray &path = m_programs[program];
    if (path.isEmpty()) {
        reason = QStringLiteral("the document reader %1 is not installed")
                     .arg(program == PdfOnly ? u"tarnwell-pdfreader" : u"tarnwell-docreader");
        return false;
    }
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        reason = QStringLiteral("cannot start the document reader: ") + strerror(errno);
        return false;
    }
    // The child's end must not already be descriptor 3 (dup2 onto itself
    // would leave it close-on-exec), nor one the helper takes as standard.
    int child = pair[1];
    if (child <= kHelperSocket) {
        child = fcntl(pair[1], F_DUPFD_CLOEXEC, kHelperSocket + 1);
        ::close(pair[1]);
    }
    const Limits &limits = m_options.limits;
    const QByteArray addressSpace = QByteArray::number(limits.addressSpaceBytes);
    const QByteArray cpu = QByteArray::number(limits.cpuSecondsPerDocument);
    const QByteArray textUnits = QByteArray::number(limits.textUnits);
    const QByteArray fileBytes = QByteArray::number(limits.fileBytes);
    const QByteArray memberBytes = QByteArray::number(limits.memberBytes);
    const QByteArray documentBytes = QByteArray::number(limits.documentBytes);
    const QByteArray zipMembers = QByteArray::number(limits.zipMembers);
    const QByteArray xmlDepth = QByteArray::number(limits.xmlDepth);
    const QByteArray chunkBytes = QByteArray::number(limits.archiveChunkBytes);
    // The page the helper tells its progress in, past the descriptors it
    // takes; without one it answers each document at once.
    int page = memfd_create("tarnwell-progress", MFD_CLOEXEC);
    if (page >= 0 && page <= protocol::kProgressDescriptor) {
        const int moved = fcntl(page, F_DUPFD_CLOEXEC, protocol::kProgressDescriptor + 1);
        ::close(page);
        page = moved;
    }
    void *progress = MAP_FAILED;
    if (page >= 0 && ftruncate(page, sizeof(quint64)) == 0)
        progress = mmap(nullptr, sizeof(quint64), PROT_READ, MAP_SHARED, page, 0);
    const char *flag = progress != MAP_FAILED ? "--progress" : nullptr;
    const char *argv[] = {path.constData(),
                          "--address-space",
                          addressSpace.constData(),
                          "--cpu",
                          cpu.constData(),
                          "--text-units",
                          textUnits.constData(),
                          "--file-bytes",
                          fileBytes.constData(),
                          "--member-bytes",
                          memberBytes.constData(),
                          "--document-bytes",
                          documentBytes.constData(),
                          "--zip-members",
                          zipMembers.constData(),
                          "--xml-depth",
                          xmlDepth.constData(),
                          "--chunk-bytes",
                          chunkBytes.constData(),
                          flag,
                          nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, child, kHelperSocket);
    if (progress != MAP_FAILED)
        posix_spawn_file_actions_adddup2(&actions, page, protocol::kProgressDescriptor);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // No signal blocked or ignored that a limit or a crash must end it with,
    // whatever the calling thread blocks.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : {SIGXCPU, SIGXFSZ, SIGSEGV, SIGBUS, SIGABRT, SIGPIPE})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int error = child < 0 ? errno
                                : posix_spawn(&pid, argv[0], &actions, &attributes,
                                              const_cast<char **>(argv), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (child >= 0)
        ::close(child);
    if (page >= 0)
        ::close(page); // the mapping stays
    if (error != 0) {
        if (progress != MAP_FAILED)
            munmap(progress, sizeof(quint64));
        ::close(pair[0]);
        reason = QStringLiteral("cannot start the document reader: ") + strerror(error);
        return false;
    }
    // The longest a read of an answer waits (receiveAnswer()).
    const int wall = std::max(1, limits.wallMillisecondsPerDocument);
    const timeval wait{wall / 1000, (wall % 1000) * 1000};
    setsockopt(pair[0], SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    // Half the send buffer the system gives (it counts each message's
    // bookkeeping too), for documents handed over in their requests.
    int sendBuffer = 0;
    socklen_t length = sizeof sendBuffer;
    if (getsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &sendBuffer, &length) != 0)
        sendBuffer = 0;
    helper.sendRoom = std::min<qsizetype>(sendBuffer / 2, qsizetype(1) << 20);
    helper.pid = pid;
    helper.socket = pair[0];
    helper.requests = 0;
    helper.progress =
        progress != MAP_FAILED ? static_cast<const std::atomic<quint64> *>(progress) : nullptr;
    return true;
}

QString ReaderPool::end(Helper &helper)
{
    if (helper.socket >= 0)
        ::close(helper.socket);
    helper.socket = -1;
    helper.query.clear();
    if (helper.progress)
        munmap(const_cast<std::atomic<quint64> *>(helper.progress), sizeof(quint64));
    helper.progress = nullptr;
    helper.requests = 0;
    if (helper.pid <= 0)
        return {};
    ::kill(helper.pid, SIGKILL); // a helper that died already keeps its status
    int status = 0;
    pid_t got;
    do {
        got = waitpid(helper.pid, &status, 0);
    } while (got < 0 && errno == EINTR);
    helper.pid = -1;
    if (got <= 0)
        return QStringLiteral("reader ended");
    if (WIFEXITED(status))
        return QStringLiteral("reader exited (status %1)").arg(WEXITSTATUS(status));
    const int signal = WTERMSIG(status);
    if (signal == SIGKILL)
        return QStringLiteral("reader killed (signal 9)");
    return QStringLiteral("reader crashed (signal %1)").arg(signal);
}

ReadResult ReaderPool::ask(Helper &helper, int descriptor, Container container,
                           const ArchiveChoice &choice, MemberSink *members, bool &alive,
                           bool &unsent, const std::stop_token &stop) const
{
    alive = false;
    unsent = !sendRequest(helper.socket, descriptor, container, choice, members != nullptr);
    helper.requests += !unsent;
    if (unsent && stop.stop_requested()) {
        unsent = false; // no second try
        end(helper);
        return cancelled();
    }
    if (unsent)
        return failed(end(helper));
    return hear(helper, members, alive, stop);
}

ReadResult ReaderPool::hear(Helper &helper, MemberSink *members, bool &alive,
                            const std::stop_token &stop, Ahead *ahead, std::optional<bool> *found,
                            Awaited *awaited) const
{
    alive = false;
    const Limits &limits = m_options.limits;
    auto deadline = Clock::now() + std::chrono::milliseconds(limits.wallMillisecondsPerDocument);
    QByteArray bytes;
    Received got = Received::Failed;
    qsizetype size = -1;
    {
        // A stop wakes the wait below: the socket, still open here, reads as
        // closed. The callback is gone (and done) before the socket is closed.
        const std::stop_callback wake(stop,
                                      [socket = helper.socket] { ::shutdown(socket, SHUT_RDWR); });
        if (members) {
            // Room for the chunks, kept from archive to archive on this
            // thread while it is small.
            thread_local QByteArray room;
            got = receiveMembers(helper.socket, *members, room, size, deadline);
            if (got == Received::Done && size >= 0)
                bytes = room.first(room.size()); // the answer alone
            if (room.capacity() > kKeptRoomBytes)
                room = QByteArray();
        } else if (ahead) {
            got = receiveAhead(helper.socket, *ahead, bytes, size, deadline);
            // The helper may have answered and gone on, holding its answers
            // back: the document it reads now has its own time, from when it
            // began it.
            quint32 reading = awaited ? awaited->begun : 0;
            quint32 begun = 0;
            Clock::time_point since;
            while (got == Received::TimedOut && awaited &&
                   progressOf(helper.progress, helper.requests, begun, since) && begun > reading) {
                reading = begun;
                deadline = since + std::chrono::milliseconds(limits.wallMillisecondsPerDocument);
                got = receiveAhead(helper.socket, *ahead, bytes, size, deadline);
            }
            // Ended: on the document it read last.
            if (got != Received::Done && got != Received::TimedOut && awaited &&
                progressOf(helper.progress, helper.requests, begun, since) && begun > reading)
                reading = begun;
            if (awaited)
                awaited->endedOn = got == Received::Done ? awaited->begun : reading;
        } else {
            got = receiveAnswer(helper.socket, bytes, size, deadline);
        }
    }
    if (stop.stop_requested()) {
        end(helper);
        return cancelled();
    }
    if (got == Received::TimedOut) {
        end(helper);
        return failed(QStringLiteral("over the %1 s time limit")
                          .arg(double(limits.wallMillisecondsPerDocument) / 1000.0));
    }
    if (got != Received::Done) {
        // Ended before it answered: why is in its status.
        const QString why = end(helper);
        return failed(why.contains(QStringLiteral("signal 24"))
                          ? QStringLiteral("over the %1 s processor time limit")
                                .arg(limits.cpuSecondsPerDocument)
                          : why);
    }
    ReadResult result;
    std::optional<bool> verdict;
    if (size < 0 || !protocol::decodeAnyAnswer(bytes, result, verdict) || (verdict && !found)) {
        end(helper);
        return failed(QStringLiteral("reader gave a malformed answer"));
    }
    alive = true;
    if (found)
        *found = verdict;
    return result;
}

ReadResult ReaderPool::read(int descriptor, Container container)
{
    return readStoppable(descriptor, container, {});
}

ReadResult ReaderPool::readStoppable(int descriptor, Container container, std::stop_token stop)
{
    return readWith(descriptor, container, {}, nullptr, stop);
}

ReadResult ReaderPool::readArchive(int descriptor, const ArchiveChoice &choice,
                                   std::stop_token stop)
{
    return readWith(descriptor, Container::Archive, choice, nullptr, stop);
}

ReadResult ReaderPool::readArchiveInto(int descriptor, const ArchiveChoice &choice,
                                       MemberSink &sink, std::stop_token stop)
{
    return readWith(descriptor, Container::Archive, choice, &sink, stop);
}

ReadResult ReaderPool::readWith(int descriptor, Container container, const ArchiveChoice &choice,
                                MemberSink *members, const std::stop_token &stop)
{
    ReadResult result = readBy(container == Container::Pdf ? PdfOnly : Others, descriptor,
                               container, choice, members, stop);
    // A file with a PDF inside: read again, whole, by the helper that reads
    // PDF (a search is handed the members again; one that matched stopped
    // the first read).
    if (result.failure == Failure::NeedsPdfReader && container != Container::Pdf)
        result = readBy(PdfOnly, descriptor, container, choice, members, stop);
    if (result.failure == Failure::NeedsPdfReader) {
        result.failure = Failure::Unsupported;
        if (container != Container::Pdf)
            result.reason = QStringLiteral("a PDF inside could not be read");
    }
    return result;
}

bool ReaderPool::acquire(Program program, Helper &helper, const std::stop_token &stop)
{
    std::vector<Helper> &mine = m_idle[program];
    std::vector<Helper> &others = m_idle[program == PdfOnly ? Others : PdfOnly];
    Helper replaced; // an idle helper of the other program, whose place this read takes
    {
        std::unique_lock lock(m_mutex);
        if (!m_idleCv.wait(lock, stop,
                           [&] { return !mine.empty() || m_running < m_max || !others.empty(); }))
            return false;
        if (!mine.empty()) {
            helper = mine.back();
            mine.pop_back();
        } else if (m_running < m_max) {
            ++m_running;
        } else {
            replaced = others.front(); // the longest idle
            others.erase(others.begin());
        }
    }
    // Ended before its successor starts: never more than m_max at once.
    end(replaced);
    return true;
}

bool ReaderPool::start(Program program, Helper &helper, QString &reason)
{
    if (helper.pid > 0)
        return true;
    if (!spawn(program, helper, reason))
        return false;
    const std::lock_guard lock(m_mutex);
    ++m_started;
    return true;
}

void ReaderPool::giveBack(Program program, Helper &helper, bool alive)
{
    {
        const std::lock_guard lock(m_mutex);
        if (alive)
            m_idle[program].push_back(helper);
        else
            --m_running;
    }
    helper = Helper{};
    // One waiter, of either program: an idle helper is taken by a read of its
    // program or ended for one of the other, and a free place serves both.
    m_idleCv.notify_one();
}

ReadResult ReaderPool::readBy(Program program, int descriptor, Container container,
                              const ArchiveChoice &choice, MemberSink *members,
                              const std::stop_token &stop)
{
    Helper helper;
    if (!acquire(program, helper, stop))
        return cancelled();
    ReadResult result;
    bool alive = false;
    try {
        // A helper left idle may have died since (killed from outside) and
        // so never got the request: one more try, with a new one.
        for (int attempt = 0; attempt < 2; ++attempt) {
            QString reason;
            if (!start(program, helper, reason)) {
                result = failed(reason);
                break;
            }
            bool unsent = false;
            result = ask(helper, descriptor, container, choice, members, alive, unsent, stop);
            if (!unsent)
                break;
        }
    } catch (const std::bad_alloc &) {
        end(helper);
        alive = false;
        result = failed(QStringLiteral("out of memory for the document's text"));
    }
    giveBack(program, helper, alive);
    return result;
}

// Documents for the helper that reads every kind but PDF, sent one after
// another down its socket. The helper reads each as soon as it has read the
// one before, and its answers wait in the socket (or the helper waits to
// write one) until taken; while more requests wait in its hands, it holds
// its answers back and writes them together. At most kMostWaiting are sent
// ahead, so the requests never fill the socket. When the helper ends in the
// middle, the document it was reading by its progress word takes the blame,
// as in read(); the others not answered (those after it, and those before
// it whose answers it held back) are read again alone. A document has the
// time per document from when its answer is awaited, or, when the helper
// went on past it holding answers back, from when the helper began the one
// it reads now.
class ReaderPool::Queue final : public DocumentQueue {
public:
    Queue(ReaderPool &pool, const MatchQuery *query)
        : m_pool(pool), m_query(query ? protocol::encodeQuery(*query) : QByteArray()),
          m_choice(query ? query->choice : ArchiveChoice{})
    {}
    ~Queue() override
    {
        if (!m_holding)
            return;
        if (m_waiting > 0)
            end(m_helper); // answers nobody takes
        m_pool.giveBack(Others, m_helper, m_helper.pid > 0);
    }
    Queue(const Queue &) = delete;
    Queue &operator=(const Queue &) = delete;

    bool send(int descriptor, Container container, const std::stop_token &stop,
              QByteArrayView whole) override
    {
        // An archive's members are matched as they come: only where the
        // helper matches them itself does it fit in one answer.
        const bool archive = container == Container::Archive;
        if ((archive && m_query.isEmpty()) || container == Container::Pdf || m_broken ||
            m_waiting >= kMostWaiting)
            return false;
        if (!m_holding) {
            if (!m_pool.acquire(Others, m_helper, stop))
                return false;
            m_holding = true;
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            QString reason;
            if (!m_pool.start(Others, m_helper, reason))
                break; // read alone, it says why
            // A small document goes in its request while the documents sent
            // so far leave room for it in the socket: the helper then reads
            // it from there, and a send never waits for the helper (which
            // may be waiting for this thread to take its answers). Such
            // requests are gathered and sent at once, before the next that
            // brings a descriptor or before the first answer is awaited, so
            // that the helper takes them in one read and answers them in one
            // write. A helper that has not the query yet gets it first.
            const bool told = m_query.isEmpty() || m_helper.query == m_query;
            const qsizetype telling = told ? 0 : m_query.size() + kMessageCost;
            const qsizetype cost = whole.size() + kMessageCost;
            const bool inRequest = !whole.isEmpty() && !archive &&
                                   whole.size() <= protocol::kMostInlineBytes &&
                                   m_held + telling + cost <= m_helper.sendRoom;
            const qsizetype held = telling + (inRequest ? cost : 0);
            const bool verdict = !m_query.isEmpty();
            if (!told) {
                m_gathered += m_query;
                m_helper.query = m_query;
            }
            if (inRequest) {
                m_gathered += protocol::encodeBytesRequest(container, whole.size(), verdict);
                m_gathered += whole;
            }
            if (inRequest || (sendGathered() && sendRequest(m_helper.socket, descriptor, container,
                                                            m_choice, false, verdict))) {
                const int slot = (m_first + m_waiting) % kMostWaiting;
                m_costs[slot] = held;
                m_begun[slot] = ++m_helper.requests;
                m_held += held;
                ++m_waiting;
                return true;
            }
            if (m_waiting > 0) {
                // It ended with documents of ours: their answers tell why.
                m_broken = true;
                return false;
            }
            end(m_helper); // ended while idle: one more try, with a new one
        }
        release();
        return false;
    }
    int waiting() const override { return m_waiting; }
    ReadResult take(bool &again, const std::stop_token &stop, std::optional<bool> &found) override
    {
        again = false;
        found.reset();
        if (m_waiting <= 0) {
            again = true;
            return {};
        }
        // Documents not sent to a helper that ended are read again.
        if (!m_broken && !sendGathered())
            m_broken = true;
        --m_waiting;
        m_held -= m_costs[m_first];
        Awaited awaited{m_begun[m_first], m_begun[m_first]};
        m_first = (m_first + 1) % kMostWaiting;
        ReadResult result;
        if (m_broken) {
            // The one it ended on, reached, takes the blame; the rest are
            // read again.
            again = awaited.begun != m_blamed;
            if (!again)
                result = m_blame;
        } else {
            bool alive = false;
            try {
                result = m_pool.hear(m_helper, nullptr, alive, stop, &m_ahead, &found, &awaited);
            } catch (const std::bad_alloc &) {
                end(m_helper);
                result = failed(QStringLiteral("out of memory for the document's text"));
            }
            // It ended on a later one, this one's answer held back with it.
            const bool later = !alive && awaited.endedOn != awaited.begun && !stop.stop_requested();
            if (later) {
                m_blame = result;
                m_blamed = awaited.endedOn;
                result = {};
            }
            // Bytes past the last answer were never asked for.
            m_broken = !alive || (m_waiting == 0 && m_ahead.at < m_ahead.bytes.size());
            again = later || result.failure == Failure::NeedsPdfReader ||
                    result.failure == Failure::NotDocument;
        }
        if (m_waiting == 0)
            release();
        return result;
    }

private:
    static constexpr int kMostWaiting = 16;
    // What a message costs in the socket's buffer beyond its bytes, about.
    static constexpr qsizetype kMessageCost = 1024;

    // Sends the requests gathered; false when the helper ended.
    bool sendGathered()
    {
        const bool sent = m_gathered.isEmpty() || sendAll(m_helper.socket, m_gathered);
        m_gathered.resize(0); // its room kept
        return sent;
    }

    void release()
    {
        if (!m_holding)
            return;
        if (m_broken)
            end(m_helper);
        m_pool.giveBack(Others, m_helper, m_helper.pid > 0);
        // What is ahead was answers to documents of this queue; past the
        // last of them, a helper sends nothing unasked.
        m_ahead.bytes.clear();
        m_ahead.at = 0;
        m_holding = false;
        m_broken = false;
        m_blamed = 0;
    }

    ReaderPool &m_pool;
    const QByteArray m_query;     // the search's (protocol::encodeQuery), or empty
    const ArchiveChoice m_choice; // how an archive's members are read
    Helper m_helper;
    Ahead m_ahead;         // answers read ahead, of the helper held
    QByteArray m_gathered; // requests not yet sent, documents and all
    int m_waiting = 0;
    int m_first = 0;                      // in m_costs, of the oldest waiting
    qsizetype m_costs[kMostWaiting] = {}; // of each waiting document in the socket
    quint32 m_begun[kMostWaiting] = {};   // of each, the helper's count of requests at it
    qsizetype m_held = 0;                 // their sum
    bool m_holding = false;
    bool m_broken = false; // the helper ended: what is left waiting is read again
    // but the one it ended on after holding answers back (m_begun's count, or
    // 0), which takes the blame.
    quint32 m_blamed = 0;
    ReadResult m_blame;
};

std::unique_ptr<DocumentQueue> ReaderPool::queue(const MatchQuery *query)
{
    return std::make_unique<Queue>(*this, query);
}

} // namespace documents
