"""Fixtures: a fresh demo database per engine, the site on it through
Flask's test client or gunicorn on a free loopback port, signing in, and
one crawl of every screen."""

import contextlib
from collections import namedtuple
import os
import re
import secrets
import subprocess
import sys
import time
import urllib.request
from pathlib import Path
from types import SimpleNamespace
from urllib.parse import quote, urljoin, urlsplit, urlunsplit

import pytest

import ptolix

WEB = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(WEB))

from flask import Flask  # noqa: E402
from flask.testing import FlaskClient  # noqa: E402

from pgcluster import free_port  # noqa: E402
from ptolix_web import create_app, demo_data  # noqa: E402

PASSWORDS = {"admin": "Admin#2024", "author": "Author#2024", "reviewer": "Review#2024"}
PASSWORDS["reader"] = "read3r"
NEW_PASSWORD = "Quiet-Harbour-71"  # of the users tests add


class EnglishClient(FlaskClient):
    """The pages default to Chinese; the tests read the English ones unless a
    request names its own Accept-Language. `send` posts a form with the
    session's token (`csrf`, set by `staff`)."""

    csrf = ""

    def __init__(self, *args, **kwargs) -> None:
        super().__init__(*args, **kwargs)
        self.environ_base.setdefault("HTTP_ACCEPT_LANGUAGE", "en")

    def send(self, path: str, follow: bool = False, **form):
        return self.post(path, data={"csrf_token": self.csrf, **form}, follow_redirects=follow)


Flask.test_client_class = EnglishClient


def build_dir() -> Path:
    return Path(os.environ.get("PTOLIX_BUILD_DIR", WEB.parent / "build")).resolve()


