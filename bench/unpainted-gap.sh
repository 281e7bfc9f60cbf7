#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# The longest time the window goes without processing events during a search
# (`gui-search --gaps`, bench/gui-search.cpp), target 50 ms:
#   1. a folder holding one PDF of 2,500 pages, searched with documents on
#      (the run waits seconds for that one document's text);
#   2. the Japanese corpus on the slow file system at 1 ms per request
#      (slowfs.sh; skipped without root and /dev/fuse).
#   bash bench/unpainted-gap.sh [GUI_SEARCH [SLOW_TREE]]
# GUI_SEARCH: default build-bench-gui/bench/gui-search, built with
# -DTARNWELL_BENCH=ON beside tarnwell-pdfreader (cmake --build DIR --target
# gui-search tarnwell-pdfreader tarnwell-docreader). SLOW_TREE: default the
# ja-cp932 corpus ($TARNWELL_BENCH_DIR/corpus/ja-cp932). The PDF is made once
# with LibreOffice (headless) under $TARNWELL_BENCH_DIR/big-pdf; RUNS (default
# 3) searches each, the longest gap of all of them reported, with when it
# ended (from the click), how much of it the window's thread waited for a
# processor, and the longest gap less that wait (gui-search.cpp).
set -euo pipefail
source "$(dirname "$0")/common.sh"
GUI=${1:-$REPO_DIR/build-bench-gui/bench/gui-search}
SLOW_TREE=${2:-$CORPUS_JA}
RUNS=${RUNS:-3}
PAGES=2500
[ -x "$GUI" ] || { echo "no gui-search at $GUI (see the head of this script)" >&2; exit 1; }

# 50 lines a page as LibreOffice lays out imported text; the word looked for
# stands on the last line only, so the whole document is read.
big=$BENCH_DIR/big-pdf
if [ ! -f "$big.done" ] || [ ! -f "$big/big.pdf" ]; then
  command -v soffice >/dev/null ||
    { echo "needs LibreOffice (TARNWELL_SETUP_BENCH=1 bash scripts/setup.sh)" >&2; exit 1; }
  rm -rf "$big" "$big.done" "$big.work"
  mkdir -p "$big" "$big.work"
  python3 - "$big.work/big.txt" "$PAGES" <<'EOF'
import random, sys
r = random.Random(38)
kana = [chr(c) for c in range(0x3042, 0x3094)] + [chr(c) for c in range(0x30A2, 0x30F4)]
with open(sys.argv[1], 'w', encoding='utf-8') as f:
    lines = int(sys.argv[2]) * 50
    for i in range(lines - 1):
        f.write('%06d ' % i + ''.join(r.choice(kana) for _ in range(24)) + '\n')
    f.write('unpaintedgap\n')
EOF
  soffice -env:UserInstallation="file://$big.work/profile" --headless \
    --infilter="Text (encoded):UTF8,LF,,," --convert-to pdf --outdir "$big.work" \
    "$big.work/big.txt" >/dev/null 2>&1
  mv "$big.work/big.pdf" "$big/big.pdf"
  rm -rf "$big.work"
  touch "$big.done"
fi
pages=$(pdfinfo "$big/big.pdf" 2>/dev/null | awk '/^Pages:/ {print $2}' || true)

# One row: the longest gaps of RUNS searches and the median time of one.
measure() { # LABEL ARGS...
  local label=$1
  shift
  local line
  line=$(LC_ALL=C.UTF-8 QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$GUI" --runs "$RUNS" --gaps "$@")
  awk -v label="$label" '{
      for (i = 1; i < NF; i += 2) v[$i] = $(i + 1)
      printf "| %s | %s | %s | %s | %s | %s | %s | %s |\n", label, v["longest_unprocessed_ms"],
             v["ending_at_ms"], v["waiting_for_cpu_ms"], v["longest_net_ms"],
             v["longest_unpainted_ms"], v["median_ms"], v["files"]
    }' <<<"$line"
}

echo "| search | longest without events (ms) | it ended at (ms) | of it waiting for a processor (ms) | longest less that wait (ms) | longest between repaints (ms) | median search (ms) | found |"
echo "|---|---|---|---|---|---|---|---|"
measure "one PDF of ${pages:-?} pages, documents on" --documents unpaintedgap "$big"

mount=$BENCH_DIR/slowfs-gap
status=0
bash "$BENCH_SRC/slowfs.sh" start "$SLOW_TREE" "$mount" 1000 >/dev/null || status=$?
if [ "$status" = 3 ]; then
  echo "(slow file system skipped: mounting it needs root and /dev/fuse)"
  exit 0
fi
[ "$status" = 0 ] || exit "$status"
trap 'bash "$BENCH_SRC/slowfs.sh" stop "$mount"' EXIT
measure "$(basename "$SLOW_TREE") on slowfs, 1 ms a request, -r" -r socket "$mount"
measure "$(basename "$SLOW_TREE") on slowfs, 1 ms a request, -r, documents on" -r --documents socket "$mount"
