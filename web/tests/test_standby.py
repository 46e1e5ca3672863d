"""Fail-over to a streaming standby (scripts/standby.sh): the host, the
Python module and the site work on the multi-host URL while the primary
crashes and the standby is promoted, go on against the new primary without
being restarted, and every write they were told had succeeded is there."""

import json
import subprocess
import tempfile
import threading
import time

import pytest

import ptolix
from conftest import WEB, build_dir, gunicorn, make_demo
from pgcluster import pg_tool
from test_outage import Load

no_server = pg_tool("pg_basebackup") is None
pytestmark = [pytest.mark.standby, pytest.mark.skipif(no_server, reason="no PostgreSQL server")]


def standby(*args: str) -> str:
    cmd = ["bash", str(WEB.parent / "scripts" / "standby.sh"), *args]
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=180)
    assert done.returncode == 0, done.stderr
    return done.stdout.strip()


@pytest.fixture
def pair():
    """The multi-host URL and the folder of a primary and its standby (in a
    folder of its own: the server's user cannot enter pytest's)."""
    folder = tempfile.mkdtemp(prefix="ptolix-standby.")
    try:
        yield standby("up", folder).splitlines()[-1], folder
    finally:
        standby("down", folder)


def append(call, column: str, title: str) -> int:
    """A new item through `call` (an AppendInfo); its identifier, 0 when refused."""
    made = str(call("1", column, "author", "1", title, "<p>x</p>", "", "", "", "1"))
    return int(made) if made.isdigit() else 0


class Host:
    """`ptolix host` on the URL, one request line at a time."""

    def __init__(self, url: str) -> None:
        cmd, pipe = [str(build_dir() / "ptolix"), "host", "--db", url], subprocess.PIPE
        self.proc = subprocess.Popen(cmd, stdin=pipe, stdout=pipe, text=True)
        self.ask(op="new", obj="i", progid="Corvane_Ptolix.Information")
        self.ask(op="set", obj="i", prop="Connection", conn="db")

    def ask(self, **request) -> dict:
        self.proc.stdin.write(json.dumps(request) + "\n")
        self.proc.stdin.flush()
        return json.loads(self.proc.stdout.readline())

    def append_info(self, *args: str):
        return self.ask(op="call", obj="i", method="AppendInfo", args=list(args)).get("value")


class Writer(threading.Thread):
    """Appends items until stopped; keeps what was acknowledged, and when."""

    def __init__(self, name: str, call, column: str) -> None:
        super().__init__()
        self.name, self.call, self.column = name, call, column
        self.acked: list[tuple[float, int, str]] = []
        self.stop = threading.Event()

    def run(self) -> None:
        for n in range(1, 3001):
            if self.stop.is_set():
                return
            if made := append(self.call, self.column, f"{self.name}-{n}"):
                self.acked.append((time.monotonic(), made, f"{self.name}-{n}"))
            else:
                time.sleep(0.05)  # refused: the server is away

    def since(self, start: float) -> int:
        return sum(1 for a in self.acked if a[0] > start)


def test_host_module_and_site_go_on_after_the_standby_is_promoted(pair, tmp_path):
    pair, folder = pair
    demo = make_demo(pair, tmp_path)
    host, conn = Host(pair), ptolix.connect(pair)
    module = ptolix.create("Information", conn).AppendInfo
    writers = [
        Writer("host", host.append_info, demo["tech"]),
        Writer("module", module, demo["lab"]),
    ]
    try:
        with gunicorn(pair, tmp_path / "gunicorn.log", workers=2, threads=2) as base:
            with Load(base, ["/", f"/columns/{demo['tech']}", "/links"], clients=2) as load:
                for w in writers:
                    w.start()
                time.sleep(1)
                standby("stop-primary", folder, "immediate")
                time.sleep(1)
                standby("promote", folder)
                promoted = time.monotonic()
                while time.monotonic() < promoted + 20 and (
                    min(w.since(promoted + 1) for w in writers) < 5
                    or not [a for a in load.since(promoted + 2) if a.status == 200]
                ):
                    time.sleep(0.1)
                time.sleep(0.5)
    finally:
        for w in writers:
            w.stop.set()
            if w.ident:  # started
                w.join(30)
        host.proc.stdin.close()
        host.proc.wait(10)
        conn.close()

    for w in writers:
        assert w.since(promoted) >= 5, f"{w.name} did not go on after the promotion"
    acked = {made: title for w in writers for _, made, title in w.acked}
    with ptolix.connect(pair) as conn:
        query = "select Info_ID, Info_Title from tPtlx_Information where Info_ID in "
        rows = conn.execute(f"{query}({','.join(map(str, acked))})")
    assert {r[0]: r[1] for r in rows[1:]} == acked  # no acknowledged write lost

    assert {a.status for a in load.answers} <= {200, 503}
    assert {a.status for a in load.since(promoted + 2)} == {200}
