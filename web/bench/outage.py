"""What a database outage costs the site under load: wrk requests a column
page of the demo site for --seconds while PostgreSQL is restarted (a
cluster of this script's own) or its primary crashes and the standby is
promoted (scripts/standby.sh), and a probe requesting "/" every 10 ms times
the first 200 after the server is back.

    PYTHONPATH=build/python:web python3 web/bench/outage.py restart [--workers 2]
    PYTHONPATH=build/python:web python3 web/bench/outage.py promote [--workers 2]
"""

from __future__ import annotations

import argparse
import re
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests"))

from conftest import gunicorn, make_demo  # noqa: E402
from pgcluster import cluster  # noqa: E402

STANDBY = Path(__file__).resolve().parents[2] / "scripts" / "standby.sh"


def first_200(base: str, start: float, limit: float = 30) -> float:
    """Seconds from `start` to the first 200 of "/" (probing every 10 ms)."""
    while time.monotonic() < start + limit:
        try:
            with urllib.request.urlopen(base + "/", timeout=5) as resp:
                if resp.status == 200:
                    return time.monotonic() - start
        except (urllib.error.URLError, OSError):
            pass
        time.sleep(0.01)
    return float("inf")


def run(url: str, folder: Path, args, fault) -> None:
    demo = make_demo(url, folder)
    with gunicorn(url, folder / "gunicorn.log", workers=args.workers, threads=8) as base:
        page = f"{base}/columns/{demo['tech']}"
        wrk = subprocess.Popen(
            ["wrk", "-t2", "-c8", f"-d{args.seconds}s", "--latency", page],
            stdout=subprocess.PIPE,
            text=True,
        )
        time.sleep(3)
        back = fault()
        recovery = first_200(base, back)
        out, _ = wrk.communicate()
    print(f"== {args.fault}, {args.workers} workers: first 200 {recovery * 1000:.0f} ms after")
    for line in out.splitlines():
        if re.search(r"requests in|Non-2xx|Socket errors|Requests/sec|99%", line):
            print(line)


def main() -> None:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("fault", choices=["restart", "promote"])
    p.add_argument("--workers", type=int, default=2)
    p.add_argument("--seconds", type=int, default=15)
    p.add_argument("--down", type=float, default=2, help="seconds the server stays down")
    args = p.parse_args()
    with tempfile.TemporaryDirectory(prefix="ptolix-outage.") as tmp:
        folder = Path(tmp)
        folder.chmod(0o755)  # the server's user works below it
        if args.fault == "restart":
            with cluster() as pg:

                def restart() -> float:
                    pg.stop("fast")
                    time.sleep(args.down)
                    pg.start()
                    return time.monotonic()

                run(pg.url, folder, args, restart)
            return
        pair = folder / "pg"
        url = subprocess.run(
            ["bash", str(STANDBY), "up", str(pair)], capture_output=True, text=True, check=True
        ).stdout.split()[-1]
        try:

            def promote() -> float:
                subprocess.run(["bash", str(STANDBY), "stop-primary", str(pair), "immediate"])
                time.sleep(args.down)
                subprocess.run(["bash", str(STANDBY), "promote", str(pair)], check=True)
                return time.monotonic()

            run(url, folder, args, promote)
        finally:
            subprocess.run(["bash", str(STANDBY), "down", str(pair)])


if __name__ == "__main__":
    main()
