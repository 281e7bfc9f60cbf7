// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The seam between the program and whatever turns a document into its text.
// The real one hands the file to a pool of reader helper processes; tests give
// a double. The engine's workers call read() from several threads at once.

#include "documents/DocumentText.h"
#include "documents/Recognize.h"
#include "text/EncodingMode.h"

#include <stop_token>

namespace documents {

// How an archive's members are read: a document by its reader when
// `documents` is on, anything else as text in `encoding` (auto decides for
// each member on its own).
struct ArchiveChoice {
    bool documents = false;
    platform::EncodingMode encoding = platform::EncodingMode::Cp932;
};

class DocumentReader {
public:
    virtual ~DocumentReader() = default;
    // The text of the regular file open for reading as `descriptor`, which
    // sniff() took for `container`. The descriptor stays the caller's (it is
    // neither closed nor moved). Thread-safe; never throws for a bad file:
    // a file that cannot be read as a document says why in the result.
    virtual ReadResult read(int descriptor, Container container) = 0;
    // As read(), for a caller that may give up waiting (the viewer, when the
    // user chooses another file or closes the window): once `stop` is
    // requested the read ends soon, whatever the document, with
    // Failure::ReaderFailed and the reason kCancelled. A reader that cannot
    // give up reads to the end (the default).
    virtual ReadResult readStoppable(int descriptor, Container container, std::stop_token stop)
    {
        Q_UNUSED(stop);
        return read(descriptor, container);
    }
    static constexpr const char *kCancelled = "cancelled";

    // What a file's first bytes make of it for this reader: sniff() by default.
    virtual Container recognize(const char *data, qsizetype size) const
    {
        return sniff(data, size);
    }
    // The members' text of the archive or compressed file open as
    // `descriptor` (Kind::Archive), each member's path a location. A zip
    // that is an Office or OpenDocument file is read as that document when
    // choice.documents is on, and is NotDocument when it is off. Members
    // that could not be read leave the result ok but are named in its
    // reason. A reader that reads no archives answers NotDocument.
    virtual ReadResult readArchive(int descriptor, const ArchiveChoice &choice,
                                   std::stop_token stop = {})
    {
        Q_UNUSED(descriptor);
        Q_UNUSED(choice);
        Q_UNUSED(stop);
        return {Failure::NotDocument, {}, {}};
    }
};

} // namespace documents
