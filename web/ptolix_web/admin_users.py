"""The users register's add and change: the password rule, and sessions
that end when a password or a user name changes."""

from __future__ import annotations

from typing import Any

from flask import flash, session

from . import access, choices, lib, passwords
from .context import obj

F = dict[str, str]


class Refusal(Exception):
    """A form the site refuses before calling the library; its text is shown."""


def user_add(o: Any, scope: str, f: F) -> None:
    # An empty password is refused with the other fields sign-in needs.
    if f["password"] and (problem := passwords.problem(f["password"], f["id"], f["name"])):
        raise Refusal(problem)
    choices.append_user(o, f)


def user_edit(o: Any, scope: str, key: F, f: F) -> None:
    uid = key["Usr_ID"]
    old = lib.first(o.GetUser(uid))
    if old is None:
        return
    new_id = f["id"] or uid
    if f["password"] and (problem := passwords.problem(f["password"], new_id, f["name"])):
        raise Refusal(problem)
    # An empty password field keeps the stored hash, which the library stores as it is.
    password = f["password"] or lib.as_text(old.get("Usr_Password"))
    o.ModifyUser(uid, new_id, f["role"], f["name"], password, f["email"])
    if not lib.messages(o):
        choices.rehome_user(o, new_id, f["website"], f["org"])
    if f.get("add_role") and not lib.messages(o):
        o.AddToRole(new_id, f["add_role"])
    if lib.messages(o):
        return
    if f["password"] or new_id != uid:
        # A new password or user name ends the user's sessions (but the
        # administrator's own current one).
        ended = access.end_sessions(uid)
        if new_id != uid:
            obj("User").ClearUsrAccess(uid)
        if session.get("uid") == uid:
            if new_id != uid:
                session.clear()
                session.regenerate()
            else:
                session["pw"] = access.password_mark(lib.first(o.GetUser(uid)))
        if ended:
            flash(f"{ended} session(s) of {uid} were ended.", "ok")
