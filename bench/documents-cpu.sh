#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Documents on, one build against another: `tarnwell-find --documents -r` over
# the document corpus (make-corpus-documents.sh), the two builds taking turns,
# and for each the least processor time (user and system, of the program and
# the reader helpers it waits for) of --runs; the files each lists must be the
# same. Processor time rather than wall time: on a shared machine it moves
# far less with the load.
#   bash bench/documents-cpu.sh BASE_FIND NEW_FIND [RUNS] [WORD...]
set -euo pipefail
source "$(dirname "$0")/common.sh"
base=$1 new=$2 runs=${3:-5}
shift $(( $# >= 3 ? 3 : $# ))
words=("$@")
[ ${#words[@]} -gt 0 ] || words=("設定 ファイル" "インストール" "xyzzy")
corpus=$BENCH_DIR/corpus/documents
corpus_done "$corpus" || { echo "build the corpus first: bash bench/make-corpus-documents.sh" >&2; exit 1; }
out=$(mktemp)
trap 'rm -f "$out"' EXIT
cpu() { # the least user+system seconds of `runs` runs of $1 for word $2
  /usr/bin/time -o "$out" -f "%U %S" "$1" --documents -r "$2" "$corpus" >/dev/null 2>&1 || true
  tail -1 "$out" | awk '{ printf "%.3f", $1 + $2 }'
}
for word in "${words[@]}"; do
  cmp <("$base" --documents -r "$word" "$corpus" 2>/dev/null | sort) \
      <("$new" --documents -r "$word" "$corpus" 2>/dev/null | sort) >/dev/null ||
    echo "$word: the two builds list different files" >&2
  best_base=999 best_new=999
  for ((i = 0; i < runs; i++)); do
    t=$(cpu "$base" "$word"); best_base=$(awk -v a="$t" -v b="$best_base" 'BEGIN { print (a < b) ? a : b }')
    t=$(cpu "$new" "$word"); best_new=$(awk -v a="$t" -v b="$best_new" 'BEGIN { print (a < b) ? a : b }')
  done
  awk -v w="$word" -v b="$best_base" -v n="$best_new" \
    'BEGIN { printf "%-16s base %.3f s  new %.3f s  new/base %.3f\n", w, b, n, n / b }'
done
