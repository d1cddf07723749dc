#!/usr/bin/env bash
# Creates and configures the project's own Wine prefix (never ~/.wine), then lays out the
# installation directory c:\kalvit from a build directory: tools/wine-prefix.sh [build/win64]
set -euo pipefail
source "$(dirname "$0")/env.sh"
build_dir="${1:-$kalvit_root/build/win64}"

if [ ! -f "$WINEPREFIX/.kalvit-configured" ]; then
    echo "wine-prefix: creating $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    reg=$(mktemp --suffix=.reg)
    # CJK font for "宋体" and the dialog font; the gdi DirectDraw renderer.
    iconv -f UTF-8 -t UTF-16 > "$reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"宋体"="WenQuanYi Zen Hei"
"SimSun"="WenQuanYi Zen Hei"
"NSimSun"="WenQuanYi Zen Hei"
"MS Shell Dlg"="WenQuanYi Zen Hei"
"MS Shell Dlg 2"="WenQuanYi Zen Hei"

[HKEY_CURRENT_USER\Software\Wine\Direct3D]
"renderer"="gdi"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
REG
    wine regedit /S "$(winepath -w "$reg" 2>/dev/null || echo "Z:${reg//\//\\}")" >/dev/null 2>&1
    wineserver -w
    rm -f "$reg"
    touch "$WINEPREFIX/.kalvit-configured"
fi

install_dir="$WINEPREFIX/drive_c/kalvit"
mkdir -p "$install_dir/pdata"
cp "$kalvit_root"/data/kalvtetc.inf "$install_dir/"
if [ -d "$build_dir/pdata" ]; then
    cp "$build_dir"/pdata/*.bmp "$install_dir/pdata/"
fi
if [ -f "$build_dir/kalvit.exe" ]; then
    cp "$build_dir/kalvit.exe" "$install_dir/"
fi
