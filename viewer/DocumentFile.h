// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Reading a listed file again for the viewer, the way a search with documents
// on read it: a file whose first bytes look like a document goes to the
// reader; a file that does not, or that the reader finds to be no document,
// is a text file.

#include "documents/DocumentReader.h"

#include <QByteArray>

struct ListedDocument {
    enum State {
        Text,       // not a document: show it as a text file
        Document,   // `text` holds its lines
        Unreadable, // cannot be opened, or a document that cannot be read
    };
    State state = Unreadable;
    documents::DocumentText text;
};

// Opens the file read-only (platform::openForReading), takes its first bytes
// for documents::sniff(), and hands the descriptor to the reader when they
// look like a document. Only a regular file is read. Blocks until the reader
// answers.
ListedDocument readListedDocument(const QByteArray &nativePath, documents::DocumentReader &reader);
