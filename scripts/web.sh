#!/usr/bin/env bash
# Serves the newsroom web front: installs what is missing, builds the tool
# and the Python module, creates a demo database when there is none, and
# serves the site with gunicorn: --workers processes (default: one per
# core), 8 threads each, every thread with its own connection
# (deploy/gunicorn.conf.py).
#
#   bash scripts/web.sh [--db URL] [--port N] [--workers N]
#
# The default database is sqlite:var/web.db; a postgresql://... URL works
# the same way. PTOLIX_SECRET may hold the session secret; otherwise one is
# generated into var/web-secret.
set -euo pipefail
cd "$(dirname "$0")/.."

db="sqlite:var/web.db"
port=8000
workers=$(nproc)
while [[ $# -gt 0 ]]; do
  case "$1" in
    --db) db="$2"; shift 2 ;;
    --port) port="$2"; shift 2 ;;
    --workers) workers="$2"; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    *) echo "web.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
[[ "$workers" =~ ^[1-9][0-9]*$ ]] || { echo "web.sh: --workers takes a number from 1" >&2; exit 2; }

scripts/bootstrap.sh --with-web
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target ptolix_tool ptolix_python

export PYTHONPATH="$PWD/build/python:$PWD/web${PYTHONPATH:+:$PYTHONPATH}"
export PTOLIX_DB="$db"
mkdir -p var
/usr/bin/python3 -m ptolix_web.demo_data --db "$db" --tool build/ptolix

cat <<EOT

Ptolix newsroom on http://127.0.0.1:$port/  (database $db, $workers workers)
Staff desk: http://127.0.0.1:$port/desk/  - demo sign-ins:
EOT
/usr/bin/python3 - <<'EOT'
from ptolix_web.demo_data import SIGN_INS
for user, password, role in SIGN_INS:
    print(f"  {user:<9} {password:<12} {role}")
EOT
echo
exec /usr/bin/python3 -m gunicorn -c deploy/gunicorn.conf.py --workers "$workers" \
  -b "127.0.0.1:$port" --access-logfile - 'ptolix_web:create_app()'
