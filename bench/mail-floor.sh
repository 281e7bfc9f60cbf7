#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# The floor of saved mail's search: what the search costs when the reader
# helper answers every message it is handed without reading it. Builds this
# tree's committed sources once more with mail-floor.patch applied (under
# $TARNWELL_BENCH_DIR/mail-floor), then runs mail.py with that build and with
# BUILD-DIR's, one after the other. The floor's files differ from the text
# twins' (nothing is read, so almost nothing matches); its time is the calls,
# the copies and the waits between the program and the helper, and the
# program's own opening, reading and recognising of the messages.
#   bash bench/mail-floor.sh BUILD-DIR [RUNS]
set -euo pipefail
source "$(dirname "$0")/common.sh"
build=${1:?the build folder holding tools/tarnwell-find}
runs=${2:-5}
floor=$BENCH_DIR/mail-floor
rm -rf "$floor/src"
mkdir -p "$floor/src"
git -C "$REPO_DIR" archive HEAD | tar -x -C "$floor/src"
patch -s -d "$floor/src" -p1 < "$BENCH_SRC/mail-floor.patch"
cmake -S "$floor/src" -B "$floor/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNWELL_GUI=OFF >/dev/null
cmake --build "$floor/build" --target tarnwell-find tarnwell-docreader >/dev/null
echo "floor: a helper that answers unread"
python3 "$BENCH_SRC/mail.py" --find "$floor/build/tools/tarnwell-find" --runs "$runs"
echo "this build"
python3 "$BENCH_SRC/mail.py" --find "$build/tools/tarnwell-find" --runs "$runs"
