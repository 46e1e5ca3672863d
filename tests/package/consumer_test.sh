#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs the
# README's example as a separate project against that prefix: once through
# find_package(ptolix) and once through pkg-config. Run by CTest, which sets
# PTOLIX_SOURCE_DIR, PTOLIX_BUILD_DIR, PTOLIX_VERSION, CMAKE and CXX.
set -euo pipefail
src=${PTOLIX_SOURCE_DIR:?} build=${PTOLIX_BUILD_DIR:?} version=${PTOLIX_VERSION:?}
cmake=${CMAKE:-cmake} cxx=${CXX:-c++}
command -v pkg-config >/dev/null || { echo "pkg-config missing: skipped"; exit 77; }

tmp=$(mktemp -d /tmp/ptolix-consumer.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The consumer's program is the README's example, word for word.
awk '/^## Using the library/ {section = 1} section && /^```cpp/ {code = 1; next}
     code && /^```/ {exit} code' "$src/README.md" >"$tmp/readme_example.cc"
diff -u "$src/tests/package/consumer/main.cc" "$tmp/readme_example.cc" ||
  fail "tests/package/consumer/main.cc differs from the README's example"

prefix=$tmp/prefix
"$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" || { cat "$tmp/install.log"; fail "install"; }
for f in bin/ptolix include/ptolix/ptolix.h include/ptolix/version.h; do
  [[ -f $prefix/$f ]] || fail "$f not installed"
done
[[ $("$prefix/bin/ptolix" --version) == "$version" ]] || fail "ptolix --version: $("$prefix/bin/ptolix" --version)"
# Nothing installed may point back into the source or build tree.
if grep -rlI -e "$build" -e "$src" "$prefix"; then fail "installed files name the build or source tree"; fi

check_run() {  # program, label
  mkdir -p "$tmp/run-$2"
  (cd "$tmp/run-$2" && "$1") >"$tmp/out-$2" 2>&1 || { cat "$tmp/out-$2"; fail "$2: the example failed"; }
  { grep -q "NO_SUCH" "$tmp/out-$2" && [[ $(tail -n 1 "$tmp/out-$2") == "templates" ]]; } ||
    { cat "$tmp/out-$2"; fail "$2: unexpected output"; }
  echo "$2: the example ran"
}

# Through CMake: find_package(ptolix 0.2 REQUIRED) and ptolix::ptolix.
"$cmake" -S "$src/tests/package/consumer" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release >"$tmp/configure.log" 2>&1 ||
  { cat "$tmp/configure.log"; fail "consumer configure"; }
found=$(sed -n 's/^ptolix_DIR:PATH=//p' "$tmp/cmake-build/CMakeCache.txt")
[[ $found == "$prefix"/* ]] || fail "find_package found ptolix at $found, not in $prefix"
"$cmake" --build "$tmp/cmake-build" >"$tmp/build.log" 2>&1 || { cat "$tmp/build.log"; fail "consumer build"; }
check_run "$tmp/cmake-build/consumer" cmake

# Through pkg-config, with the static library's dependencies from --static.
pc=$(find "$prefix" -name ptolix.pc)
[[ -n $pc ]] || fail "ptolix.pc not installed"
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
[[ $(pkg-config --modversion ptolix) == "$version" ]] || fail "pkg-config --modversion ptolix"
# shellcheck disable=SC2046
"$cxx" -std=c++20 "$src/tests/package/consumer/main.cc" -o "$tmp/pc-consumer" \
  $(pkg-config --cflags --libs --static ptolix) >"$tmp/pc-build.log" 2>&1 ||
  { cat "$tmp/pc-build.log"; fail "pkg-config build"; }
# A shared libptolix in a prefix of one's own is found at run time through
# the loader's path.
LD_LIBRARY_PATH=$(pkg-config --variable=libdir ptolix) check_run "$tmp/pc-consumer" pkg-config
