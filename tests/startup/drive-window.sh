#!/bin/sh
# Runs inside xvfb-run: starts the program, waits for its main window, optionally
# moves and resizes it, then closes it with Ctrl+X. Appends what it saw to the
# report file: "seen X Y W H", "moved X Y W H" and "exit CODE".
# Usage: drive-window.sh PROGRAM REPORT [move X Y W H]
set -u
program=$1
report=$2
shift 2

"$program" &
pid=$!

fail() {
    echo "error $1" >>"$report"
    kill "$pid" 2>/dev/null
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
}
geometry seen

if [ "${1:-}" = move ]; then
    xdotool windowmove --sync "$wid" "$2" "$3" || fail "windowmove"
    xdotool windowsize --sync "$wid" "$4" "$5" || fail "windowsize"
    sleep 0.5
    geometry moved
fi

xdotool windowfocus --sync "$wid" || fail "windowfocus"
sleep 0.3
xdotool key --clearmodifiers ctrl+x
for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "still running after Ctrl+X"
wait "$pid"
echo "exit $?" >>"$report"
