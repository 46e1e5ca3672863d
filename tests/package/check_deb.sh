#!/usr/bin/env bash
# Checks a ptolix .deb without installing it: its name, control fields,
# dependencies and file list, and that its tool runs.
#   check_deb.sh DEB VERSION PYTHON [PYTHON_DIR]
# PYTHON is 1 when the Python module was built and must be in the package;
# PYTHON_DIR, when given, is where under /usr it must be.
set -euo pipefail
deb=$1 version=$2 python=$3 python_dir=${4:-}
fail() { echo "FAIL: $*" >&2; exit 1; }

arch=$(dpkg --print-architecture)
[[ $(basename "$deb") == "ptolix_${version}_${arch}.deb" ]] || fail "package file name $(basename "$deb")"
[[ $(dpkg-deb -f "$deb" Package) == ptolix ]] || fail "Package field"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "Version field"

# The runtime libraries, as dpkg-shlibdeps finds them in the binaries, and
# the interpreter for the Python module; no development package.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
names=$(tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | sort)
for lib in 'libsqlite3-0' 'libpq5' 'libsodium[0-9]+' 'libfmt[0-9]+' 'libstdc\+\+6' 'libc6'; do
  grep -Eqx "$lib" <<<"$names" || fail "Depends lacks $lib"
done
if grep -E -- '-dev$' <<<"$names"; then fail "Depends names a development package"; fi
[[ $(grep -cx python3 <<<"$names") == "$python" ]] ||
  fail "Depends names python3 only with the Python module (built: $python)"

files=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$')
if grep -v '^\./usr/' <<<"$files"; then fail "files outside /usr"; fi
lib='./usr/lib/([^/]+/)?' inc='./usr/include/ptolix' cmake='cmake/ptolix/ptolix'
need=("./usr/bin/ptolix" "$inc/ptolix\.h" "$inc/version\.h" "$inc/db/connection\.h"
  "${lib}libptolix\.(a|so)" "${lib}pkgconfig/ptolix\.pc" "$lib${cmake}Config\.cmake"
  "$lib${cmake}ConfigVersion\.cmake" "$lib${cmake}Targets\.cmake"
  "./usr/share/doc/ptolix/README\.md" "./usr/share/doc/ptolix/postgresql\.md")
for f in "${need[@]}"; do
  grep -Eqx "$f" <<<"$files" || fail "package lacks $f"
done
if grep -E '^\./usr/(src|tests|bench)|_test$|/gtest|/gmock|/benchmark/' <<<"$files"; then
  fail "package holds test or benchmark files"
fi
if [[ $python == 1 ]]; then
  module=$(grep -E '^\./usr/lib/python3[^/]*/.*ptolix' <<<"$files" || true)
  [[ -n $module ]] || fail "package lacks the Python module"
  if [[ -n $python_dir ]]; then
    grep -q "^\./usr/$python_dir/" <<<"$module" || fail "Python module not under /usr/$python_dir"
  fi
fi

# The packaged tool runs (from an extracted copy, nothing installed).
tmp=$(mktemp -d /tmp/ptolix-deb.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -x "$deb" "$tmp"
libdir=$(dirname "$(find "$tmp/usr/lib" -name 'libptolix.*' | head -n 1)")
[[ $(LD_LIBRARY_PATH=$libdir "$tmp/usr/bin/ptolix" --version) == "$version" ]] || fail "packaged ptolix --version"
echo "$(basename "$deb"): $(wc -l <<<"$files") files, checked"
