#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds two corpora from the same Japanese documentation packages as
# make-corpus-ja.sh (the same .deb files, downloaded by it when missing):
#   ja-utf8:  the HTML, text and man pages as the packages ship them, in their
#             own UTF-8 with their own line ends (gzip ones unpacked);
#   ja-mixed: the same files, every second one (in sorted path order) converted
#             with iconv -f UTF-8 -t CP932 -c and LF -> CR-LF, the others kept
#             as they are: a tree of old and new documents side by side.
# For the encoding modes (tarnwell-find -E utf-8 / auto).
set -euo pipefail
source "$(dirname "$0")/common.sh"

CORPUS_UTF8=$BENCH_DIR/corpus/ja-utf8
CORPUS_MIXED=$BENCH_DIR/corpus/ja-mixed

if corpus_done "$CORPUS_UTF8" && corpus_done "$CORPUS_MIXED"; then
  echo "UTF-8 and mixed Japanese corpora already built: $CORPUS_UTF8 $CORPUS_MIXED"
  exit 0
fi

debs=$BENCH_DIR/debs
if ! compgen -G "$debs/*.deb" >/dev/null; then
  bash "$BENCH_SRC/make-corpus-ja.sh" # downloads the packages
fi

corpus_start "$CORPUS_UTF8"
corpus_start "$CORPUS_MIXED"
unpacked=$BENCH_DIR/ja-utf8-unpacked
rm -rf "$unpacked"
mkdir -p "$unpacked"
for deb in $(ls "$debs"/*.deb | LC_ALL=C sort); do
  dpkg-deb -x "$deb" "$unpacked"
done

python3 - "$unpacked" "$CORPUS_UTF8.partial" "$CORPUS_MIXED.partial" <<'PY'
import gzip, os, subprocess, sys

src, utf8_dst, mixed_dst = sys.argv[1], sys.argv[2], sys.argv[3]
keep = ('.html', '.txt')
chosen = []
for root, dirs, names in os.walk(src):
    dirs.sort()
    for name in sorted(names):
        path = os.path.join(root, name)
        if os.path.islink(path) or not os.path.isfile(path):
            continue
        rel = os.path.relpath(path, src)
        is_man = '/man/' in '/' + rel
        if name.endswith('.gz'):
            out_rel = rel[:-3]
            if is_man or out_rel.endswith(keep):
                chosen.append((path, out_rel, True))
        elif name.endswith(keep) or is_man:
            chosen.append((path, rel, False))
chosen.sort(key=lambda c: c[1])
totals = [0, 0, 0]
for i, (path, rel, zipped) in enumerate(chosen):
    data = gzip.open(path).read() if zipped else open(path, 'rb').read()
    mixed = data
    if i % 2:
        mixed = subprocess.run(['iconv', '-f', 'UTF-8', '-t', 'CP932', '-c'], input=data,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        mixed = mixed.replace(b'\r\n', b'\n').replace(b'\n', b'\r\n')
        totals[2] += 1
    for dst, content in ((utf8_dst, data), (mixed_dst, mixed)):
        out = os.path.join(dst, rel)
        os.makedirs(os.path.dirname(out), exist_ok=True)
        with open(out, 'wb') as f:
            f.write(content)
    totals[0] += 1
    totals[1] += len(data)
print(f'{totals[0]} files, {totals[1] / 1e6:.1f} MB in UTF-8; '
      f'{totals[2]} of them in code page 932 in the mixed corpus')
PY
rm -rf "$unpacked"
corpus_finish "$CORPUS_UTF8"
corpus_finish "$CORPUS_MIXED"
echo "UTF-8 corpus: $CORPUS_UTF8; mixed corpus: $CORPUS_MIXED"
