#!/usr/bin/env bash
# Builds the Debian package ptolix_<version>_<arch>.deb in build-package/:
# a release build for prefix /usr (the Python module, when there is one,
# under Debian's /usr/lib/python3/dist-packages), packaged by CPack and
# checked without installing it. Install it with `sudo dpkg -i`.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
command -v dpkg-shlibdeps >/dev/null || {
  echo "package: dpkg-shlibdeps missing (apt-get install dpkg-dev)" >&2
  exit 1
}

out=build-package
# The module goes to Debian's dist-packages, so it is built for Debian's own
# interpreter, whatever python3 comes first on PATH.
python_args=()
[[ -x /usr/bin/python3 ]] && python_args=(-DPython_EXECUTABLE=/usr/bin/python3)
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DPTOLIX_PYTHON_INSTALL_DIR=lib/python3/dist-packages "${python_args[@]}" \
  -DPTOLIX_BUILD_TESTS=OFF -DPTOLIX_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$out" -j2
rm -f "$out"/ptolix_*.deb
(cd "$out" && cpack -G DEB >cpack.log) || { cat "$out/cpack.log"; exit 1; }
deb=$(ls "$out"/ptolix_*.deb)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$out/CMakeCache.txt")
python=0
# The listing is read whole first: grep -q leaving early would break the pipe.
contents=$(dpkg-deb -c "$deb")
grep -q '/python3/dist-packages/.*ptolix' <<<"$contents" && python=1
if [[ -f python/CMakeLists.txt && $python == 0 ]]; then
  echo "package: the Python module is missing from $deb" >&2
  exit 1
fi
bash tests/package/check_deb.sh "$deb" "$version" $python lib/python3/dist-packages
echo "$deb"
