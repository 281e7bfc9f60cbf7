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

#include <QString>

namespace search {

// A file's bytes, the first of them read ahead.
class PeekedSource final : public ByteSource {
public:
    // room: where the bytes read ahead are kept (the worker's own).
    PeekedSource(ByteSource &file, ScratchBuffer<char> &room) : m_file(file), m_room(room) {}
    // Reads up to `want` bytes ahead (fewer only at the end); false on a read
    // error (then the first read() fails too).
    bool peek(qsizetype want);
    QByteArrayView peeked() const { return {m_data, m_have}; }

    qsizetype read(char *buffer, qsizetype max) override;
    bool atEnd() const override { return m_at == m_have && m_end; }
    bool rewind() override;

private:
    ByteSource &m_file;
    ScratchBuffer<char> &m_room;
    const char *m_data = nullptr;
    qsizetype m_have = 0;
    qsizetype m_at = 0;
    bool m_end = false;
    bool m_error = false;
};

struct DocumentOutcome {
    enum Verdict { Text, Matched, Unmatched, Unreadable };
    Verdict verdict = Text;
    QString reason; // for Unreadable
};

// For a file open as `descriptor`, read from `source`: peeks at its first
// `blockSize` bytes; Text when it is not a document (or the bytes cannot be
// read): then read it as text from `source`. Else whether a line of its text
// holds every word, or why it cannot be read.
DocumentOutcome matchIfDocument(PeekedSource &source, int descriptor, TextMatcher &matcher,
                                documents::DocumentReader &reader, qsizetype blockSize);

// The worker's room for bytes read ahead (one per thread).
ScratchBuffer<char> &peekRoom();

} // namespace search
