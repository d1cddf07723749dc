#!/usr/bin/env bash
# Runs a command beside a kalvit-results service of its own: the service listens on a free
# loopback port with an empty store in a temporary folder, the command finds it in
# KALVIT_RESULTS_URL (http://127.0.0.1:PORT, no slash at the end), and afterwards the service is
# stopped and the folder removed. Exits with the command's status.
#   tools/with-results.sh SERVER_BINARY COMMAND [ARGS...]
set -euo pipefail
# shellcheck source=tools/results-service.sh
. "$(dirname "$0")/results-service.sh"

if [ $# -lt 2 ]; then
    echo "usage: tools/with-results.sh SERVER_BINARY COMMAND [ARGS...]" >&2
    exit 2
fi
server=$1
shift
if [ ! -f "$server" ] || [ ! -x "$server" ]; then
    echo "with-results: no results service at $server" >&2
    echo "with-results: build it first (cmake --build --preset native-asan)" >&2
    exit 1
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/kalvit-results.XXXXXX")
# shellcheck disable=SC2317  # run from the EXIT trap
cleanup() {
    stop_service
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_service "$server" "$dir/results.db" "$dir" || exit 1
export KALVIT_RESULTS_URL=$service_url

status=0
"$@" || status=$?
exit "$status"
