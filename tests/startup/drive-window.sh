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
# (the window manager must take openbox's --startup CMD)
#            [move X Y W H | moveframe X Y | search FOLDER KEYWORD]
# Each step waits for the event it needs (the window manager's check window,
# the main window's mapping, the frame's extents, a move's arrival), polling
# with a generous bound rather than sleeping a fixed time: on a busy machine a
# first start in a fresh home (font caches are built) can take many seconds.
set -u
program=$1
report=$2
shift 2

# Polls until the command succeeds, for at most $1 seconds.
wait_until() {
    limit=$1
    shift
    deadline=$(($(date +%s) + limit))
    until "$@"; do
        [ "$(date +%s)" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}

wm_pid=""
# The window manager has started once it has run its start-up command: it
# names its check window on the root window (EWMH _NET_SUPPORTING_WM_CHECK)
# early in its start, long before it handles a client's request to be shown,
# and a window shown in between was seen to stay unmapped for good.
wm_ready() {
    kill -0 "$wm_pid" 2>/dev/null || return 0 # ended: told below
    [ -e "$report.wm-started" ] || return 1
    check=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | sed -n 's/.*window id # //p')
    [ -n "$check" ] && xprop -id "$check" _NET_WM_NAME >/dev/null 2>&1
}
# The server takes clients once a client can read its root window.
server_ready() { xprop -root >/dev/null 2>&1; }
wait_until 60 server_ready || { echo "error the display takes no clients after 60 s" >>"$report"; exit 1; }
if [ -n "${DRIVE_WM:-}" ]; then
    rm -f "$report.wm-started"
    "$DRIVE_WM" --startup "touch $report.wm-started" >"$report.wm" 2>&1 &
    wm_pid=$!
    wait_until 120 wm_ready || { echo "error no window manager after 120 s" >>"$report"; exit 1; }
    if ! kill -0 "$wm_pid" 2>/dev/null; then
        wait "$wm_pid"
        echo "error the window manager ended ($?): $(tail -3 "$report.wm" | tr '\n' ' ')" >>"$report"
        exit 1
    fi
fi

"$program" &
pid=$!

fail() {
    echo "error $1" >>"$report"
    kill "$pid" 2>/dev/null
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    exit 1
}

# The main window: the visible window named exactly "Tarnwell" that is not the
# title window shown during start-up (a splash screen by its window type).
find_main() {
    for w in $(xdotool search --onlyvisible --name Tarnwell 2>/dev/null); do
        [ "$(xdotool getwindowname "$w" 2>/dev/null)" = Tarnwell ] || continue
        xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | grep -q SPLASH && continue
        echo "$w"
    done
}
main_shown() {
    kill -0 "$pid" 2>/dev/null || return 0 # ended: told below
    found=$(find_main)
    [ "$(echo "$found" | grep -c .)" = 1 ]
}
# What there was instead, for the report: each window named Tarnwell, with its
# map state and type, and what the program was doing.
windows_seen() {
    for w in $(xdotool search --name Tarnwell 2>/dev/null); do
        printf '%s "%s" %s %s; ' "$w" "$(xdotool getwindowname "$w" 2>/dev/null)" \
            "$(xwininfo -id "$w" 2>/dev/null | sed -n 's/.*Map State: *//p')" \
            "$(xprop -id "$w" _NET_WM_WINDOW_TYPE 2>/dev/null | sed 's/.*= *//')"
    done
    printf 'program %s' "$(sed -n 's/^State:\t*//p' "/proc/$pid/status" 2>/dev/null || echo gone)"
}
wait_until 120 main_shown || fail "no main window after 120 s: $(windows_seen)"
kill -0 "$pid" 2>/dev/null || fail "program ended early"
wid=$found

# The window's inside as the X server has it (xdotool's own geometry adds the
# inside's offset in a window manager's frame once more).
inside() {
    info=$(xwininfo -id "$wid") || fail "xwininfo"
    X=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
    Y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
    WIDTH=$(echo "$info" | sed -n 's/^ *Width: *//p')
    HEIGHT=$(echo "$info" | sed -n 's/^ *Height: *//p')
}
# _NET_FRAME_EXTENTS = left, right, top, bottom; the manager sets them once it
# has framed the window, which may come a while after the window is mapped.
has_extents() {
    ext=$(xprop -id "$wid" _NET_FRAME_EXTENTS 2>/dev/null | sed -n 's/.*= *//p' | tr -d ' ')
    [ -n "$ext" ]
}
# Where the window is, as one line, for telling when it has come to rest.
place() {
    xwininfo -id "$wid" 2>/dev/null | grep -E 'Absolute upper-left|^ *(Width|Height):' | tr -d ' \n'
}
# The program places the frame itself once the manager has framed the window
# (a few tries, 200 ms apart): the window is settled when its place has not
# changed for two seconds of polling, longer than the program's tries take.
settled() {
    now=$(place)
    if [ "$now" != "$last_place" ]; then
        last_place=$now
        place_since=$(date +%s)
        return 1
    fi
    [ "$(date +%s)" -ge "$((place_since + 2))" ]
}
settle() {
    last_place=""
    place_since=$(date +%s)
    wait_until 60 settled || fail "the window did not come to rest in 60 s"
}
# True when the inside is at X Y with size W H.
at_place() {
    inside
    [ "$X $Y $WIDTH $HEIGHT" = "$1 $2 $3 $4" ]
}
extents() {
    wait_until 60 has_extents || fail "no frame extents after 60 s"
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
[ -n "$wm_pid" ] && extents
settle
geometry seen

if [ "${1:-}" = move ]; then
    xdotool windowmove --sync "$wid" "$2" "$3" || fail "windowmove"
    xdotool windowsize --sync "$wid" "$4" "$5" || fail "windowsize"
    # The server has it, and the program hears of it before the Ctrl+X that
    # follows (the server's events reach it in order). The place is read once
    # nothing moves the window any more.
    wait_until 60 at_place "$2" "$3" "$4" "$5" || true
    settle
    geometry moved
fi

if [ "${1:-}" = moveframe ]; then
    # Only the position, through the window manager, which puts the inside
    # where xdotool asks: the frame's top-left corner goes to X, Y.
    extents
    xdotool windowmove --sync "$wid" "$(($2 + fl))" "$(($3 + ft))" || fail "windowmove"
    settle
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
