#!/usr/bin/env python3
"""The cost of a call through the ptolix module against the same call in C++.

    PYTHONPATH=build/python python3 python/bench_module.py [--rounds 300]

Times Link.GetLink and a 20-row page of Information.GetPublishedInfoList on an
in-memory SQLite database, through the module and, in the same process on the
same objects, as the same late-bound call made from C++ (ptolix._bench_native,
which also times the conversion of the result to Python alone). Short
rounds (about a millisecond) alternate between the two and the best of each is
kept, so that a busy machine disturbs both alike. bench/python_overhead_bench.cc is the
same C++ call as a
Google Benchmark case, for a figure without Python in the process.
"""

import argparse
import timeit

import ptolix


def make_data() -> tuple:
    conn = ptolix.connect("sqlite::memory:")
    conn.create_schema()
    link = ptolix.create("Link", conn)
    link.AppendLinkClass("友情链接", "Friends")
    link.AppendLink(
        "1", "Ptolix", "项目主页", "http://ptolix.example/", "logo.gif", "88", "31", "2030-12-31"
    )
    column = ptolix.create("Column", conn).AppendColumn("1", "新闻", "", "", "", "", "", "1", "")
    info = ptolix.create("Information", conn)
    ids = [
        info.AppendInfo(
            "1", column, "reporter", "1", f"第{i}篇", "<p>正文</p>", "2024-05-01", "", "", "1", ""
        )
        for i in range(1, 61)
    ]
    info.AssessInfo("editor", ",".join(str(i) for i in ids), "4")
    info.PageSize = 20
    return conn, link, info, column


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=300)
    args = parser.parse_args()

    conn, link, info, column = make_data()
    cases = {
        "GetLink": (link, "GetLink", ["1", "1"], 100),
        "PublishedPage": (info, "GetPublishedInfoList", ["1", "1", column, 2], 1),
    }
    print(
        f"{'call':<15}{'values':>7}{'C++ µs':>10}{'Python µs':>11}"
        f"{'overhead µs':>13}{'conversion µs':>15}"
    )
    results = {}
    for name, (obj, method, call_args, number) in cases.items():
        bound = getattr(obj, method)
        result = bound(*call_args)
        assert obj.Errors == "" and result is not None
        values = sum(len(row) for row in result)
        python_ns, native_ns, convert_ns = [], [], []
        for _ in range(args.rounds):
            python_ns.append(
                timeit.timeit(lambda: bound(*call_args), number=number) / number * 1e9
            )
            call, convert = ptolix._bench_native(obj, method, call_args, number)
            native_ns.append(call)
            convert_ns.append(convert)
        py_best, cpp_best, conv_best = min(python_ns), min(native_ns), min(convert_ns)
        results[name] = (values, py_best - cpp_best, conv_best)
        print(
            f"{name:<15}{values:>7}{cpp_best / 1e3:>10.2f}{py_best / 1e3:>11.2f}"
            f"{(py_best - cpp_best) / 1e3:>13.2f}{conv_best / 1e3:>15.2f}"
        )

    # Per value: the conversion of the page's result, spread over its values.
    # Per call: what the module adds to GetLink beyond converting its result.
    values, overhead, convert = results["PublishedPage"]
    per_value = convert / values
    link_values, link_overhead, link_convert = results["GetLink"]
    per_call = link_overhead - link_convert
    print(
        f"per call: {per_call / 1e3:.2f} µs (target < 2); "
        f"per value: {per_value / 1e3:.3f} µs (target < 0.3)"
    )
    print(
        f"page of {values} values: {overhead / 1e3:.1f} µs in all, "
        f"of which conversion {convert / 1e3:.1f} µs"
    )
    conn.close()


if __name__ == "__main__":
    main()
