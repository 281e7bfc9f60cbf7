// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A search's choice of what is read through a reader, in front of the reader
// itself (the pool): documents, archives, or both. Made once per search; the
// engine and the viewer ask it what a file's first bytes are and hand it the
// file, and it sends each to the reader the way the choice says:
// - documents alone: as the reader does (sniff()).
// - archives on: an archive or compressed file (sniffArchive()) and every
//   zip go to readArchive(), which reads an Office or OpenDocument zip as
//   that document when documents are on and answers NotDocument (so it is
//   read as text, as with archives off) when they are off.
// - documents off: PDF, compound files and RTF are text, as with both off.

#include "documents/DocumentReader.h"

namespace documents {

class ChoiceReader final : public DocumentReader {
public:
    ChoiceReader(DocumentReader &reader, bool documents, bool archives,
                 platform::EncodingMode encoding)
        : m_reader(reader), m_documents(documents),
          m_archives(archives), m_choice{documents, encoding}
    {}

    bool documents() const { return m_documents; }
    bool archives() const { return m_archives; }
    platform::EncodingMode encoding() const { return m_choice.encoding; }

    Container recognize(const char *data, qsizetype size) const override;
    // With archives on, a program's end: a self-extracting zip (zipAtEnd()).
    qsizetype tailBytes(const char *data, qsizetype size) const override;
    Container recognizeTail(const char *tail, qsizetype size, qint64 fileSize) const override;
    ReadResult read(int descriptor, Container container) override
    {
        return readStoppable(descriptor, container, {});
    }
    ReadResult readStoppable(int descriptor, Container container, std::stop_token stop) override;
    ReadResult readArchive(int descriptor, const ArchiveChoice &choice,
                           std::stop_token stop = {}) override
    {
        return m_reader.readArchive(descriptor, choice, std::move(stop));
    }
    // As readStoppable(), for a search.
    ReadResult readInto(int descriptor, Container container, MemberSink &sink,
                        std::stop_token stop = {}) override;
    ReadResult readArchiveInto(int descriptor, const ArchiveChoice &choice, MemberSink &sink,
                               std::stop_token stop = {}) override
    {
        return m_reader.readArchiveInto(descriptor, choice, sink, std::move(stop));
    }
    // The reader's queue, taking only what readInto() would hand to read(),
    // and with a query archives too, read as this choice says.
    std::unique_ptr<DocumentQueue> queue(const MatchQuery *query = nullptr) override;

private:
    DocumentReader &m_reader;
    bool m_documents;
    bool m_archives;
    ArchiveChoice m_choice;
};

} // namespace documents
