#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds the "many" corpus: 500,000 tiny files (a line or two each) in 1,000
# folders of 500, for the memory check of long lists (bench/memcheck-many.sh).
# Paths below the corpus are short ("d0123/n00456789", 16 bytes), so the list's
# own cost per file shows against the bytes of the paths. Every file holds
# "tinyword"; one in a hundred holds "rareword" as well. Fixed contents: every
# build is the same.
set -euo pipefail
source "$(dirname "$0")/common.sh"
CORPUS_MANY=$BENCH_DIR/corpus/many

if corpus_done "$CORPUS_MANY"; then
  echo "many corpus already built: $CORPUS_MANY"
  exit 0
fi
corpus_start "$CORPUS_MANY"
python3 - "$CORPUS_MANY.partial" <<'PY'
import os, sys

out = sys.argv[1]
for d in range(1000):
    folder = os.path.join(out, f'd{d:04}')
    os.mkdir(folder)
    for i in range(500):
        n = d * 500 + i
        text = b'tinyword line\r\n' + (b'rareword\r\n' if n % 100 == 0 else b'')
        with open(os.path.join(folder, f'n{n:08}'), 'wb') as f:
            f.write(text)
print('wrote 500000 files')
PY
corpus_finish "$CORPUS_MANY"
printf 'many corpus: %s files\n' "$(find "$CORPUS_MANY" -type f | wc -l)"
