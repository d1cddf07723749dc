#!/usr/bin/env bash
# Load figures of the results service kalvit-results, for the embedded SQLite store and for a
# throw-away PostgreSQL server (tools/with-postgres.sh). For each store the service starts on a
# free loopback port with an empty store, takes SEED uploads (4 clients), then serves pages to
# 16 keep-alive clients for S seconds each: a mix (of four requests two pairs side by side, a
# result page, the table of all uploads), the pairs alone and the table alone; and finally takes
# uploads from 16 clients for S seconds. Every upload is a distinct one made by the program's own
# upload code (bench/results_load.cpp); each costs the service one argon2id check, and the first
# under an account one hash more. Prints the cost of that hash, measured here, and a table:
# store, test, clients, requests/s, median and 99th-percentile latency, errors (answers other
# than 2xx and 3xx, requests without an answer, uploads not stored as new), with the service's
# own CPU use and the load average around each store. The load runs on the same machine as the
# service: figures, not a test, and only as good as the machine is quiet.
#   tools/bench-results.sh [--seconds S] [--seed N]     (defaults 15 and 1000)
#   KALVIT_LOAD_BUILD_DIR: the build folder (default build/load)
#   KALVIT_LOAD_SERVER: another kalvit-results to measure instead of the one built there
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=tools/results-service.sh
. tools/results-service.sh

usage() {
    echo "usage: $0 [--seconds S] [--seed N]" >&2
    exit 2
}

seconds=15
seed=1000
inner=""   # set when run again by tools/with-postgres.sh: the store to measure
results="" # where the figures go, one "figures:" line each
while [ $# -gt 0 ]; do
    case "$1" in
        --seconds)
            if [ $# -lt 2 ] || ! [[ $2 =~ ^[1-9][0-9]*$ ]]; then usage; fi
            seconds=$2
            shift 2
            ;;
        --seed)
            if [ $# -lt 2 ] || ! [[ $2 =~ ^[1-9][0-9]*$ ]] || [ "$2" -lt 2 ]; then usage; fi
            seed=$2
            shift 2
            ;;
        --measure)
            [ $# -ge 3 ] || usage
            inner=$2
            results=$3
            shift 3
            ;;
        *) usage ;;
    esac
done

build_dir=${KALVIT_LOAD_BUILD_DIR:-build/load}
server=${KALVIT_LOAD_SERVER:-$build_dir/server/kalvit-results}
load=$build_dir/results-load
clients=16

say() { echo "bench-results: $*" >&2; }

