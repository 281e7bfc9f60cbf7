#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the document corpus: the Japanese documentation corpus's files (the
# UTF-8 one, make-corpus-ja-utf8.sh) written as flat OpenDocument files (a
# paragraph per line of text; a sheet with a row per line; a slide per 12
# lines) and converted by LibreOffice (headless, a private profile) into
# docx, odt and PDF (from the text), xlsx (from the sheet) and pptx (from the
# slides). The plain text of every document is kept beside the corpus
# (documents-text/), for the expected sets.
#   bash bench/make-corpus-documents.sh [FILES-PER-KIND]   (default 100; all: 0)
# Converting takes about a second per document on 2 cores: the default keeps
# it to minutes; the full corpus (some 2,400 files a kind) takes hours.
set -euo pipefail
source "$(dirname "$0")/common.sh"

per_kind=${1:-100}
CORPUS_DOCS=$BENCH_DIR/corpus/documents
CORPUS_UTF8=$BENCH_DIR/corpus/ja-utf8
if corpus_done "$CORPUS_DOCS"; then
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
      'xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" '
      'xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" '
      'xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" '
      'xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0" '
      'xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" '
      'office:version="1.3"')
MAX_LINES = 400  # per document, so that a conversion takes about a second

def lines_of(path):
    data = open(path, 'rb').read().decode('utf-8', 'replace')
    if path.endswith('.html'):
        data = re.sub(r'(?s)<(script|style).*?</\1>', '', data)
        data = re.sub(r'<[^>]+>', '', data)
        data = html.unescape(data)
    data = re.sub(r'[\x00-\x08\x0b-\x1f\x7f]', '', data.replace('\r', ''))
    lines = [l.strip() for l in data.split('\n')]
    return [l for l in lines if l][:MAX_LINES]

def document(kind, body):
    mime = {'text': 'text', 'sheet': 'spreadsheet', 'slides': 'presentation'}[kind]
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<office:document %s '
            'office:mimetype="application/vnd.oasis.opendocument.%s"><office:body>%s'
            '</office:body></office:document>\n' % (NS, mime, body))

files = []
for root, dirs, names in os.walk(src):
    dirs.sort()
    for name in sorted(names):
        files.append(os.path.join(root, name))
chosen = 0
for path in files:
    if per_kind and chosen >= per_kind:
        break
    lines = lines_of(path)
    if len(lines) < 3:
        continue
    chosen += 1
    stem = '%05d' % chosen
    open(os.path.join(text_dir, stem + '.txt'), 'w').write('\n'.join(lines) + '\n')
    paras = ''.join('<text:p>%s</text:p>' % escape(l) for l in lines)
    open(os.path.join(flat, 'text', stem + '.fodt'), 'w').write(
        document('text', '<office:text>%s</office:text>' % paras))
    rows = ''.join('<table:table-row><table:table-cell office:value-type="string"><text:p>%s'
                   '</text:p></table:table-cell></table:table-row>' % escape(l) for l in lines)
    open(os.path.join(flat, 'sheet', stem + '.fods'), 'w').write(document(
        'sheet', '<office:spreadsheet><table:table table:name="Sheet1">%s</table:table>'
        '</office:spreadsheet>' % rows))
    slides = ''
    for n in range(0, len(lines), 12):
        ps = ''.join('<text:p>%s</text:p>' % escape(l) for l in lines[n:n + 12])
        slides += ('<draw:page draw:name="p%d"><draw:frame svg:x="1cm" svg:y="1cm" '
                   'svg:width="26cm" svg:height="18cm"><draw:text-box>%s</draw:text-box>'
                   '</draw:frame></draw:page>' % (n // 12 + 1, ps))
    open(os.path.join(flat, 'slides', stem + '.fodp'), 'w').write(
        document('slides', '<office:presentation>%s</office:presentation>' % slides))
print('documents per kind:', chosen)
PY

profile=$(mktemp -d /tmp/lo-tarnwell-XXXXXX)
trap 'rm -rf "$profile"' EXIT
convert() { # FORMAT OUTDIR FILES...
  local format=$1 out=$2
  shift 2
  mkdir -p "$out"
  soffice -env:UserInstallation="file://$profile" --headless --convert-to "$format" \
    --outdir "$out" "$@" >/dev/null 2>&1
}
convert docx "$CORPUS_DOCS.partial/docx" "$flat"/text/*.fodt
convert odt "$CORPUS_DOCS.partial/odt" "$flat"/text/*.fodt
convert pdf "$CORPUS_DOCS.partial/pdf" "$flat"/text/*.fodt
convert xlsx "$CORPUS_DOCS.partial/xlsx" "$flat"/sheet/*.fods
convert pptx "$CORPUS_DOCS.partial/pptx" "$flat"/slides/*.fodp
corpus_finish "$CORPUS_DOCS"
echo "document corpus: $CORPUS_DOCS ($(find "$CORPUS_DOCS" -type f | wc -l) files, $(du -sh "$CORPUS_DOCS" | cut -f1))"
