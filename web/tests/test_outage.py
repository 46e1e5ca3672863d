"""The site while its PostgreSQL server goes away and comes back: requests
from a few clients go on throughout a restart of a cluster of the test's
own, and every page answers 200, or 503 with Retry-After while the server is
down, never a 404 or an empty page; pages are served again soon after the
server is back, by the same gunicorn workers."""

import http.client
import threading
from collections import namedtuple
import time
from urllib.parse import urlsplit

import pytest

import ptolix
from conftest import gunicorn, make_demo
from pgcluster import cluster, free_port, pg_tool
from ptolix_web import create_app, lib

NOTHING_THERE = f"postgresql://ptolix@127.0.0.1:{free_port()}/ptolix?connect_timeout=2"
TERMINATE_OTHERS = """select pg_terminate_backend(pid) from pg_stat_activity
where pid <> pg_backend_pid() and backend_type = 'client backend'"""


def is_unavailable_page(resp) -> bool:
    headers = (resp.headers["Retry-After"], resp.headers["Cache-Control"])
    text = "The database cannot be reached just now" in resp.text
    return (resp.status_code, headers, text) == (503, ("5", "no-store"), True)


@pytest.mark.parametrize("url", [NOTHING_THERE, "sqlite:/nonexistent/folder/web.db"])
def test_every_page_answers_503_when_the_database_cannot_be_reached(url):
    client = create_app({"db_url": url, "secret": "test"}).test_client()
    for path in ["/", "/columns/1", "/columns/1?page=2", "/items/1", "/links", "/sites/1/"]:
        assert is_unavailable_page(client.get(path)), path


def test_a_session_that_cannot_be_read_gives_the_503_page():
    """Sessions are read before any view runs, outside the view's error handlers."""
    app = create_app({"db_url": "sqlite::memory:", "secret": "test"})

    class Gone(type(app.session_interface)):
        def open_session(self, app, request):
            raise lib.Unavailable("the connection to the database was lost: gone")

    app.session_interface = Gone.__new__(Gone)
    headers = {"Cookie": "ptolix_session=x"}
    assert is_unavailable_page(app.test_client().get("/desk/", headers=headers))


# When the request went out, when its answer had come, and the answer.
Answer = namedtuple("Answer", "sent at status retry_after body")


class Load:
    """A few clients requesting the public pages in turn until stopped (at
    most `limit` requests in all); every answer with its times."""

    def __init__(self, base: str, paths: list[str], clients: int = 3, limit: int = 4000) -> None:
        self.netloc, self.paths, self.limit = urlsplit(base).netloc, paths, limit
        self.answers: list[Answer] = []
        self.stop = threading.Event()
        self.threads = [threading.Thread(target=self.run, args=(i,)) for i in range(clients)]

    def run(self, n: int) -> None:
        while not self.stop.is_set() and len(self.answers) < self.limit:
            conn = http.client.HTTPConnection(self.netloc, timeout=15)
            try:
                sent = time.monotonic()
                conn.request("GET", self.paths[n % len(self.paths)])
                resp = conn.getresponse()
                body, retry = resp.read().decode("utf-8", "replace"), resp.getheader("Retry-After")
                self.answers.append(Answer(sent, time.monotonic(), resp.status, retry, body))
            finally:
                conn.close()
            n += 1
            time.sleep(0.005)

    def __enter__(self) -> "Load":
        for t in self.threads:
            t.start()
        return self

    def __exit__(self, *exc) -> None:
        self.stop.set()
        for t in self.threads:
            t.join(30)

    def since(self, start: float, end: float = float("inf")) -> list[Answer]:
        """The answers to requests sent after `start` and answered before `end`."""
        return [a for a in self.answers if start <= a.sent and a.at < end]


@pytest.mark.skipif(pg_tool("initdb") is None, reason="no PostgreSQL server programs")
def test_pages_answer_503_while_postgresql_is_down_and_200_once_it_is_back(tmp_path):
    with cluster() as pg:
        demo = make_demo(pg.url, tmp_path)
        paths = ["/", f"/columns/{demo['tech']}", f"/items/{demo['published'][0]}", "/links"]
        paths.append(f"/columns/{demo['lab']}?page=1")
        with gunicorn(pg.url, tmp_path / "gunicorn.log", workers=2, threads=2) as base:
            with Load(base, paths) as load:
                time.sleep(0.5)
                pg.stop("fast")
                down = time.monotonic()
                time.sleep(1.5)
                # The server may take requests a moment before pg_ctl says it is up.
                starting = time.monotonic()
                pg.start()
                back = time.monotonic()
                ok = []
                while time.monotonic() < back + 10 and not ok:
                    time.sleep(0.05)
                    ok = [a.at for a in load.since(back) if a.status == 200]
                recovery = min(ok or [1e9]) - back
                time.sleep(2.5)
                # Sessions ended by the server itself, as an administrator would.
                with ptolix.connect(pg.url) as conn:
                    conn.execute(TERMINATE_OTHERS)
                killed = time.monotonic()
                time.sleep(2)

    for a in load.answers:  # never a 404 or an empty page
        retry = a.status == 200 or a.status == 503 and int(a.retry_after or 0) > 0
        whole = "<h1" in a.body if a.status == 200 else "database cannot be reached" in a.body
        assert retry and whole, (a.status, a.body[:200])
    assert load.since(down, starting) and {a.status for a in load.since(down, starting)} == {503}
    assert recovery < 1.5
    assert {a.status for a in load.since(back + 2, killed)} == {200}
    # A page that reads is tried again on the reopened connection: readers see nothing.
    assert {a.status for a in load.since(killed)} == {200}
