#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and
# runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPTOLIX_WERROR=ON >/dev/null
cmake --build build -j2
cd build
ctest --output-on-failure -j2 "$@"
