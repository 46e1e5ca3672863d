#!/usr/bin/env bash
# Packages the build as a .deb for /usr with CPack (no second compile) and
# checks it with check_deb.sh. Run by CTest, which sets PTOLIX_SOURCE_DIR,
# PTOLIX_BUILD_DIR, PTOLIX_VERSION, PTOLIX_PYTHON_INSTALL_DIR, CMAKE, CPACK.
set -euo pipefail
src=${PTOLIX_SOURCE_DIR:?} build=${PTOLIX_BUILD_DIR:?} version=${PTOLIX_VERSION:?}
cmake=${CMAKE:-cmake} cpack=${CPACK:-cpack}
for tool in dpkg-deb dpkg-shlibdeps; do
  command -v $tool >/dev/null || { echo "$tool missing: skipped"; exit 77; }
done

tmp=$(mktemp -d /tmp/ptolix-package.XXXXXX)
trap 'rm -rf "$tmp"' EXIT

# Whether the build has a Python module: the package must then carry it.
"$cmake" --install "$build" --prefix "$tmp/prefix" >/dev/null
python=0
[[ -n $(find "$tmp/prefix" -path '*python3*' -name '*ptolix*' -print -quit) ]] && python=1

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" \
  -D CPACK_PACKAGING_INSTALL_PREFIX=/usr >"$tmp/cpack.log" 2>&1 || { cat "$tmp/cpack.log"; exit 1; }
deb=$(find "$tmp/out" -maxdepth 1 -name '*.deb')
bash "$src/tests/package/check_deb.sh" "$deb" "$version" $python "$PTOLIX_PYTHON_INSTALL_DIR"
