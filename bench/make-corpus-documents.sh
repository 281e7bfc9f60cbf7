#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the document corpus: the Japanese documentation corpus's files (the
# UTF-8 one, make-corpus-ja-utf8.sh; Japanese with English commands, names
# and man-page text) written as flat OpenDocument files and converted by
# LibreOffice (headless, a private profile) into every document kind the
# search reads:
#   from the text (a paragraph per line, every fifth line with a bold span in
#   its middle, so that words cross runs; every tenth file with a table of the
#   lines that hold a tab or two spaces, cells split there):
#     docx, odt, pdf, doc (MS Word 97), rtf
#   from the sheet (one sheet, a row per line): xlsx, ods, xls (MS Excel 97)
#   from the slides (12 lines a slide):          pptx, odp, ppt (MS PowerPoint 97)
# Every 25th document is large: the lines of its file and the files after it,
# up to 4,000 lines (a few hundred pages of PDF); the others keep up to 400.
# The plain text of every document is kept beside the corpus (documents-text/).
#   bash bench/make-corpus-documents.sh [FILES-PER-KIND]   (default 100; all: 0)
# Each soffice call converts a whole kind (one process, not one per file):
# about 0.2 s a document on 2 cores; 200 files a kind (2,200 documents) take
# some 10 minutes. The marker records the size, so asking for another size
# rebuilds the corpus.
set -euo pipefail
source "$(dirname "$0")/common.sh"

per_kind=${1:-100}
CORPUS_DOCS=$BENCH_DIR/corpus/documents
CORPUS_UTF8=$BENCH_DIR/corpus/ja-utf8
KINDS="docx odt pdf doc rtf xlsx ods xls pptx odp ppt"
signature="kinds: $KINDS; files per kind: $per_kind; version 2"
if corpus_done "$CORPUS_DOCS" && [ "$(cat "$CORPUS_DOCS.done")" = "$signature" ]; then
  echo "document corpus already built: $CORPUS_DOCS"
  exit 0
fi
corpus_done "$CORPUS_UTF8" || bash "$BENCH_SRC/make-corpus-ja-utf8.sh"
command -v soffice >/dev/null || { echo "needs LibreOffice (TARNWELL_SETUP_BENCH=1 bash scripts/setup.sh)" >&2; exit 1; }

corpus_start "$CORPUS_DOCS"
flat=$BENCH_DIR/documents-flat
text=$BENCH_DIR/documents-text
rm -rf "$flat" "$text"
mkdir -p "$flat/text" "$flat/sheet" "$flat/slides" "$text"

python3 - "$CORPUS_UTF8" "$flat" "$text" "$per_kind" <<'PY'
import html, os, re, sys
from xml.sax.saxutils import escape

src, flat, text_dir, per_kind = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
NS = ('xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" '
      'xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0" '
      'xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0" '
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'office:version="1.3"')
STYLES = ('<office:automatic-styles><style:style style:name="B" style:family="text">'
          '<style:text-properties fo:font-weight="bold"/></style:style></office:automatic-styles>')
MAX_LINES, LARGE_LINES = 400, 4000

def lines_of(path):
    data = open(path, 'rb').read().decode('utf-8', 'replace')
    if path.endswith('.html'):
        data = re.sub(r'(?s)<(script|style).*?</\1>', '', data)
        data = re.sub(r'<[^>]+>', '', data)
        data = html.unescape(data)
    data = re.sub(r'[\x00-\x08\x0b-\x1f\x7f]', '', data.replace('\r', ''))
    lines = [l.strip() for l in data.split('\n')]
    return [l for l in lines if l]

def document(kind, body):
    mime = {'text': 'text', 'sheet': 'spreadsheet', 'slides': 'presentation'}[kind]
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document %s '
            'office:mimetype="application/vnd.oasis.opendocument.%s">%s<office:body>%s'
            '</office:body></office:document>\n' % (NS, mime, STYLES, body))

def paragraph(n, line):
    # A bold span in the middle of every fifth line: the word is split into runs.
    if n % 5 == 2 and len(line) >= 6:
        a, b = len(line) // 3, 2 * len(line) // 3
        return '<text:p>%s<text:span text:style-name="B">%s</text:span>%s</text:p>' % (
            escape(line[:a]), escape(line[a:b]), escape(line[b:]))
    return '<text:p>%s</text:p>' % escape(line)

def cells(line):
    return [c for c in re.split(r'\t| {2,}', line) if c]

