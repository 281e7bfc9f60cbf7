// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A document reader for tests: answers with the result set for the file's
// whole content, read from the descriptor it is given (so it sees the file
// the caller opened, not a name), and NotDocument for any other content.
// Records every call. Thread-safe, like the real one.

#include "documents/DocumentReader.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <unistd.h>

class FakeDocumentReader : public documents::DocumentReader {
public:
    struct Call {
        QByteArray content;
        documents::Container container;
    };

    void setResult(const QByteArray &content, documents::ReadResult result)
    {
        QMutexLocker lock(&m_mutex);
        m_results.insert(content, std::move(result));
    }
    void setText(const QByteArray &content, documents::DocumentText text)
    {
        documents::ReadResult result;
        result.text = std::move(text);
        setResult(content, std::move(result));
    }

    documents::ReadResult read(int descriptor, documents::Container container) override
    {
        QByteArray content;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t n = ::pread(descriptor, buffer, sizeof buffer, at);
            if (n <= 0)
                break;
            content.append(buffer, n);
            at += n;
        }
        QMutexLocker lock(&m_mutex);
        m_calls.append({content, container});
        const auto it = m_results.constFind(content);
        if (it != m_results.cend())
            return *it;
        documents::ReadResult none;
        none.failure = documents::Failure::NotDocument;
        return none;
    }

    QList<Call> calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }
    void clearCalls()
    {
        QMutexLocker lock(&m_mutex);
        m_calls.clear();
    }

private:
    mutable QMutex m_mutex;
    QHash<QByteArray, documents::ReadResult> m_results;
    QList<Call> m_calls;
};
