#!/usr/bin/env bash
# CMake's cross-compiling emulator: runs a Windows program in the project's Wine prefix.
source "$(dirname "$0")/env.sh"
exec wine "$@"
