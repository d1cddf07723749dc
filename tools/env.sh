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
# Some virtual machines cannot run 32-bit code at all: the 64-bit prefix then goes without the
# 32-bit loader that Debian's wine starter would pick.
if [ "$WINEARCH" = win64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export PATH="$kalvit_root/tools/wine64-only:$PATH"
    export WINELOADER=/usr/lib/wine/wine64
fi
