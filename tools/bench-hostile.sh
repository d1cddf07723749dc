#!/usr/bin/env bash
# How the results service kalvit-results holds up against hostile clients: starts it on a free
# loopback port with a new SQLite store, gives it SEED uploads (4 clients) and the account
# victim@host.com, then runs tools/bench-hostile.py against it: a normal client's latency and
# failures, and the service's peak memory, during each attack in turn. Figures, not a test; the
# attackers share this machine's processors with the service.
#   tools/bench-hostile.sh [--seconds S] [--seed N] [-- SERVICE ARGS...]   (defaults 12 and 200)
#   SERVICE ARGS go to kalvit-results as they are, e.g. -- --trusted-proxy
#   KALVIT_LOAD_BUILD_DIR: the build folder (default build/load)
#   KALVIT_LOAD_SERVER: another kalvit-results to measure instead of the one built there
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=tools/results-service.sh
. tools/results-service.sh

usage() {
    echo "usage: $0 [--seconds S] [--seed N] [-- SERVICE ARGS...]" >&2
    exit 2
}

seconds=12
seed=200
while [ $# -gt 0 ]; do
    case "$1" in
        --seconds | --seed)
            if [ $# -lt 2 ] || ! [[ $2 =~ ^[1-9][0-9]*$ ]]; then usage; fi
            if [ "$1" = --seconds ]; then seconds=$2; else seed=$2; fi
            shift 2
            ;;
        --)
            shift
            break
            ;;
        *) usage ;;
    esac
done
[ "$seed" -ge 2 ] || usage

build_dir=${KALVIT_LOAD_BUILD_DIR:-build/load}
server=${KALVIT_LOAD_SERVER:-$build_dir/server/kalvit-results}
load=$build_dir/results-load

say() { echo "bench-hostile: $*" >&2; }

work=""
# shellcheck disable=SC2317  # run from the EXIT trap
on_exit() {
    local status=$?
    trap - EXIT
    stop_service
    [ -z "$work" ] || rm -rf -- "$work"
    exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

tools/setup.sh
cmake --preset native -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target kalvit-results results-load

work=$(mktemp -d "${TMPDIR:-/tmp}/kalvit-hostile.XXXXXX")
# The seed's uploads come from one address, as the normal client does.
start_service "$server" "$work/results.db" "$work" --write-limits 1000000,1000000,1000 "$@"
port=${service_url##*:}
say "service on $service_url (pid $service_pid); $seed uploads"
"$load" uploads --clients 4 --count "$seed" --first 0 --port "$port" | sed -n 's/^results-load: /  /p' >&2

victim=$("$load" upload-url --mail victim@host.com --pass Victim2024 --port "$port")
answer=$(curl -sS -o /dev/null -w '%{http_code}' "$service_url$victim")
if [ "$answer" != 303 ]; then
    say "the victim's account was not made: $answer"
    exit 1
fi

status=0
python3 tools/bench-hostile.py --port "$port" --pid "$service_pid" --seconds "$seconds" \
    --ids "$seed" || status=$?
if [ -s "$work/service.err" ]; then
    say "the service wrote:"
    head -n 20 "$work/service.err" >&2
fi
exit "$status"
