// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "viewer/DocumentFile.h"

#include "platform/PathOpen.h"

#include <sys/stat.h>

#include <cerrno>
#include <unistd.h>

namespace {

// Closes the descriptor when it goes.
struct Descriptor {
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

ListedDocument readListedDocument(const QByteArray &nativePath, documents::DocumentReader &reader)
{
    ListedDocument out;
    Descriptor file{platform::openForReading(nativePath)};
    if (file.fd < 0)
        return out;
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return out;

    char head[documents::kSniffBytes];
    qsizetype got = 0;
    while (got < documents::kSniffBytes) {
        const ssize_t n = ::pread(file.fd, head + got, size_t(documents::kSniffBytes - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return out;
        if (n == 0)
            break;
        got += n;
    }
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
