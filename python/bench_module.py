#!/usr/bin/env python3
"""The cost of a call through the ptolix module against the same call in C++.

    PYTHONPATH=build/python python3 python/bench_module.py [--bench build/ptolix_bench]

Times Link.GetLink and a 20-row page of Information.GetPublishedInfoList on an
in-memory SQLite database, made by the same calls as the C++ counterpart
(bench/python_overhead_bench.cc), runs that counterpart, and prints the
overhead per call and per returned value.
"""

import argparse
import json
import subprocess
import timeit
from pathlib import Path

import ptolix


def make_data() -> tuple[object, object, object]:
    conn = ptolix.connect("sqlite::memory:")
    conn.create_schema()
    link = ptolix.create("Link", conn)
    link.AppendLinkClass("友情链接", "Friends")
    link.AppendLink("1", "Ptolix", "项目主页", "http://ptolix.example/", "logo.gif", "88", "31", "2030-12-31")
    column = ptolix.create("Column", conn).AppendColumn("1", "新闻", "", "", "", "", "", "1", "")
    info = ptolix.create("Information", conn)
    ids = [info.AppendInfo("1", column, "reporter", "1", f"第{i}篇", "<p>正文</p>", "2024-05-01", "", "", "1", "")
           for i in range(1, 61)]
    info.AssessInfo("editor", ",".join(str(i) for i in ids), "4")
    info.PageSize = 20
    return conn, link, (info, column)


def best_ns(fn, number: int, repeat: int = 7) -> float:
    return min(timeit.repeat(fn, number=number, repeat=repeat)) / number * 1e9


def values_of(result) -> int:
    return sum(len(row) for row in result)


def cpp_times(bench: Path) -> dict[str, float]:
    out = subprocess.run([str(bench), "--benchmark_filter=PythonOverhead", "--benchmark_format=json",
                          "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"],
                         check=True, capture_output=True, text=True).stdout
    times = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            scale = {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
            times[b["run_name"].split("_")[-1]] = b["real_time"] * scale
    return times


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    root = Path(__file__).resolve().parent.parent
    parser.add_argument("--bench", type=Path, default=root / "build" / "ptolix_bench")
    args = parser.parse_args()

    conn, link, (info, column) = make_data()
    get_link = lambda: link.GetLink("1", "1")  # noqa: E731
    page = lambda: info.GetPublishedInfoList("1", "1", column, 2)  # noqa: E731
    assert values_of(page()) == 21 * len(page()[0]) and info.Errors == ""
    py = {"GetLink": best_ns(get_link, 20000), "PublishedPage": best_ns(page, 300)}
    values = {"GetLink": values_of(get_link()), "PublishedPage": values_of(page())}
    cpp = cpp_times(args.bench)

    print(f"{'call':<16}{'values':>8}{'C++ ns':>10}{'Python ns':>11}{'overhead ns':>13}")
    overhead = {}
    for name in ("GetLink", "PublishedPage"):
        overhead[name] = py[name] - cpp[name]
        print(f"{name:<16}{values[name]:>8}{cpp[name]:>10.0f}{py[name]:>11.0f}{overhead[name]:>13.0f}")
    per_value = (overhead["PublishedPage"] - overhead["GetLink"]) / (values["PublishedPage"] - values["GetLink"])
    per_call = overhead["GetLink"] - per_value * values["GetLink"]
    print(f"per call: {per_call / 1000:.2f} µs (target < 2), per value: {per_value / 1000:.3f} µs (target < 0.3)")


if __name__ == "__main__":
    main()
