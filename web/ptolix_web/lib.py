"""The site's access to Ptolix: one connection per worker thread, objects
created per request, and helpers that read results and `Errors` text."""

from __future__ import annotations

import threading
from typing import Any

from jinja2 import Undefined

import ptolix

_local = threading.local()


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
        conn = conns[url] = ptolix.connect(url)
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


def rows(result: Any) -> list[dict]:
    """The data rows of a result array as dicts (none for a failed call)."""
    if not result:
        return []
    return ptolix.records(result)


def first(result: Any) -> dict | None:
    found = rows(result)
    return found[0] if found else None


# The line a paged list adds when it has no rows (the library's own text).
NO_RECORDS = ptolix.NO_RECORDS


def messages(obj: Any, *, ignore_empty: bool = True) -> list[str]:
    """The lines of the object's `Errors` as readable messages, once each."""
    out: list[str] = []
    for line in ptolix.error_lines(obj):
        text = line.message.strip()
        if not text or (ignore_empty and line.number is None and text == ptolix.NO_RECORDS):
            continue
        if line.number is not None:
            text = f"{text} (error {line.number})"
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
