// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/DocumentFile.h"

#include "platform/PathOpen.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <system_error>
#include <utility>
#include <vector>

OpenedListedFile::OpenedListedFile(const QByteArray &nativePath,
                                   const documents::DocumentReader *reader)
    : m_fd(platform::openForReading(nativePath))
{
    if (m_fd < 0 || !platform::isRegularFile(m_fd))
        return;
    // As far as an ISO 9660 image's mark and a self-extracting LZH's
    // first header: one read of one file the user opened.
    std::vector<char> head(static_cast<std::size_t>(documents::kArchiveSniffBytes));
    const qsizetype got = platform::readAt(m_fd, head.data(), documents::kArchiveSniffBytes, 0);
    if (got < 0)
        return;
    m_container = reader ? reader->recognize(head.data(), got) : documents::sniff(head.data(), got);
    // A program with an archive at its end (a self-extracting zip): as the
    // search looks at it, from the file's last bytes.
    if (m_container == documents::Container::None && reader &&
        documents::isProgram(head.data(), got)) {
        const qsizetype want = reader->tailBytes(head.data(), got);
        const qint64 size = want > 0 ? platform::fileSize(m_fd) : -1;
        if (size > 0) {
            const qsizetype n = qsizetype(std::min<qint64>(want, size));
            std::vector<char> tail(static_cast<std::size_t>(n));
            if (platform::readAt(m_fd, tail.data(), n, size - n) == n)
                m_container = reader->recognizeTail(tail.data(), n, size);
        }
    }
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
        out.reason = std::move(result.reason);
    } else {
        out.state = result.failure == documents::Failure::NotDocument ? ListedDocument::Text
                                                                      : ListedDocument::Unreadable;
    }
    return out;
}

ListedDocument readListedDocument(const QByteArray &nativePath, documents::DocumentReader &reader)
{
    return OpenedListedFile(nativePath, &reader).read(reader);
}

namespace {

constexpr QEvent::Type kAnswered = QEvent::User;

// Where the reads' answers are taken, on the thread that made it: an event
// posted to it runs `take`.
class Mailbox final : public QObject {
public:
    explicit Mailbox(std::function<void()> take) : m_take(std::move(take)) {}
    bool event(QEvent *event) override
    {
        if (event->type() != kAnswered)
            return QObject::event(event);
        m_take();
        return true;
    }

private:
    std::function<void()> m_take;
};

} // namespace

BackgroundDocumentReads::BackgroundDocumentReads()
    : m_mailbox(std::make_unique<Mailbox>([this] { takeAnswers(); }))
{}

BackgroundDocumentReads::~BackgroundDocumentReads()
{
    stop();
    m_reads.clear(); // each jthread joins
    // The mailbox goes last: a wake-up posted to it before the join goes
    // with it.
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
    m_done = nullptr;
    for (Read &read : m_reads)
        read.thread.request_stop();
    // The reads that ended are joined at once, without waiting.
    std::erase_if(m_reads, [](const Read &read) { return read.finished->load(); });
}

void BackgroundDocumentReads::takeAnswers()
{
    std::vector<Answer> answers;
    {
        const std::lock_guard lock(m_mutex);
        answers.swap(m_answers);
    }
    for (Answer &answer : answers) {
        if (answer.generation != m_generation || !m_done)
            continue; // a newer choice came since
        m_busy = false;
        const Done done = std::exchange(m_done, nullptr);
        done(std::move(answer.document));
    }
}

void BackgroundDocumentReads::start(OpenedListedFile file, documents::DocumentReader &reader,
                                    Done done)
{
    stop();
    m_busy = true;
    m_done = std::move(done);
    const quint64 generation = m_generation;
    auto finished = std::make_shared<std::atomic<bool>>(false);
    // The wake-up is made here and only posted by the read's thread, and the
    // answer goes through m_mutex: what the two threads share is in plain
    // sight of the standard library (and of ThreadSanitizer).
    auto wake = std::make_unique<QEvent>(kAnswered);
    auto opened = std::make_shared<const OpenedListedFile>(std::move(file));
    m_reads.reserve(m_reads.size() + 1);
    try {
        std::jthread thread([this, generation, finished, &reader, wake = std::move(wake),
                             opened](std::stop_token stop) mutable {
            ListedDocument document;
            try {
                document = opened->read(reader, stop);
            } catch (const std::bad_alloc &) {
                document = {}; // unreadable: too large for memory
            }
            {
                const std::lock_guard lock(m_mutex);
                m_answers.push_back({generation, std::move(document)});
            }
            QCoreApplication::postEvent(m_mailbox.get(), wake.release());
            finished->store(true);
        });
        m_reads.push_back({std::move(thread), std::move(finished)});
    } catch (const std::system_error &) {
        // No thread to be had (the process is at its limit): read here and
        // wait, as a text file is read, rather than show nothing.
        m_busy = false;
        const Done answer = std::exchange(m_done, nullptr);
        answer(opened->read(reader));
    }
}
