// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/QueryMatcher.h"

#include "search/DocumentScan.h"
#include "search/TextMatcher.h"

namespace documents {

namespace {
// A text member's bytes read at a time, as the engine reads a member.
constexpr qsizetype kBlockBytes = qsizetype(256) << 10;
} // namespace

struct QueryMatcher::State {
    explicit State(const MatchQuery &query)
        : matcher(query.words, query.choice.encoding, query.folds), members(matcher, kBlockBytes)
    {}
    TextMatcher matcher;
    search::MemberMatcher members;
};

QueryMatcher::QueryMatcher(const MatchQuery &query) : m_state(std::make_unique<State>(query)) {}

QueryMatcher::~QueryMatcher() = default;

bool QueryMatcher::matchesLines(const std::vector<QString> &lines)
{
    return m_state->matcher.matchesLines(lines);
}

bool QueryMatcher::matchesLine(QStringView line)
{
    return m_state->matcher.matchesLine(line);
}

LineCheck QueryMatcher::lineCheck()
{
    return {[](void *context, QStringView line) {
                return static_cast<QueryMatcher *>(context)->matchesLine(line);
            },
            this, false,
            [](void *context, QStringView text) {
                return static_cast<QueryMatcher *>(context)->m_state->matcher.matchesLinesIn(text);
            },
            [](void *context, QByteArrayView text) {
                return static_cast<QueryMatcher *>(context)->m_state->matcher.matchesUtf8LinesIn(
                    text);
            }};
}

bool QueryMatcher::matchesText(QByteArrayView bytes)
{
    return m_state->members.textMember(bytes);
}

} // namespace documents
