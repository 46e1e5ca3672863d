"""Where the time of one public page goes: the library calls alone, the
whole Flask view (calls, template rendering, request handling) through the
test client, and, by difference, the rendering and the framework.

    python3 web/bench/profile_pages.py --db URL [--n 300]
"""

from __future__ import annotations

import argparse
import random
import statistics
import time

import ptolix
from ptolix_web import create_app


def timed(fn, n: int) -> list[float]:
    out = []
    for _ in range(n):
        t = time.perf_counter()
        fn()
        out.append((time.perf_counter() - t) * 1000)
    return out


def show(label: str, ms: list[float]) -> None:
    ms = sorted(ms)
    print(
        f"  {label:<34} p50 {statistics.median(ms):6.2f} ms   "
        f"p99 {ms[int(len(ms) * 0.99) - 1]:6.2f} ms"
    )


def main() -> None:
    p = argparse.ArgumentParser()
    p.add_argument("--db", required=True)
    p.add_argument("--n", type=int, default=300)
    p.add_argument("--column", default="1501")
    p.add_argument("--pages", type=int, default=50, help="column pages drawn from 1 to this")
    args = p.parse_args()
    conn = ptolix.connect(args.db)
    sys_id = "1"
    col = ptolix.create("Column", conn)
    site = str(ptolix.records(col.GetColumn(sys_id, args.column))[0]["WebSite_ID"])

    def calls() -> None:  # the calls the column page makes
        page = str(random.randint(1, args.pages))
        c = ptolix.create("Column", conn)
        c.GetColumn(sys_id, args.column)
        ptolix.create("WebSite", conn).GetWebSite(site)
        info = ptolix.create("Information", conn)
        info.PageSize = 10
        info.GetPublishedInfoList(site, sys_id, args.column, page)
        c.GetFatherColumnList(sys_id, args.column)
        c.GetChildColumnList(sys_id, site, args.column)
        c.GetChildColumnList(sys_id, site, "")

    def published_only() -> None:
        info = ptolix.create("Information", conn)
        info.PageSize = 10
        info.GetPublishedInfoList(site, sys_id, args.column, str(random.randint(1, args.pages)))

    app = create_app({"db_url": args.db, "secret": "bench"})
    client = app.test_client()

    def view() -> None:
        r = client.get(f"/columns/{args.column}?page={random.randint(1, args.pages)}")
        assert r.status_code == 200

    def item() -> None:
        r = client.get(f"/items/{2 * random.randint(1, 499999)}")
        assert r.status_code in (200, 404)

    for f in (calls, view, item):
        timed(f, 20)  # warm up
    print(f"one thread, {args.n} requests each ({args.db}):")
    show("GetPublishedInfoList alone", timed(published_only, args.n))
    show("all library calls of a column page", timed(calls, args.n))
    show("column page view (calls+template)", timed(view, args.n))
    show("item page view", timed(item, args.n))


if __name__ == "__main__":
    main()
