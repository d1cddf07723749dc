#!/usr/bin/env bash
# Installs what building and testing kalvit needs from Debian's packages, when it is missing.
# Idempotent, and quick when everything is there. The 32-bit build runs in 32-bit Wine, which
# comes from the i386 architecture; the 3DNow! kernels' 32-bit Linux tests need g++-multilib.
# The help file is compiled by Free Pascal's chmcmd (fp-utils) and read back with chmlib's tools;
# the installer is made with NSIS and the portable archive with zip. The results service builds
# on GNU libmicrohttpd, SQLite, libpq and libsodium, and its load tools and tests talk to it with
# cpp-httplib's client; its tests start a PostgreSQL server, talk to it with curl and look at
# its pages in headless Chromium; nginx (nginx-light) with a certificate made by openssl puts
# HTTPS in front of it. The fuzz targets are built by clang with libFuzzer.
set -euo pipefail

packages=(
    cmake make g++ g++-multilib python3 googletest
    g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-win32 binutils-mingw-w64-i686
    wine wine64 wine32:i386 fonts-wine xvfb xauth fonts-arphic-uming fonts-wqy-zenhei imagemagick
    qemu-user
    fp-utils libchm-bin nsis zip
    pkg-config libcpp-httplib-dev libmicrohttpd-dev libsqlite3-dev libpq-dev libsodium-dev
    postgresql curl chromium nginx-light openssl
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
    # One index mid-sync on a mirror fails the update as a whole, while the others are fresh and
    # usually serve every package: go on, and let the install say whether something is missing.
    if ! $sudo apt-get update -q; then
        # A mirror mid-sync can leave an index list that disagrees with its release file
        # ("File has unexpected size"): kept, it fails every later update too. Fetch all the
        # lists anew once.
        echo "setup: apt-get update failed in part; fetching the package lists anew"
        $sudo find /var/lib/apt/lists -maxdepth 1 -type f -name '*_dists_*' -delete
        if ! $sudo apt-get update -q; then
            echo "setup: apt-get update failed in part again; installing from the indexes it fetched"
        fi
    fi
    install() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "$@"; }
    if ! install "${missing[@]}"; then
        # Without a fresh i386 index, wine32's libraries cannot match the 64-bit ones already
        # upgraded (both architectures must have the same version). The rest still installs;
        # the tests then run the 32-bit build's executable checks only, as on a machine that
        # cannot run 32-bit code.
        rest=()
        for p in "${missing[@]}"; do [ "$p" = wine32:i386 ] || rest+=("$p"); done
        [ ${#rest[@]} -lt ${#missing[@]} ] || exit 1
        echo "setup: wine32:i386 cannot be installed beside this machine's 64-bit libraries" \
             "(its i386 index is missing or older than theirs); installing the rest without it"
        install "${rest[@]}"
    fi
fi