files = []
for root, dirs, names in os.walk(src):
    dirs.sort()
    for name in sorted(names):
        files.append(os.path.join(root, name))
chosen = 0
for i, path in enumerate(files):
    if per_kind and chosen >= per_kind:
        break
    lines = lines_of(path)
    if len(lines) < 3:
        continue
    chosen += 1
    large = chosen % 25 == 0
    j = i + 1
    while large and len(lines) < LARGE_LINES and j < len(files):
        lines += lines_of(files[j])
        j += 1
    lines = lines[:LARGE_LINES if large else MAX_LINES]
    stem = '%05d' % chosen
    with_table = chosen % 10 == 3
    body, plain = [], []
    table = [l for l in lines if len(cells(l)) > 1] if with_table else []
    for n, l in enumerate(lines):
        if l in table:
            continue
        body.append(paragraph(n, l))
        plain.append(l)
    if table:
        width = max(len(cells(l)) for l in table)
        rows = ''
        for l in table:
            cs = cells(l) + [''] * (width - len(cells(l)))
            rows += '<table:table-row>%s</table:table-row>' % ''.join(
                '<table:table-cell office:value-type="string"><text:p>%s</text:p>'
                '</table:table-cell>' % escape(c) for c in cs)
            plain.append('\t'.join(cs))
        body.append('<table:table table:name="T1"><table:table-column '
                    'table:number-columns-repeated="%d"/>%s</table:table>' % (width, rows))
    open(os.path.join(text_dir, stem + '.txt'), 'w').write('\n'.join(plain) + '\n')
    open(os.path.join(flat, 'text', stem + '.fodt'), 'w').write(
        document('text', '<office:text>%s</office:text>' % ''.join(body)))
    rows = ''.join('<table:table-row><table:table-cell office:value-type="string"><text:p>%s'
                   '</text:p></table:table-cell></table:table-row>' % escape(l) for l in lines)
    open(os.path.join(flat, 'sheet', stem + '.fods'), 'w').write(document(
        'sheet', '<office:spreadsheet><table:table table:name="Sheet1">%s</table:table>'
        '</office:spreadsheet>' % rows))
    slides = ''
    for n in range(0, len(lines), 12):
        ps = ''.join(paragraph(m, l) for m, l in enumerate(lines[n:n + 12]))
        slides += ('<draw:page draw:name="p%d"><draw:frame svg:x="1cm" svg:y="1cm" '
                   'svg:width="26cm" svg:height="18cm"><draw:text-box>%s</draw:text-box>'
                   '</draw:frame></draw:page>' % (n // 12 + 1, ps))
    open(os.path.join(flat, 'slides', stem + '.fodp'), 'w').write(
        document('slides', '<office:presentation>%s</office:presentation>' % slides))
print('documents per kind:', chosen)
PY

profile=$(mktemp -d /tmp/lo-tarnwell-XXXXXX)
trap 'rm -rf "$profile"' EXIT
convert() { # KIND FORMAT FILES...
  local kind=$1 format=$2
  shift 2
  mkdir -p "$CORPUS_DOCS.partial/$kind"
  soffice -env:UserInstallation="file://$profile" --headless --convert-to "$format" \
    --outdir "$CORPUS_DOCS.partial/$kind" "$@" >/dev/null 2>&1
  echo "$kind: $(ls "$CORPUS_DOCS.partial/$kind" | wc -l) files ($SECONDS s)"
}
convert docx docx "$flat"/text/*.fodt
convert odt odt "$flat"/text/*.fodt
convert pdf pdf "$flat"/text/*.fodt
convert doc 'doc:MS Word 97' "$flat"/text/*.fodt
convert rtf rtf "$flat"/text/*.fodt
convert xlsx xlsx "$flat"/sheet/*.fods
convert ods ods "$flat"/sheet/*.fods
convert xls 'xls:MS Excel 97' "$flat"/sheet/*.fods
convert pptx pptx "$flat"/slides/*.fodp
convert odp odp "$flat"/slides/*.fodp
convert ppt 'ppt:MS PowerPoint 97' "$flat"/slides/*.fodp
corpus_finish "$CORPUS_DOCS"
echo "$signature" >"$CORPUS_DOCS.done"
echo "document corpus: $CORPUS_DOCS ($(find "$CORPUS_DOCS" -type f | wc -l) files, $(du -sh "$CORPUS_DOCS" | cut -f1))"
