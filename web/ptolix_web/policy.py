"""What the desk allows beyond the grants themselves: changes to published
items, deleting what is not one's own, and what a delete takes with it.

Published text changes only through someone who may publish (level 3, as
the access-type dictionary has it). An editor below that level who wants a
published item changed asks a reviewer to return it for re-editing; the
item then leaves the public site until it is published again. The library
keeps one text per item, which the public pages show as soon as it is
written, so an edit below the publishing level could not wait for review
without a second copy of every published item beside the library's;
refusing it keeps the public text exactly what a reviewer published.
"""

from __future__ import annotations

from flask import abort, session
from flask_babel import gettext as _
from flask_babel import lazy_gettext as _l

from .context import REVIEW, conn, obj
from .site_tables import num, query, text

PUBLISHED = (4, 5, 6)

# Dictionary rows whose meaning the library's own queries fix: review
# states 1 to 6 and access levels 1 to 4 are never removed.
FIXED_ROWS = {"states": range(1, 7), "access": range(1, 5)}

# Where the rows of each code dictionary are used.
USES = {
    "states": [("tPtlx_Information", "InfState_ID", _l("%(n)s items"))],
    "types": [("tPtlx_Information", "InfType_ID", _l("%(n)s items"))],
    "access": [
        ("tPtlx_RoleAccess", "AccessType_ID", _l("%(n)s role grants")),
        ("tPtlx_UsrAccess", "AccessType_ID", _l("%(n)s user grants")),
    ],
    "sitetypes": [("tPtlx_WebSite", "WebSiteType_ID", _l("%(n)s websites"))],
}


def is_published(row: dict) -> bool:
    return row.get("InfState_ID") in PUBLISHED


def refuse_published_change(row: dict, have: int) -> None:
    """Refuses a change to a published item by someone below the publishing level."""
    if is_published(row) and have < REVIEW:
        abort(
            403,
            description=_(
                "This item is published: only a reviewer may change it. Ask a reviewer to return "
                "it for re-editing; the public keeps seeing the published text until then."
            ),
        )


def delete_level(row: dict) -> int:
    """The level deleting an item needs: an editor deletes their own unpublished
    items; anything else (another's item, a published one) needs a reviewer."""
    own = row.get("Info_PublicUsr") == session.get("uid")
    return REVIEW if (not own or is_published(row)) else 2


def dictionary_in_use(slug: str, key: str) -> str | None:
    """Why a code dictionary row may not be deleted (None: it may)."""
    if slug not in USES:
        return None
    if not key.lstrip("-").isdigit() or len(key) > 10:
        return None
    if int(key) in FIXED_ROWS.get(slug, ()):
        return _("This row has a fixed meaning for the library and cannot be deleted.")
    uses = []
    for table, column, noun in USES[slug]:
        count = int(query(conn(), f"select count(*) from {table} where {column} = {key}")[0][0])
        if count:
            uses.append(str(noun) % {"n": count})
    if uses:
        return _("This row is in use (%(uses)s) and cannot be deleted.", uses=", ".join(uses))
    return None


def column_subtree(sys_id: str, column: dict) -> tuple[list[str], int]:
    """The columns below `column` and the number of items homed in it or
    below, which a delete of the column takes off the site."""
    order = str(column.get("Column_Order") or "")
    if not order:
        return [], 0
    below = (
        f"select Column_ID from tPtlx_Column where Sys_ID = {num(int(sys_id))} "
        f"and Column_IsDeleted = '0' and Column_Order like {text(_like_prefix(order))}"
    )
    own = str(column.get("Column_ID"))
    columns = [str(r[0]) for r in query(conn(), below) if str(r[0]) != own]
    items = int(
        query(
            conn(),
            "select count(*) from tPtlx_Information where Info_IsDeleted = '0' "
            f"and Column_ID in ({below})",
        )[0][0]
    )
    return columns, items


def _like_prefix(order: str) -> str:
    # Order codes are hexadecimal digits; nothing in them needs escaping.
    return "".join(c for c in order if c.isalnum()) + "%"


def role_users(role_id: str) -> int:
    """Users who hold the role, as primary or additional role."""
    if not role_id.isdigit() or len(role_id) > 9:
        return 0
    user = obj("User", 1)
    user.GetRoleUserList(role_id, "1")
    return int(user.RecordCount or 0)
