# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Shared settings of the benchmark scripts; sourced, not run.
# Everything they build lives outside the repository, under $TARNWELL_BENCH_DIR.
BENCH_DIR=${TARNWELL_BENCH_DIR:-/var/tmp/tarnwell-bench}
BENCH_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO_DIR=$(cd "$BENCH_SRC/.." && pwd)
CORPUS_REAL=$BENCH_DIR/corpus/real
CORPUS_JA=$BENCH_DIR/corpus/ja-cp932
CORPUS_SMALL=$BENCH_DIR/corpus/small
BIN_DIR=$BENCH_DIR/bin

# A corpus is complete only once its marker exists; a run that was cut short
# leaves no marker and is redone from scratch.
# The marker sits beside the corpus, not in it, so no searcher sees it.
corpus_done() { [ -f "$1.done" ] && [ -d "$1" ]; }
corpus_start() {
  rm -rf "$1.partial" "$1.done"
  mkdir -p "$1.partial"
}
corpus_finish() {
  rm -rf "$1"
  mv "$1.partial" "$1"
  touch "$1.done"
}
