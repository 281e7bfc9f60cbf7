#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# The package's copyright file passes the DEP-5 check, and the check rejects
# the faults it exists to catch.
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
check="$src/packaging/check-copyright.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

python3 "$check" "$src/packaging/copyright" MIT || { echo "FAIL: the shipped file is rejected"; exit 1; }

reject() { # NAME: the file in $work/NAME must be rejected
  if python3 "$check" "$work/$1" MIT 2>/dev/null; then
    echo "FAIL: $1 was accepted"
    exit 1
  fi
}
head='Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'
printf 'Files: *\nCopyright: x\nLicense: MIT\n text\n' >"$work/no-header"
printf '%s\n\nFiles: *\nLicense: MIT\n text\n' "$head" >"$work/no-copyright"
printf '%s\n\nFiles: *\nCopyright: x\nLicense: GPL-2\n' "$head" >"$work/licence-without-text"
printf '%s\n\nFiles: *\nCopyright: x\nLicense: Apache-2.0\n text\n' "$head" >"$work/not-mit"
printf '%s\n\nFiles: *\nCopyright: x\nLicense: MIT\nnot a field\n' "$head" >"$work/garbage"
printf '%s\n\nFiles: src/*\nCopyright: x\nLicense: MIT\n text\n' "$head" >"$work/no-star"
for f in no-header no-copyright licence-without-text not-mit garbage no-star; do reject "$f"; done
echo "copyright-check: 1 accepted, 6 rejected as they should be"
