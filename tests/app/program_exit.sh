#!/usr/bin/env bash
# The real program as a process under Xvfb: with no settings file it opens on
# the connection page; "取消" ends it with exit code 0, no main window and no
# settings file written.
set -euo pipefail

program=$1
folder=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$folder"' EXIT
cp "$program" "$folder/vardenix"

export QT_QPA_PLATFORM=xcb
export LC_ALL=C.UTF-8 # the window is found by its Chinese title
"$folder/vardenix" &
pid=$!

window=""
for _ in $(seq 200); do
    window=$(xdotool search --name '^连接设置' 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    sleep 0.05
done
[ -n "$window" ] || { echo "the connection page did not open"; exit 1; }

# Edit1 has the focus; the tab order runs Edit3, Edit4, Edit5, "连接测试", "取消".
xdotool windowfocus --sync "$window"
xdotool key --delay 50 Tab Tab Tab Tab Tab space

status=0
for _ in $(seq 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
done
if kill -0 "$pid" 2>/dev/null; then
    echo "the program did not end after 取消"
    exit 1
fi
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "exit code $status"; exit 1; }
[ ! -e "$folder/vardenix.ini" ] || { echo "a settings file was written"; exit 1; }
echo "1 passed, 0 failed"
