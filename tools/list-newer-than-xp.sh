#!/usr/bin/env bash
# Writes tests/wine/newer_than_xp.txt, the Windows functions that XP does not export, for the
# import check of the delivered executables. The MinGW-w64 headers declare each function only
# for the Windows versions that have it: the headers are preprocessed once for XP SP3 and once
# for Windows 10, and every function that the second declares and the first does not is
# listed. Functions that the headers declare without a version guard are added by hand from the
# "minimum supported client" of their documentation (tools/newer-than-xp-extra.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat > "$work/all.c" <<'C'
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <mmsystem.h>
#include <ddraw.h>
#include <htmlhelp.h>
#include <psapi.h>
#include <tlhelp32.h>
#include <uxtheme.h>
#include <objbase.h>
C
declared() {
    i686-w64-mingw32-gcc -E -P -DUNICODE -D_UNICODE -D_WIN32_WINNT="$1" -DWINVER="$1" \
        -DNTDDI_VERSION="$2" -D_WIN32_IE=0x0600 "$work/all.c" |
        python3 -c '
import re, sys
text = sys.stdin.read()
names = set(re.findall(r"__attribute__\(\(__stdcall__\)\)\s+(\w+)\s*\(", text))
names |= set(re.findall(r"__declspec\(dllimport\)[^;(]*?\b(\w+)\s*\(", text))
print("\n".join(sorted(names)))'
}
declared 0x0501 0x05010300 > "$work/xp"
declared 0x0A00 0x0A000000 > "$work/win10"
{
    echo "# Windows functions that Windows XP (SP3) does not export; written by"
    echo "# tools/list-newer-than-xp.sh from the MinGW-w64 headers' version guards, with the"
    echo "# unguarded ones of tools/newer-than-xp-extra.txt. One name per line."
    { comm -13 "$work/xp" "$work/win10"; grep -v '^#' tools/newer-than-xp-extra.txt; } | sort -u
} > tests/wine/newer_than_xp.txt
echo "tests/wine/newer_than_xp.txt: $(grep -vc '^#' tests/wine/newer_than_xp.txt) functions"
