#!/usr/bin/env bash
# Runs a command on a private virtual display (Xvfb, 1024x768x24), then ends the Wine server of
# the project's prefix and that Xvfb, both started here.
set -euo pipefail
source "$(dirname "$0")/env.sh"

# Xvfb takes the first free display number itself and writes it to the ready file once it
# accepts connections: that line is the signal to go on, not the socket file (which can be there
# before the server listens) nor a fixed wait.
ready=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$ready" >/dev/null 2>&1 &
xvfb_pid=$!
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    rm -f "$ready"
}
trap cleanup EXIT
deadline=$((SECONDS + 120))
until grep -q '^[0-9][0-9]*$' "$ready"; do
    if ! kill -0 "$xvfb_pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
        echo "with-display: Xvfb did not come up" >&2
        exit 1
    fi
    sleep 0.1
done
display=$(head -n 1 "$ready")
export DISPLAY=":$display"
"$@"
