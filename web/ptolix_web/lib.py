"""The site's access to Ptolix: one connection per worker thread, objects
created per request, and helpers that read results and `Errors` text.

Every library call of the site goes through `checked`: a call whose new
`Errors` lines say the database connection is gone raises `Unavailable`,
which the site answers with 503 instead of reading the empty result as "no
such row"."""

from __future__ import annotations

import re
import threading
from typing import Any, NamedTuple

from flask_babel import gettext
from jinja2 import Undefined

import ptolix

from .i18n import library_text

_local = threading.local()


class Unavailable(Exception):
    """The database cannot be reached (or the connection to it was lost)."""


def connection(url: str) -> "ptolix.Connection":
    """This thread's connection to `url`, opened on first use.

    A gunicorn worker runs each request on one of its threads; a Ptolix
    connection belongs to one thread at a time, so every thread keeps its own.
    """
    conns = getattr(_local, "conns", None)
    if conns is None:
        conns = _local.conns = {}
    conn = conns.get(url)
    if conn is None:
        try:
            conn = conns[url] = ptolix.connect(url)
        except ptolix.DatabaseError as e:
            raise Unavailable(str(e)) from e
    return conn


def drop_connection(url: str) -> None:
    """Closes this thread's connection, so the next request opens a new one."""
    conns = getattr(_local, "conns", {})
    conn = conns.pop(url, None)
    if conn is not None:
        try:
            conn.close()
        except Exception:  # noqa: BLE001 - a broken connection may refuse to close
            pass


# The number of a call that failed because the connection was lost; the
# library opens the connection again on the next call.
CONNECTION_LOST = ptolix.CONNECTION_LOST

# How the engines word a connection that is gone, for lines that carry the
# general statement-failure number.
_GONE = re.compile(
    r"no connection to the server|server closed the connection|connection to the database"
    r" was lost|terminating connection|could not connect|connection to server .* failed"
    r"|could not (?:send|receive) data|the database system is (?:shutting down|starting up"
    r"|in recovery mode|not yet accepting)|connection refused|lost synchronization"
    r"|ssl connection has been closed|unable to open database file|disk i/o error",
    re.IGNORECASE,
)


def lost(text: str) -> str | None:
    """The message of the first `Errors` line in `text` that says the
    database connection is gone, else None."""
    for line in ptolix.error_lines(text):
        if line.number is None:
            continue
        if line.number == CONNECTION_LOST or _GONE.search(line.message):
            return line.message.strip()
    return None


class Checked:
    """A new Ptolix object of class `name` on `conn` whose method calls raise
    `Unavailable` when the connection was lost.

    A read (`retry`) is tried once more first, on a fresh object with the
    same properties (so that the lost call's line does not show on the
    page): the library has opened the connection again by then, so a thread
    whose connection died while it was idle still serves its next page. A
    write is not repeated, since it may have been carried out."""

    __slots__ = ("_name", "_conn", "_retry", "_props", "_obj")

    def __init__(self, name: str, conn: "ptolix.Connection", retry: bool) -> None:
        object.__setattr__(self, "_name", name)
        object.__setattr__(self, "_conn", conn)
        object.__setattr__(self, "_retry", retry)
        object.__setattr__(self, "_props", {})
        object.__setattr__(self, "_obj", ptolix.create(name, conn))

    def __getattr__(self, name: str) -> Any:
        value = getattr(self._obj, name)
        if not callable(value):
            return value

        def call(*args: Any, **kwargs: Any) -> Any:
            return self._call(name, args, kwargs)

        return call

    def __setattr__(self, name: str, value: Any) -> None:
        setattr(self._obj, name, value)
        self._props[name] = value

    def _call(self, method: str, args: tuple, kwargs: dict) -> Any:
        obj = self._obj
        before = len(obj.Errors or "")
        result = getattr(obj, method)(*args, **kwargs)
        gone = lost((obj.Errors or "")[before:])
        if gone is None:
            return result
        if not self._retry:
            raise Unavailable(gone)
        fresh = ptolix.create(self._name, self._conn)
        for key, value in self._props.items():
            setattr(fresh, key, value)
        result = getattr(fresh, method)(*args, **kwargs)
        gone = lost(fresh.Errors or "")
        if gone is not None:
            raise Unavailable(gone)
        object.__setattr__(self, "_obj", fresh)
        return result


def rows(result: Any) -> list[dict]:
    """The data rows of a result array as dicts (none for a failed call)."""
    if not result:
        return []
    return ptolix.records(result)


def first(result: Any) -> dict | None:
    found = rows(result)
    return found[0] if found else None


# The line a paged list adds when it has no rows (the library's own text);
# an empty list is not a failure for a page that shows it.
NO_RECORDS = ptolix.NO_RECORDS


class Line(NamedTuple):
    number: int | None
    message: str  # in the page's language when it is one of the library's fixed texts
    original: str  # as the library wrote it


def error_lines(obj: Any) -> list[Line]:
    """The lines of the object's `Errors`, each message in the page's language."""
    return [
        Line(line.number, library_text(line.message.strip()), line.message.strip())
        for line in ptolix.error_lines(obj)
    ]


def messages(obj: Any, *, ignore_empty: bool = True) -> list[str]:
    """The lines of the object's `Errors` as readable messages, once each."""
    out: list[str] = []
    for line in error_lines(obj):
        text = line.message
        if not text or (ignore_empty and line.number is None and line.original == NO_RECORDS):
            continue
        if line.number is not None:
            text = gettext("%(message)s (error %(n)s)", message=text, n=line.number)
        if text not in out:
            out.append(text)
    return out


def is_id(text: Any) -> bool:
    """Identifiers in URLs and forms: 1 to 9 digits."""
    return isinstance(text, str) and text.isdigit() and 0 < len(text) <= 9


def as_text(value: Any) -> str:
    """A field value as form text: None and Empty give ''."""
    if value is None or value is ptolix.Empty or isinstance(value, Undefined):
        return ""
    if isinstance(value, bool):
        return "1" if value else "0"
    if isinstance(value, float) and value.is_integer():
        return str(int(value))
    if hasattr(value, "strftime"):
        return value.strftime("%Y-%m-%d %H:%M:%S")
    return str(value)
