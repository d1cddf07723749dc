#!/usr/bin/env bash
# Runs a Windows program in a Wine prefix made for it alone, as a new user's machine would be:
# created and configured like the project's own prefix (tools/wine-prefix.sh) but with nothing
# of kalvit in it, then ended (its Wine server only) and deleted again.
#   tools/fresh-prefix.sh win64|win32 PROGRAM ARGS...
set -euo pipefail
export KALVIT_WINEARCH="$1"
shift
root=$(cd "$(dirname "$0")/.." && pwd)
prefix=$(mktemp -d "$root/build/fresh-prefix.XXXXXX")
export KALVIT_WINEPREFIX="$prefix/wine"
cleanup() {
    WINEPREFIX="$KALVIT_WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
    WINEPREFIX="$KALVIT_WINEPREFIX" wineserver -w >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT
# The settings only: a build folder without a program lays out no installation.
mkdir -p "$prefix/no-build"
"$root/tools/wine-prefix.sh" "$prefix/no-build" >/dev/null
rm -rf "$KALVIT_WINEPREFIX/drive_c/kalvit"
source "$root/tools/env.sh"
status=0
wine "$@" || status=$?
exit "$status"
