// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/DocumentFile.h"

#include "platform/PathOpen.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <utility>

OpenedListedFile::OpenedListedFile(const QByteArray &nativePath)
    : m_fd(platform::openForReading(nativePath))
{
    if (m_fd < 0 || !platform::isRegularFile(m_fd))
        return;
    char head[documents::kSniffBytes];
    const qsizetype got = platform::readAt(m_fd, head, documents::kSniffBytes, 0);
    if (got < 0)
        return;
    m_container = documents::sniff(head, got);
    m_state =
        m_container == documents::Container::None ? ListedDocument::Text : ListedDocument::Document;
}

OpenedListedFile::~OpenedListedFile()
{
    if (m_fd >= 0)
        platform::closeDescriptor(m_fd);
}

OpenedListedFile::OpenedListedFile(OpenedListedFile &&other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_state(other.m_state), m_container(other.m_container)
{
    other.m_state = ListedDocument::Unreadable;
}

ListedDocument OpenedListedFile::read(documents::DocumentReader &reader, std::stop_token stop) const
{
    ListedDocument out;
    out.state = m_state;
    if (m_state != ListedDocument::Document)
        return out;
    documents::ReadResult result = reader.readStoppable(m_fd, m_container, std::move(stop));
    if (result.ok()) {
        out.text = std::move(result.text);
    } else {
        out.state = result.failure == documents::Failure::NotDocument ? ListedDocument::Text
                                                                      : ListedDocument::Unreadable;
    }
    return out;
}

ListedDocument readListedDocument(const QByteArray &nativePath, documents::DocumentReader &reader)
{
    return OpenedListedFile(nativePath).read(reader);
}

BackgroundDocumentReads::BackgroundDocumentReads() : m_context(std::make_unique<QObject>()) {}

BackgroundDocumentReads::~BackgroundDocumentReads()
{
    stop();
    m_reads.clear(); // each jthread joins
    // The context goes last: an answer posted to it before the join is
    // dropped with it.
}

int BackgroundDocumentReads::running() const
{
    return int(std::count_if(m_reads.begin(), m_reads.end(),
                             [](const Read &read) { return !read.finished->load(); }));
}

void BackgroundDocumentReads::stop()
{
    ++m_generation;
    m_busy = false;
    for (Read &read : m_reads)
        read.thread.request_stop();
    // The reads that ended are joined at once, without waiting.
    std::erase_if(m_reads, [](const Read &read) { return read.finished->load(); });
}

void BackgroundDocumentReads::start(OpenedListedFile file, documents::DocumentReader &reader,
                                    Done done)
{
    stop();
    m_busy = true;
    const quint64 generation = m_generation;
    auto finished = std::make_shared<std::atomic<bool>>(false);
    QObject *context = m_context.get();
    std::jthread thread([this, context, generation, finished, &reader, done = std::move(done),
                         file = std::move(file)](std::stop_token stop) {
        auto document = std::make_shared<ListedDocument>(file.read(reader, stop));
        // Delivered on the context's thread; m_generation is read only there.
        QMetaObject::invokeMethod(
            context,
            [this, generation, document, done] {
                if (generation != m_generation)
                    return;
                m_busy = false;
                done(std::move(*document));
            },
            Qt::QueuedConnection);
        finished->store(true);
    });
    m_reads.push_back({std::move(thread), std::move(finished)});
}
