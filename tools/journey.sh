#!/usr/bin/env bash
# One journey through the program on an old Windows (tests/wine/journey_test.cpp), then the check
# of the Windows functions it called (tests/wine/check_trace.py):
#   tools/journey.sh win98|nt40 BUILD_DIR JOURNEY_EXE KALVIT_EXE OBJDUMP TABLE
# The prefix of its own answers as that Windows (tools/wine-prefix.sh with KALVIT_POSE); the
# program runs there under LC_ALL=zh_CN.GBK, the driver without it (a Chinese command line would
# be read as GBK), and Wine's relay trace of the program is filtered as it comes, keeping the
# calls from the program's own image (BUILD_DIR/journey-POSE.trace). Ends the prefix's Wine
# server, which it started, and prints the journey's wall time.
set -euo pipefail
pose=$1 build_dir=$(cd "$2" && pwd) journey=$3 kalvit=$4 objdump=$5 table=$6
root=$(cd "$(dirname "$0")/.." && pwd)
if grep -q '^KALVIT_WINEARCH:INTERNAL=win32$' "$build_dir/CMakeCache.txt" 2>/dev/null; then
    export KALVIT_WINEARCH=win32
fi
export KALVIT_POSE=$pose
"$root/tools/wine-prefix.sh" "$build_dir" >/dev/null
source "$root/tools/env.sh"
trace="$build_dir/journey-$pose.trace"
# A Wine server left from another display would hold the prefix's desktop there.
wineserver -k >/dev/null 2>&1 || true
wineserver -w
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT

start=$SECONDS
status=0
fifo=$(mktemp -u "$build_dir/journey-$pose.XXXXXX")
mkfifo "$fifo"
python3 -B "$root/tests/wine/check_trace.py" --filter "$objdump" "$kalvit" "$pose" \
    < "$fifo" > "$trace" &
filter=$!
KALVIT_PROGRAM_LOCALE=zh_CN.GBK KALVIT_PROGRAM_WINEDEBUG=fixme-all,+pid,+relay wine "$journey" \
    2> "$fifo" || status=$?
# The program's own children (the report's viewer) hold the trace open until their end.
wineserver -k >/dev/null 2>&1 || true
wait "$filter" || status=1
rm -f "$fifo"
echo "journey ($pose, $WINEARCH): $((SECONDS - start)) s; the program's calls in $trace"
python3 -B "$root/tests/wine/check_trace.py" "$table" "$trace" || status=1
exit "$status"
