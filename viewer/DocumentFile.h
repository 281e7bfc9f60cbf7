// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Reading a listed file again for the viewer, the way a search with documents
// on read it: a file whose first bytes look like a document goes to the
// reader; a file that does not, or that the reader finds to be no document,
// is a text file.
//
// The first bytes are a single small read, taken where the file is chosen;
// the reader may take up to its time limit, so the viewer hands it to
// BackgroundDocumentReads and shows the text when it comes.

#include "documents/DocumentReader.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

class QObject;

struct ListedDocument {
    enum State {
        Text,       // not a document: show it as a text file
        Document,   // `text` holds its lines
        Unreadable, // cannot be opened, or a document that cannot be read
    };
    State state = Unreadable;
    documents::DocumentText text;
    // For an archive shown in part: which members are not shown, and why.
    QString reason;
};

// A listed file, open read-only (platform::openForReading), and what its first
// bytes say. Only a regular file is read. Owns the descriptor.
class OpenedListedFile {
public:
    // `reader` says what the first bytes are (recognize()); none: sniff().
    explicit OpenedListedFile(const QByteArray &nativePath,
                              const documents::DocumentReader *reader = nullptr);
    ~OpenedListedFile();
    OpenedListedFile(OpenedListedFile &&other) noexcept;
    OpenedListedFile &operator=(OpenedListedFile &&) = delete;

    // Unreadable, Text (not a document by its first bytes) or Document (one
    // for the reader, which read() asks).
    ListedDocument::State state() const { return m_state; }

    // The reader's answer, on any thread: Document with its lines, Text when
    // the reader finds no document, Unreadable when it cannot read it or
    // `stop` ended the read. Blocks until the reader answers.
    ListedDocument read(documents::DocumentReader &reader, std::stop_token stop = {}) const;

private:
    int m_fd = -1;
    ListedDocument::State m_state = ListedDocument::Unreadable;
    documents::Container m_container = documents::Container::None;
};

// Opens the file and, when it looks like a document, reads it (blocking).
ListedDocument readListedDocument(const QByteArray &nativePath, documents::DocumentReader &reader);

// Reads a listed document on a thread of its own, one choice at a time: the
// answer is handed to `done` on the thread that made this object, through its
// event loop, unless start() or stop() came since (a newer choice wins, a late
// answer is dropped). A read superseded or stopped is asked to stop
// (DocumentReader::readStoppable) and joined later. Where no thread can be
// started (the process is at its limit), start() reads on the calling thread
// and calls `done` before it returns. The reader must outlive this object.
class BackgroundDocumentReads {
public:
    using Done = std::function<void(ListedDocument)>;

    BackgroundDocumentReads();
    // Stops every read and waits for them: each ends soon after its stop,
    // with a reader that can give up (the reader pool can).
    ~BackgroundDocumentReads();
    BackgroundDocumentReads(const BackgroundDocumentReads &) = delete;
    BackgroundDocumentReads &operator=(const BackgroundDocumentReads &) = delete;

    void start(OpenedListedFile file, documents::DocumentReader &reader, Done done);
    // Drops the answer of the read in progress, if any, and asks it to stop.
    void stop();
    // Whether the latest start() has not yet answered (and was not stopped).
    bool busy() const { return m_busy; }
    // Reads whose thread has not yet handed back its answer (delivered or
    // not), superseded ones included.
    int running() const;

private:
    struct Read {
        std::jthread thread;
        std::shared_ptr<std::atomic<bool>> finished;
    };
    struct Answer {
        quint64 generation;
        ListedDocument document;
    };
    // On this object's thread, when a read posted its answer.
    void takeAnswers();

    std::unique_ptr<QObject> m_mailbox; // where the reads' wake-ups go
    std::vector<Read> m_reads;
    // Read and written on this object's thread only.
    quint64 m_generation = 0;
    bool m_busy = false;
    Done m_done;
    std::mutex m_mutex;
    std::vector<Answer> m_answers; // guarded by m_mutex
};
