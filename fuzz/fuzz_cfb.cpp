// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

// The compound-file container on random files: no undefined behaviour, no
// hang, no allocation beyond the file's size, and every stream it reads is
// exactly as long as its entry says and never longer than the file; a
// storage's children are listed each once. Then
// the whole reader on the same bytes, under a small text limit.

#include "documents/CompoundFile.h"
#include "fuzz/LegacyFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString reason;
    const auto file = documents::cfb::CompoundFile::open(bytes, &reason);
    if (!file && reason.isEmpty())
        legacyfuzz::fail("an unreadable file without a reason");
    if (file) {
        for (const char16_t *name : {u"WordDocument", u"1Table", u"0Table", u"Workbook", u"Book",
                                     u"PowerPoint Document", u"Current User"}) {
            QByteArray stream;
            const documents::cfb::Entry *entry = file->find(QStringView(name));
            if (file->read(QStringView(name), &stream, &reason)) {
                if (!entry || quint64(stream.size()) != entry->size)
                    legacyfuzz::fail("a stream of another size than its entry");
                if (stream.size() > bytes.size())
                    legacyfuzz::fail("a stream longer than the file");
            }
        }
    }
    if (file) {
        // Every storage's children are entries of the directory, listed once.
        for (const documents::cfb::Entry &top : file->top()) {
            std::vector<documents::cfb::Entry> children;
            if (top.type == 1 && file->children(top, &children, &reason) &&
                qint64(children.size()) > file->entryCount())
                legacyfuzz::fail("a storage with more children than the directory holds");
        }
    }
    documents::Limits limits;
    limits.textUnits = 4096;
    legacyfuzz::check(documents::readDocument(bytes, documents::Container::Compound, limits),
                      limits);
    return 0;
}
