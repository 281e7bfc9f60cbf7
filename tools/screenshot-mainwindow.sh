#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Takes a screenshot of the main window after a search: starts the program
# under Xvfb with a throw-away settings folder, types a folder and a keyword,
# searches, selects the first result and saves the screen to docs/mainwindow.png.
# Usage: tools/screenshot-mainwindow.sh [path/to/tarnwell] [output.png]
# Needs xvfb-run, xdotool and imagemagick's import.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(realpath "${1:-build/app/tarnwell}")
out=$(realpath -m "${2:-docs/mainwindow.png}")
for tool in xvfb-run xdotool import; do
  command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing" >&2; exit 1; }
done
[ -x "$bin" ] || { echo "screenshot: no program at $bin (build it first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
samples="$work/samples"
# A small tree of code-page-932 text files.
python3 - "$samples" <<'PY'
import os, sys
root = sys.argv[1]
files = {
    'notes/meeting.txt': 'Meeting notes\r\n来週の lantern 祭りの準備について\r\namber lights on the bridge\r\n',
    'notes/todo.txt': 'buy paper lantern\r\n提灯を買う\r\n',
    'readme.txt': 'Tarnwell sample tree\r\nThe lantern festival starts at dusk.\r\n',
    'log/2024-01.txt': 'nothing to see here\r\n',
    'log/2024-02.txt': 'lantern repaired\r\n修理済み\r\n',
}
for name, text in files.items():
    path = os.path.join(root, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(text.encode('cp932'))
PY

export XDG_CONFIG_HOME="$work/config" HOME="$work" BIN="$bin" OUT="$out" SAMPLES="$samples"
mkdir -p "$(dirname "$out")"
xvfb-run -a -s "-screen 0 640x400x24" bash -c '
  set -euo pipefail
  QT_QPA_PLATFORM=xcb "$BIN" &
  pid=$!
  wid=""
  for _ in $(seq 100); do
    wid=$(xdotool search --onlyvisible --name "^Tarnwell$" 2>/dev/null | head -1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { echo "screenshot: the window did not appear" >&2; kill $pid; exit 1; }
  sleep 1
  xdotool windowmove "$wid" 20 20 windowfocus --sync "$wid"
  sleep 0.3
  xdotool type --delay 5 "$SAMPLES"     # the folder box has the focus
  xdotool key Tab; xdotool type --delay 5 "lantern"
  xdotool key alt+u; sleep 0.5          # sub-folders too
  xdotool key Return                    # search (Enter)
  sleep 1
  xdotool key alt+k                     # back to the keyword box
  xdotool key Tab Tab Tab Down          # to the result list; Down selects the first entry
  sleep 1
  import -window root "$OUT"
  xdotool key ctrl+x
  wait $pid || true
'
echo "screenshot: $out"
