# Sourced by the scripts: the project's own Wine prefix and quiet, prompt-free Wine.
kalvit_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${KALVIT_WINEPREFIX:-$kalvit_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="
