#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Builds, mounts and unmounts slowfs (slowfs.c): a read-only passthrough of a
# folder in which every request waits a fixed time, with the kernel's caches off.
#   bench/slowfs.sh build                       -> prints the program's path
#   bench/slowfs.sh start SOURCE MOUNTPOINT DELAY_US [STATS_FILE]
#   bench/slowfs.sh stop MOUNTPOINT
# Mounting needs root (and /dev/fuse); otherwise "start" prints a line saying
# the slow file system is skipped and exits 3, which callers treat as a skip.
set -euo pipefail
source "$(dirname "$0")/common.sh"
SLOWFS=$BIN_DIR/slowfs

build() {
  if ! pkg-config --exists fuse3 || ! command -v fusermount3 >/dev/null; then
    TARNWELL_SETUP_BENCH=1 bash "$REPO_DIR/scripts/setup.sh" >&2
  fi
  mkdir -p "$BIN_DIR"
  if [ ! -x "$SLOWFS" ] || [ "$BENCH_SRC/slowfs.c" -nt "$SLOWFS" ]; then
    # shellcheck disable=SC2046
    gcc -O2 -Wall -Wextra -o "$SLOWFS" "$BENCH_SRC/slowfs.c" $(pkg-config --cflags --libs fuse3)
  fi
}

case "${1:-}" in
build)
  build
  echo "$SLOWFS"
  ;;
start)
  [ $# -eq 4 ] || [ $# -eq 5 ] ||
    { echo "usage: $0 start SOURCE MOUNTPOINT DELAY_US [STATS_FILE]" >&2; exit 2; }
  stats=()
  [ $# -eq 5 ] && stats=(--stats="$(realpath -m "$5")")
  if [ "$(id -u)" != 0 ] || [ ! -c /dev/fuse ]; then
    echo "slow file system skipped: mounting it needs root and /dev/fuse"
    exit 3
  fi
  build
  mkdir -p "$3"
  if mountpoint -q "$3"; then fusermount3 -u "$3"; fi
  # Up to 256 requests served at once, each on its own thread and its own
  # /dev/fuse descriptor; the kernel's caches are turned off in slowfs.c.
  "$SLOWFS" --source="$(cd "$2" && pwd)" --delay-us="$4" "${stats[@]}" "$3" \
    -o ro,fsname=slowfs,max_threads=256,max_idle_threads=256,clone_fd
  ;;
stop)
  [ $# -eq 2 ] || { echo "usage: $0 stop MOUNTPOINT" >&2; exit 2; }
  if mountpoint -q "$2"; then fusermount3 -u "$2"; fi
  # The program writes its statistics as it ends, just after the unmount.
  for _ in $(seq 50); do pgrep -f -- "$SLOWFS .*$2" >/dev/null || break; sleep 0.1; done
  ;;
*)
  echo "usage: $0 build | start SOURCE MOUNTPOINT DELAY_US [STATS_FILE] | stop MOUNTPOINT" >&2
  exit 2
  ;;
esac
