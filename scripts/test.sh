#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Sets up a Debian machine (apt-get), checks the formatting and that each room
# includes only what docs/architecture.md allows, builds Tarnwell with warnings
# as errors, runs every test, then builds and runs the engine tests again under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the engine's threaded
# tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

echo "== format check"
bash scripts/check-format.sh

echo "== rooms check (docs/architecture.md)"
python3 scripts/check-rooms.py

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWELL_WERROR=ON >/dev/null
cmake --build build -j "$jobs"

echo "== tests"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs" --timeout 900

echo "== engine tests under ASan and UBSan"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNWELL_GUI=OFF \
  -DTARNWELL_SANITIZE=ON -DTARNWELL_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" --timeout 1800

echo "== engine's threaded tests under TSan"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARNWELL_GUI=OFF \
  -DTARNWELL_TSAN=ON -DTARNWELL_WERROR=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target tst_parallel_run tst_search_run tst_tarnwell_find \
  tst_encoding tst_reader_pool tst_document_search tst_document_reads tst_search_stop \
  tst_find_signals tst_archive
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/scripts/tsan.supp" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" --timeout 1800 \
  -R '^(tst_parallel_run|tst_search_run|tst_tarnwell_find|tst_encoding|tst_reader_pool|tst_document_search|tst_document_reads|tst_search_stop|tst_find_signals|tst_archive)$'

if [ -f packaging/check-package.sh ]; then
  echo "== package"
  bash packaging/check-package.sh build
fi
