// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The seam between the program and whatever turns a document into its text.
// The real one hands the file to a pool of reader helper processes; tests give
// a double. The engine's workers call read() from several threads at once.

#include "documents/DocumentText.h"
#include "documents/Recognize.h"
#include "text/EncodingMode.h"
#include "text/Fold.h"

#include <QByteArrayView>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <vector>

namespace documents {

// How an archive's members are read: a document by its reader when
// `documents` is on, anything else as text in `encoding` (auto decides for
// each member on its own).
struct ArchiveChoice {
    bool documents = false;
    platform::EncodingMode encoding = platform::EncodingMode::Cp932;
};

// What a search looks for, for a queue whose reader can match a document's
// text itself, so that only the verdict comes back (the reader helper): the
// words and folds of the search's matcher, and how archives' members are
// read (their text in `choice.encoding`, as the search reads text files).
struct MatchQuery {
    QStringList words;
    textfold::Folds folds;
    ArchiveChoice choice;
};

// Where a search takes an archive's members as the reader comes to them,
// rather than the whole text at the end: a text member's bytes as they are
// (to be read as a text file's would be) or a document member's lines. Each
// returns true when the search has found what it looks for: the reader then
// reads no further member.
class MemberSink {
public:
    virtual ~MemberSink() = default;
    virtual bool textMember(QByteArrayView bytes) = 0;
    virtual bool documentLines(const std::vector<QString> &lines) = 0;
};

// MemberSink's two calls as an archive reader makes them: plain calls, not
// virtual ones, since a sanitizer build checks a virtual call's object with
// a pipe() that the shut-in helper may not make.
struct MemberCalls {
    std::function<bool(QByteArrayView)> text;
    std::function<bool(const std::vector<QString> &)> lines;
};

// Documents read one after another by one reader, each handed over before
// the answers to those before it are taken: a search's worker hands over the
// documents among the few files it took, goes on opening the next ones while
// the reader reads, and takes the answers at the end. Neither side then waits
// for the other at each document. One thread's; made by DocumentReader::queue().
class DocumentQueue {
public:
    virtual ~DocumentQueue() = default;
    // Hands over the document open as `descriptor`, which the reader's look
    // took for `container`. False when the queue does not take it (a kind it
    // leaves to the reader's own calls, or no reader to be had): the caller
    // reads it alone, and only once every answer is taken, since the queue
    // may hold a reader the other call would wait for. The descriptor stays
    // the caller's and may be closed at once. whole: the file's bytes, when
    // the caller has read all of them already (they may then be sent in
    // place of the descriptor), else empty.
    virtual bool send(int descriptor, Container container, const std::stop_token &stop,
                      QByteArrayView whole = {}) = 0;
    // Documents sent whose answers are not yet taken.
    virtual int waiting() const = 0;
    // The answer for the oldest document sent and not yet answered, as
    // read() would give it. again: it was not read to an answer here (its
    // reader ended before it, or it needs another reader): read it alone.
    // A stop gives the rest up, each answered as cancelled.
    // found: set when the reader matched the text against the queue's query
    // itself (DocumentReader::queue), to whether a line held every word; the
    // result then holds no lines. Left unset when the lines are there.
    virtual ReadResult take(bool &again, const std::stop_token &stop,
                            std::optional<bool> &found) = 0;
};

class DocumentReader {
public:
    virtual ~DocumentReader() = default;
    // The text of the regular file open for reading as `descriptor`, which
    // sniff() took for `container`. The descriptor stays the caller's (it is
    // neither closed nor moved). Thread-safe; never throws for a bad file:
    // a file that cannot be read as a document says why in the result.
    virtual ReadResult read(int descriptor, Container container) = 0;
    // As read(), for a caller that may give up waiting (the viewer, when the
    // user chooses another file or closes the window): once `stop` is
    // requested the read ends soon, whatever the document, with
    // Failure::ReaderFailed and the reason kCancelled. A reader that cannot
    // give up reads to the end (the default).
    virtual ReadResult readStoppable(int descriptor, Container container, std::stop_token stop)
    {
        Q_UNUSED(stop);
        return read(descriptor, container);
    }
    static constexpr const char *kCancelled = "cancelled";

    // What a file's first bytes make of it for this reader: sniff() by default.
    virtual Container recognize(const char *data, qsizetype size) const
    {
        return sniff(data, size);
    }
    // For a file whose first bytes recognize() took for none: how many of
    // its last bytes recognizeTail() would look at (a program that may carry
    // an archive at its end), or 0.
    virtual qsizetype tailBytes(const char *data, qsizetype size) const
    {
        Q_UNUSED(data);
        Q_UNUSED(size);
        return 0;
    }
    // What the last bytes of a file of fileSize bytes make of it.
    virtual Container recognizeTail(const char *tail, qsizetype size, qint64 fileSize) const
    {
        Q_UNUSED(tail);
        Q_UNUSED(size);
        Q_UNUSED(fileSize);
        return Container::None;
    }
    // The members' text of the archive or compressed file open as
    // `descriptor` (Kind::Archive), each member's path a location. A zip
    // that is an Office or OpenDocument file is read as that document when
    // choice.documents is on, and is NotDocument when it is off. Members
    // that could not be read leave the result ok but are named in its
    // reason. A reader that reads no archives answers NotDocument.
    virtual ReadResult readArchive(int descriptor, const ArchiveChoice &choice,
                                   std::stop_token stop = {})
    {
        Q_UNUSED(descriptor);
        Q_UNUSED(choice);
        Q_UNUSED(stop);
        return {Failure::NotDocument, {}, {}};
    }

    // For a search: read() (readStoppable() when a stop is possible), the
    // lines handed to `sink`. A reader that reads archives hands their
    // members over as they come and stops at the first the sink takes; the
    // result then holds no lines, only whether and why the file failed.
    virtual ReadResult readInto(int descriptor, Container container, MemberSink &sink,
                                std::stop_token stop = {})
    {
        ReadResult result = stop.stop_possible()
                                ? readStoppable(descriptor, container, std::move(stop))
                                : read(descriptor, container);
        if (result.ok())
            sink.documentLines(result.text.lines);
        return result;
    }
    // A queue of documents for one thread of a search (DocumentQueue), or
    // none where the reader has no use for one (the default). With a query
    // its answers may hold the verdict in place of the lines (take()), and
    // it may take archives too.
    virtual std::unique_ptr<DocumentQueue> queue(const MatchQuery *query = nullptr)
    {
        Q_UNUSED(query);
        return {};
    }
    // readArchive() for a search, as readInto().
    virtual ReadResult readArchiveInto(int descriptor, const ArchiveChoice &choice,
                                       MemberSink &sink, std::stop_token stop = {})
    {
        ReadResult result = readArchive(descriptor, choice, std::move(stop));
        if (result.ok())
            sink.documentLines(result.text.lines);
        return result;
    }
};

} // namespace documents
