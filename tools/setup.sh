#!/usr/bin/env bash
# Installs what building and testing kalvit needs from Debian's packages, when it is missing.
# Idempotent, and quick when everything is there.
set -euo pipefail

packages=(
    cmake make g++ python3 googletest
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine64 fonts-wine xvfb xauth fonts-arphic-uming fonts-wqy-zenhei imagemagick
    qemu-user
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
