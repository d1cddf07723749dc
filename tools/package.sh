#!/usr/bin/env bash
# Builds both Windows programs and makes the two packages of build/dist:
#   kalvit-setup.exe  the installer (NSIS): the 64-bit program on 64-bit Windows, the 32-bit one
#                     elsewhere, with the files delivered beside it
#   kalvit.zip        both builds, each a complete folder to unpack and run: kalvit-win64\ and
#                     kalvit-win32\
# and checks that the archive holds every delivered file of both builds.
#   tools/package.sh            (KALVIT_DIST_DIR overrides build/dist)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
dist="${KALVIT_DIST_DIR:-$root/build/dist}"

# The files delivered beside kalvit.exe, and where each comes from.
common_files=(kalvtetc.inf dderr.txt kalvit.dat kalvitif.dat kalvit.chm)
pictures=(dlgback.bmp pnlogog.bmp pnlogo0.bmp pnlogo1.bmp pnlogo2.bmp pnlogo3.bmp)

for preset in win64 win32; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target kalvit kalvit_art kalvit_help
done

stage="$dist/stage"
rm -rf "$stage"
mkdir -p "$stage/win64" "$stage/win32" "$stage/common/pdata"
cp build/win64/kalvit.exe "$stage/win64/"
cp build/win32/kalvit.exe "$stage/win32/"
cp data/kalvtetc.inf data/dderr.txt data/kalvit.dat data/kalvitif.dat "$stage/common/"
cp build/win64/kalvit.chm "$stage/common/"
for p in "${pictures[@]}"; do
    cp "build/win64/pdata/$p" "$stage/common/pdata/"
done
cp build/win64/art/kalvit.ico "$stage/common/"

# The installer.
makensis -V2 -INPUTCHARSET UTF8 -DSTAGE="$stage" -DOUTFILE="$dist/kalvit-setup.exe" \
    tools/kalvit.nsi
# The same script built as a 64-bit program, not delivered: where Wine cannot run 32-bit
# programs, the installer's test runs this one instead.
mkdir -p "$dist/test"
makensis -V1 -INPUTCHARSET UTF8 "-XTarget amd64-unicode" -DSTAGE="$stage" \
    -DOUTFILE="$dist/test/kalvit-setup-amd64.exe" tools/kalvit.nsi

# The archive: one complete folder per build.
zipdir="$dist/zip"
rm -rf "$zipdir" "$dist/kalvit.zip"
for build in win64 win32; do
    folder="$zipdir/kalvit-$build"
    mkdir -p "$folder/pdata"
    cp "$stage/$build/kalvit.exe" "$folder/"
    for f in "${common_files[@]}"; do cp "$stage/common/$f" "$folder/"; done
    cp "$stage"/common/pdata/*.bmp "$folder/pdata/"
done
(cd "$zipdir" && zip -q -r -X "$dist/kalvit.zip" kalvit-win64 kalvit-win32)
rm -rf "$zipdir"

# Every delivered file of both builds is in the archive, and each kalvit.exe is of its build.
listing=$(unzip -Z1 "$dist/kalvit.zip")
missing=0
for build in win64 win32; do
    for f in kalvit.exe "${common_files[@]}" "${pictures[@]/#/pdata/}"; do
        if ! grep -qx "kalvit-$build/$f" <<<"$listing"; then
            echo "package: kalvit.zip lacks kalvit-$build/$f" >&2
            missing=1
        fi
    done
done
check=$(mktemp -d)
unzip -q "$dist/kalvit.zip" kalvit-win64/kalvit.exe kalvit-win32/kalvit.exe -d "$check"
file_format() { x86_64-w64-mingw32-objdump -f "$1" | sed -n 's/.*file format //p'; }
[ "$(file_format "$check/kalvit-win64/kalvit.exe")" = pei-x86-64 ] || { echo "package: kalvit-win64\\kalvit.exe is not a 64-bit program" >&2; missing=1; }
[ "$(file_format "$check/kalvit-win32/kalvit.exe")" = pei-i386 ] || { echo "package: kalvit-win32\\kalvit.exe is not a 32-bit program" >&2; missing=1; }
rm -rf "$check"
[ "$missing" -eq 0 ] || exit 1
echo "package: $dist/kalvit-setup.exe ($(stat -c %s "$dist/kalvit-setup.exe") bytes)," \
     "$dist/kalvit.zip ($(stat -c %s "$dist/kalvit.zip") bytes)"
