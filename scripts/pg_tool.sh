# Sourced by the scripts that start their own PostgreSQL servers.
# pg_tool NAME prints the path of a PostgreSQL server program (initdb, pg_ctl,
# pg_basebackup, ...): from PATH, else from the newest installed major
# version's bin folder; fails with a message when there is none.
pg_tool() {
  local name=$1 dir
  if command -v "$name" >/dev/null; then command -v "$name"; return; fi
  for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V -r); do
    [[ -x "$dir/$name" ]] && { echo "$dir/$name"; return; }
  done
  echo "$name not found (apt-get install postgresql)" >&2
  return 1
}
