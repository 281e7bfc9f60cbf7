// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The reader helper's side of a search's queue (ReaderProtocol.h): a
// document's text matched where it was read, against the query the program
// sent, so that only the verdict goes back. Declared here, for the helper;
// defined by the engine (search/QueryMatcher.cpp), whose matcher this is and
// which the helper program links: the engine's room includes the readers',
// never the other way round. Not polymorphic: the helper calls it shut in,
// where a sanitizer build cannot check a virtual call's object.

#include "documents/DocumentReader.h"

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <vector>

namespace documents {

class QueryMatcher {
public:
    // May throw std::bad_alloc.
    explicit QueryMatcher(const MatchQuery &query);
    ~QueryMatcher();
    QueryMatcher(const QueryMatcher &) = delete;
    QueryMatcher &operator=(const QueryMatcher &) = delete;

    // True when one of a document's lines holds every word, as the search
    // matches a document's lines.
    bool matchesLines(const std::vector<QString> &lines);
    bool matchesLine(QStringView line);
    // A check that gives each line to matchesLine(), for a reader to call as
    // it reads (TextSink::handLinesTo); valid while this matcher lives.
    LineCheck lineCheck();
    // True when an archive's text member holds a line with every word, read
    // as the search reads a text file in the query's encoding mode.
    bool matchesText(QByteArrayView bytes);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace documents
