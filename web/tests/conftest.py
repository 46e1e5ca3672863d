"""Fixtures: a fresh demo database per engine, a Flask test client, and a
gunicorn server on a free loopback port."""

from __future__ import annotations

import contextlib
import os
import secrets
import socket
import subprocess
import sys
import time
import urllib.request
from pathlib import Path
from types import SimpleNamespace
from urllib.parse import urlsplit, urlunsplit

import pytest

import ptolix

WEB = Path(__file__).resolve().parent.parent
ROOT = WEB.parent
sys.path.insert(0, str(WEB))

from ptolix_web import demo_data  # noqa: E402


def build_dir() -> Path:
    return Path(os.environ.get("PTOLIX_BUILD_DIR", ROOT / "build")).resolve()


def tool() -> str:
    return str(Path(os.environ.get("PTOLIX_TOOL", build_dir() / "ptolix")).resolve())


def engines() -> list[str]:
    return ["sqlite", "postgresql"] if os.environ.get("PTOLIX_TEST_PG") else ["sqlite"]


def _fresh_pg(base: str) -> tuple[str, str | None]:
    """A new database on the server of `base`; falls back to `base` itself
    (whose Ptolix tables the demo replaces) when none can be made."""
    name = f"ptolix_web_{os.getpid()}_{secrets.token_hex(3)}"
    try:
        with ptolix.connect(base) as conn:
            conn.execute(f"create database {name}")
    except Exception:  # noqa: BLE001 - no right to create databases
        return base, None
    parts = urlsplit(base)
    return urlunsplit(parts._replace(path="/" + name)), name


def _drop_pg(base: str, name: str | None) -> None:
    if name:
        with contextlib.suppress(Exception), ptolix.connect(base) as conn:
            conn.execute(f"drop database if exists {name}")


def make_demo(engine: str, tmp: Path) -> tuple[SimpleNamespace, callable]:
    if engine == "sqlite":
        url, cleanup = f"sqlite:{tmp / 'web.db'}", (lambda: None)
    else:
        base = os.environ["PTOLIX_TEST_PG"]
        url, name = _fresh_pg(base)
        cleanup = lambda: _drop_pg(base, name)  # noqa: E731
    cwd, program = os.getcwd(), tool()
    os.chdir(tmp)  # `ptolix demo` writes its site folder below the working directory
    try:
        done = subprocess.run([program, "demo", "--db", url], capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        with ptolix.connect(url) as conn:
            made = demo_data.add_newsroom(conn)
    finally:
        os.chdir(cwd)
    # The database and the identifiers in it (tech, lab, published, waiting).
    return SimpleNamespace(url=url, **made), cleanup


@pytest.fixture(scope="module", params=engines())
def demo(request, tmp_path_factory):
    d, cleanup = make_demo(request.param, tmp_path_factory.mktemp(request.param))
    yield d
    cleanup()


def free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Server:
    def __init__(self, demo: SimpleNamespace, tmp: Path) -> None:
        self.demo = demo
        self.port = free_port()
        self.base = f"http://127.0.0.1:{self.port}"
        env = dict(os.environ, PTOLIX_DB=demo.url, PTOLIX_SECRET=secrets.token_hex(16),
                   PTOLIX_SIGNIN_LOCK_SECONDS="60", PYTHONPATH=os.pathsep.join(
                       [str(WEB), *[p for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p]]))
        self.log = open(tmp / "gunicorn.log", "w")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", "-m", "gunicorn", "--threads", "4", "-w", "1", "--graceful-timeout", "2",
             "-b", f"127.0.0.1:{self.port}",
             "ptolix_web:create_app()"], env=env, stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 30
        while True:
            try:
                urllib.request.urlopen(self.base + "/", timeout=2).read()
                break
            except Exception:  # noqa: BLE001 - not up yet
                if self.proc.poll() is not None or time.monotonic() > deadline:
                    self.stop()
                    raise RuntimeError("the server did not start: " + (tmp / "gunicorn.log").read_text())
                time.sleep(0.2)

    def stop(self) -> None:
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
        self.log.close()


@pytest.fixture(scope="module")
def server(demo, tmp_path_factory):
    s = Server(demo, tmp_path_factory.mktemp("server"))
    yield s
    s.stop()
