#!/usr/bin/env bash
# A throwaway PostgreSQL server for the tests of the site-server engine.
#   scripts/test-server.sh start        starts one in a new temporary folder, listening only
#                                       on a Unix socket there; prints its connection string
#   scripts/test-server.sh stop FOLDER  stops it and removes the folder (FOLDER is the
#                                       host= of the connection string)
#   scripts/test-server.sh halt FOLDER  stops it at once, as a crash or a power cut would,
#                                       keeping its data for resume
#   scripts/test-server.sh resume FOLDER
#                                       starts a halted server again on the same data
# initdb refuses to run as root: as root, the server runs as the postgres user.
set -euo pipefail

bin_dir() {
    local newest
    newest=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
    if [ -z "$newest" ] || [ ! -x "$newest/initdb" ]; then
        echo "No PostgreSQL server is installed (no /usr/lib/postgresql/*/bin/initdb)." >&2
        return 1
    fi
    echo "$newest"
}

# Runs a server program as the user who owns the server's folder.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

# Starts the server of a folder, listening only on its socket there.
run_server() {
    local bin=$1 dir=$2
    if ! as_owner "$bin/pg_ctl" start -w -t 60 -D "$dir/data" -l "$dir/server.log" \
        -o "-c listen_addresses='' -k $dir -c fsync=off" >/dev/null; then
        cat "$dir/server.log" >&2 || true
        return 1
    fi
}

start() {
    local bin dir user
    bin=$(bin_dir)
    dir=$(mktemp -d "${TMPDIR:-/tmp}/rockvane-pg.XXXXXX")
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres: "$dir"
        user=postgres
    else
        user=$(id -un)
    fi
    if ! as_owner "$bin/initdb" -A trust -U "$user" -E UTF8 --locale=C.UTF-8 -D "$dir/data" \
        >"$dir/initdb.log" 2>&1; then
        cat "$dir/initdb.log" >&2
        rm -rf "$dir"
        echo "The test server could not be made in $dir." >&2
        return 1
    fi
    if ! run_server "$bin" "$dir"; then
        rm -rf "$dir"
        echo "The test server could not be started in $dir." >&2
        return 1
    fi
    if ! as_owner "$bin/createdb" -h "$dir" -U "$user" rockvane_test; then
        stop "$dir"
        echo "The test server's database could not be made." >&2
        return 1
    fi
    echo "host=$dir user=$user dbname=rockvane_test"
}

# Only a folder this script made: it holds the server's data folder.
own_folder() {
    case "$1" in
    */rockvane-pg.*) ;;
    *)
        echo "Not a test server's folder: $1" >&2
        return 1
        ;;
    esac
}

stop() {
    local dir=$1 bin
    own_folder "$dir" || return 1
    [ -d "$dir" ] || return 0
    bin=$(bin_dir)
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bin/pg_ctl" stop -w -m immediate -D "$dir/data" >/dev/null || true
    fi
    rm -rf "$dir"
}

# The server programs' folder, for a test server's folder that still holds its data.
kept_server() {
    local dir=$1
    own_folder "$dir" || return 1
    if [ ! -d "$dir/data" ]; then
        echo "No test server's data in $dir." >&2
        return 1
    fi
    bin_dir
}

# Stops the server at once (no checkpoint, its connections cut); the data stays. A server
# already stopped is left so.
halt() {
    local dir=$1 bin
    bin=$(kept_server "$dir") || return 1
    if as_owner "$bin/pg_ctl" status -D "$dir/data" >/dev/null 2>&1; then
        as_owner "$bin/pg_ctl" stop -w -t 60 -m immediate -D "$dir/data" >/dev/null
    fi
}

# Starts a halted server again: it recovers its data as after a crash.
resume() {
    local dir=$1 bin
    bin=$(kept_server "$dir") || return 1
    run_server "$bin" "$dir"
}

case "${1:-}" in
start) start ;;
stop | halt | resume)
    [ $# -eq 2 ] || {
        echo "Usage: $0 $1 FOLDER" >&2
        exit 2
    }
    "$1" "$2"
    ;;
*)
    echo "Usage: $0 start | stop FOLDER | halt FOLDER | resume FOLDER" >&2
    exit 2
    ;;
esac
