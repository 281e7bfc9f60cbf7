#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# tarnwell-find -z against ugrep -z -rl on the archive corpus
# (make-corpus-archives.sh), warm cache, default threads: for each part
# (small, big, bigja, gz, and small-zip, small-tgz, small-7z when they exist: the
# small archives of one kind, hard links made by hand) and word, the best of
# RUNS wall-clock times of each, their ratio, and whether both listed the
# same files (ugrep names the archive's member: "a.zip{memo.txt}" counts as
# a.zip). ugrep enters one level of archives by default and Tarnwell five:
# the last columns give ugrep --zmax=2 (the depth of the corpus's .gz files
# inside small archives) and the ratio to it.
#   TARNWELL_BENCH_DIR=/var/tmp/tarnwell-bench-arch bash bench/compare-archives.sh BUILD-DIR [RUNS]
# TARNWELL_ARCHIVE_PARTS="bigja small-zip" runs those parts only.
set -euo pipefail
source "$(dirname "$0")/common.sh"
build=${1:?the build folder holding tools/tarnwell-find}
runs=${2:-3}
find_bin=$build/tools/tarnwell-find
corpus=$BENCH_DIR/corpus/archives
[ -d "$corpus" ] || corpus=$corpus.partial
# Output goes to a file, not to /dev/null: ugrep, as grep does, may stop at
# its first match when it sees its output is /dev/null.
best() { # best wall-clock seconds of $runs runs of "$@"
  local b=999999 t
  for _ in $(seq "$runs"); do
    /usr/bin/time -f %e -o /tmp/arch-time.$$ "$@" >/tmp/arch-out.$$ 2>&1 || true
    t=$(tail -1 /tmp/arch-time.$$)
    b=$(python3 -c "print(min($b, $t))")
  done
  echo "$b"
}
printf '%-9s %-10s %8s %8s %6s %8s %6s %s\n' part word tarnwell ugrep ratio zmax2 ratio same
for part in ${TARNWELL_ARCHIVE_PARTS:-small big bigja gz small-zip small-tgz small-7z}; do
  for word in Copyright xyzzyqq; do
    dir=$corpus/$part
    [ -d "$dir" ] || continue
    "$find_bin" -r -s -z "$word" "$dir" | sort >/tmp/arch-tw.$$ || true
    ugrep -z -rl -- "$word" "$dir" 2>/dev/null | sed 's/{.*//' | sort -u >/tmp/arch-ug.$$ || true
    same=$(cmp -s /tmp/arch-tw.$$ /tmp/arch-ug.$$ && echo yes ||
      echo "no ($(comm -23 /tmp/arch-tw.$$ /tmp/arch-ug.$$ | wc -l) only tarnwell, $(comm -13 /tmp/arch-tw.$$ /tmp/arch-ug.$$ | wc -l) only ugrep)")
    tw=$(best "$find_bin" -r -s -z "$word" "$dir")
    ug=$(best ugrep -z -rl -- "$word" "$dir")
    ug2=$(best ugrep -z --zmax=2 -rl -- "$word" "$dir")
    printf '%-9s %-10s %8s %8s %6s %8s %6s %s\n' "$part" "$word" "$tw" "$ug" \
      "$(python3 -c "print(f'{$tw/$ug:.2f}' if $ug else '-')")" "$ug2" \
      "$(python3 -c "print(f'{$tw/$ug2:.2f}' if $ug2 else '-')")" "$same"
  done
done
rm -f /tmp/arch-tw.$$ /tmp/arch-ug.$$ /tmp/arch-time.$$ /tmp/arch-out.$$
