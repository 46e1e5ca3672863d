"""Columns kept off the public site.

An administrator marks a column as not shown to readers; the marks are one
system parameter, a comma list of column identifiers. A hidden column's
whole subtree, and every item homed there, stays off the public pages,
search, feeds and sitemap. The desk is not affected.
"""

from __future__ import annotations

from flask import Blueprint, abort, current_app, g, redirect, request, url_for
from flask_babel import gettext as _

from . import lib
from .context import obj, report, staff_sys

PARAMETER = "HIDDEN_COLUMNS"
DESCRIPTION = "Columns not shown to readers (comma list of column identifiers)"

bp = Blueprint("visibility", __name__)


def hidden_ids() -> list[str]:
    """The marked columns' identifiers, read once per request."""
    if "hidden_ids" not in g:
        row = lib.first(obj("System").GetParameter(PARAMETER))
        text = lib.as_text(row.get("Para_Value")) if row else ""
        g.hidden_ids = [p.strip() for p in text.split(",") if lib.is_id(p.strip())]
    return g.hidden_ids


def hidden_list() -> str:
    """The marks as the library's searches take them."""
    return ",".join(hidden_ids())


def _hidden_codes() -> list[str]:
    if "hidden_codes" not in g:
        codes = []
        for column_id in hidden_ids():
            row = lib.first(obj("Column").GetColumn(_sys(), column_id))
            if row and row.get("Column_Order"):
                codes.append(str(row["Column_Order"]))
        g.hidden_codes = codes
    return g.hidden_codes


def _sys() -> str:
    return str(current_app.config["PTOLIX"].sys_id)


def is_hidden(column: dict | None) -> bool:
    """Whether the column is marked or lies below a marked one."""
    if not column or not hidden_ids():
        return False
    code = str(column.get("Column_Order") or "")
    return any(code.startswith(c) for c in _hidden_codes())


def item_hidden(row: dict) -> bool:
    """Whether the item's home column is hidden (looked up once per column)."""
    if not hidden_ids():
        return False
    cache = g.setdefault("hidden_by_column", {})
    key = str(row.get("Column_ID"))
    if key not in cache:
        cache[key] = lib.is_id(key) and is_hidden(lib.first(obj("Column").GetColumn(_sys(), key)))
    return cache[key]


def is_marked(column: dict | None) -> bool:
    """Whether the column itself carries the mark."""
    return bool(column) and str(column.get("Column_ID")) in hidden_ids()


def shown(columns: list[dict]) -> list[dict]:
    return [c for c in columns if not is_hidden(c)]


def _store(ids: list[str], done: str) -> bool:
    system = obj("System")
    value = ",".join(ids)
    if lib.first(system.GetParameter(PARAMETER)) is None:
        system = obj("System")  # the lookup's not-found line is no failure
        system.AppendParameter(PARAMETER, value, DESCRIPTION)
    else:
        system.ModifyParameter(PARAMETER, PARAMETER, value, DESCRIPTION)
    g.pop("hidden_ids", None)
    g.pop("hidden_codes", None)
    return report(system, done)


@bp.route("/columns/<column_id>/visibility", methods=["POST"])
def set_visibility(column_id: str):
    from .admin import require_admin
    from .security import check_csrf

    if not lib.is_id(column_id):
        abort(404, description=_("There is no such column."))
    check_csrf()
    require_admin()
    row = lib.first(obj("Column").GetColumn(staff_sys(), column_id))
    if row is None or row.get("Column_IsDeleted") == "1":
        abort(404, description=_("There is no such column."))
    from .audit import record

    ids = [i for i in hidden_ids() if i != column_id]
    hide = request.form.get("shown") == "0"
    if hide:
        ids.append(column_id)
        done = _store(ids, _("Readers no longer see this column, its sub-columns or their items."))
    else:
        done = _store(ids, _("Readers see this column again."))
    if done:
        record("column.visibility", f"column {column_id}", after={"shown": not hide})
    return redirect(url_for("desk.manage", column_id=column_id))
