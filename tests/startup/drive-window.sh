#!/bin/sh
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Runs inside xvfb-run: starts the program, waits for its main window, optionally
# moves and resizes it, then closes it with Ctrl+X. Appends what it saw to the
# report file: "seen X Y W H", "moved X Y W H" and "exit CODE"; with a window
# manager also "frame X Y W H", the outer rectangle the manager drew.
# Usage: [DRIVE_WM=openbox] drive-window.sh PROGRAM REPORT [move X Y W H]
set -u
program=$1
report=$2
shift 2

wm_pid=""
if [ -n "${DRIVE_WM:-}" ]; then
    "$DRIVE_WM" >/dev/null 2>&1 &
    wm_pid=$!
    for _ in $(seq 100); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" ||
        { echo "error no window manager" >>"$report"; exit 1; }
fi

"$program" &
pid=$!

fail() {
    echo "error $1" >>"$report"
    kill "$pid" 2>/dev/null
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    exit 1
}

# The main window: the one visible window named exactly "Tarnwell" that is still
# there a moment later (the title window comes and goes during start-up).
find_main() {
    for w in $(xdotool search --onlyvisible --name Tarnwell 2>/dev/null); do
        [ "$(xdotool getwindowname "$w" 2>/dev/null)" = Tarnwell ] && echo "$w"
    done
}
wid=""
for _ in $(seq 200); do
    kill -0 "$pid" 2>/dev/null || fail "program ended early"
    found=$(find_main)
    if [ "$(echo "$found" | grep -c .)" = 1 ]; then
        sleep 1
        [ "$(find_main)" = "$found" ] && wid=$found && break
    fi
    sleep 0.1
done
[ -n "$wid" ] || fail "no main window"

geometry() {
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    echo "$1 $X $Y $WIDTH $HEIGHT" >>"$report"
    if [ -n "$wm_pid" ]; then
        # _NET_FRAME_EXTENTS = left, right, top, bottom
        ext=$(xprop -id "$wid" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
        [ -n "$ext" ] || fail "no frame extents"
        IFS=, read -r fl fr ft fb <<EOF
$ext
EOF
        echo "frame $((X - fl)) $((Y - ft)) $((WIDTH + fl + fr)) $((HEIGHT + ft + fb))" >>"$report"
    fi
}
geometry seen

if [ "${1:-}" = move ]; then
    xdotool windowmove --sync "$wid" "$2" "$3" || fail "windowmove"
    xdotool windowsize --sync "$wid" "$4" "$5" || fail "windowsize"
    # The server has moved it; give the program time to hear of it on a busy
    # machine, since what it saves at exit is what it last heard.
    sleep 1.5
    geometry moved
fi

xdotool windowfocus --sync "$wid" || fail "windowfocus"
sleep 1
# On a busy machine the first key can arrive before the focus has: press it
# again once if the program is still running after a while.
for attempt in 1 2; do
    xdotool key --clearmodifiers ctrl+x
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null || break
    [ "$attempt" = 1 ] && xdotool windowfocus --sync "$wid" 2>/dev/null
done
kill -0 "$pid" 2>/dev/null && fail "still running after Ctrl+X"
wait "$pid"
echo "exit $?" >>"$report"
[ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
exit 0
