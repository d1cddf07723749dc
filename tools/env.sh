# Sourced by the scripts: the project's own Wine prefix and quiet, prompt-free Wine. The 64-bit
# build runs in build/wineprefix, the 32-bit build (KALVIT_WINEARCH=win32) in its own 32-bit
# prefix build/wineprefix32; KALVIT_WINEPREFIX overrides either.
kalvit_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ "${KALVIT_WINEARCH:-win64}" = win32 ]; then
    export WINEARCH=win32
    export WINEPREFIX="${KALVIT_WINEPREFIX:-$kalvit_root/build/wineprefix32}"
else
    export WINEARCH=win64
    export WINEPREFIX="${KALVIT_WINEPREFIX:-$kalvit_root/build/wineprefix}"
fi
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
