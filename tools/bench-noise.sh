#!/usr/bin/env bash
# How much the measuring tests' figures swing: kalvit-kernels runs integer, float (plain and SSE)
# and memory (32-bit words and 4 KB blocks) N times each, natively and under Wine, once on the
# machine as it is and once beside a process that keeps one core busy, and prints the median,
# min, max and max/min of each row. Figures, not a test: run it on an otherwise quiet machine.
#   tools/bench-noise.sh [--runs N] [--only native|wine] [--test "memory --block"]...
#                        [--before NATIVE_EXE WIN64_EXE]
# --test keeps only the rows named (as in the table); --before also runs two other builds of kalvit-kernels (for example those of an older commit)
# and prints their rows beside these.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: $0 [--runs N] [--only native|wine] [--test TEST]... [--before NATIVE_EXE WIN64_EXE]" >&2; exit 2; }
runs=15
only=""
before_native=""
before_win64=""
chosen=()
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || usage; runs="$2"; shift 2 ;;
        --only) [ $# -ge 2 ] && [[ "$2" =~ ^(native|wine)$ ]] || usage; only="$2"; shift 2 ;;
        --test) [ $# -ge 2 ] || usage; chosen+=("$2"); shift 2 ;;
        --before) [ $# -ge 3 ] || usage; before_native="$2"; before_win64="$3"; shift 3 ;;
        *) usage ;;
    esac
done

tools/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kalvit-kernels
if [ "$only" != native ]; then
    cmake --preset win64 >/dev/null
    cmake --build --preset win64 --target kalvit-kernels
    tools/wine-prefix.sh build/win64
fi

tests=("integer" "float --path plain" "float --path sse" "memory" "memory --block")
[ ${#chosen[@]} -eq 0 ] || tests=("${chosen[@]}")

busy_pid=""
stop_busy() {
    if [ -n "$busy_pid" ]; then
        kill "$busy_pid" 2>/dev/null || true
        wait "$busy_pid" 2>/dev/null || true
        busy_pid=""
    fi
}
trap stop_busy EXIT

# The speeds of one kalvit-kernels invocation, one per line.
speeds() {
    local kind="$1" exe="$2"
    shift 2
    if [ "$kind" = wine ]; then
        tools/wine-emu.sh win64 "$exe" "$@" --runs "$runs"
    else
        "$exe" "$@" --runs "$runs"
    fi | sed -n 's/^run [0-9]*: .*speed=\([0-9.]*\) .*/\1/p'
}

row() {
    local label="$1" kind="$2" exe="$3" condition="$4"
    shift 4
    speeds "$kind" "$exe" "$@" | sort -g | awk -v label="$label" -v kind="$kind" \
        -v cond="$condition" -v test="$*" '
        { v[NR] = $1 }
        END {
            if (NR == 0) { printf "%-7s %-6s %-5s %-20s no figures\n", label, kind, cond, test; exit }
            median = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%-7s %-6s %-5s %-20s %12.2f %12.2f %12.2f %8.3f\n", label, kind, cond, test,
                   median, v[1], v[NR], (v[1] > 0 ? v[NR] / v[1] : 0)
        }'
}

printf "%-7s %-6s %-5s %-20s %12s %12s %12s %8s\n" build where load test median min max max/min
for condition in quiet busy; do
    if [ "$condition" = busy ]; then
        sh -c 'while :; do :; done' &
        busy_pid=$!
    fi
    for kind in native wine; do
        [ -z "$only" ] || [ "$only" = "$kind" ] || continue
        if [ "$kind" = native ]; then now=build/native/kalvit-kernels; then_exe="$before_native"
        else now=build/win64/kalvit-kernels.exe; then_exe="$before_win64"; fi
        for t in "${tests[@]}"; do
            # shellcheck disable=SC2086
            [ -z "$then_exe" ] || row before "$kind" "$then_exe" "$condition" $t
            # shellcheck disable=SC2086
            row after "$kind" "$now" "$condition" $t
        done
    done
    stop_busy
done
