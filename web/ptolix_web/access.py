"""Access that follows every change at its next request, on every worker.

Effective access lives in the library's working table, rebuilt per user by
`User.UpdateUsrAccess`; the desk asks `GetColumnAccess` on every request.
What could go stale is the working table itself. So every change the site
makes to something access is computed from (grants, a user's roles, the
role tree, the column tree) moves the `access` stamp in `web_stamp`, and
each session remembers the stamp its user was last rebuilt at. The session
read already returns the current stamp, so a request costs nothing more
until the stamp moves; the first request of each signed-in user after a
change rebuilds that user's rows once, in the library's own transaction.

Removing a user, renaming one and changing a password end the sessions at
once (their rows go), on every worker. A rebuild also ends a session whose
user is gone or whose password changed behind the site's back.
"""

from __future__ import annotations

import hashlib
from typing import Any

from flask import current_app, flash, session
from flask_babel import gettext as _

from . import lib, site_tables
from .context import conn, obj


def _sessions() -> Any:
    return current_app.session_interface.store


def password_mark(row: dict | None) -> str:
    """A short fingerprint of the stored password hash, kept in the session."""
    stored = lib.as_text((row or {}).get("Usr_Password"))
    return hashlib.sha256(stored.encode()).hexdigest()[:16]


def rebuild(uid: str) -> dict | None:
    """Rebuilds the user's effective access; returns the user row (None: no such user)."""
    user = obj("User")
    row = lib.first(user.GetUser(uid))
    if row is None:
        return None
    user.ClearUsrAccess(uid)
    user.UpdateUsrAccess(uid)
    problems = lib.messages(user)
    if problems:
        current_app.logger.warning("access rebuild of %s: %s", uid, "; ".join(problems))
    return row


def start(uid: str, row: dict) -> None:
    """Fills the session of a user who has just signed in (access already rebuilt)."""
    session.update(
        uid=uid,
        name=row.get("Usr_Name") or uid,
        site=row.get("WebSite_ID") if isinstance(row.get("WebSite_ID"), int) else 0,
        admin=row.get("Role_ID") == 1,
        pw=password_mark(row),
    )


def follow() -> None:
    """Runs before every request of a signed-in user: rebuilds the user's
    access when the stamp moved since, or ends the session when the user is
    gone or the password changed."""
    uid = session.get("uid")
    if not uid or session.stamp <= session.access_gen:
        return
    gen = session.stamp
    row = rebuild(uid)
    if row is None or password_mark(row) != session.get("pw"):
        session.clear()
        session.regenerate()
        flash(_("Your session has ended. Sign in again."), "error")
        return
    admin = row.get("Role_ID") == 1
    if session.get("admin") != admin:
        session["admin"] = admin
    _sessions().mark_access(session._get_current_object(), gen)


def changed() -> None:
    """Call after any change that effective access is computed from."""
    site_tables.bump(conn())


def end_sessions(uid: str, keep_mine: bool = True) -> int:
    """Ends the user's sessions (but the current request's own, when it is theirs)."""
    keep = session.sid if keep_mine and session.get("uid") == uid else None
    return _sessions().end_user(uid, keep)


def user_gone(uid: str) -> None:
    """After a user's removal: sessions end, computed access goes."""
    end_sessions(uid, keep_mine=False)
    obj("User").ClearUsrAccess(uid)
