#!/usr/bin/env bash
# Creates and configures the project's own Wine prefix (never ~/.wine), then lays out the
# installation directory c:\kalvit from a build directory: tools/wine-prefix.sh [build/win64]
# (a build/win32 directory gets the 32-bit prefix)
set -euo pipefail
build_dir="${1:-$(dirname "$0")/../build/win64}"
# A 32-bit build runs in the 32-bit prefix: the build directory's cache tells which it is.
if [ -z "${KALVIT_WINEARCH:-}" ] && grep -q '^KALVIT_WINEARCH:INTERNAL=win32$' "$build_dir/CMakeCache.txt" 2>/dev/null; then
    export KALVIT_WINEARCH=win32
fi
source "$(dirname "$0")/env.sh"

# The prefix's settings: a Song-style CJK font for "宋体" and the dialog fonts, Wine drawing its
# own window frames (there is no window manager on a virtual display), the gdi DirectDraw
# renderer, no Mono or Gecko installers, and text files opened with Wine's editor (its own set-up
# leaves ".txt" without a program, so the shell could not show the analysis report).
settings=$(cat <<'REG'
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"宋体"="AR PL UMing CN"
"SimSun"="AR PL UMing CN"
"NSimSun"="AR PL UMing CN"
"MS Shell Dlg"="AR PL UMing CN"
"MS Shell Dlg 2"="AR PL UMing CN"

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Decorated"="N"

[HKEY_CURRENT_USER\Software\Wine\Direct3D]
"renderer"="gdi"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""

[HKEY_LOCAL_MACHINE\Software\Classes\.txt]
@="txtfile"
REG
)
# KALVIT_POSE=win98|nt40: the prefix answers GetVersionEx as that Windows, and Wine's relay
# trace (WINEDEBUG=+relay) notes only the calls that kalvit.exe makes itself (Wine reads the
# include list only when there is no exclude list, and a new prefix has one). Windows 98 keeps
# its BIOS's name and date under the root enumerator's system board, where the program's 9x
# branch reads them. The program itself runs there under LC_ALL=zh_CN.GBK (code page 936).
case "${KALVIT_POSE:-}" in
'') ;;
win98|nt40)
    settings+=$(printf '\n\n[HKEY_CURRENT_USER\\Software\\Wine]\n"Version"="%s"\n' "$KALVIT_POSE")
    settings+=$(cat <<'REG'


[HKEY_CURRENT_USER\Software\Wine\Debug]
"RelayFromInclude"="kalvit.exe"
"RelayFromExclude"=-
REG
)
    if [ "$KALVIT_POSE" = win98 ]; then
        settings+=$(cat <<'REG'


[HKEY_LOCAL_MACHINE\Enum\Root\*PNP0C01\0000]
"BIOSVersion"="Award Modular BIOS v4.51PG"
"BIOSDate"="07/15/99"
REG
)
    fi
    ;;
*)
    echo "wine-prefix: KALVIT_POSE is win98 or nt40, not $KALVIT_POSE" >&2
    exit 2
    ;;
esac
stamp=$(printf '%s' "$settings" | md5sum | cut -d' ' -f1)

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine-prefix: creating $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-prefix: wineboot made no prefix in $WINEPREFIX" >&2
        exit 1
    fi
fi
if [ "$(cat "$WINEPREFIX/.kalvit-configured" 2>/dev/null)" != "$stamp" ]; then
    reg=$(mktemp --suffix=.reg) out=$(mktemp)
    printf '%s\n' "$settings" | iconv -f UTF-8 -t UTF-16 > "$reg"
    # A Wine started while the server of the prefix's set-up still ends can fail at once: a
    # second try follows that server's end, and a failure shows what Wine said.
    for try in 1 2; do
        status=0
        wine regedit /S "Z:${reg//\//\\}" >"$out" 2>&1 || status=$?
        wineserver -w
        [ "$status" -eq 0 ] && break
        echo "wine-prefix: regedit failed ($status) on try $try:" >&2
        cat "$out" >&2
        [ "$try" -eq 2 ] && exit 1
    done
    rm -f "$reg" "$out"
    echo "$stamp" > "$WINEPREFIX/.kalvit-configured"
fi

# Wine draws the caption buttons with its Marlett symbol font, which this Wine does not find in
# its data folder on its own.
fonts="$WINEPREFIX/drive_c/windows/Fonts"
if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ ! -f "$fonts/marlett.ttf" ]; then
    mkdir -p "$fonts"
    cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi

install_dir="$WINEPREFIX/drive_c/kalvit"
mkdir -p "$install_dir/pdata"
cp "$kalvit_root"/data/kalvtetc.inf "$kalvit_root"/data/dderr.txt "$install_dir/"
# The machine records are the user's: the delivered pair (the base system alone) only where
# there are none yet.
for records in kalvit.dat kalvitif.dat; do
    [ -e "$install_dir/$records" ] || cp "$kalvit_root/data/$records" "$install_dir/"
done
if [ -d "$build_dir/pdata" ]; then
    cp "$build_dir"/pdata/*.bmp "$install_dir/pdata/"
fi
if [ -f "$build_dir/kalvit.chm" ]; then
    cp "$build_dir/kalvit.chm" "$install_dir/"
fi
if [ -f "$build_dir/kalvit.exe" ]; then
    cp "$build_dir/kalvit.exe" "$install_dir/"
fi
