// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The text of a document as the search and the viewer see it: a sequence of
// lines (a paragraph, a table or sheet row with its cells joined by a tab, a
// line of a PDF page), and beside them, never inside them, where each part of
// the document starts (a sheet, a page, a slide). Every word of a keyword must
// be on one line for the document to match, as in a text file.

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <vector>

namespace documents {

// What a file was read as. The order is the wire order of the reader helper's
// answers: append, never reorder.
enum class Kind : quint8 {
    Word,                     // WordprocessingML (.docx, .docm, .dotx)
    Excel,                    // SpreadsheetML (.xlsx, .xlsm)
    PowerPoint,               // PresentationML (.pptx, .pptm)
    OpenDocumentText,         // .odt, .ott
    OpenDocumentSpreadsheet,  // .ods, .ots
    OpenDocumentPresentation, // .odp, .otp
    Pdf,
    Word97,       // Word 97-2003 (.doc, .dot)
    Word95,       // Word 6 / 95
    Excel97,      // BIFF8 (.xls)
    Excel95,      // BIFF5
    PowerPoint97, // .ppt
    Rtf,
    Mail,           // one saved e-mail (.eml)
    Mailbox,        // mbox: messages one after another, each after a "From " line
    WebArchive,     // a web page saved as one MIME file (.mht)
    OutlookMessage, // .msg
    Archive,        // an archive or a compressed file: its members' text
};
constexpr int kKindCount = int(Kind::Archive) + 1;

// How the kind is named to the user, in Japanese ("Word 文書", "PDF", ...).
QString kindLabel(Kind kind);

// Where a part of the document begins: `line` is the index of its first line
// in DocumentText::lines; `label` names it for the user ("Sheet1", "3 ページ").
struct Location {
    qsizetype line = 0;
    QString label;
};

struct DocumentText {
    Kind kind = Kind::Word;
    std::vector<QString> lines;
    std::vector<Location> locations; // ascending by line; may be empty
};

// Why a file that looked like a document gave no text. NotDocument is no
// failure: the file is then read as a text file, as with documents off.
enum class Failure : quint8 {
    None,
    NotDocument,  // e.g. a zip that is neither Office Open XML nor OpenDocument
    Damaged,      // malformed container, stream or markup
    Encrypted,    // needs a password
    OverLimit,    // a limit of Limits.h was reached (a zip bomb, too much text)
    Unsupported,  // a recognised kind in a variant that is not read
    ReaderFailed, // the helper process crashed, was killed or timed out
    // A PDF inside the file (an attachment, an archive's member) and no PDF
    // reader in this process: the file is to be read again by one that has.
    NeedsPdfReader,
};

// Lines handed to a check as a reader ends them, in place of being kept:
// for a search that asks only whether one line holds every word. `found`
// turns true with the first line the check takes, and no line is checked
// after it. checkLines, where there is one, takes many lines at once: text
// whose lines end at CR or LF units, empty ones to be passed over; and
// checkUtf8Lines the same as valid UTF-8.
struct LineCheck {
    bool (*check)(void *context, QStringView line) = nullptr;
    void *context = nullptr;
    bool found = false;
    bool (*checkLines)(void *context, QStringView text) = nullptr;
    bool (*checkUtf8Lines)(void *context, QByteArrayView text) = nullptr;
};

struct ReadResult {
    Failure failure = Failure::None;
    // For the user, in English, after the file's name on standard error
    // ("encrypted", "damaged zip: ...", "over the 256 MiB text limit").
    QString reason;
    DocumentText text;
    bool ok() const { return failure == Failure::None; }
};

} // namespace documents
