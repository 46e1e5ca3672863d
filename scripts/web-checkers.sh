#!/usr/bin/env bash
# Installs the page checkers the web tests run, axe-core (accessibility, run
# inside the browser) and html-validate (the server's HTML), at fixed
# versions into BUILD/npm (default build/npm), and does nothing when they
# are there already. Nothing of it is committed.
#
#   scripts/web-checkers.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
dest="$build/npm"
versions=(axe-core@4.11.4 html-validate@9.7.1)
stamp="$dest/.installed"
if [[ -f "$stamp" && "$(cat "$stamp")" == "${versions[*]}" ]]; then
  exit 0
fi
command -v npm >/dev/null || { echo "web-checkers: npm is not installed" >&2; exit 1; }
mkdir -p "$dest"
[[ -f "$dest/package.json" ]] || echo '{"private": true}' >"$dest/package.json"
npm install --prefix "$dest" --no-audit --no-fund --no-save --loglevel=error \
  --fetch-timeout=30000 --fetch-retries=1 "${versions[@]}" >&2
echo "${versions[*]}" >"$stamp"
