// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The seam between the program and whatever turns a document into its text.
// The real one hands the file to a pool of reader helper processes; tests give
// a double. The engine's workers call read() from several threads at once.

#include "documents/DocumentText.h"
#include "documents/Recognize.h"

#include <stop_token>

namespace documents {

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
};

} // namespace documents
