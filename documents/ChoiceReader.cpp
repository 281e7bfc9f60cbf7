// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ChoiceReader.h"

namespace documents {

namespace {

class ChoiceQueue final : public DocumentQueue {
public:
    ChoiceQueue(std::unique_ptr<DocumentQueue> queue, bool documents, bool archives, bool matches)
        : m_queue(std::move(queue)), m_documents(documents), m_archives(archives),
          m_matches(matches)
    {}
    bool send(int descriptor, Container container, const std::stop_token &stop,
              QByteArrayView whole) override
    {
        // As readInto() hands them on: an archive (and any zip) as an
        // archive, which the queue takes only where its reader matches.
        if (m_archives && (container == Container::Archive || container == Container::Zip))
            return m_matches && m_queue->send(descriptor, Container::Archive, stop, {});
        if (!m_documents || container == Container::Archive)
            return false;
        return m_queue->send(descriptor, container, stop, whole);
    }
    int waiting() const override { return m_queue->waiting(); }
    ReadResult take(bool &again, const std::stop_token &stop, std::optional<bool> &found) override
    {
        return m_queue->take(again, stop, found);
    }

private:
    std::unique_ptr<DocumentQueue> m_queue;
    bool m_documents;
    bool m_archives;
    bool m_matches; // made with a query
};

} // namespace

Container ChoiceReader::recognize(const char *data, qsizetype size) const
{
    if (m_archives) {
        // Before the documents' look: a tar holding a PDF shows "%PDF-" in
        // its first kilobyte.
        const Container archive = sniffArchive(data, size);
        if (archive != Container::None)
            return archive;
    }
    return m_documents ? sniff(data, size) : Container::None;
}

qsizetype ChoiceReader::tailBytes(const char *data, qsizetype size) const
{
    return m_archives && isProgram(data, size) ? kZipTailBytes : 0;
}

Container ChoiceReader::recognizeTail(const char *tail, qsizetype size, qint64 fileSize) const
{
    return m_archives && zipAtEnd(tail, size, fileSize) ? Container::Archive : Container::None;
}

ReadResult ChoiceReader::readStoppable(int descriptor, Container container, std::stop_token stop)
{
    if (m_archives && (container == Container::Archive || container == Container::Zip))
        return m_reader.readArchive(descriptor, m_choice, std::move(stop));
    if (!m_documents || container == Container::Archive)
        return {Failure::NotDocument, {}, {}};
    return m_reader.readStoppable(descriptor, container, std::move(stop));
}

ReadResult ChoiceReader::readInto(int descriptor, Container container, MemberSink &sink,
                                  std::stop_token stop)
{
    if (m_archives && (container == Container::Archive || container == Container::Zip))
        return m_reader.readArchiveInto(descriptor, m_choice, sink, std::move(stop));
    if (!m_documents || container == Container::Archive)
        return {Failure::NotDocument, {}, {}};
    return m_reader.readInto(descriptor, container, sink, std::move(stop));
}

std::unique_ptr<DocumentQueue> ChoiceReader::queue(const MatchQuery *query)
{
    // Archives alone are queued only where the reader matches them.
    if (!m_documents && !(m_archives && query))
        return {};
    MatchQuery mine;
    if (query) {
        mine = *query;
        mine.choice = m_choice;
    }
    std::unique_ptr<DocumentQueue> queue = m_reader.queue(query ? &mine : nullptr);
    if (!queue)
        return {};
    return std::make_unique<ChoiceQueue>(std::move(queue), m_documents, m_archives,
                                         query != nullptr);
}

} // namespace documents
