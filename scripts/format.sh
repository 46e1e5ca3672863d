#!/usr/bin/env bash
# Formats the C++ sources with clang-format and the repository's
# .clang-format, and the Python of python/ and web/ with black
# (pyproject.toml), then runs flake8 (.flake8) over the Python. In place by
# default; with --check, lists the files whose format differs and exits 1 if
# there are any or flake8 finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

clang_format="${CLANG_FORMAT:-clang-format-14}"
if ! command -v "$clang_format" >/dev/null; then
  echo "format: $clang_format not found (scripts/bootstrap.sh installs it)" >&2
  exit 2
fi

mapfile -t files < <(
  {
    find src include tools tests bench fuzz -type f \( -name '*.cc' -o -name '*.h' \) 2>/dev/null
    find python -maxdepth 1 -type f \( -name '*.cc' -o -name '*.h' \) 2>/dev/null
  } | LC_ALL=C sort
)

for tool in black flake8; do
  if ! command -v "$tool" >/dev/null; then
    echo "format: $tool not found (scripts/bootstrap.sh installs it)" >&2
    exit 2
  fi
done
python_dirs=(python web)

if [[ $check -eq 0 ]]; then
  "$clang_format" -i --style=file "${files[@]}"
  black -q "${python_dirs[@]}"
  flake8 "${python_dirs[@]}"
  exit 0
fi

status=0
for f in "${files[@]}"; do
  if ! "$clang_format" --style=file "$f" | cmp -s - "$f"; then
    echo "format: $f differs from clang-format's output" >&2
    status=1
  fi
done
black --check -q "${python_dirs[@]}" || status=1
flake8 "${python_dirs[@]}" || status=1
python3 scripts/check_layers.py || status=1
if [[ $status -ne 0 ]]; then
  echo "format: run 'bash scripts/format.sh' to fix (flake8's findings are mended by hand)" >&2
fi
exit $status
