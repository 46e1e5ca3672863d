"""Per-request access to settings, the thread's connection, Ptolix objects
and the signed-in user."""

from __future__ import annotations

from typing import Any

from flask import abort, current_app, flash, g, has_request_context, request, session
from flask_babel import gettext as _
from flask_babel import lazy_gettext as _l

import ptolix

from . import inputs, lib
from .config import Settings


def settings() -> Settings:
    return current_app.config["PTOLIX"]


def conn() -> "ptolix.Connection":
    return lib.connection(settings().db_url)


def obj(name: str, page_size: int | None = None) -> Any:
    """A new object of class `name` on this thread's connection; a call that
    finds the connection lost raises `lib.Unavailable` (and is tried again
    first when the request only reads)."""
    reads = has_request_context() and request.method in ("GET", "HEAD")
    o = lib.Checked(name, conn(), retry=reads)
    if page_size is not None:
        o.PageSize = page_size
    return o


def report(o: Any, success: str | None = None) -> bool:
    """Shows the object's `Errors` as messages on the next page; True when
    there were none (and then `success`, when given). A refused statement
    shows as one plain sentence, never the database's own text."""
    _fields, errors = inputs.refusals(o, {})
    for m in errors:
        flash(m, "error")
    if not errors and success:
        flash(success, "ok")
    return not errors


def page_number(text: str | None, page_count: int) -> int:
    """The page a paged list shows for `text`, by the library's own rule."""
    return ptolix.page_number(text or "", page_count)


def website(site_id: int | str) -> dict | None:
    """The website row (cached for the request)."""
    key = f"site:{site_id}"
    if key not in g:
        setattr(g, key, lib.first(obj("WebSite").GetWebSite(str(site_id))))
    return getattr(g, key)


def system_of(site: dict | None) -> str:
    """The system a website's columns belong to: its own, else the configured one."""
    sys_id = site.get("Sys_ID") if site else None
    return str(sys_id) if isinstance(sys_id, int) and sys_id > 0 else str(settings().sys_id)


# --- the signed-in user ---


def user_id() -> str | None:
    return session.get("uid")


def staff_site() -> str:
    """The website a staff member works on: theirs, else the default one."""
    site = session.get("site")
    return str(site) if isinstance(site, int) and site > 0 else str(settings().site_id)


def staff_sys() -> str:
    return system_of(website(staff_site()))


def level(column_id: str) -> int:
    """The user's effective access on the column, asked on every request."""
    uid = user_id()
    if not uid:
        return -1
    key = f"level:{column_id}"
    if key not in g:
        setattr(g, key, int(obj("User").GetColumnAccess(uid, staff_sys(), column_id) or -1))
    return getattr(g, key)


def require_level(column_id: str, needed: int) -> int:
    """Refuses the request unless the user has `needed` on the column."""
    if not lib.is_id(column_id):
        abort(404, description=_("There is no such column."))
    have = level(column_id)
    if have < needed:
        abort(
            403,
            description=_(
                "You need %(needed)s access on this column for that screen; you have %(have)s.",
                needed=LEVEL_NAMES.get(needed, needed),
                have=LEVEL_NAMES.get(have, LEVEL_NAMES[0]),
            ),
        )
    return have


# The access-type dictionary: 1 sees a column only as an ancestor, 2 edits,
# 3 reviews, 4 manages.
BROWSE, EDIT, REVIEW, MANAGE = 1, 2, 3, 4
LEVEL_NAMES = {
    -1: _l("none"),
    0: _l("none"),
    1: _l("browse"),
    2: _l("edit"),
    3: _l("review"),
    4: _l("manage"),
}
