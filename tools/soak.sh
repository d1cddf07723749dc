#!/usr/bin/env bash
# One start of kalvit.exe under Wine on a virtual display and many standard runs in it, with the
# pages, the comparison's selectors, the machine-information dialog, storing and deleting a
# machine and the analysis worked between runs; after each run the program's GDI objects, windows,
# handles, working set and private bytes, and at the end their growth after run 1. With
# --leak-bitmap N the program is made to leak N bitmaps after each run, which the GDI figures
# must then show. Figures, not a test.
#   tools/soak.sh [--runs N] [--win64|--win32] [--leak-bitmap N]
#       (default 20 runs, win64; KALVIT_BUILD_DIR and KALVIT_WINEPREFIX as for tools/run.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
usage() { echo "usage: $0 [--runs N] [--win64|--win32] [--leak-bitmap N]" >&2; exit 2; }
runs=20
preset=win64
leak=()
while [ $# -gt 0 ]; do
    case "$1" in
        --runs)
            [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || usage
            runs="$2"
            shift 2
            ;;
        --leak-bitmap)
            [ $# -ge 2 ] && [[ "$2" =~ ^[1-9][0-9]*$ ]] || usage
            leak=(--leak-bitmap "$2")
            shift 2
            ;;
        --win64) preset=win64; shift ;;
        --win32) preset=win32; shift ;;
        *) usage ;;
    esac
done

tools/setup.sh
build_dir="${KALVIT_BUILD_DIR:-build/$preset}"
cmake --preset "$preset" -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target kalvit soak
export KALVIT_WINEARCH="$preset"
tools/wine-prefix.sh "$build_dir"
source tools/env.sh

echo "soak: $preset: one program start, $runs runs, about $((runs * 75 / 60 + 1)) minutes"
if ! tools/with-display.sh wine "$build_dir/soak.exe" 'C:\kalvit' --runs "$runs" "${leak[@]}"; then
    echo "soak: failed; the program's log is $WINEPREFIX/drive_c/kalvit/soak.log" >&2
    exit 1
fi
