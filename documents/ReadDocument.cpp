// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "documents/ReadDocument.h"

namespace documents {

namespace {

// Documents inside documents (a workbook attached to a message attached to
// a message...) nest at most this deep: each is smaller than the one that
// holds it, but a reader's stack is not as deep as a file is long.
constexpr int kMaxNesting = 64;
thread_local int t_nesting = 0;
PdfReader g_pdfReader = nullptr;

struct NestingGuard {
    NestingGuard() { ++t_nesting; }
    ~NestingGuard() { --t_nesting; }
};

} // namespace

void setPdfReader(PdfReader reader)
{
    g_pdfReader = reader;
}

ReadResult readDocument(QByteArrayView bytes, Container container, const Limits &limits,
                        LineCheck *check)
{
    const NestingGuard guard;
    if (t_nesting > kMaxNesting)
        return {Failure::OverLimit,
                QStringLiteral("documents nested deeper than %1").arg(kMaxNesting),
                {}};
    if (bytes.size() > limits.fileBytes)
        return {Failure::OverLimit,
                QStringLiteral("over the %1 MiB document limit").arg(limits.fileBytes >> 20),
                {}};
    switch (container) {
    case Container::Zip:
        return readZipDocument(bytes, limits);
    case Container::Compound:
        return readCompoundDocument(bytes, limits, check);
    case Container::Rtf:
        return readRtfDocument(bytes, limits);
    case Container::Mail:
        return readMailDocument(bytes, limits, check);
    case Container::Pdf:
        if (g_pdfReader)
            return g_pdfReader(bytes, limits);
        return {Failure::NeedsPdfReader, QStringLiteral("PDF is read by tarnwell-pdfreader"), {}};
    case Container::Archive:
    case Container::None:
        break;
    }
    return {Failure::NotDocument, {}, {}};
}

} // namespace documents
