#!/usr/bin/env bash
# Runs a command on a private virtual display (Xvfb, 1024x768x24), then ends the Wine server of
# the project's prefix and that Xvfb, both started here.
set -euo pipefail
source "$(dirname "$0")/env.sh"

n=91
while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
done
export DISPLAY=":$n"
"$@"
