#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Usage: fuzz/run.sh TARGET SECONDS [libFuzzer options...]
#        fuzz/run.sh --build          (only build the targets)
# TARGET is matcher, decoder, number, settings, viewer, zipdoc, zipxml, lines,
# cfb, word, excel, powerpoint, rtf or pdf. Installs clang and libFuzzer
# when missing (scripts/setup.sh with TARNWELL_SETUP_FUZZ=1), builds the fuzz
# targets with AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz/,
# then fuzzes TARGET for SECONDS starting from the committed seeds in
# fuzz/corpus/TARGET. What it grows goes to build-fuzz/corpus/TARGET and crashing
# inputs to build-fuzz/artifacts/TARGET/; neither is committed: minimise a find
# and add it to fuzz/corpus/TARGET as a regression case.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 1 ] || { [ "$1" != "--build" ] && [ $# -lt 2 ]; }; then
  echo "usage: fuzz/run.sh TARGET SECONDS [libFuzzer options...] | --build" >&2
  exit 2
fi

TARNWELL_SETUP_FUZZ=1 bash scripts/setup.sh
build=${TARNWELL_FUZZ_BUILD:-build-fuzz}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
if [ ! -f "$build/CMakeCache.txt" ]; then
  # Debug keeps assertions on; -O1 keeps the fuzzer fast enough.
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
    -DCMAKE_CXX_COMPILER=clang++ -DTARNWELL_FUZZ=ON -DTARNWELL_GUI=OFF -DTARNWELL_TESTS=OFF \
    "${launcher[@]}" >/dev/null
fi
if [ "$1" = "--build" ]; then
  cmake --build "$build" -j "${TARNWELL_FUZZ_JOBS:-2}"
  exit 0
fi
target=$1
seconds=$2
shift 2
cmake --build "$build" -j "${TARNWELL_FUZZ_JOBS:-2}" --target "fuzz_$target"

mkdir -p "$build/corpus/$target" "$build/artifacts/$target"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
extra=()
if [ "$target" = settings ]; then
  # QSettings keeps every file it read in a process-wide cache, so the heap grows
  # with each input and libFuzzer would scan for leaks after every one (20 times
  # slower). The store's file syncs are cheap on a memory file system.
  extra=(-detect_leaks=0)
  [ -d /dev/shm ] && export TMPDIR=/dev/shm
fi
if [ "$target" = pdf ]; then
  # The reader helper's address space is 1 GiB; under ASan the nearest rule is
  # that no one allocation may be larger.
  extra=(-malloc_limit_mb=1024)
fi
# The first folder receives what the fuzzer finds; the seeds are only read.
exec "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/$target/" "${extra[@]}" "$@" "$build/corpus/$target" "fuzz/corpus/$target"
