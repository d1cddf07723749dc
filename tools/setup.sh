#!/usr/bin/env bash
# Installs what building and testing kalvit needs from Debian's packages, when it is missing.
# Idempotent, and quick when everything is there. The 32-bit build runs in 32-bit Wine, which
# comes from the i386 architecture; the 3DNow! kernels' 32-bit Linux tests need g++-multilib.
# The help file is compiled by Free Pascal's chmcmd (fp-utils) and read back with chmlib's tools;
# the installer is made with NSIS and the portable archive with zip. The results service builds
# on cpp-httplib, SQLite, libpq and libsodium; its tests start a PostgreSQL server, talk to it
# with curl and look at its pages in headless Chromium. The fuzz targets are built by clang with
# libFuzzer.
set -euo pipefail

packages=(
    cmake make g++ g++-multilib python3 googletest
    g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
    wine wine64 wine32:i386 fonts-wine xvfb xauth fonts-arphic-uming fonts-wqy-zenhei imagemagick
    qemu-user
    fp-utils libchm-bin nsis zip
    pkg-config libcpp-httplib-dev libsqlite3-dev libpq-dev libsodium-dev postgresql curl chromium
    clang libfuzzer-14-dev
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

added_arch=0
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "setup: adding the i386 architecture"
    $sudo dpkg --add-architecture i386
    added_arch=1
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ] || [ "$added_arch" -eq 1 ]; then
    echo "setup: installing ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
