// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Tests whether a file has one line holding every word of the keyword.
//
// Lines end at CR-LF or a lone CR; a lone LF stays inside the line. Each line is
// compared as code-page-932 text, exactly and case-sensitively. The bytes are
// read in fixed-size blocks, so memory stays bounded however long a line is.
//
// Words whose text has a single byte form are searched for as raw bytes and
// confirmed at a character boundary; the other words are found in the decoded
// line, which is decoded only when the raw bytes hold one of the byte forms of
// some part of the word (a prefilter), and the first word's forms drive the
// search for candidate lines. With several words a line cut by a block's end
// is kept whole for the next block, up to a block's length; a longer line is
// searched in pieces that overlap by the longest word, with a record of the
// words already seen in that line.
//
// A line's words are looked for one after another, the rarest first, and the
// first one missing settles the line; once that has cost several times the
// line, the words still unseen are found in one pass per word length instead.
// No line before the next occurrence of the word the last line lacked can
// match, so the search for lines goes on from there.

#include "search/ScratchBuffer.h"
#include "search/WordSweep.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <vector>

// Where the scanner pulls a file's bytes from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to max bytes: the count, 0 at the end, -1 on an error.
    virtual qsizetype read(char *buffer, qsizetype max) = 0;
    // True when the bytes returned so far are all there is (saves a read).
    virtual bool atEnd() const { return false; }
    // Starts again from the first byte; false when the source cannot.
    virtual bool rewind() { return false; }
    // Up to max of the last bytes, leaving where read() goes on, and in
    // `size` how many bytes there are in all; -1 where the source cannot.
    virtual qsizetype readTail(char *buffer, qsizetype max, qint64 &size)
    {
        Q_UNUSED(buffer);
        Q_UNUSED(max);
        Q_UNUSED(size);
        return -1;
    }
};

// Reads until `want` bytes are in buffer or the source ends (atEnd), so that
// a source that hands out a few bytes at a time still fills a block: the
// matchers search the overlap kept from one piece again with the next, which
// costs no more than the piece only while a piece is at least that long. The
// count; -1 when the first read fails (after some bytes, a failure ends the
// fill with those, and the next read meets it).
qsizetype readBlock(ByteSource &source, char *buffer, qsizetype want, bool &atEnd);

class KeywordMatcher {
public:
    // words: non-empty texts; every one must occur in the same line.
    explicit KeywordMatcher(const QStringList &words);

    // True when some word can never occur in a decoded line (a character no
    // byte sequence decodes to, or a CR): no file can match.
    bool neverMatches() const { return m_never; }

    // True when a line of the source holds every word. Reading stops at the
    // first such line. A read error counts as no match. blockSize is the
    // number of bytes read at a time (at least 1; more when the longest word
    // is longer). `held` bytes of the file may already be at the start of
    // room() (no more than blockSize); the source then holds the rest, and
    // heldAtEnd says there is none.
    bool matches(ByteSource &source, qsizetype blockSize, qsizetype held = 0,
                 bool heldAtEnd = false);

    // The room matches() reads into, at the same address for the same
    // blockSize: at least `capacity` bytes, and as many as blocks of blockSize
    // need. Its bytes stay until a call asks for more room. A caller can read
    // a file's first bytes there, look at them, and hand them on as `held`.
    char *room(qsizetype blockSize, qsizetype capacity);

private:
    struct Needle {
        QByteArray bytes;
        // The offsets of its two rarest bytes, rare1 < rare2 (equal for one byte).
        qsizetype rare1 = 0;
        qsizetype rare2 = 0;
    };
    struct Word {
        QString text;
        bool exact = false; // needles[0] is the word's only byte form
        // The exact form, or a prefilter: every occurrence of the word holds one
        // of these at a unit boundary. Empty: no prefilter.
        std::vector<Needle> needles;
    };
    // Finds the earliest raw occurrence of any of a word's needles in one span,
    // remembering each needle's next hit while the start moves forward.
    class AnyFinder;

    // The bytes read at a time: at least the overlap kept between pieces, so
    // that searching the overlap again never costs more than the new bytes (a
    // keyword longer than a block would otherwise be searched for again over
    // its own length at every block).
    qsizetype blockFor(qsizetype blockSize) const
    {
        return std::max({blockSize, qsizetype(1), m_span + 2});
    }
    // The most bytes kept for the next block: with several words, a line cut
    // by the block's end is kept whole up to a block's length (checked once,
    // whole, its first missing word settles it); else an overlap of the
    // longest word.
    qsizetype keptFor(qsizetype block) const
    {
        return m_words.size() > 1 ? std::max(m_span + 2, block) : m_span + 2;
    }
    static const char *findFirst(const char *from, const char *end,
                                 const std::vector<Needle> &needles);
    const char *skipLacking(const char *from, const char *end);
    static Needle makeNeedle(const QByteArray &bytes);
    static std::vector<Needle> prefilter(const QString &text);
    static const char *find(const char *from, const char *end, const Needle &needle);
    static bool findAny(const char *from, const char *end, const std::vector<Needle> &needles);
    static const char *findAtBoundary(const char *segment, const char *end, const Needle &needle);

    bool wordIn(const Word &word, const char *begin, const char *end, bool &decoded,
                qsizetype &cost);
    bool checkSegment(const char *begin, const char *end, bool lineEnds);
    void sweepExactWords(const char *begin, const char *end);
    bool scanLines(const char *begin, const char *end);
    void resetLine();
    bool seen(size_t i) const { return m_seen[i] == m_stamp; }
    void markSeen(size_t i);
    class SweepClient;

    std::vector<Word> m_words; // exact words first, the rarest at the front
    bool m_never = false;
    bool m_primary = false; // m_words[0] is exact and drives the scan
    qsizetype m_span = 1;   // the most bytes an occurrence of a word can take

    // Per line in progress: the words already seen in its earlier pieces (those
    // whose stamp is the line's).
    std::vector<quint32> m_seen;
    quint32 m_stamp = 1;
    qsizetype m_seenCount = 0;
    // The order in which a line's words are looked for: a word a line lacked
    // moves to the front, as the next lines will likely lack it too.
    std::vector<size_t> m_order;
    search::WordSweep<char> m_sweep; // the exact words, for lines with many
    bool m_continuing = false;       // the current line began in an earlier block

    ScratchBuffer<char> m_buffer; // reused from file to file
    QString m_decoded;
};
