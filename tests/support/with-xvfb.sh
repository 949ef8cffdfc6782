#!/usr/bin/env bash
# Runs a command under an X server of its own: Xvfb picks a free display
# itself and names it once it accepts clients, so any number of these may
# run side by side. The command's exit code is passed on.
# Usage: with-xvfb.sh WIDTHxHEIGHT command [argument...]
set -euo pipefail

size=$1
shift
work=$(mktemp -d)
xvfb=""
finish() {
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap finish EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# The server reads every cookie of its file whatever display it names; the
# clients look theirs up by display number, added once the number is known.
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
export XAUTHORITY=$work/auth
: >"$XAUTHORITY"
xauth -q -f "$XAUTHORITY" add :0 . "$cookie"

# No reset when the last client goes: keys that a driver bound stay bound
# from one start of the program to the next.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset -auth "$XAUTHORITY" \
    3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
display=""
read -r -t 30 display <"$work/display" || true
if [ -z "$display" ]; then
    echo "with-xvfb: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
xauth -q -f "$XAUTHORITY" add ":$display" . "$cookie"
export DISPLAY=":$display"

status=0
"$@" || status=$?
exit "$status"
