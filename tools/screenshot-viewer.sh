#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Takes docs/about.png and docs/viewer.png under Xvfb.
# Usage: tools/screenshot-viewer.sh [BUILD_DIR]   (default: build-viewer)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-viewer}
cmake -S . -B "$build" -G Ninja -DTARNWELL_VIEWER_BENCH=ON >/dev/null
cmake --build "$build" --target screenshot-viewer >/dev/null
mkdir -p docs
for mode in about viewer; do
  xvfb-run -a -s "-screen 0 800x500x24" "$build/tests/viewer/screenshot-viewer" "$mode" "docs/$mode.png"
  echo "docs/$mode.png"
done
