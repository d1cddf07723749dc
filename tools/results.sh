#!/usr/bin/env bash
# Builds and starts the results service on http://127.0.0.1:8642/ with the embedded store
# (build/results/kalvit-results.db), offering the installer and the archive of build/dist when
# tools/package.sh has made them. Extra arguments go to kalvit-results (--port, --store, ...).
#   tools/results.sh --tls [ARGS...]  also puts nginx in front (tools/tls-front.sh): HTTPS on
#       127.0.0.1:8443 and plain HTTP on 127.0.0.1:8080 (KALVIT_HTTPS_PORT, KALVIT_HTTP_PORT),
#       its folder and self-signed certificate in build/results/tls. The service trusts the
#       front's forwarded headers. Ctrl-C stops both.
set -euo pipefail
cd "$(dirname "$0")/.."
tls=0
if [[ ${1:-} == --tls ]]; then
    tls=1
    shift
fi
tools/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kalvit-results
mkdir -p build/results
service=(build/native/server/kalvit-results --store build/results/kalvit-results.db
    --downloads build/dist)
[[ $tls -eq 1 ]] || exec "${service[@]}" "$@"

# shellcheck source=tools/results-service.sh
. tools/results-service.sh
# shellcheck source=tools/tls-front.sh
. tools/tls-front.sh
backend=8642
args=("$@")
for i in "${!args[@]}"; do
    if [[ ${args[i]} == --port ]]; then backend=${args[i + 1]:-}; fi
done
if [[ $backend == 0 ]]; then
    echo "results: --tls needs the service on a port of its own, not --port 0" >&2
    exit 2
fi
# shellcheck disable=SC2154  # status is set by the trap itself
trap 'status=$?; trap - EXIT; stop_front; stop_service; exit "$status"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
"${service[@]}" --trusted-proxy 127.0.0.1 "$@" </dev/null &
service_pid=$!
for _ in $(seq 300); do
    front_answers "$backend" && break
    kill -0 "$service_pid" 2>/dev/null || exit 1
    sleep 0.1
done
front_answers "$backend" || { echo "results: the service does not answer on :$backend" >&2; exit 1; }
start_front "$backend" build/results/tls "${KALVIT_HTTPS_PORT:-8443}" "${KALVIT_HTTP_PORT:-8080}"
echo "results: HTTPS on https://127.0.0.1:$front_https_port/ (certificate $front_cert)"
echo "results: plain HTTP on http://127.0.0.1:$front_http_port/ (the program's upload, old browsers)"
wait -n "$service_pid" "$front_pid" || true
