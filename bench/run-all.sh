#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds tarnwell-find (Release, own build folder) and the corpora when they are
# missing, then runs the comparison (warm, and cold when run as root) and the
# memory checks.
# Usage: bench/run-all.sh [runs]     (results in $TARNWELL_BENCH_DIR/result.md)
set -euo pipefail
source "$(dirname "$0")/common.sh"
RUNS=${1:-7}
BUILD=${TARNWELL_BENCH_BUILD:-$REPO_DIR/build-bench}
export TARNWELL_FIND=${TARNWELL_FIND:-$BUILD/tools/tarnwell-find}

cmake -S "$REPO_DIR" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DTARNWELL_GUI=OFF -DTARNWELL_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target tarnwell-find
bash "$BENCH_SRC/make-corpus-real.sh"
bash "$BENCH_SRC/make-corpus-ja.sh"
bash "$BENCH_SRC/make-corpus-small.sh"
bash "$BENCH_SRC/make-corpus-many.sh"
python3 "$BENCH_SRC/selftest.py"
status=0
python3 "$BENCH_SRC/compare.py" --runs "$RUNS" --markdown "$BENCH_DIR/result.md" || status=1
if [ "$(id -u)" = 0 ]; then
  python3 "$BENCH_SRC/compare.py" --cold --runs 3 --markdown "$BENCH_DIR/result-cold.md" ||
    status=1
else
  echo "cold-cache comparison skipped: dropping the page cache needs root"
fi
bash "$BENCH_SRC/memcheck.sh" "$TARNWELL_FIND" | tee "$BENCH_DIR/memcheck.txt" || status=1
bash "$BENCH_SRC/memcheck-many.sh" "$TARNWELL_FIND" | tee "$BENCH_DIR/memcheck-many.txt" ||
  status=1
exit $status
