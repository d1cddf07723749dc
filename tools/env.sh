# Sourced by the scripts: the project's own Wine prefix and quiet, prompt-free Wine. The 64-bit
# build runs in build/wineprefix, the 32-bit build (KALVIT_WINEARCH=win32) in its own 32-bit
# prefix build/wineprefix32; KALVIT_WINEPREFIX overrides either. KALVIT_POSE=win98|nt40 names a
# prefix of its own that answers as that Windows (tools/wine-prefix.sh sets it up):
# build/wineprefix32-win98 and so on (build/wineprefix-win98 for the 64-bit build).
kalvit_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
kalvit_pose_suffix=${KALVIT_POSE:+-$KALVIT_POSE}
if [ "${KALVIT_WINEARCH:-win64}" = win32 ]; then
    export WINEARCH=win32
    export WINEPREFIX="${KALVIT_WINEPREFIX:-$kalvit_root/build/wineprefix32$kalvit_pose_suffix}"
else
    export WINEARCH=win64
    export WINEPREFIX="${KALVIT_WINEPREFIX:-$kalvit_root/build/wineprefix$kalvit_pose_suffix}"
fi
# A command that ends a script under set -e names itself: Wine's own output is mostly kept quiet.
# shellcheck disable=SC2154  # kalvit_status is set in the trap itself
trap 'kalvit_status=$?; echo "${0##*/}: line $LINENO: \"$BASH_COMMAND\" failed ($kalvit_status)" >&2' ERR
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
# Some virtual machines cannot run 32-bit code at all: the 64-bit prefix then goes without the
# 32-bit loader that Debian's wine starter would pick.
if [ "$WINEARCH" = win64 ] && ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export PATH="$kalvit_root/tools/wine64-only:$PATH"
    export WINELOADER=/usr/lib/wine/wine64
fi
