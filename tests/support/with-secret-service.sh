#!/usr/bin/env bash
# Runs a command in a private D-Bus session whose secret service is a keyring
# daemon of its own, unlocked, in a home folder made for the run and removed after.
set -euo pipefail
home=$(mktemp -d "${TMPDIR:-/tmp}/orvex-keyring.XXXXXX")
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/data" "$home/config" "$home/cache" "$home/run"
chmod 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
export XDG_RUNTIME_DIR="$home/run"
dbus-run-session -- bash -c '
    printf orvex-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    exec "$@"' bash "$@"
