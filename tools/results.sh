#!/usr/bin/env bash
# Builds and starts the results service on http://127.0.0.1:8642/ with the embedded store
# (build/results/kalvit-results.db), offering the installer and the archive of build/dist when
# tools/package.sh has made them. Extra arguments go to kalvit-results (--port, --store, ...).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kalvit-results
mkdir -p build/results
exec build/native/server/kalvit-results --store build/results/kalvit-results.db \
    --downloads build/dist "$@"
