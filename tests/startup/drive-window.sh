#!/bin/sh
# SPDX-FileCopyrightText: 2026 the Tarnwell developers
# SPDX-License-Identifier: MIT
# Runs on the X display that DISPLAY names: starts the program, waits for its
# main window, optionally moves and resizes it or runs a search, then closes it
# with Ctrl+X. Appends what it saw to the report file: "seen X Y W H",
# "moved X Y W H" and "exit CODE"; with a window manager also "frame X Y W H",
# the outer rectangle the manager drew. "search" types FOLDER into the folder
# box and KEYWORD into the keyword box, then sends Alt+U and Enter back to back,
# and reports "windows N", the program's windows shown afterwards (a second one
# is a message box, which it then closes with Enter). Whatever goes wrong is
# reported as "error WHAT".
# Usage: [DRIVE_WM=openbox] drive-window.sh PROGRAM REPORT
#            [move X Y W H | moveframe X Y | search FOLDER KEYWORD]
set -u
program=$1
report=$2
shift 2

wm_pid=""
if [ -n "${DRIVE_WM:-}" ]; then
    "$DRIVE_WM" >/dev/null 2>&1 &
    wm_pid=$!
    for _ in $(seq 300); do
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

# The window's inside as the X server has it (xdotool's own geometry adds the
# inside's offset in a window manager's frame once more).
inside() {
    info=$(xwininfo -id "$wid") || fail "xwininfo"
    X=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
    Y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
    WIDTH=$(echo "$info" | sed -n 's/^ *Width: *//p')
    HEIGHT=$(echo "$info" | sed -n 's/^ *Height: *//p')
}
# _NET_FRAME_EXTENTS = left, right, top, bottom
extents() {
    ext=$(xprop -id "$wid" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$ext" ] || fail "no frame extents"
    IFS=, read -r fl fr ft fb <<EOF
$ext
EOF
}
geometry() {
    inside
    echo "$1 $X $Y $WIDTH $HEIGHT" >>"$report"
    if [ -n "$wm_pid" ]; then
        extents
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

if [ "${1:-}" = moveframe ]; then
    # Only the position, through the window manager, which puts the inside
    # where xdotool asks: the frame's top-left corner goes to X, Y.
    extents
    xdotool windowmove --sync "$wid" "$(($2 + fl))" "$(($3 + ft))" || fail "windowmove"
    sleep 1.5
    geometry moved
fi

if [ "${1:-}" = search ]; then
    xdotool windowfocus --sync "$wid" || fail "windowfocus"
    sleep 0.5
    # The focus starts in the folder box; Tab leads to the keyword box.
    xdotool key --clearmodifiers ctrl+a || fail "key"
    xdotool type --delay 30 "$2" || fail "type"
    xdotool key --clearmodifiers Tab ctrl+a || fail "key"
    xdotool type --delay 30 "$3" || fail "type"
    # Back to back: xdotool's own 12 ms between the two keys.
    xdotool key --clearmodifiers alt+u Return || fail "key"
    sleep 3
    shown=$(xdotool search --onlyvisible --name Tarnwell 2>/dev/null | grep -c .)
    echo "windows $shown" >>"$report"
    if [ "$shown" -gt 1 ]; then
        xdotool key --clearmodifiers Return
        sleep 1
    fi
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
