"""What every save of an item does beside the library's call: its text
cleaned to the kept markup with the item's own pictures, a revision kept,
and its dates applied at once; and the names that bylines show."""

from __future__ import annotations

from typing import Any

from flask import g

from . import lib, media, revisions, richtext, schedule
from .context import conn, obj, user_id


def pictures_of(item_id: Any) -> richtext.Pictures:
    """The item's own pictures, by upload number, at their story size."""
    return {
        m.upload_id: (m.url("story"), *m.variant_size("story"))
        for m in media.of_items([item_id])
        if m.is_picture
    }


def clean_content(item_id: Any, text: str) -> str:
    return richtext.clean(text, pictures_of(item_id) if item_id else None)


def after_save(item_id: str, note: str = "") -> None:
    """What every save of an item's fields does after the library's call."""
    revisions.record(item_id, user_id() or "", note)
    schedule.tick(conn(), ids=[item_id])


def display_name(login: Any) -> str:
    """A user's name for bylines (the login when the user has none)."""
    login = lib.as_text(login)
    if not login:
        return ""
    names = g.setdefault("names", {})
    if login not in names:
        row = lib.first(obj("User").GetUser(login))
        names[login] = lib.as_text(row.get("Usr_Name")) if row else ""
    return names[login] or login
