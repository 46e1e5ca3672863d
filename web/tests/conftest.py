"""Fixtures: a fresh demo database per engine, and a gunicorn server on a
free loopback port."""

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
sys.path.insert(0, str(WEB))

from flask import Flask  # noqa: E402
from flask.testing import FlaskClient  # noqa: E402

from ptolix_web import demo_data  # noqa: E402


class EnglishClient(FlaskClient):
    """The pages default to Chinese; the tests read the English ones unless a
    request names its own Accept-Language."""

    def __init__(self, *args, **kwargs) -> None:
        super().__init__(*args, **kwargs)
        self.environ_base.setdefault("HTTP_ACCEPT_LANGUAGE", "en")


Flask.test_client_class = EnglishClient


def build_dir() -> Path:
    return Path(os.environ.get("PTOLIX_BUILD_DIR", WEB.parent / "build")).resolve()


def make_demo(url: str, folder: Path) -> dict:
    """Builds the demo site on `url`; the identifiers in it."""
    tool = Path(os.environ.get("PTOLIX_TOOL", build_dir() / "ptolix")).resolve()
    # `ptolix demo` writes its site folder below the working directory.
    done = subprocess.run(
        [str(tool), "demo", "--db", url], cwd=folder, capture_output=True, text=True
    )
    assert done.returncode == 0, done.stderr
    with ptolix.connect(url) as conn:
        return demo_data.add_newsroom(conn)


@contextlib.contextmanager
def gunicorn(url: str, log: Path, workers: int = 1, threads: int = 4, env: dict | None = None):
    """The site on `url` served by gunicorn on a free loopback port; its base URL."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    base = f"http://127.0.0.1:{port}"
    paths = [str(WEB), *filter(None, os.environ.get("PYTHONPATH", "").split(os.pathsep))]
    environ = dict(
        os.environ,
        PTOLIX_DB=url,
        PTOLIX_SECRET=secrets.token_hex(16),
        PTOLIX_SIGNIN_LOCK_SECONDS="60",
        PTOLIX_MEDIA=str(log.parent / "media"),
        PYTHONPATH=os.pathsep.join(paths),
        # The tests read the English pages, as their clients name no language.
        PTOLIX_LANGUAGE="en",
    )
    environ.update(env or {})
    with open(log, "w") as out:
        proc = subprocess.Popen(
            [
                "/usr/bin/python3",
                "-m",
                "gunicorn",
                "-c",
                str(WEB.parent / "deploy" / "gunicorn.conf.py"),
                "--threads",
                str(threads),
                "-w",
                str(workers),
                "--graceful-timeout",
                "2",
                "-b",
                f"127.0.0.1:{port}",
                "ptolix_web:create_app()",
            ],
            env=environ,
            stdout=out,
            stderr=subprocess.STDOUT,
        )
        try:
            deadline = time.monotonic() + 30
            while True:
                try:
                    urllib.request.urlopen(base + "/", timeout=2).read()
                    break
                except Exception:  # noqa: BLE001 - not up yet
                    if proc.poll() is not None or time.monotonic() > deadline:
                        raise RuntimeError(
                            "the server did not start: " + log.read_text()
                        ) from None
                    time.sleep(0.2)
            yield base
        finally:
            proc.terminate()
            with contextlib.suppress(subprocess.TimeoutExpired):
                proc.wait(10)
            proc.kill()  # nothing when it has ended


@pytest.fixture(
    scope="module",
    params=["sqlite"] + (["postgresql"] if os.environ.get("PTOLIX_TEST_PG") else []),
)
def demo(request, tmp_path_factory):
    """The demo site and the identifiers in it (tech, lab, published, waiting)."""
    tmp = tmp_path_factory.mktemp(request.param)
    base, name = os.environ.get("PTOLIX_TEST_PG", ""), None
    if request.param == "sqlite":
        url = f"sqlite:{tmp / 'web.db'}"
    else:
        # A database of its own; without the right to make one, the demo
        # replaces the Ptolix tables of the given one.
        name = f"ptolix_web_{os.getpid()}_{secrets.token_hex(3)}"
        try:
            with ptolix.connect(base) as conn:
                conn.execute(f"create database {name}")
            url = urlunsplit(urlsplit(base)._replace(path="/" + name))
        except Exception:  # noqa: BLE001
            url, name = base, None
    made = make_demo(url, tmp)
    yield SimpleNamespace(url=url, **made)
    if name:
        with contextlib.suppress(Exception), ptolix.connect(base) as conn:
            conn.execute(f"drop database if exists {name}")


@pytest.fixture(scope="module")
def server(demo, tmp_path_factory):
    log = tmp_path_factory.mktemp("server") / "gunicorn.log"
    env = {"PTOLIX_MEDIA": str(tmp_path_factory.mktemp("media")), "PTOLIX_SCHEDULE_SECONDS": "1"}
    # Two workers: sessions and throttling hold across worker processes.
    with gunicorn(demo.url, log, workers=2, env=env) as base:
        yield SimpleNamespace(base=base, demo=demo)
