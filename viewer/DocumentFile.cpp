// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/DocumentFile.h"

#include "platform/PathOpen.h"

namespace {

// Closes the descriptor when it goes.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            platform::closeDescriptor(fd);
    }
};

} // namespace

ListedDocument readListedDocument(const QByteArray &nativePath, documents::DocumentReader &reader)
{
    ListedDocument out;
    Descriptor file{platform::openForReading(nativePath)};
    if (file.fd < 0)
        return out;
    if (!platform::isRegularFile(file.fd))
        return out;

    char head[documents::kSniffBytes];
    const qsizetype got = platform::readAt(file.fd, head, documents::kSniffBytes, 0);
    if (got < 0)
        return out;
    const documents::Container container = documents::sniff(head, got);
    if (container == documents::Container::None) {
        out.state = ListedDocument::Text;
        return out;
    }
    documents::ReadResult result = reader.read(file.fd, container);
    if (result.ok()) {
        out.state = ListedDocument::Document;
        out.text = std::move(result.text);
    } else if (result.failure == documents::Failure::NotDocument) {
        out.state = ListedDocument::Text;
    }
    return out;
}
