#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks, the
# fuzz targets and the format check need (clang and libFuzzer, clang-format;
# ccache speeds up rebuilds), and does nothing when they are all present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsqlite3-dev libpq-dev libsodium-dev nlohmann-json3-dev libcli11-dev
  libfmt-dev libgtest-dev libgmock-dev libbenchmark-dev
  pybind11-dev python3-dev python3-pytest
  clang clang-format-14 libfuzzer-14-dev ccache black flake8
)
if [[ "${1:-}" == "--with-postgres" ]]; then
  # The server binaries (initdb, pg_ctl) for a throwaway test server; any
  # installed major version will do.
  if ! command -v initdb >/dev/null && ! compgen -G "/usr/lib/postgresql/*/bin/initdb" >/dev/null; then
    packages+=(postgresql)
  fi
fi
if [[ " $* " == *" --with-web "* ]]; then
  # The web front: Flask, gunicorn, the browser tests (with a CJK font for
  # their screenshots), the load benchmark and the nginx front of deploy/.
  # Uploads: content types (magic), resized pictures (PIL), formatted text (bleach);
  # password strength (zxcvbn); the pages in Chinese and English (Flask-Babel, and
  # Babel's pybabel for scripts/translations.sh).
  packages+=(python3-flask python3-gunicorn python3-pytest python3-selenium chromium chromium-driver fonts-wqy-microhei wrk
    nginx python3-magic python3-pil python3-bleach python3-zxcvbn python3-flask-babel python3-babel)
  # Node.js and npm install the page checkers (scripts/web-checkers.sh); a
  # Node.js that brings its own npm is kept as it is.
  command -v npm >/dev/null || packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "bootstrap: installing ${missing[*]}" >&2
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
