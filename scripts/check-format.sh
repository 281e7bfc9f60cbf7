#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Fails when a tracked C++ file differs from what clang-format makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' | grep -v '_table\.inc$' || true)
[ -z "$files" ] && exit 0
bad=0
for f in $files; do
  if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then
    echo "not formatted: $f (run: clang-format -i $f)"
    bad=1
  fi
done
exit $bad
