#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the archive corpus from the Japanese corpus (ja-cp932) and the real
# tree, both read from the shared corpora (TARNWELL_SHARED_BENCH_DIR, default
# /var/tmp/tarnwell-bench) and written under $TARNWELL_BENCH_DIR:
#   archives/small/  one archive per folder of both trees (its files only),
#                    zip, tar.gz and 7z in turn: some 4,000 small archives
#   archives/big/    the Japanese corpus as one tar.gz, and the real tree's
#                    doc/ (its /usr/share/doc) as another
#   archives/gz/     the real tree's own .gz files, as they are
# Each archive holds the files' bytes as they are (code page 932 text stays
# code page 932). Needs zip, tar, gzip and 7z (TARNWELL_SETUP_BENCH=1
# scripts/setup.sh). A few minutes on 2 cores.
#   TARNWELL_BENCH_DIR=/var/tmp/tarnwell-bench-arch bash bench/make-corpus-archives.sh
set -euo pipefail
source "$(dirname "$0")/common.sh"
SHARED=${TARNWELL_SHARED_BENCH_DIR:-/var/tmp/tarnwell-bench}
OUT=$BENCH_DIR/corpus/archives
if corpus_done "$OUT"; then
  echo "archive corpus already built: $OUT"
  exit 0
fi
for tree in ja-cp932 real; do
  corpus_done "$SHARED/corpus/$tree" || { echo "needs $SHARED/corpus/$tree" >&2; exit 1; }
done
for tool in zip tar gzip 7z; do
  command -v $tool >/dev/null || { echo "needs $tool (TARNWELL_SETUP_BENCH=1 scripts/setup.sh)" >&2; exit 1; }
done
corpus_start "$OUT"
mkdir -p "$OUT.partial/small" "$OUT.partial/big" "$OUT.partial/gz"
n=0
for tree in ja-cp932 real; do
  root=$SHARED/corpus/$tree
  while IFS= read -r -d '' dir; do
    mapfile -d '' files < <(find "$dir" -maxdepth 1 -type f -printf '%f\0' | sort -z)
    [ ${#files[@]} -gt 0 ] || continue
    n=$((n + 1))
    name=$(printf '%s-%05d' "$tree" "$n")
    case $((n % 3)) in
    0) (cd "$dir" && zip -qX "$OUT.partial/small/$name.zip" -- "${files[@]}") ;;
    1) tar -C "$dir" -czf "$OUT.partial/small/$name.tar.gz" -- "${files[@]}" ;;
    2) (cd "$dir" && 7z a -bd -bso0 -bse0 "$OUT.partial/small/$name.7z" -- "${files[@]}") ;;
    esac
  done < <(find "$root" -type d -print0 | sort -z)
done
tar -C "$SHARED/corpus" -czf "$OUT.partial/big/ja-cp932.tar.gz" ja-cp932
tar -C "$SHARED/corpus/real" -czf "$OUT.partial/big/real-doc.tar.gz" doc
find "$SHARED/corpus/real" -type f -name '*.gz' -print0 |
  while IFS= read -r -d '' f; do
    rel=${f#"$SHARED/corpus/real/"}
    cp "$f" "$OUT.partial/gz/$(printf '%s' "$rel" | tr '/' '_')"
  done
corpus_finish "$OUT"
echo "archive corpus: $n small archives, $(ls "$OUT/big" | wc -l) big, $(ls "$OUT/gz" | wc -l) .gz files in $OUT"
