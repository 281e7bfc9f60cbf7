// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The engine's side of documents: a file whose first bytes documents::sniff()
// takes for a document is searched through the text its reader gives, with
// the same exact comparison as decoded text (TextMatcher::matchesLines). The
// first bytes are read ahead into the worker's own room and handed to the
// text matcher from there when the file is text after all, so a text file
// costs no extra read.

#include "documents/DocumentReader.h"
#include "search/KeywordMatcher.h"
#include "search/TextMatcher.h"

#include <QByteArray>
#include <QString>

#include <stop_token>

namespace search {

// A file's bytes for the text matcher, looked at as they come: the first
// read goes into the matcher's own buffer, and when those bytes look like a
// document it fails (-1), so the matcher stops at once and container() says
// which. A first read of fewer than kSniffBytes is served from a small look
// ahead of its own (tests shrink the block).
class SniffingSource final : public ByteSource {
public:
    // `reader` says what the first bytes are (DocumentReader::recognize);
    // none: documents::sniff().
    explicit SniffingSource(ByteSource &file, const documents::DocumentReader *reader = nullptr)
        : m_file(file), m_reader(reader)
    {}
    documents::Container container() const { return m_container; }
    // Keeps a document's bytes when its first read held the whole file.
    void keepWhole() { m_keepWhole = true; }
    // Those bytes (keepWhole()), else empty.
    QByteArrayView whole() const { return m_whole; }
    // Back to the first byte, to read the file as text after all.
    bool rewindAsText();

    qsizetype read(char *buffer, qsizetype max) override;
    bool atEnd() const override { return m_at == m_have && m_file.atEnd(); }
    bool rewind() override;

private:
    static constexpr qsizetype kFirstReadBytes = 64 * 1024;
    // Reads until `want` bytes or the end; -1 on an error.
    qsizetype fill(char *buffer, qsizetype want);
    // What the reader makes of a program's last bytes (a self-extracting
    // zip), given its first `n` in `head`.
    documents::Container lookAtTail(const char *head, qsizetype n);

    ByteSource &m_file;
    const documents::DocumentReader *m_reader;
    bool m_first = true;
    bool m_keepWhole = false;
    QByteArray m_whole;
    bool m_sniff = true;
    documents::Container m_container = documents::Container::None;
    char m_head[documents::kSniffBytes];
    qsizetype m_have = 0; // of m_head
    qsizetype m_at = 0;
};

// The search's side of an archive's members: a text member matched as a
// text file of the run's mode (`blockSize` bytes at a time), a document's
// lines as a document's. Both the engine and the reader helper, which
// matches the archives a search's queue hands it, take members so.
class MemberMatcher final : public documents::MemberSink {
public:
    MemberMatcher(TextMatcher &matcher, qsizetype blockSize)
        : m_matcher(matcher), m_blockSize(blockSize)
    {}
    bool textMember(QByteArrayView bytes) override;
    bool documentLines(const std::vector<QString> &lines) override;
    bool found() const { return m_found; }

private:
    TextMatcher &m_matcher;
    qsizetype m_blockSize;
    bool m_found = false;
};

struct DocumentOutcome {
    enum Verdict { Text, Matched, Unmatched, Unreadable };
    Verdict verdict = Text;
    QString reason; // for Unreadable
};

// A file open as `descriptor` that looked like `container`: Text when it is
// not a document after all (read it as text), else whether a line of its text
// holds every word, or why it cannot be read. An archive's text members are
// matched as text files are (`blockSize` bytes at a time), and the first that
// matches ends the archive's reading (DocumentReader::readInto).
// A stop requested on `stop` gives the read up (DocumentReader::readStoppable).
DocumentOutcome matchDocument(documents::Container container, int descriptor, TextMatcher &matcher,
                              documents::DocumentReader &reader, std::stop_token stop = {},
                              qsizetype blockSize = qsizetype(256) << 10);

// What a document's read makes of the file: `found` when a line of its text
// (or one of its members) held every word.
DocumentOutcome documentOutcome(const documents::ReadResult &result, bool found);

} // namespace search
