# shellcheck shell=bash disable=SC2034  # service_url is read by the scripts that source this
# Sourced by the scripts that run a kalvit-results of their own (bash).
#   start_service BINARY STORE FOLDER [ARGS...]  starts it on a free loopback port, its output in
#       FOLDER/service.out and FOLDER/service.err; sets service_pid and service_url
#       (http://127.0.0.1:PORT, no slash at the end). On failure says why and returns 1.
#   stop_service  ends the one started: TERM, then KILL after 10 s; waits for it.

service_pid=""
service_url=""

start_service() {
    local binary=$1 store=$2 folder=$3 port=""
    shift 3
    "$binary" --listen 127.0.0.1 --port 0 --store "$store" --quiet "$@" </dev/null \
        >"$folder/service.out" 2>"$folder/service.err" &
    service_pid=$!
    for _ in $(seq 200); do
        port=$(sed -n 's|^kalvit-results: listening on http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' \
            "$folder/service.out")
        [ -n "$port" ] && break
        kill -0 "$service_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$port" ]; then
        echo "$binary did not start listening within 20 s:" >&2
        cat "$folder/service.err" >&2
        stop_service
        return 1
    fi
    service_url=http://127.0.0.1:$port
}

# shellcheck disable=SC2317  # also run from EXIT traps
stop_service() {
    local pid=$service_pid waited=0
    service_pid=""
    [ -n "$pid" ] || return 0
    kill -TERM "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null && [ $waited -lt 100 ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
