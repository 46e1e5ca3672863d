"""A throwaway PostgreSQL cluster of a test's own on a loopback port, which
the test may stop, start and promote as it likes (the shared test server
must never go down under other tests)."""

from __future__ import annotations

import contextlib
import glob
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
from pathlib import Path


def pg_tool(name: str) -> str | None:
    """A PostgreSQL server program: on the PATH, else the newest installed."""
    found = sorted(glob.glob(f"/usr/lib/postgresql/*/bin/{name}"), reverse=True)
    return shutil.which(name) or next((f for f in found if os.access(f, os.X_OK)), None)


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Cluster:
    """One cluster in a temporary folder; `url` reaches its postgres database.
    The server refuses to run as root: as root, it runs as postgres (or nobody)."""

    def __init__(self, folder: Path) -> None:
        self.folder, self.data, self.port = folder, folder / "data", free_port()
        users = {p.pw_name for p in pwd.getpwall()} if os.getuid() == 0 else set()
        self.user = next((n for n in ("postgres", "nobody") if n in users), None)
        self.url = f"postgresql://ptolix@127.0.0.1:{self.port}/postgres?connect_timeout=2"

    def run(self, *args: str, check: bool = True) -> None:
        cmd = [pg_tool(args[0]) or args[0], *args[1:]]
        cmd = ["runuser", "-u", self.user, "--", *cmd] if self.user else cmd
        done = subprocess.run(cmd, capture_output=True, text=True, timeout=120)
        if check and done.returncode != 0:
            log = self.folder / "server.log"
            tail = log.read_text()[-2000:] if log.exists() else ""
            raise RuntimeError(f"{' '.join(args)} failed: {done.stderr}{tail}")

    def start(self) -> None:
        options = f"-p {self.port} -k {self.folder} -c listen_addresses=127.0.0.1 -c fsync=off"
        ctl = ["pg_ctl", "-D", str(self.data), "-l", str(self.folder / "server.log"), "-w"]
        self.run(*ctl, "-t", "60", "-o", options + " -c full_page_writes=off", "start")

    def stop(self, mode: str = "fast") -> None:
        self.run("pg_ctl", "-D", str(self.data), "-m", mode, "-w", "stop", check=False)


@contextlib.contextmanager
def cluster():
    """A started cluster, stopped and removed afterwards."""
    c = Cluster(Path(tempfile.mkdtemp(prefix="ptolix-pgc.")))
    try:
        if c.user:
            shutil.chown(c.folder, c.user)
        options = "-U ptolix --auth=trust -E UTF8 --no-locale -N".split()
        c.run("initdb", "-D", str(c.data), *options)
        c.start()
        yield c
    finally:
        c.stop("immediate")
        shutil.rmtree(c.folder, ignore_errors=True)
