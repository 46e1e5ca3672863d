#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, runs
# the whole test suite on SQLite and on PostgreSQL, then again built with
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs each fuzz target
# for a short while. Arguments go to both ctest runs.
#
#   build/       -O2 without debug information, tests and benchmarks
#   build-asan/  clang -O1 -fsanitize=address,undefined -fno-sanitize-recover=all
#                with the fuzzer's coverage counters: the tests (warnings are
#                the first build's business), where any sanitizer report,
#                leaks included, fails its test, and the fuzz targets, which
#                scripts/fuzz.sh then runs PTOLIX_FUZZ_SECONDS (default 30)
#                each. Tests labelled python or web are left to the first run.
#
# PTOLIX_TEST_SANITIZE=off skips the sanitizer run, PTOLIX_FUZZ_SECONDS=0 the
# fuzzing.
#
# PostgreSQL: when PTOLIX_TEST_PG already holds a URL, that server is used.
# Otherwise a throwaway server is started on loopback (a fresh cluster in a
# temporary folder, a free port, its socket in that folder) and stopped and
# removed when the script ends, whether the tests pass or not. Set
# PTOLIX_TEST_PG=off to run on SQLite only.
set -euo pipefail
cd "$(dirname "$0")/.."

start_server=""
if [[ "${PTOLIX_TEST_PG:-}" == "off" ]]; then
  scripts/bootstrap.sh --with-web
  unset PTOLIX_TEST_PG
elif [[ -n "${PTOLIX_TEST_PG:-}" ]]; then
  scripts/bootstrap.sh --with-web
else
  start_server=1
  scripts/bootstrap.sh --with-postgres --with-web
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-O2 -DPTOLIX_WERROR=ON >/dev/null
cmake --build build -j2

# shellcheck source=scripts/pg_tool.sh
source scripts/pg_tool.sh

pg_dir=""
pg_ctl_bin=""
pg_user=""
as_pg_user() {
  if [[ -n "$pg_user" ]]; then runuser -u "$pg_user" -- "$@"; else "$@"; fi
}
stop_pg() {
  if [[ -n "$pg_dir" ]]; then
    as_pg_user "$pg_ctl_bin" -D "$pg_dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$pg_dir"
  fi
}

if [[ -n "$start_server" ]]; then
  initdb_bin=$(pg_tool initdb)
  pg_ctl_bin=$(pg_tool pg_ctl)
  trap stop_pg EXIT
  pg_dir=$(mktemp -d /tmp/ptolix-pg.XXXXXX)
  # The server refuses to run as root: run it as an unprivileged user that
  # owns the folder.
  if [[ $(id -u) -eq 0 ]]; then
    if id postgres >/dev/null 2>&1; then pg_user=postgres; else pg_user=nobody; fi
    chown "$pg_user" "$pg_dir"
  fi
  as_pg_user "$initdb_bin" -D "$pg_dir/data" -U ptolix --auth=trust -E UTF8 --no-locale >"$pg_dir/initdb.log" 2>&1 ||
    { cat "$pg_dir/initdb.log" >&2; exit 1; }
  started=""
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    port=$((20000 + RANDOM % 30000))
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && continue  # taken
    if as_pg_user "$pg_ctl_bin" -D "$pg_dir/data" -l "$pg_dir/server.log" -w -t 60 start \
        -o "-p $port -k $pg_dir -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=100" \
        >/dev/null; then
      started=1
      break
    fi
  done
  if [[ -z "$started" ]]; then
    echo "test.sh: could not start a PostgreSQL server" >&2
    cat "$pg_dir/server.log" >&2 || true
    exit 1
  fi
  export PTOLIX_TEST_PG="postgresql://ptolix@127.0.0.1:$port/postgres"
  echo "test.sh: PostgreSQL test server at $PTOLIX_TEST_PG" >&2
fi

# Tests are listed when ctest runs (the PostgreSQL instances exist only while
# PTOLIX_TEST_PG is set): drop lists made under another setting.
rm -f build/tests/*_tests.cmake
(cd build && ctest --output-on-failure -j2 "$@")

fuzz_seconds=${PTOLIX_FUZZ_SECONDS:-30}
if [[ "${PTOLIX_TEST_SANITIZE:-}" != "off" || "$fuzz_seconds" != "0" ]]; then
  # One instrumented build serves the sanitizer run and the fuzz targets.
  CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -gline-tables-only" -DPTOLIX_SANITIZE=ON -DPTOLIX_FUZZ=ON \
    -DPTOLIX_BUILD_BENCH=OFF -DPTOLIX_BUILD_PYTHON=OFF >/dev/null
  cmake --build build-asan -j2
fi
if [[ "${PTOLIX_TEST_SANITIZE:-}" != "off" ]]; then
  rm -f build-asan/tests/*_tests.cmake
  (cd build-asan && ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1} \
    ctest --output-on-failure -j2 -LE 'python|web|package' "$@")
fi
if [[ "$fuzz_seconds" != "0" ]]; then
  PTOLIX_FUZZ_BUILD=build-asan scripts/fuzz.sh "$fuzz_seconds"
fi
