"""Revisions of items: every save keeps the version it made (title, content,
dates and the attachment list) with who saved it and when, so that any two
can be compared and an earlier one made current again."""

from __future__ import annotations

import difflib
import json
import re
from dataclasses import dataclass
from typing import Any

from flask_babel import gettext as _

from . import lib, store
from .context import conn, obj


@dataclass
class Revision:
    rev_id: int
    number: int  # 1 for an item's first kept version
    title: str
    body: str
    pub: str
    ends: str
    files: list[str]
    saved_by: str
    saved_at: str
    note: str


def _snapshot_values(row: dict, files: list[str]) -> list[str]:
    return [
        lib.as_text(row.get("Info_Title")),
        lib.as_text(row.get("Info_Content")),
        lib.as_text(row.get("Info_PublicDate")),
        lib.as_text(row.get("Info_EndDate")),
        json.dumps(files, ensure_ascii=False),
    ]


def _files(item_id: str) -> list[str]:
    return [
        f"{lib.as_text(a.get('Attach_Title'))} ({lib.as_text(a.get('Attach_FileName'))})"
        for a in lib.rows(obj("Information").GetInfoAttachList(item_id))
    ]


def _insert(item_id: str, values: list[str], who: str, at: str, note: str) -> None:
    c = conn()
    c.execute(
        "insert into web_revision (item, title, body, pub, ends, files, saved_by, saved_at, note)"
        f" values ({store.n(item_id)},{','.join(store.q(v) for v in values)},"
        f"{store.q(who)},{store.q(at)},{store.q(note)})"
    )


def keep_earlier(item_id: str, row: dict) -> None:
    """Before an item's first change through the site, keeps the version it
    had, as written by its author."""
    c = conn()
    store.ensure(c)
    if store.rows(c, f"select top 1 rev_id from web_revision where item = {store.n(item_id)}"):
        return
    _insert(
        item_id,
        _snapshot_values(row, _files(item_id)),
        lib.as_text(row.get("Info_PublicUsr")),
        lib.as_text(row.get("Info_SystemTime")) or store.now_text(),
        "as written",
    )


def record(item_id: str, who: str, note: str = "") -> None:
    """Keeps the item's current version as a new revision."""
    row = lib.first(obj("Information").GetInfo(item_id))
    if row is None:
        return
    store.ensure(conn())
    _insert(item_id, _snapshot_values(row, _files(item_id)), who, store.now_text(), note)


def history(item_id: str) -> list[Revision]:
    """The item's revisions, newest first."""
    c = conn()
    store.ensure(c)
    found = store.rows(
        c,
        "select rev_id, title, body, pub, ends, files, saved_by, saved_at, note"
        f" from web_revision where item = {store.n(item_id)} order by rev_id",
    )
    out = [
        Revision(
            int(r[0]),
            i + 1,
            r[1] or "",
            r[2] or "",
            r[3] or "",
            r[4] or "",
            json.loads(r[5] or "[]"),
            r[6] or "",
            r[7] or "",
            r[8] or "",
        )  # fmt: skip
        for i, r in enumerate(found)
    ]
    return out[::-1]


def find(item_id: str, number: Any) -> Revision | None:
    return next((r for r in history(item_id) if str(r.number) == str(number)), None)


_BLOCK_END = re.compile(r"(</(?:p|h2|h3|li|blockquote|ul|ol)>|<br>)")


def _lines(r: Revision) -> dict[str, list[str]]:
    return {
        _("Title"): [r.title],
        _("Content"): [x for x in _BLOCK_END.sub(r"\1\n", r.body).split("\n") if x.strip()],
        _("Publication date"): [r.pub],
        _("End date"): [r.ends],
        _("Attachments"): r.files,
    }


def diff(old: Revision, new: Revision) -> list[dict]:
    """Per field, the lines of `old` and `new` marked as kept (' '), removed
    ('-') or added ('+'); fields without a change are left out."""
    out = []
    a, b = _lines(old), _lines(new)
    for name in a:
        if a[name] == b[name]:
            continue
        lines = [(d[0], d[2:]) for d in difflib.ndiff(a[name], b[name]) if d[0] in " -+"]
        out.append({"field": name, "lines": lines})
    return out
