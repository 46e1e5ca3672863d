#!/usr/bin/env python3
"""The library's layers, read from its includes.

Every #include in src/ and include/ptolix/ is an arrow from the including
file's folder to the included file's folder. An arrow may only point down
the layer table below (or stay in its folder); the business folders do not
include each other; the engine folders (src/db/sqlite/, src/db/postgres/)
do not include each other and only the engine table names them. Outside the
engine folders and the engine table no code compares `Dialect::` values.

    python3 scripts/check_layers.py          # check; exit 1 on a finding
    python3 scripts/check_layers.py --draw   # print the arrows, then check
"""

from __future__ import annotations

import re
import sys
from collections import Counter
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# Lower rank first; a folder includes only folders of a lower rank.
LAYERS: dict[str, int] = {
    "value": 0,
    "db": 1,
    "frame": 2,
    "schema": 3,
    "org": 4,
    "content": 4,
    "site": 4,
    "records": 4,
    "top": 5,
}
ENGINES = ("db/sqlite", "db/postgres")
# The one file outside the engine folders that knows every engine.
ENGINE_TABLE = "src/db/engines.cc"
INCLUDE = re.compile(r'^\s*#\s*include\s+[<"]([^>"]+)[>"]', re.M)
DIALECT = re.compile(r"Dialect::k\w+")


def folder_of_file(path: Path) -> str:
    """The folder a source file belongs to: "db", "db/sqlite", "top" ..."""
    parts = path.relative_to(ROOT).parts
    if parts[0] == "include":
        parts = parts[2:]  # include/ptolix/<folder>/...
    else:
        parts = parts[1:]  # src/<folder>/...
    if len(parts) == 1:
        return "top"
    return "/".join(parts[:-1])


def folder_of_include(name: str, here: str) -> str | None:
    """The folder an included name lives in, or None for a system header."""
    if name.startswith("ptolix/"):
        rest = name.split("/")[1:]
        return "top" if len(rest) == 1 else "/".join(rest[:-1])
    parts = name.split("/")
    if len(parts) == 1:
        local = ROOT / "src" / here / name
        return here if local.exists() else None
    if (ROOT / "src" / parts[0]).is_dir():
        return "/".join(parts[:-1])
    return None


def layer(folder: str) -> str:
    return folder.split("/")[0]


def sources() -> list[Path]:
    found = []
    for base in (ROOT / "src", ROOT / "include" / "ptolix"):
        found += [p for p in base.rglob("*") if p.suffix in (".h", ".cc")]
    return sorted(found)


def arrows() -> Counter[tuple[str, str]]:
    counted: Counter[tuple[str, str]] = Counter()
    for path in sources():
        here = folder_of_file(path)
        for name in INCLUDE.findall(path.read_text()):
            there = folder_of_include(name, here)
            if there is not None and there != here:
                counted[(here, there)] += 1
    return counted


def findings(counted: Counter[tuple[str, str]]) -> list[str]:
    found = []
    for (here, there), n in sorted(counted.items()):
        a, b = layer(here), layer(there)
        if a == b and here in ENGINES and there in ENGINES:
            found.append(f"{here} -> {there}: one engine folder includes the other ({n})")
        elif a != b and LAYERS[b] >= LAYERS[a]:
            where = "up" if LAYERS[b] > LAYERS[a] else "sideways"
            found.append(f"{here} -> {there}: an include goes {where} ({n})")
    for path in sources():
        rel = str(path.relative_to(ROOT))
        here = folder_of_file(path)
        if here in ENGINES or rel == ENGINE_TABLE:
            continue
        text = path.read_text()
        for name in INCLUDE.findall(text):
            if folder_of_include(name, here) in ENGINES:
                found.append(f"{rel}: includes {name}; only the engine table names engines")
        for line_no, line in enumerate(text.splitlines(), 1):
            if DIALECT.search(line):
                found.append(f"{rel}:{line_no}: asks which engine it runs on: {line.strip()}")
    return found


def draw(counted: Counter[tuple[str, str]]) -> None:
    order = sorted(
        {f for pair in counted for f in pair}, key=lambda f: (-LAYERS[layer(f)], f)
    )
    for here in order:
        out = [f"{there} ({n})" for (h, there), n in sorted(counted.items()) if h == here]
        if out:
            print(f"{here:14} -> " + ", ".join(out))


def main() -> int:
    counted = arrows()
    if "--draw" in sys.argv[1:]:
        draw(counted)
    found = findings(counted)
    for line in found:
        print(f"layers: {line}", file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
