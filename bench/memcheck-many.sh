#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Memory per listed file on the "many" corpus (500,000 tiny files, built by
# bench/make-corpus-many.sh): peak RSS (/usr/bin/time -v) of tarnwell-find and,
# when given, of the window's search (gui-search), against the same program on
# an empty folder. Prints the bytes each listed file costs beyond its path's
# own bytes; the target is at most 80. Paths are "many/dNNNN/nNNNNNNNN", 20
# bytes, as the searches run from the corpus folder.
# Usage: bench/memcheck-many.sh [tarnwell-find [gui-search]]
set -euo pipefail
source "$(dirname "$0")/common.sh"
FIND=${1:-${TARNWELL_FIND:-$REPO_DIR/build-bench/tools/tarnwell-find}}
GUI=${2:-}
FILES=500000
PATH_BYTES=20
LIMIT=80
[ -x "$FIND" ] || { echo "tarnwell-find not found: $FIND" >&2; exit 2; }
[ -d "$BENCH_DIR/corpus/many" ] || { echo "run bench/make-corpus-many.sh first" >&2; exit 2; }
FIND=$(realpath "$FIND")
[ -z "$GUI" ] || GUI=$(realpath "$GUI")
cd "$BENCH_DIR/corpus"
mkdir -p empty-for-memcheck
log=$(mktemp)
trap 'rm -f "$log"; rmdir empty-for-memcheck 2>/dev/null || true' EXIT

# peak RSS in KiB and wall time of a command; its output is dropped into a file.
peak() {
  local rc=0
  LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen /usr/bin/time -v "$@" >"$log.out" 2>"$log" || rc=$?
  if [ "$rc" -gt 1 ]; then
    echo "failed (exit $rc): $*" >&2
    exit 2
  fi
  echo "$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log") \
$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log") $(grep -c . "$log.out" || true)"
}

status=0
report() { # name, baseline KiB, peak KiB, wall, listed, lists holding every path
  local name=$1 base=$2 kib=$3 wall=$4 listed=$5 lists=$6
  local per
  per=$(awk -v b="$base" -v k="$kib" -v n="$FILES" -v p="$PATH_BYTES" -v l="$lists" \
    'BEGIN { printf "%.0f", ((k - b) * 1024 / n - l * p) / l }')
  local verdict=ok
  [ "$per" -le "$LIMIT" ] || { verdict="OVER $LIMIT"; status=1; }
  printf '%-44s peak %7d KiB (base %6d)  %s  printed %7s  %3s B/file/list beyond the path  %s\n' \
    "$name" "$kib" "$base" "$wall" "$listed" "$per" "$verdict"
}

for j in "" "-j1"; do
  read -r base _ _ < <(peak "$FIND" $j -r Qzxjvwarbl empty-for-memcheck)
  for word in Qzxjvwarbl rareword tinyword; do
    read -r kib wall listed < <(peak "$FIND" $j -r "$word" many)
    report "tarnwell-find ${j:+$j }-r $word" "$base" "$kib" "$wall" "$listed" 1
  done
done
# For comparison (wall times from the same /usr/bin/time; one run each).
for cmd in "rg -uuu -l tinyword many" "$BIN_DIR/floor many" "$BIN_DIR/floor -t 2 many"; do
  [ -x "${cmd%% *}" ] || command -v "${cmd%% *}" >/dev/null || continue
  read -r kib wall listed < <(peak $cmd)
  printf '%-44s peak %7d KiB  %s\n' "${cmd/#$BIN_DIR\//}" "$kib" "$wall"
done

if [ -n "$GUI" ]; then
  # At its peak the window holds the engine's list and the work list (every
  # file), and with a word in every file the result list as well: two or three
  # lists of 500,000 paths; the figure is per file and list.
  read -r base _ _ < <(peak "$GUI" --runs 1 -r Qzxjvwarbl empty-for-memcheck)
  read -r kib wall _ < <(peak "$GUI" --runs 1 -r Qzxjvwarbl many)
  report "window: -r Qzxjvwarbl (engine, work list)" "$base" "$kib" "$wall" - 2
  read -r kib wall _ < <(peak "$GUI" --runs 1 -r tinyword many)
  report "window: -r tinyword (engine, work, results)" "$base" "$kib" "$wall" - 3
fi
rm -f "$log.out"
exit $status
