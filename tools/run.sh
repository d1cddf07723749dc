#!/usr/bin/env bash
# Builds kalvit.exe and starts it from c:\kalvit in the project's Wine prefix: on $DISPLAY when
# there is one; otherwise on a virtual display, as on a first start (the pre-test runs), then one
# benchmark run, saving a screenshot of the score window and of each sheet page and printing the
# results. The 64-bit build by default; --win32 starts the 32-bit build (build/win32, in the
# 32-bit prefix). KALVIT_BUILD_DIR picks another build directory of that preset.
#   tools/run.sh [--win32]
set -euo pipefail
cd "$(dirname "$0")/.."
preset=win64
case "${1:-}" in
    "") ;;
    --win32) preset=win32 ;;
    *) echo "usage: $0 [--win32]" >&2; exit 2 ;;
esac
tools/setup.sh
if [ "$preset" = win32 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "run: this machine cannot run 32-bit code (IA-32 emulation is off); use the 64-bit build" >&2
    exit 1
fi
build_dir="${KALVIT_BUILD_DIR:-build/$preset}"
cmake --preset "$preset" -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target kalvit shots
export KALVIT_WINEARCH="$preset"
tools/wine-prefix.sh "$build_dir"
source tools/env.sh

if [ -n "${DISPLAY:-}" ]; then
    cd "$WINEPREFIX/drive_c/kalvit"
    exec wine kalvit.exe
fi

if [ -n "${KALVIT_BUILD_DIR:-}" ]; then
    out="$(cd "$build_dir" && pwd)/screenshots"
else
    out="$PWD/build/screenshots"
    [ "$preset" = win64 ] || out="$PWD/build/screenshots-$preset"
fi
rm -rf "$out"
mkdir -p "$out"
echo "run: $build_dir/kalvit.exe: the pre-test and one benchmark run on a virtual display (about two minutes)"
if ! tools/with-display.sh wine "$build_dir/shots.exe" 'C:\kalvit' "Z:${out//\//\\}"; then
    echo "run: failed; the program's log is $WINEPREFIX/drive_c/kalvit/kalvit.log" >&2
    exit 1
fi
# ImageMagick's own convert; some machines put a different "convert" earlier on the PATH.
convert_bin=/usr/bin/convert
[ -x "$convert_bin" ] || convert_bin=convert
for bmp in "$out"/*.bmp; do
    "$convert_bin" "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
done
echo "screenshots:"
ls -1 "$out"/*.png
