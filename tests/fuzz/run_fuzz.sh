#!/usr/bin/env bash
# Runs one fuzz target briefly: every input of its committed corpus first, then new inputs for
# the time given in the options. The committed corpus is only read; what the run adds goes to a
# scratch directory that is removed afterwards. Fails on any finding, whose input is kept in the
# findings directory.
# usage: run_fuzz.sh TARGET CORPUS FINDINGS [libFuzzer options...]
set -euo pipefail
target=$1 corpus=$2 findings=$3
shift 3
mkdir -p "$findings"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$target" -artifact_prefix="$findings/" -timeout=10 -rss_limit_mb=2048 "$@" "$scratch" "$corpus"
