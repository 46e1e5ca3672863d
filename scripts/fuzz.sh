#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ and runs each for SECONDS (default
# 30), failing when any of them finds a crash, a sanitizer report or a
# broken invariant.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]     targets: rewriter page_code
#                                             arguments json_values host
#
# The build folder is build-fuzz/ (clang, -fsanitize=fuzzer,address,undefined;
# PTOLIX_FUZZ_BUILD names another). Each target starts from its seeds in
# fuzz/corpus/<target>/ and writes what it learns to a corpus folder outside
# the tree: <build>/corpus/<target>/, or PTOLIX_FUZZ_CORPUS/<target>/ when
# that is set. The output of a run goes to <build>/logs/<target>.log; a
# crashing input is saved as <build>/artifacts/<target>-crash-<hash>, and
# `build-fuzz/fuzz_<target> FILE` replays it.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
[[ $# -gt 0 ]] && shift
all=(rewriter page_code arguments json_values host)
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=("${all[@]}")
build=${PTOLIX_FUZZ_BUILD:-build-fuzz}
corpus_root=${PTOLIX_FUZZ_CORPUS:-$build/corpus}

for t in "${targets[@]}"; do
  [[ -d fuzz/corpus/$t ]] || { echo "fuzz.sh: no target $t (${all[*]})" >&2; exit 2; }
done

# A folder already set up for fuzzing (the test command's build-asan/, which
# also builds the tests) is used as it is.
if ! grep -qs '^PTOLIX_FUZZ:BOOL=ON' "$build/CMakeCache.txt"; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_FLAGS_RELEASE="-O1 -gline-tables-only" \
    -DPTOLIX_FUZZ=ON -DPTOLIX_SANITIZE=ON -DPTOLIX_BUILD_TESTS=OFF -DPTOLIX_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/logs" "$build/artifacts"
passed=0
failed=0
for t in "${targets[@]}"; do
  mkdir -p "$corpus_root/$t"
  flags=(-max_total_time="$seconds" -timeout=25 -rss_limit_mb=2048 -print_final_stats=1
         -artifact_prefix="$build/artifacts/$t-")
  [[ -f fuzz/$t.dict ]] && flags+=(-dict="fuzz/$t.dict")
  log="$build/logs/$t.log"
  if "$build/fuzz_$t" "${flags[@]}" "$corpus_root/$t" "fuzz/corpus/$t" >"$log" 2>&1; then
    passed=$((passed + 1))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
    echo "fuzz.sh: $t: ${execs:-?} runs, ${rate:-?}/s, ${cov:-cov: ?}, no crash"
  else
    failed=$((failed + 1))
    tail -n 60 "$log" >&2
    echo "fuzz.sh: $t FAILED (log $log, input in $build/artifacts/)" >&2
  fi
done
echo "fuzz: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
