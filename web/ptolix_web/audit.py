"""The record of staff actions: every change made through the desk, with
who, when, from which address, what, and the texts before and after. Rows
are only ever added; the site has no way to change or remove them."""

from __future__ import annotations

import json
import time
from dataclasses import dataclass
from datetime import datetime
from typing import Any

from flask import request, session
from flask_babel import gettext

from . import site_tables
from .context import conn, page_number
from .site_tables import num, query, text

PAGE_SIZE = 50
SECRET_FIELDS = {"password", "Usr_Password"}


def _texts(values: dict | None) -> str | None:
    """Field texts as JSON; passwords never go into the record."""
    if values is None:
        return None
    clean = {}
    for k, v in values.items():
        if k in SECRET_FIELDS:
            v = "(changed)" if v else ""
        elif v is None or isinstance(v, (int, float, bool)):
            pass
        else:
            v = str(v)
        clean[k] = v.replace("\0", "\ufffd") if isinstance(v, str) else v
    return json.dumps(clean, ensure_ascii=False, default=str)


def record(
    action: str,
    target: str,
    *,
    info_id: Any = None,
    before: dict | None = None,
    after: dict | None = None,
) -> None:
    """Adds one row for a change that was made."""
    item = int(info_id) if isinstance(info_id, (int, str)) and str(info_id).isdigit() else None
    site_tables.execute(
        conn(),
        "insert into web_audit (at, usr_id, address, action, target, info_id, before_text, "
        f"after_text) values ({num(time.time())}, {text(session.get('uid'))}, "
        f"{text((request.remote_addr or '')[:100])}, {text(action[:100])}, "
        f"{text(target.replace(chr(0), '')[:300])}, {num(item)}, {text(_texts(before))}, "
        f"{text(_texts(after))})",
    )


@dataclass
class Entry:
    id: int
    at: datetime
    user: str
    address: str
    action: str
    target: str
    info_id: int | None
    before: dict
    after: dict

    def shown_target(self) -> str:
        """What the action was on, worded in the page's language (the record
        keeps "item 12", "column 3", "user li")."""
        kind, _sep, name = self.target.partition(" ")
        if kind == "item" and name.isdigit():
            return gettext("item %(number)s", number=name)
        if kind == "column" and name.isdigit():
            return gettext("column %(number)s", number=name)
        if kind == "user" and name:
            return gettext("user %(name)s", name=name)
        return self.target

    def changes(self) -> list[tuple[str, Any, Any]]:
        """(field, before, after) for the fields that differ, or that only one side has."""
        keys = list(self.before) + [k for k in self.after if k not in self.before]
        return [
            (k, self.before.get(k), self.after.get(k))
            for k in keys
            if self.before.get(k) != self.after.get(k)
        ]


def _loads(value: Any) -> dict:
    try:
        found = json.loads(value) if value else {}
    except ValueError:
        return {"text": value}
    return found if isinstance(found, dict) else {"value": found}


@dataclass
class Page:
    entries: list[Entry]
    total: int
    current: int
    page_count: int


def entries(user: str = "", info_id: int | None = None, page_text: str = "") -> Page:
    """One page of the record, newest first; the page number is clamped."""
    where = []
    if user:
        where.append(f"usr_id = {text(user)}")
    if info_id is not None:
        where.append(f"info_id = {num(info_id)}")
    cond = (" where " + " and ".join(where)) if where else ""
    total = int(query(conn(), "select count(*) from web_audit" + cond)[0][0])
    pages = max((total + PAGE_SIZE - 1) // PAGE_SIZE, 1)
    page = page_number(page_text, pages)
    rows = query(
        conn(),
        "select id, at, usr_id, address, action, target, info_id, before_text, after_text "
        f"from web_audit{cond} order by id desc "
        f"limit {PAGE_SIZE} offset {PAGE_SIZE * (max(page, 1) - 1)}",
    )
    found = [
        Entry(
            int(r[0]),
            datetime.fromtimestamp(float(r[1])),
            r[2] or "",
            r[3] or "",
            r[4],
            r[5] or "",
            int(r[6]) if r[6] is not None else None,
            _loads(r[7]),
            _loads(r[8]),
        )
        for r in rows
    ]
    return Page(found, total, page, pages)
