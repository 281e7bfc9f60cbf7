#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Fails when a tracked file lacks the two SPDX lines (licence and copyright
# holder) near its top. Files that cannot carry a comment are listed, with the
# reason, in the Files: lines of .reuse/dep5 and skipped here.
set -euo pipefail
cd "$(dirname "$0")/.."

if ! git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  echo "check-spdx: not a git work tree; nothing to check"
  exit 0
fi

# The dep5 globs: "*" matches across folders as in the DEP-5 format.
mapfile -t globs < <(sed -n 's/^Files: *//p' .reuse/dep5 | tr ' ' '\n' | sed '/^$/d')

missing=0
checked=0
while IFS= read -r -d '' f; do
  [ -f "$f" ] || continue # deleted in the work tree
  skip=0
  for g in "${globs[@]}"; do
    # shellcheck disable=SC2053 # the glob is meant to match
    if [[ "$f" == $g ]]; then
      skip=1
      break
    fi
  done
  [ "$skip" -eq 1 ] && continue
  checked=$((checked + 1))
  head=$(head -n 6 -- "$f")
  if ! grep -q 'SPDX-License-Identifier: MIT' <<<"$head" ||
    ! grep -q 'SPDX-FileCopyrightText: 2026 the Tarnwell developers' <<<"$head"; then
    echo "check-spdx: $f lacks the SPDX lines near its top" >&2
    missing=$((missing + 1))
  fi
done < <(git ls-files -z)

if [ "$missing" -ne 0 ]; then
  echo "check-spdx: $missing file(s) without SPDX lines; add them or list the file in .reuse/dep5" >&2
  exit 1
fi
echo "check-spdx: $checked files carry the SPDX lines"
