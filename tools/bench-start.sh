#!/usr/bin/env bash
# Times kalvit.exe's start-up under Wine on a virtual display, from outside the program: the
# time from CreateProcess to the welcome window and to the main frame being visible, each the
# median of N starts with the pre-test switched off; the size of kalvit.exe; and the peak working
# set of a start plus one standard run, the median of N more starts. Both builds by default, each
# in its own prefix; the 32-bit one only where this machine runs 32-bit code. Figures, not a
# test: run it on a quiet machine.
#   tools/bench-start.sh [--runs N] [--win64|--win32|both]
#       (default 5 runs, both builds; KALVIT_BUILD_DIR and KALVIT_WINEPREFIX as for tools/run.sh,
#       which only make sense with one build)
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: $0 [--runs N] [--win64|--win32|both]" >&2; exit 2; }
runs=5
presets=(win64 win32)
while [ $# -gt 0 ]; do
    case "$1" in
        --runs)
            [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || usage
            runs="$2"
            shift 2
            ;;
        --win64) presets=(win64); shift ;;
        --win32) presets=(win32); shift ;;
        both | --both) presets=(win64 win32); shift ;;
        *) usage ;;
    esac
done

# The overrides name one build directory and one prefix: with both builds they would mix them.
if [ ${#presets[@]} -gt 1 ] && [ -n "${KALVIT_BUILD_DIR:-}${KALVIT_WINEPREFIX:-}" ]; then
    echo "bench-start: KALVIT_BUILD_DIR and KALVIT_WINEPREFIX name one build's; add --win64 or --win32" >&2
    exit 2
fi

tools/setup.sh
out=$(mktemp)
trap 'rm -f "$out"' EXIT
summary=()
for preset in "${presets[@]}"; do
    if [ "$preset" = win32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo "bench-start: win32 skipped: this machine cannot run 32-bit code (IA-32 emulation is off)"
        summary+=("win32: skipped, this machine cannot run 32-bit code")
        continue
    fi
    build_dir="${KALVIT_BUILD_DIR:-build/$preset}"
    cmake --preset "$preset" -B "$build_dir" >/dev/null
    cmake --build "$build_dir" -j2 --target kalvit bench-start
    # A subshell, so that one build's prefix does not carry over to the next.
    (
        export KALVIT_WINEARCH="$preset"
        tools/wine-prefix.sh "$build_dir"
        source tools/env.sh
        echo "bench-start: $preset: $((2 * runs)) program starts, about $((runs * 85 / 60 + 1)) minutes"
        if ! tools/with-display.sh wine "$build_dir/bench-start.exe" 'C:\kalvit' --runs "$runs" |
                tee "$out"; then
            echo "bench-start: $preset failed; the program's last log is $WINEPREFIX/drive_c/kalvit/bench-start.log" >&2
            exit 1
        fi
    )
    line=$(tr -d '\r' < "$out" | grep "^$preset: " || true)
    summary+=("${line:-$preset: no figures}")
done

if [ ${#summary[@]} -gt 1 ]; then
    echo
    printf '%s\n' "${summary[@]}"
fi