def make_demo(url: str, folder: Path) -> dict:
    """Builds the demo site on `url`; the identifiers in it."""
    tool = str(Path(os.environ.get("PTOLIX_TOOL", build_dir() / "ptolix")).resolve())
    # `ptolix demo` writes its site folder below the working directory.
    done = subprocess.run([tool, "demo", "--db", url], cwd=folder, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    with ptolix.connect(url) as conn:
        return demo_data.add_newsroom(conn)


@contextlib.contextmanager
def gunicorn(url: str, log: Path, workers: int = 1, threads: int = 4, env: dict | None = None):
    """The site on `url` served by gunicorn on a free loopback port; its base URL."""
    port, paths = free_port(), [str(WEB), os.environ.get("PYTHONPATH", "")]
    base = f"http://127.0.0.1:{port}"
    # The tests read the English pages, as their clients name no language.
    environ = dict(os.environ, PTOLIX_DB=url, PTOLIX_SECRET=secrets.token_hex(16))
    environ |= {"PTOLIX_SIGNIN_LOCK_SECONDS": "60", "PTOLIX_MEDIA": str(log.parent / "media")}
    environ |= {"PYTHONPATH": os.pathsep.join(filter(None, paths)), "PTOLIX_LANGUAGE": "en"}
    environ |= env or {}
    conf = str(WEB.parent / "deploy" / "gunicorn.conf.py")
    args = ["-c", conf, "--threads", str(threads), "-w", str(workers), "--graceful-timeout", "2"]
    args += ["-b", f"127.0.0.1:{port}", "ptolix_web:create_app()"]
    with open(log, "w") as out:
        cmd = ["/usr/bin/python3", "-m", "gunicorn", *args]
        proc = subprocess.Popen(cmd, env=environ, stdout=out, stderr=subprocess.STDOUT)
        try:
            deadline = time.monotonic() + 30
            while True:
                try:
                    urllib.request.urlopen(base + "/", timeout=2).read()
                    break
                except Exception:  # noqa: BLE001 - not up yet
                    if proc.poll() is not None or time.monotonic() > deadline:
                        raise RuntimeError("the server did not start: " + log.read_text())
                    time.sleep(0.2)
            yield base
        finally:
            proc.terminate()
            with contextlib.suppress(subprocess.TimeoutExpired):
                proc.wait(10)
            proc.kill()  # nothing when it has ended


ENGINES = ["sqlite"] + (["postgresql"] if os.environ.get("PTOLIX_TEST_PG") else [])


@pytest.fixture(scope="module", params=ENGINES)
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
    yield SimpleNamespace(url=url, **make_demo(url, tmp))
    if name:
        # The site's connections may still be open: without force, the server
        # waits five seconds for them and then refuses.
        with contextlib.suppress(Exception), ptolix.connect(base) as conn:
            conn.execute(f"drop database if exists {name} with (force)")


@pytest.fixture(scope="module")
def server(demo, tmp_path_factory):
    log = tmp_path_factory.mktemp("server") / "gunicorn.log"
    env = {"PTOLIX_MEDIA": str(tmp_path_factory.mktemp("media")), "PTOLIX_SCHEDULE_SECONDS": "1"}
    # Two workers: sessions and throttling hold across worker processes.
    with gunicorn(demo.url, log, workers=2, env=env) as base:
        yield SimpleNamespace(base=base, demo=demo)


# Layout, markup and wording do not depend on the database engine.
sqlite_only = pytest.mark.parametrize("demo", ["sqlite"], indirect=True)


@pytest.fixture(scope="module")
def lib(demo):
    """A connection of the test's own to the demo database."""
    with ptolix.connect(demo.url) as conn:
        yield conn


@pytest.fixture(scope="module")
def app(demo, tmp_path_factory):
    """The site on the demo database, its scheduler off, files in a folder of its own."""
    media = str(tmp_path_factory.mktemp("media"))
    settings = {"db_url": demo.url, "secret": "test-secret", "lock_seconds": 60, "page_size": 10}
    return create_app(settings | {"media_dir": media, "schedule_seconds": 0, "upload_mb": 1})


@pytest.fixture(scope="module")
def info(lib):
    return ptolix.create("Information", lib)


def new_item(c, column: str, title: str, **fields) -> str:
    """An item added through the desk's form by `c`; its identifier."""
    data = {"csrf_token": c.csrf, "title": title, "type": "1"} | fields
    resp = c.post(f"/desk/columns/{column}/new", data=data, content_type="multipart/form-data")
    assert resp.status_code == 302, resp.text
    return resp.headers["Location"].rsplit("/", 1)[1]


def token(client, path: str = "/signin") -> str:
    page = client.get(path).text
    return re.search(r'name="csrf_token" value="([^"]+)"', page).group(1)


def sign_in(c, user: str, password: str | None = None):
    password = password or PASSWORDS.get(user, NEW_PASSWORD)
    return c.post("/signin", data={"user": user, "password": password, "csrf_token": token(c)})


def client(app, language: str | None = "en", address: str = "127.0.0.1"):
    """A test client from `address` asking for `language` (None: naming none)."""
    c = app.test_client()
    c.environ_base |= {"REMOTE_ADDR": address, "HTTP_ACCEPT_LANGUAGE": language}
    if not language:
        del c.environ_base["HTTP_ACCEPT_LANGUAGE"]
    return c


def staff(app, user: str, password: str | None = None, address="127.0.0.1", language="en"):
    """A test client signed in as `user`, with the session's form token."""
    c = client(app, language, address)
    assert sign_in(c, user, password).status_code == 302
    c.csrf = token(c, "/desk/")
    return c


Screen = namedtuple("Screen", "path signed_in status html")


def crawl(app, demo, language: str | None = "en") -> dict[str, Screen]:
    """One page per screen (endpoint, with the register for administration
    screens; the path where no route answers), found by following the links
    as a reader and then as the administrator, with the pages no link leads
    to. `app.reached` holds the endpoints met, files and feeds included."""
    urls, c, pages, seen = app.url_map.bind("localhost"), client(app, language), {}, set()
    app.reached, item, chip = set(), demo.published[4], quote("芯片")  # item: has a file
    queue, signed_in = ["/", "/no-such-page", f"/search?q={chip}", "/signin"], False
    # Waiting items first: their screens show a state name.
    desk = [f"/desk/columns/{demo.tech}?state=WaitAssess", f"/desk/items/{demo.waiting[0]}"]
    desk += ["/desk/", f"/desk/search?q={chip}", f"/desk/items/{item}/delete", "/signout"]
    desk += [f"/desk/columns/{demo.lab}/delete", "/desk/no-such-screen"]
    while queue or desk:
        if not queue:
            assert sign_in(c, "admin").status_code == 302
            queue, desk, signed_in = desk, [], True
            page = c.get(f"/desk/items/{item}").text
            queue.append(f"/desk/items/{item}" + re.search(r"/attachments/\d+/delete", page)[0])
        path = queue.pop(0)
        try:
            endpoint, args = urls.match(urlsplit(path).path, "GET")
            app.reached.add(endpoint)
        except Exception:  # noqa: BLE001 - a 404 page or a redirect
            endpoint, args = path, {}
        name = endpoint + (f"-{args['slug']}" if "slug" in args else "")
        resp = None if name in seen else c.get(path)
        seen.add(name)
        if resp is None or resp.mimetype != "text/html":
            continue  # seen, a feed or a file
        pages[name] = Screen(path, signed_in, resp.status_code, resp.text)
        for href in re.findall(r'<(?:a|link) [^>]*href="([^"#]+)', resp.text):
            url = urlsplit(urljoin("http://localhost" + path, href.replace("&amp;", "&")))
            target = url.path + (f"?{url.query}" if url.query else "")
            kept = not re.search(r"^/(static|media|signout)|lang=", target)
            if url.netloc == "localhost" and kept:
                (desk if target.startswith("/desk") and not signed_in else queue).append(target)
    return pages
