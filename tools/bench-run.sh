#!/usr/bin/env bash
# Times kalvit.exe's own benchmark runs under Wine on a virtual display, from the elapsed times
# its log gives: the pre-test of a first start, a standard run after it, and a run with the
# pre-test switched off; each the median of N program starts, with the work amounts of every
# run. Figures, not a test: run it on a quiet machine.
#   tools/bench-run.sh [--runs N]        (default 3; KALVIT_BUILD_DIR as for tools/run.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=3
while [ $# -gt 0 ]; do
    case "$1" in
        --runs)
            [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [--runs N]" >&2; exit 2; }
            runs="$2"
            shift 2
            ;;
        *) echo "usage: $0 [--runs N]" >&2; exit 2 ;;
    esac
done

tools/setup.sh
build_dir="${KALVIT_BUILD_DIR:-build/win64}"
cmake --preset win64 -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target kalvit bench-run
tools/wine-prefix.sh "$build_dir"
source tools/env.sh

echo "bench-run: $((2 * runs)) program starts, about $((2 * runs * 80 / 60 + 1)) minutes"
if ! tools/with-display.sh wine "$build_dir/bench-run.exe" 'C:\kalvit' --runs "$runs"; then
    echo "bench-run: failed; the program's last log is $WINEPREFIX/drive_c/kalvit/bench-run.log" >&2
    exit 1
fi
