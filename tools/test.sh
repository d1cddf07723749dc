#!/usr/bin/env bash
# Runs every test: the portable core natively (with AddressSanitizer and UBSan), its readers of
# outside input briefly under libFuzzer, the 3DNow! kernels under qemu (64- and 32-bit), then the
# 64-bit and the 32-bit Windows builds, each under Wine on a virtual display in its own prefix,
# after making the installer and the archive of both.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

cmake --preset native-asan >/dev/null
cmake --build --preset native-asan
ctest --preset native-asan

# The readers of outside input under libFuzzer, briefly over their corpus (tools/fuzz.sh runs long).
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
ctest --preset fuzz

for build in win64 win32; do
    cmake --preset "$build" >/dev/null
    cmake --build --preset "$build"
done
# The installer and the archive hold both builds; the installer's test runs it in each prefix.
tools/package.sh

# 32-bit Wine needs a kernel that runs 32-bit code (some virtual machines switch that off) and
# the wine32 package (which a stale i386 index can keep out).
wine32_runs=0
/usr/lib/wine/wine --version >/dev/null 2>&1 && wine32_runs=1

# The installer is a 32-bit program; without 32-bit Wine its test runs its 64-bit build.
if [ "$wine32_runs" -eq 0 ]; then
    echo "test: no 32-bit Wine here: the installer's test runs the installer built as a" \
         "64-bit program from the same script"
    export KALVIT_SETUP_EXE="$PWD/build/dist/test/kalvit-setup-amd64.exe"
fi

# The 64-bit build runs every suite but the journeys. The 32-bit build runs its executable checks,
# its quick engine and configuration cases, the installer and the journeys on Windows 98 and
# NT 4.0 (tools/journey.sh), which go through what its user-interface suites would repeat.
for build in win64 win32; do
    # Without 32-bit Wine the 32-bit build is still built and its executables checked, and the
    # journeys drive the 64-bit build in 64-bit prefixes that answer as the old systems: the
    # same calls on the 9x and NT branches, apart from the 32-bit runtime's.
    if [ "$build" = win32 ] && [ "$wine32_runs" -eq 0 ]; then
        echo "test: 32-bit Wine does not run here (wine32:i386 is not installed, or the kernel" \
             "cannot run 32-bit code): the 32-bit build's Wine tests do not run, only its" \
             "executable checks; the journeys drive the 64-bit build instead"
        ctest --preset "$build" -L no_wine
        KALVIT_WINEARCH=win64 tools/with-display.sh ctest --preset win64 -L journey
        continue
    fi
    tools/wine-prefix.sh "build/$build"
    start=$SECONDS
    if [ "$build" = win64 ]; then
        KALVIT_WINEARCH="$build" tools/with-display.sh ctest --preset "$build" -LE journey
    else
        KALVIT_WINEARCH="$build" tools/with-display.sh ctest --preset "$build" \
            -L 'no_wine|quick|installer|journey'
    fi
    echo "test: the $build build's tests took $((SECONDS - start)) s"
done
