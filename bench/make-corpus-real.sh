#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the "real" corpus: a private copy of /usr/include and /usr/share/doc,
# so that package upgrades do not change it between runs.
# Symbolic links are dropped: the searchers compared here treat them
# differently (some follow them, some do not), and a link-free tree lets every
# tool see exactly the same files. Only directories and regular files remain.
set -euo pipefail
source "$(dirname "$0")/common.sh"

if corpus_done "$CORPUS_REAL"; then
  echo "real corpus already built: $CORPUS_REAL"
  exit 0
fi
corpus_start "$CORPUS_REAL"
out=$CORPUS_REAL.partial
mkdir -p "$out/include" "$out/doc"
cp -a /usr/include/. "$out/include/"
cp -a /usr/share/doc/. "$out/doc/"
find "$out" -type l -delete
find "$out" ! -type d ! -type f -delete
# Every file readable, so no tool skips a file for want of permission.
chmod -R u+rwX,go+rX "$out"
corpus_finish "$CORPUS_REAL"
printf 'real corpus: %s files, %s\n' "$(find "$CORPUS_REAL" -type f | wc -l)" \
  "$(du -sh --apparent-size "$CORPUS_REAL" | cut -f1)"
