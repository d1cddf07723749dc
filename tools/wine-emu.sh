#!/usr/bin/env bash
# CMake's cross-compiling emulator: runs a Windows program in the project's Wine prefix of the
# build's kind: tools/wine-emu.sh win64|win32 PROGRAM ARGS...
export KALVIT_WINEARCH="$1"
shift
source "$(dirname "$0")/env.sh"
exec wine "$@"
