#!/usr/bin/env bash
# A PostgreSQL primary with a streaming standby on loopback, in one folder:
# for trying fail-over by hand and for the fail-over test. docs/operations.md
# describes the same set-up on two machines.
#
#   bash scripts/standby.sh up DIR [--async]   two clusters; prints the URL
#   bash scripts/standby.sh url DIR            the multi-host URL again
#   bash scripts/standby.sh stop-primary DIR [fast|immediate]
#   bash scripts/standby.sh promote DIR        the standby becomes the primary
#   bash scripts/standby.sh down DIR           stops both and removes DIR
#
# `up` makes DIR/primary with initdb and DIR/standby from it with
# pg_basebackup -R (a replication slot keeps the WAL the standby still
# needs), each on a free loopback port with its socket in DIR. Commits wait
# for the standby (synchronous_standby_names = '*'), so a write the primary
# acknowledged is on the standby too and survives a crash of the primary;
# --async leaves replication asynchronous (faster commits, and a crash of the
# primary may lose the last ones). Local connections are trusted: this is a
# set-up for one machine, not for a network.
set -euo pipefail

# shellcheck source=scripts/pg_tool.sh
source "$(dirname "${BASH_SOURCE[0]}")/pg_tool.sh"

# The server refuses to run as root: run it as postgres (or nobody).
pg_user=""
if [[ $(id -u) -eq 0 ]]; then
  if id postgres >/dev/null 2>&1; then pg_user=postgres; else pg_user=nobody; fi
fi
as_pg() {
  if [[ -n "$pg_user" ]]; then runuser -u "$pg_user" -- "$@"; else "$@"; fi
}

free_port() {
  local port
  for _ in $(seq 50); do
    port=$((20000 + RANDOM % 30000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return; }
  done
  return 1
}

start() {  # start NAME: on a free port (another one if it was taken meanwhile)
  local port
  for _ in 1 2 3 4 5; do
    port=$(free_port)
    if as_pg "$(pg_tool pg_ctl)" -D "$dir/$1" -l "$dir/$1.log" -w -t 60 -o "-p $port" start >/dev/null; then
      echo "$port" >"$dir/$1.port"
      return
    fi
  done
  echo "standby.sh: could not start the $1 (see $dir/$1.log)" >&2
  return 1
}

sql() {  # sql PORT TEXT
  as_pg "$(pg_tool psql)" -X -q -t -A -h 127.0.0.1 -p "$1" -U ptolix -d postgres -c "$2"
}

url() {
  echo "postgresql://ptolix@127.0.0.1:$(<"$dir/primary.port"),127.0.0.1:$(<"$dir/standby.port")/postgres?target_session_attrs=read-write&connect_timeout=2"
}

up() {
  local sync="'*'" primary_port
  [[ "${1:-}" == "--async" ]] && sync="''"
  mkdir -p "$dir"
  [[ -n "$pg_user" ]] && chown "$pg_user" "$dir"
  as_pg test -w "$dir" || { echo "standby.sh: user ${pg_user:-$(id -un)} cannot write to $dir" >&2; exit 1; }
  as_pg "$(pg_tool initdb)" -D "$dir/primary" -U ptolix --auth=trust -E UTF8 --no-locale -N >"$dir/initdb.log"
  cat >>"$dir/primary/postgresql.conf" <<EOT
listen_addresses = '127.0.0.1'
unix_socket_directories = '$dir'
wal_level = replica
max_wal_senders = 4
hot_standby = on
synchronous_standby_names = $sync
EOT
  start primary
  primary_port=$(<"$dir/primary.port")
  as_pg "$(pg_tool pg_basebackup)" -h 127.0.0.1 -p "$primary_port" -U ptolix -D "$dir/standby" \
    -R -X stream -C -S standby1 -c fast
  # The standby waits for no one once it is promoted: it is alone then.
  echo "synchronous_standby_names = ''" >>"$dir/standby/postgresql.conf"
  start standby
  for _ in $(seq 100); do
    [[ "$(sql "$primary_port" "select count(*) from pg_stat_replication where state = 'streaming'")" == 1 ]] && break
    sleep 0.1
  done
  url
}

dir_arg() {
  [[ -n "${1:-}" ]] || { sed -n '2,19p' "$0" >&2; exit 2; }
  dir=$(realpath -m "$1")
}

command=${1:-}
shift || true
case "$command" in
  up) dir_arg "${1:-}"; shift; up "$@" ;;
  url) dir_arg "${1:-}"; url ;;
  stop-primary)
    dir_arg "${1:-}"
    as_pg "$(pg_tool pg_ctl)" -D "$dir/primary" -m "${2:-fast}" -w stop >/dev/null ;;
  promote)
    dir_arg "${1:-}"
    as_pg "$(pg_tool pg_ctl)" -D "$dir/standby" -w promote >/dev/null ;;
  down)
    dir_arg "${1:-}"
    for name in standby primary; do
      [[ -d "$dir/$name" ]] && as_pg "$(pg_tool pg_ctl)" -D "$dir/$name" -m immediate -w stop >/dev/null 2>&1 || true
    done
    rm -rf "$dir" ;;
  *) sed -n '2,19p' "$0" >&2; exit 2 ;;
esac
