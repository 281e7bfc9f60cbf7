#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Peak memory of tarnwell-find on one file of just over 4 GiB that holds no CR,
# so the whole file is one line. The line's first word is "tarnwellbegin" and
# its last word "tarnwellend"; both queries below must list the file, and a
# word found nowhere must not. Peak RSS comes from /usr/bin/time -v and must
# stay under 64 MiB.
# The file is made under $TARNWELL_BENCH_DIR and deleted afterwards.
# Usage: bench/memcheck.sh [path of tarnwell-find]
set -euo pipefail
source "$(dirname "$0")/common.sh"
FIND=${1:-${TARNWELL_FIND:-$REPO_DIR/build-bench/tools/tarnwell-find}}
LIMIT_KIB=$((64 * 1024))
[ -x "$FIND" ] || { echo "tarnwell-find not found: $FIND" >&2; exit 2; }

dir=$BENCH_DIR/memcheck
rm -rf "$dir"
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
python3 - "$dir/huge.txt" <<'PY'
import sys
# LF-ended ASCII and code-page-932 text, no CR anywhere.
block = ('plain ASCII text with line feeds only\n'
         + 'この行は改行コードが LF だけです。\n').encode('cp932')
block = block * (1024 * 1024 // len(block) + 1)
block = block[:1024 * 1024]
assert b'\r' not in block
with open(sys.argv[1], 'wb') as f:
    f.write(b'tarnwellbegin\n')
    for _ in range(4096 + 1):  # 4 GiB + 1 MiB of blocks
        f.write(block)
    f.write(b'\ntarnwellend\n')
PY
echo "file: $(stat -c %s "$dir/huge.txt") bytes, $(tr -dc '\r' < "$dir/huge.txt" | wc -c) CRs"

status=0
check() {
  local want=$1 keyword=$2
  local out=$dir/out.txt log=$dir/time.txt rc=0
  LC_ALL=C.UTF-8 /usr/bin/time -v "$FIND" -r "$keyword" "$dir" >"$out" 2>"$log" || rc=$?
  local kib secs listed
  kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
  secs=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$log")
  listed=$(grep -c . "$out" || true)
  local verdict=ok
  if [ "$want" = found ] && { [ "$rc" -ne 0 ] || [ "$listed" -ne 1 ]; }; then verdict="WRONG (exit $rc)"; fi
  if [ "$want" = none ] && { [ "$rc" -ne 1 ] || [ "$listed" -ne 0 ]; }; then verdict="WRONG (exit $rc)"; fi
  if [ "$kib" -ge "$LIMIT_KIB" ]; then verdict="$verdict, OVER 64 MiB"; fi
  printf '%-28s peak RSS %6d KiB (%5.1f MiB)  %s  listed %s  %s\n' "\"$keyword\"" "$kib" \
    "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')" "$secs" "$listed" "$verdict"
  [ "$verdict" = ok ] || status=1
}
check found "tarnwellend"
check found "tarnwellbegin tarnwellend"
check none "Qzxjvwarbl"
exit $status
