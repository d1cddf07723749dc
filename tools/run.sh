#!/usr/bin/env bash
# Builds kalvit.exe and starts it from c:\kalvit in the project's Wine prefix: on $DISPLAY when
# there is one; otherwise on a virtual display, saving a screenshot of each sheet page.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset win64 >/dev/null
cmake --build --preset win64 --target kalvit shots
tools/wine-prefix.sh build/win64
source tools/env.sh

if [ -n "${DISPLAY:-}" ]; then
    cd "$WINEPREFIX/drive_c/kalvit"
    exec wine kalvit.exe
fi

out="$PWD/build/screenshots"
rm -rf "$out"
mkdir -p "$out"
tools/with-display.sh wine build/win64/shots.exe 'C:\kalvit' "Z:${out//\//\\}"
# ImageMagick's own convert; some machines put a different "convert" earlier on the PATH.
convert_bin=/usr/bin/convert
[ -x "$convert_bin" ] || convert_bin=convert
for bmp in "$out"/*.bmp; do
    "$convert_bin" "$bmp" "${bmp%.bmp}.png" && rm "$bmp"
done
echo "screenshots:"
ls -1 "$out"/*.png
