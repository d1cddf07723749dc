#!/usr/bin/env bash
# with-postgres.sh COMMAND [ARGS...]: runs COMMAND with a throw-away PostgreSQL server on
# 127.0.0.1, its address in KALVIT_TEST_POSTGRES (database "kalvit", user "postgres", no
# password), then stops the server, deletes its files and exits with COMMAND's status.
# The server binaries come from KALVIT_PG_BIN, else from the newest /usr/lib/postgresql/*/bin.
# PostgreSQL does not run as root: under root the server runs as the "postgres" user.
set -euo pipefail

say() { echo "with-postgres: $*" >&2; }

if [[ $# -lt 1 ]]; then
    echo "usage: $0 COMMAND [ARGS...]" >&2
    exit 2
fi

pg_bin=${KALVIT_PG_BIN:-}
if [[ -z $pg_bin ]]; then
    for dir in /usr/lib/postgresql/*/bin; do
        [[ -x $dir/postgres ]] && pg_bin=$dir
    done
fi
if [[ -z $pg_bin || ! -x $pg_bin/postgres ]]; then
    say "no PostgreSQL server binaries found (set KALVIT_PG_BIN)"
    exit 2
fi

# The prefix that runs a command as the server's user. setpriv executes the command in place,
# so a background start's $! is the server's own pid.
if [[ $(id -u) -eq 0 ]]; then
    as_server=(setpriv --reuid=postgres --regid=postgres --init-groups --)
else
    as_server=()
fi

work=""
server_pid=""

# stop_pid PID: asks the server to stop (fast shutdown), and kills it after 20 s.
# shellcheck disable=SC2317  # also run from the EXIT trap
stop_pid() {
    local pid=$1 waited=0
    kill -0 "$pid" 2>/dev/null || return 0
    say "stopping the server (pid $pid)"
    kill -INT "$pid" 2>/dev/null || true
    while kill -0 "$pid" 2>/dev/null && [[ $waited -lt 200 ]]; do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        say "the server did not stop in 20 s, killing it"
        kill -KILL "$pid" 2>/dev/null || true
    fi
}

# shellcheck disable=SC2317  # also run from the EXIT trap
stop_server() {
    local pid=$server_pid
    server_pid=""
    [[ -n $pid ]] || return 0
    stop_pid "$pid"
    wait "$pid" 2>/dev/null || true
}

# shellcheck disable=SC2317  # run from the EXIT trap
cleanup() {
    stop_server
    if [[ -n $work && -d $work ]]; then
        rm -rf -- "$work"
    fi
    work=""
}

trap 'status=$?; trap - EXIT; cleanup; exit "$status"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

work=$(mktemp -d "${TMPDIR:-/tmp}/kalvit-pg.XXXXXX")
data=$work/data
log=$work/server.log
if [[ $(id -u) -eq 0 ]]; then
    chown postgres:postgres "$work"
fi
chmod 700 "$work"

say "initdb in $data"
locale=C.UTF-8
if ! locale -a 2>/dev/null | grep -qix 'c\.utf-\?8'; then
    locale=C
fi
if ! "${as_server[@]}" "$pg_bin/initdb" -D "$data" -U postgres -A trust --encoding=UTF8 \
    --locale="$locale" --no-sync >"$work/initdb.log" 2>&1; then
    say "initdb failed:"
    cat "$work/initdb.log" >&2
    exit 1
fi

port_in_use() {
    command -v ss >/dev/null 2>&1 || return 1
    [[ -n $(ss -Hltn "sport = :$1" 2>/dev/null) ]]
}

# start_server PORT: starts the server and waits up to 30 s until it answers; fails when it
# exits first (a port taken in between, for one) or does not answer in time.
start_server() {
    local port=$1
    "${as_server[@]}" "$pg_bin/postgres" -D "$data" -k "$work" -c listen_addresses=127.0.0.1 \
        -p "$port" </dev/null >>"$log" 2>&1 &
    server_pid=$!
    local waited=0
    while [[ $waited -lt 300 ]]; do
        if ! kill -0 "$server_pid" 2>/dev/null; then
            wait "$server_pid" 2>/dev/null || true
            server_pid=""
            return 1
        fi
        if "$pg_bin/pg_isready" -q -h 127.0.0.1 -p "$port" -t 1; then
            return 0
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    say "the server did not answer in 30 s"
    stop_server
    return 1
}

port=""
for attempt in 1 2 3 4 5 6 7 8 9 10; do
    candidate=$((20000 + RANDOM % 20001))
    port_in_use "$candidate" && continue
    say "starting the server on 127.0.0.1:$candidate (attempt $attempt)"
    if start_server "$candidate"; then
        port=$candidate
        break
    fi
done
if [[ -z $port ]]; then
    say "the server did not start; its log:"
    cat "$log" >&2 || true
    exit 1
fi

# The postmaster's pid as the server records it; it is the pid started above.
recorded=$(head -n 1 "$data/postmaster.pid")
if [[ $recorded != "$server_pid" ]]; then
    say "the server records pid $recorded, not $server_pid"
    [[ $recorded =~ ^[0-9]+$ ]] && stop_pid "$recorded"
    exit 1
fi

"$pg_bin/createdb" -h 127.0.0.1 -p "$port" -U postgres kalvit
export KALVIT_TEST_POSTGRES="postgresql://postgres@127.0.0.1:$port/kalvit"
say "server ready (pid $server_pid), KALVIT_TEST_POSTGRES=$KALVIT_TEST_POSTGRES"

set +e
"$@"
status=$?
set -e
say "command exited with status $status"
exit "$status"
