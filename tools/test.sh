#!/usr/bin/env bash
# Runs every test: the portable core natively (with AddressSanitizer and UBSan), the 3DNow!
# kernels under qemu, and the Windows programs under Wine on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan

cmake --preset win64 >/dev/null
cmake --build --preset win64
tools/wine-prefix.sh build/win64
tools/with-display.sh ctest --preset win64