service_work=""
own_results=""
# shellcheck disable=SC2317  # run from the EXIT trap
cleanup() {
    stop_service
    [ -z "$service_work" ] || rm -rf -- "$service_work"
    [ -z "$own_results" ] || rm -f -- "$own_results"
}
# shellcheck disable=SC2317  # run from the EXIT trap
on_exit() {
    local status=$?
    trap - EXIT
    cleanup
    exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# measure LABEL STORE: one store's figures, appended to $results; STORE "sqlite" is a new file.
measure() {
    local label=$1 store=$2 work
    work=$(mktemp -d "${TMPDIR:-/tmp}/kalvit-load.XXXXXX")
    service_work=$work
    [ "$store" = sqlite ] && store=$work/results.db

    # The seed and the upload phase send thousands of uploads from one address.
    start_service "$server" "$store" "$work" --write-limits 1000000,1000000,1000 || return 1
    say "$label: service on $service_url (pid $service_pid)"

    # The service's CPU time so far, in clock ticks.
    cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$service_pid/stat"; }
    local ticks_per_second
    ticks_per_second=$(getconf CLK_TCK)
    # phase TEST ARGS...: one run of results-load, its figures and the service's CPU use.
    phase() {
        local test=$1 before after start end figures
        shift
        before=$(cpu_ticks)
        start=$(date +%s.%N)
        if ! "$load" "$@" --port "${service_url##*:}" >"$work/phase.out" 2>&1; then
            cat "$work/phase.out" >&2
            say "$label: $test failed"
            return 1
        fi
        end=$(date +%s.%N)
        after=$(cpu_ticks)
        sed -n 's/^results-load: /  /p' "$work/phase.out" >&2
        figures=$(sed -n 's/^figures: //p' "$work/phase.out")
        echo "figures: store=$label $figures test_name=$test cpu=$(awk -v a="$after" \
            -v b="$before" -v s="$start" -v e="$end" -v t="$ticks_per_second" \
            'BEGIN { printf "%.0f", 100 * (a - b) / t / (e - s) }')" >>"$results"
    }

    echo "load: store=$label $(cut -d' ' -f1-3 /proc/loadavg) at-start" >>"$results"
    phase seed uploads --clients 4 --count "$seed" --first 0
    phase pages-mix pages --clients "$clients" --seconds "$seconds" --page mix --ids "$seed"
    phase pages-pair pages --clients "$clients" --seconds "$seconds" --page pair --ids "$seed"
    phase pages-table pages --clients "$clients" --seconds "$seconds" --page table
    phase uploads uploads --clients "$clients" --seconds "$seconds" --first 1000000
    echo "load: store=$label $(cut -d' ' -f1-3 /proc/loadavg) at-end" >>"$results"
    if [ -s "$work/service.err" ]; then
        say "$label: the service wrote:"
        head -n 20 "$work/service.err" >&2
    fi
    stop_service
    rm -rf -- "$work"
    service_work=""
}

if [ -n "$inner" ]; then
    if [ "$inner" != PostgreSQL ] || [ -z "${KALVIT_TEST_POSTGRES:-}" ]; then usage; fi
    measure PostgreSQL "$KALVIT_TEST_POSTGRES"
    exit 0
fi

tools/setup.sh
cmake --preset native -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target kalvit-results results-load

results=$(mktemp "${TMPDIR:-/tmp}/kalvit-load-figures.XXXXXX")
own_results=$results
say "$(nproc) processors; load average $(cut -d' ' -f1-3 /proc/loadavg) before the start"
"$load" hash --times 10 | tee -a "$results" | sed -n 's/^results-load: //p' >&2

say "SQLite: $seed uploads, then 4 phases of $seconds s"
measure SQLite sqlite
say "PostgreSQL: $seed uploads, then 4 phases of $seconds s"
tools/with-postgres.sh "$PWD/tools/bench-results.sh" --seconds "$seconds" --seed "$seed" --measure PostgreSQL "$results"

# The table.
echo
sed -n 's/^figures: test=hash passes=\([0-9]*\) mib=\([0-9]*\) hash_ms=\([0-9.]*\) check_ms=\([0-9.]*\)$/argon2id, \1 passes over \2 MiB: one hash \3 ms, one check \4 ms (median of 10)/p' "$results"
echo
awk '
    function field(name,   i, kv) {
        for (i = 2; i <= NF; ++i) {
            split($i, kv, "=")
            if (kv[1] == name)
                return substr($i, length(name) + 2)
        }
        return ""
    }
    BEGIN {
        printf "%-10s  %-11s  %7s  %10s  %8s  %8s  %6s  %11s\n", "store", "test", "clients",
               "requests/s", "p50 ms", "p99 ms", "errors", "service CPU"
    }
    $1 == "figures:" && field("store") != "" {
        printf "%-10s  %-11s  %7s  %10s  %8s  %8s  %6s  %10s%%\n", field("store"),
               field("test_name"), field("clients"), field("rps"), field("p50_ms"),
               field("p99_ms"), field("errors"), field("cpu")
    }
' "$results"
echo
sed -n 's/^load: store=\([A-Za-z]*\) \(.*\) \(at-[a-z]*\)$/load average (1, 5, 15 min) \3 of \1: \2/p' \
    "$results" | sed 's/at-start/before/; s/at-end/after/'
echo "$(nproc) processors, shared by the service, the load clients and anything else running."
