#!/usr/bin/env bash
# Long fuzzing runs of the readers of outside input (tests/fuzz): builds the fuzz preset, runs
# each target in one process for a number of executions over a work corpus (build/fuzz/corpus-work,
# kept between runs) after the committed one, and prints a table per target. The input of a
# finding is saved under build/fuzz/findings/<target>/, the whole output under
# build/fuzz/fuzz-logs/<target>.log. Exits 1 when anything was found.
#
# usage: tools/fuzz.sh [--runs N] [--only TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(config records dx_errors mode_text gbk upload)
runs=10000000
only=""
usage() {
    echo "usage: tools/fuzz.sh [--runs N] [--only TARGET]  (targets: ${targets[*]})"
}
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) runs=${2:?}; shift 2 ;;
        --only) only=${2:?}; shift 2 ;;
        -h|--help) usage; exit 0 ;;
        *) usage >&2; exit 2 ;;
    esac
done
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "fuzz: --runs takes a positive number" >&2
    exit 2
fi
if [ -n "$only" ]; then
    if [[ " ${targets[*]} " != *" $only "* ]]; then
        echo "fuzz: no target $only" >&2
        usage >&2
        exit 2
    fi
    targets=("$only")
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

build=build/fuzz
rows=()
found_any=0
for t in "${targets[@]}"; do
    work=$build/corpus-work/$t
    findings=$build/findings/$t
    log=$build/fuzz-logs/$t.log
    mkdir -p "$work" "$findings" "$(dirname "$log")"
    marker=$(mktemp)
    echo "fuzz: $t, $runs executions (log: $log)"
    start=$(date +%s.%N)
    status=0
    "$build/tests/fuzz/${t}_fuzz" -runs="$runs" -print_final_stats=1 -timeout=10 \
        -rss_limit_mb=2048 -artifact_prefix="$findings/" "$work" "tests/fuzz/corpus/$t" \
        >"$log" 2>&1 || status=$?
    end=$(date +%s.%N)
    found=$(find "$findings" -type f -newer "$marker" | wc -l)
    rm -f "$marker"
    if [ "$status" -ne 0 ] && [ "$found" -eq 0 ]; then
        found=1 # stopped without leaving an input: the log tells why
    fi
    [ "$found" -eq 0 ] || found_any=1
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    last=$(grep -a ' cov: ' "$log" | tail -n 1 || true)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\/[0-9]*[a-zA-Z]*\).*/\1/p' <<<"$last")
    seconds=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", b - a }')
    rate=$(awk -v n="${execs:-0}" -v a="$start" -v b="$end" 'BEGIN { printf "%.0f", n / (b - a) }')
    rows+=("$(printf '%-10s %12s %9s %6s %6s %12s %9s %7s' "$t" "${execs:--}" "${rate:--}" \
        "${cov:--}" "${ft:--}" "${corp:--}" "$found" "${seconds}s")")
done

echo
printf '%-10s %12s %9s %6s %6s %12s %9s %7s\n' target executions exec/s cov ft corpus findings time
for row in "${rows[@]}"; do
    echo "$row"
done
if [ "$found_any" -ne 0 ]; then
    echo "fuzz: findings are under $build/findings/"
    exit 1
fi
