// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The real DocumentReader: a small pool of reader helper processes, started on
// first need, at most `helpers` at once of both programs together: PDFs go to
// tarnwell-pdfreader, every other kind to tarnwell-docreader (which starts
// faster, without poppler; a file with a PDF inside is read again by
// tarnwell-pdfreader). Each read() takes an idle helper of its program
// (or starts one, ending an idle one of the other program when the pool is
// full, or waits for one), hands it
// the open descriptor over their socket, and waits for the answer at most the
// wall-clock time per document. A helper that crashes, is ended by a limit,
// runs over its time or answers nonsense is killed and reaped, and its
// document fails with Failure::ReaderFailed and the reason ("reader crashed
// (signal 11)", "over the 30 s time limit"); the next document gets a new
// helper. Thread-safe. readStoppable() gives up when asked: a read waiting
// for a helper stops waiting, and a helper in the middle of the document is
// woken (its socket shut down) and ended.

#include "documents/DocumentReader.h"
#include "documents/Limits.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <vector>

namespace documents {

class ReaderPool final : public DocumentReader {
public:
    struct Options {
        // The helper programs, for every kind but PDF and for PDF; empty:
        // helperProgram("tarnwell-docreader"), helperProgram("tarnwell-pdfreader").
        QByteArray program;
        QByteArray pdfProgram;
        Limits limits;
        // Helpers at most; 0: the processor count, at most 4.
        int helpers = 0;
    };

    explicit ReaderPool(Options options);
    ReaderPool() : ReaderPool(Options{}) {}
    ~ReaderPool() override;
    ReaderPool(const ReaderPool &) = delete;
    ReaderPool &operator=(const ReaderPool &) = delete;

    ReadResult read(int descriptor, Container container) override;
    ReadResult readStoppable(int descriptor, Container container, std::stop_token stop) override;
    // By tarnwell-docreader, which links libarchive.
    ReadResult readArchive(int descriptor, const ArchiveChoice &choice,
                           std::stop_token stop = {}) override;
    // The members in chunks as the helper reads them (ReaderProtocol.h).
    ReadResult readArchiveInto(int descriptor, const ArchiveChoice &choice, MemberSink &sink,
                               std::stop_token stop = {}) override;

    // Documents sent ahead to one helper of tarnwell-docreader (every kind
    // but PDF), their answers taken in order. With a query the helper
    // matches each document itself and answers the verdict, and archives
    // are taken too (read as the query's choice says).
    std::unique_ptr<DocumentQueue> queue(const MatchQuery *query = nullptr) override;

    // Helpers started so far (a test sees one replaced).
    int started() const;

    // Where the helper program `name` is: beside the running program, in
    // ../libexec/tarnwell/ from it (installed), or in the build tree
    // (../documents/helper/ from it). Empty when none of them is there.
    static QByteArray helperProgram(const char *name);

private:
    struct Helper {
        int pid = -1;
        int socket = -1;
        // Bytes of documents that may wait in the socket unread by the
        // helper without a send ever blocking (Queue).
        qsizetype sendRoom = 0;
        // The query it was sent last (protocol::encodeQuery), or empty.
        QByteArray query;
        // Document requests sent to it, and the page where it tells which
        // it reads (protocol::progressWord), or null.
        quint32 requests = 0;
        const std::atomic<quint64> *progress = nullptr;
    };
    // A queue's document whose answer is awaited: begun, the helper's count
    // of document requests begun (Helper::requests) while it reads this one.
    // endedOn: the count while it read the document it ended on, or ran out
    // of time on (begun, unless the helper held back the answers to this
    // one and others and went on).
    struct Awaited {
        quint32 begun = 0;
        quint32 endedOn = 0;
    };
    enum Program { Others, PdfOnly, kPrograms };
    class Queue;
    bool spawn(Program program, Helper &helper, QString &reason) const;
    // Starts `helper` unless it runs; false and why when it cannot.
    bool start(Program program, Helper &helper, QString &reason);
    // A helper of `program` to use, idle or not yet started (pid -1): waits
    // for one while the pool is full; false once stopped.
    bool acquire(Program program, Helper &helper, const std::stop_token &stop);
    // Back to the pool when it is alive, else ended; `helper` is then empty.
    void giveBack(Program program, Helper &helper, bool alive);
    // Kills and reaps the helper; tells how it ended.
    static QString end(Helper &helper);
    // alive: the helper may read the next document; unsent: it never got this one.
    // members: a search's, for the members in chunks.
    ReadResult ask(Helper &helper, int descriptor, Container container, const ArchiveChoice &choice,
                   MemberSink *members, bool &alive, bool &unsent,
                   const std::stop_token &stop) const;
    // Answers read ahead of the one taken: a queue's helper answers one
    // document after another, and one read takes whatever has come.
    struct Ahead {
        QByteArray bytes;
        qsizetype at = 0; // where the next answer starts
    };
    // The helper's answer to the request it was sent last (its members first,
    // for a search's archive); ends a helper that fails. ahead: a queue's,
    // whose next answer may be there already and whose answers may follow.
    // found: set when the answer is a verdict (DocumentQueue::take()).
    // awaited: a queue's, whose helper may hold its answers back.
    ReadResult hear(Helper &helper, MemberSink *members, bool &alive, const std::stop_token &stop,
                    Ahead *ahead = nullptr, std::optional<bool> *found = nullptr,
                    Awaited *awaited = nullptr) const;
    ReadResult readWith(int descriptor, Container container, const ArchiveChoice &choice,
                        MemberSink *members, const std::stop_token &stop);
    ReadResult readBy(Program program, int descriptor, Container container,
                      const ArchiveChoice &choice, MemberSink *members,
                      const std::stop_token &stop);

    Options m_options;
    int m_max;
    mutable std::mutex m_mutex;
    std::condition_variable_any m_idleCv;
    QByteArray m_programs[kPrograms];
    std::vector<Helper> m_idle[kPrograms]; // guarded by m_mutex, by program
    int m_running = 0;                     // guarded by m_mutex: idle or in use, of both programs
    int m_started = 0;                     // guarded by m_mutex
};

} // namespace documents
