#!/usr/bin/env bash
# Runs a command with Qt on an X screen of its own: a virtual X server started for
# the run (no window manager, as on a bare CI machine) and stopped after it. Window
# activation and keyboard focus there are the window system's, not Qt's stand-ins.
set -euo pipefail
command -v Xvfb >/dev/null || { echo "Xvfb is missing: run scripts/deps.sh" >&2; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/orvex-xvfb.XXXXXX")
server=""
cleanup() {
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
"$@"
