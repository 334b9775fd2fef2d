#!/usr/bin/env bash
# Runs a command with Qt on an X screen of its own: a virtual X server started for
# the run and stopped after it, with no window manager (as on a bare CI machine) or,
# given --window-manager, with one that frames the windows as a desktop does. Window
# activation and keyboard focus there are the window system's, not Qt's stand-ins.
set -euo pipefail
manager=""
if [ "${1:-}" = "--window-manager" ]; then
    manager=openbox
    shift
    command -v "$manager" >/dev/null || { echo "$manager is missing: run scripts/deps.sh" >&2; exit 1; }
fi
command -v Xvfb >/dev/null || { echo "Xvfb is missing: run scripts/deps.sh" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/orvex-xvfb.XXXXXX")
server=""
wm=""
cleanup() {
    if [ -n "$wm" ]; then kill "$wm" 2>/dev/null || true; wait "$wm" 2>/dev/null || true; fi
    if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
    rm -rf "$dir"
}
trap cleanup EXIT
# The server picks a free display and writes its number once it takes clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" 2>"$dir/log" &
server=$!
for _ in $(seq 200); do
    [ -s "$dir/display" ] && break
    kill -0 "$server" 2>/dev/null || { cat "$dir/log" >&2; exit 1; }
    sleep 0.05
done
[ -s "$dir/display" ] || { echo "Xvfb did not start" >&2; cat "$dir/log" >&2; exit 1; }
export DISPLAY=":$(head -n1 "$dir/display")" QT_QPA_PLATFORM=xcb
if [ -n "$manager" ]; then
    HOME="$dir" "$manager" >"$dir/wm-log" 2>&1 &
    wm=$!
    # The manager has the screen once it names itself on the root window.
    for _ in $(seq 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        kill -0 "$wm" 2>/dev/null || { cat "$dir/wm-log" >&2; exit 1; }
        sleep 0.05
    done
fi
"$@"
