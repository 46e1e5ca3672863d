"""Choice lists for the administration forms (roles, websites, website
types, organisations), their checks, and the rule that a user is only saved
when they can sign in: a name, a password and an existing website."""

from __future__ import annotations

from typing import Any

from flask import abort
from flask_babel import gettext as _

from . import lib
from .context import obj, staff_site

Choices = list[tuple[str, str]]


def roles() -> Choices:
    out = []
    for r in lib.rows(obj("Role").GetRoleList(staff_site())):
        depth = max(len(lib.as_text(r.get("Role_Order"))) // 4 - 1, 0)
        out.append((lib.as_text(r["Role_ID"]), "· " * depth + lib.as_text(r.get("Role_Name"))))
    return out


def websites() -> Choices:
    return [
        (
            lib.as_text(r["WebSite_ID"]),
            lib.as_text(r.get("WebSite_Title") or r.get("WebSite_Name")),
        )
        for r in lib.rows(obj("WebSite").GetWebSiteList())
    ]


def site_types() -> Choices:
    return [
        (lib.as_text(r["WebSiteType_ID"]), lib.as_text(r.get("WebSiteType_Name")))
        for r in lib.rows(obj("Encode").GetWebSiteTypeList())
    ]


def organisations() -> Choices:
    """Organisations have no register of their own: the numbers users hold."""
    found = {lib.as_text(r.get("Org_ID")) for r in lib.rows(obj("User").GetUserList())}
    return [(o, _("Organisation %(n)s", n=o)) for o in sorted(found - {""}, key=int)]


def check(fields: list[Any], form: dict[str, str]) -> None:
    """Refuses a value that is not among a field's choices."""
    for f in fields:
        choices = getattr(f, "choices", None)
        value = form.get(f.name, "")
        if choices is None or not value:
            continue
        if f.kind == "suggest":
            if not lib.is_id(value):
                abort(400, description=_("'%(field)s' takes a number.", field=f.label))
        elif value not in {v for v, _ in choices()}:
            abort(400, description=_("Choose '%(field)s' from the list.", field=f.label))


def append_user(o: Any, f: dict[str, str]) -> None:
    """Adds a user only when they will be able to sign in."""
    for name, label in (
        ("name", _("Full name")),
        ("password", _("Password")),
        ("website", _("Website")),
    ):
        if not f.get(name, "").strip():
            abort(
                400,
                description=_(
                    "'%(field)s' must not be empty: without it the user cannot sign in.",
                    field=label,
                ),
            )
    o.AppendUser(f["id"], f["role"], f["name"], f["password"], f["email"], f["website"], f["org"])


def rehome_user(o: Any, user: str, website: str, org: str) -> None:
    """Gives a user another website or organisation. The user call keeps
    both as they were added, so the row is added again with every other
    value as stored (the password as its hash); roles and grants stay."""
    row = lib.first(o.GetUser(user))
    if row is None:
        return
    if lib.as_text(row.get("WebSite_ID")) == website and lib.as_text(row.get("Org_ID")) == org:
        return
    values = [
        lib.as_text(row.get(k)) for k in ("Role_ID", "Usr_Name", "Usr_Password", "Usr_Email")
    ]
    o.DeleteUser(user)
    o.AppendUser(user, *values, website, org)
    if lib.messages(o):  # put the row back as it was
        o.AppendUser(user, *values, *(lib.as_text(row.get(k)) for k in ("WebSite_ID", "Org_ID")))
