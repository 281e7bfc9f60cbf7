#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# tarnwell-find under hard limits: a tree 40 folders deep with 3,000 files
# (75 in each folder, every fourth holding the word), searched with the
# default threads, with -j 1 and with -j 64 under `ulimit -n` of 24, 16 and 12
# (soft and hard alike), under `ulimit -v` of 100,000 to 300,000 KiB, and as nobody under RLIMIT_NPROC of 1 and 3 (run as
# root: the super-user is not held to that limit). Each run must print exactly
# what the one-thread run prints with the usual limits, or exit 2 with a
# message; a shorter list with status 0 or an abort is a failure. Prints one
# line per run and exits 1 when a run failed.
# The tree is made under $TARNWELL_BENCH_DIR and deleted afterwards.
# Usage: bench/limits-check.sh [path of tarnwell-find]
set -euo pipefail
source "$(dirname "$0")/common.sh"
FIND=${1:-${TARNWELL_FIND:-$REPO_DIR/build-bench/tools/tarnwell-find}}
[ -x "$FIND" ] || { echo "tarnwell-find not found: $FIND" >&2; exit 2; }

dir=$BENCH_DIR/limits
rm -rf "$dir"
mkdir -p "$dir"
chmod 755 "$dir"
trap 'rm -rf "$dir"' EXIT
python3 - "$dir/tree" <<'PY'
import os, sys
path = sys.argv[1]
for level in range(40):
    os.makedirs(path, exist_ok=True)
    for i in range(75):
        with open(os.path.join(path, 'f%d.txt' % i), 'wb') as f:
            f.write(b'hay\r\nneedle\r\n' if i % 4 == 0 else b'hay\r\n')
    path = os.path.join(path, 'd')
PY
"$FIND" -j 1 -r needle "$dir/tree" > "$dir/reference"
echo "reference (-j 1, usual limits): $(wc -l < "$dir/reference") files"

failed=0
check() { # label, then the command
    local label=$1 status=0
    shift
    "$@" > "$dir/out" 2> "$dir/err" || status=$?
    if [ "$status" = 0 ] && cmp -s "$dir/out" "$dir/reference"; then
        echo "$label: exit 0, the same $(wc -l < "$dir/out") files"
    elif [ "$status" = 2 ] && [ -s "$dir/err" ]; then
        echo "$label: exit 2 with a message: $(head -n 1 "$dir/err")"
    else
        echo "$label: FAILED: exit $status, $(wc -l < "$dir/out") files: $(head -n 1 "$dir/err")"
        failed=1
    fi
}

for n in 24 16 12; do
    for jobs in "" "-j 1" "-j 64"; do
        # shellcheck disable=SC2086
        check "ulimit -n $n ${jobs:-default}" bash -c "ulimit -n $n && exec \"\$0\" \"\$@\"" \
            "$FIND" $jobs -r needle "$dir/tree"
    done
done
for v in 100000 150000 300000; do
    for jobs in "" "-j 64"; do
        # shellcheck disable=SC2086
        check "ulimit -v $v ${jobs:-default}" bash -c "ulimit -v $v && exec \"\$0\" \"\$@\"" \
            "$FIND" $jobs -r needle "$dir/tree"
    done
done
if [ "$(id -u)" = 0 ] && command -v setpriv > /dev/null; then
    chown -R nobody "$dir/tree"
    for n in 1 3; do
        for jobs in "" "-j 64"; do
            # shellcheck disable=SC2086
            check "nobody, RLIMIT_NPROC $n, ${jobs:-default}" \
                setpriv --reuid=nobody --regid=nogroup --clear-groups \
                prlimit --nproc=$n "$FIND" $jobs -r needle "$dir/tree"
        done
    done
else
    echo "RLIMIT_NPROC runs skipped: they need root (to become nobody) and setpriv"
fi
exit $failed
