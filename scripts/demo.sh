#!/usr/bin/env bash
# Installs what is missing, builds, and walks the demo site on SQLite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target ptolix_tool
./build/ptolix demo "$@"
