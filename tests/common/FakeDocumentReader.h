// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A document reader for tests: answers with the result set for the file's
// whole content, read from the descriptor it is given (so it sees the file
// the caller opened, not a name), and NotDocument for any other content.
// Records every call. Thread-safe, like the real one.
//
// A slow reader on request: hold() makes the reads of one content that can
// be stopped (the viewer's and the window's search's) wait until release(),
// or until their stop is requested (as the reader pool gives up), unless the
// hold ignores stops (a reader that cannot give up). Only the next `reads`
// reads are held; later ones go on (a search's read beside a held viewer's).

#include "documents/DocumentReader.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <condition_variable>
#include <mutex>

#include <unistd.h>

class FakeDocumentReader : public documents::DocumentReader {
public:
    struct Call {
        QByteArray content;
        documents::Container container;
    };

    void setResult(const QByteArray &content, documents::ReadResult result)
    {
        const std::lock_guard lock(m_mutex);
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
        return readStoppable(descriptor, container, {});
    }
    documents::ReadResult readStoppable(int descriptor, documents::Container container,
                                        std::stop_token stop) override
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
        std::unique_lock lock(m_mutex);
        m_calls.append({content, container});
        if (m_holding && content == m_held && stop.stop_possible() && m_holdsLeft > 0) {
            --m_holdsLeft;
            ++m_waiting;
            m_changed.notify_all();
            m_changed.wait(lock, m_heedStop ? stop : std::stop_token{},
                           [&] { return !m_holding || content != m_held; });
            --m_waiting;
            if (m_holding && content == m_held) {
                ++m_stopped;
                m_changed.notify_all();
                return {documents::Failure::ReaderFailed, QString::fromLatin1(kCancelled), {}};
            }
        }
        const auto it = m_results.constFind(content);
        if (it != m_results.cend())
            return *it;
        documents::ReadResult none;
        none.failure = documents::Failure::NotDocument;
        return none;
    }

    void hold(const QByteArray &content, bool heedStop = true, int reads = 1 << 30)
    {
        const std::lock_guard lock(m_mutex);
        m_holding = true;
        m_held = content;
        m_heedStop = heedStop;
        m_holdsLeft = reads;
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_holding = false;
        m_changed.notify_all();
    }
    // Reads held now, and held reads that ended by their stop so far.
    int waiting() const
    {
        const std::lock_guard lock(m_mutex);
        return m_waiting;
    }
    int stopped() const
    {
        const std::lock_guard lock(m_mutex);
        return m_stopped;
    }

    QList<Call> calls() const
    {
        const std::lock_guard lock(m_mutex);
        return m_calls;
    }
    void clearCalls()
    {
        const std::lock_guard lock(m_mutex);
        m_calls.clear();
        m_stopped = 0;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable_any m_changed;
    QHash<QByteArray, documents::ReadResult> m_results;
    QList<Call> m_calls;
    bool m_holding = false;
    bool m_heedStop = true;
    QByteArray m_held;
    int m_waiting = 0;
    int m_holdsLeft = 1 << 30;
    int m_stopped = 0;
};
