"""The column tree and its grants on the desk (level 4, managers): change,
add, move and delete columns, and grant roles and users access."""

from __future__ import annotations

from typing import Any

from flask import abort, flash, redirect, render_template, request, session, url_for
from flask_babel import gettext as _

from . import access, audit, confirm, inputs, lib, policy
from .context import MANAGE, level, obj, report, require_level, staff_site, staff_sys
from .desk import access_columns, bp, column_row, field


def _website_arg(col: dict) -> str:
    """The website argument of ModifyColumn and DeleteColumn: "1" names a column of no website."""
    site = col.get("WebSite_ID")
    return str(site) if isinstance(site, int) else "1"


@bp.route("/columns/<column_id>/manage")
def manage(column_id: str):
    require_level(column_id, MANAGE)
    col = column_row(column_id)
    c = obj("Column")
    roles = lib.rows(c.GetDirectRoleList(staff_sys(), column_id))
    users = lib.rows(c.GetDirectUserList(staff_sys(), column_id))
    errors = lib.messages(c)
    cols = access_columns()
    targets = [
        x
        for x in cols
        if x["level"] >= MANAGE
        and x["Column_ID"] != col["Column_ID"]
        and not str(x.get("Column_Order") or "").startswith(col.get("Column_Order") or "\0")
    ]
    all_roles = lib.rows(obj("Role").GetRoleList(staff_site()))
    access_types = lib.rows(obj("Encode").GetAccessTypeList())
    return render_template(
        "desk/manage.html",
        column=col,
        roles=roles,
        users=users,
        errors=errors,
        targets=targets,
        all_roles=all_roles,
        access_types=access_types,
        children=lib.rows(c.GetChildColumnList(staff_sys(), staff_site(), column_id)),
    )


@bp.route("/columns/<column_id>/change", methods=["POST"])
def change_column(column_id: str):
    require_level(column_id, MANAGE)
    col = column_row(column_id)
    c = obj("Column")
    father = col.get("Column_Father")
    new = {
        "name": field("name", "name", True),
        "description": field("description"),
        "url": field("url", "url"),
        "target": field("target", "name"),
        "icon": field("icon", "url"),
        "special_icon": field("special_icon", "url"),
    }
    if problems := inputs.field_errors(new):
        abort(400, description=" ".join(problems.values()))
    c.ModifyColumn(
        staff_sys(),
        column_id,
        "" if father is None else str(father),
        new["name"],
        new["description"],
        col.get("Column_Order") or "",
        new["url"],
        new["target"],
        new["icon"],
        new["special_icon"],
        _website_arg(col),
    )
    if report(c, _("The column was changed.")):
        old = {
            "name": col.get("Column_Name"),
            "description": col.get("Column_Description"),
            "url": col.get("Column_Url"),
            "target": col.get("Column_Target"),
            "icon": col.get("Column_Icon"),
            "special_icon": col.get("Column_SpecialIcon"),
        }
        audit.record(
            "column.change",
            f"column {column_id}",
            before={k: lib.as_text(v) for k, v in old.items()},
            after=new,
        )
    return redirect(url_for("desk.manage", column_id=column_id))


@bp.route("/columns/<column_id>/children", methods=["POST"])
def add_child(column_id: str):
    require_level(column_id, MANAGE)
    col = column_row(column_id)
    return _append_column(column_id, col.get("WebSite_ID"))


def _append_column(father: str, site: Any) -> Any:
    c = obj("Column")
    name, description, url = field("name", "name", True), field("description"), field("url", "url")
    if problems := inputs.field_errors({"name": name, "description": description, "url": url}):
        abort(400, description=" ".join(problems.values()))
    new_id = c.AppendColumn(
        staff_sys(),
        name,
        description,
        url,
        "",
        "",
        "",
        str(site) if isinstance(site, int) else "",
        father,
    )
    report(c, _("The column was added."))
    if new_id:
        audit.record(
            "column.add", f"column {new_id}", after={"name": name, "father": father or ""}
        )
        access.changed()  # the new column's grants count for its users at their next request
        return redirect(url_for("desk.manage", column_id=new_id))
    return redirect(url_for("desk.manage", column_id=father) if father else url_for("desk.index"))


@bp.route("/columns/new", methods=["POST"])
def add_top_column():
    if not session.get("admin"):
        abort(403, description=_("Only administrators add top-level columns."))
    from .admin import require_admin

    require_admin()
    return _append_column("", int(staff_site()))


@bp.route("/columns/<column_id>/move", methods=["POST"])
def move_column(column_id: str):
    require_level(column_id, MANAGE)
    target = request.form.get("target", "")
    require_level(target, MANAGE)
    c = obj("Column")
    c.MoveColumn(staff_sys(), column_id, target)
    if report(c, _("The column was moved.")):
        audit.record("column.move", f"column {column_id}", after={"before": target})
        access.changed()
    return redirect(url_for("desk.manage", column_id=column_id))


@bp.route("/columns/<column_id>/delete", methods=["GET", "POST"])
def delete_column(column_id: str):
    require_level(column_id, MANAGE)
    col = column_row(column_id)
    columns, items = policy.column_subtree(staff_sys(), col)
    # The columns below go with it: each needs the manager's own grant.
    foreign = [c for c in columns if level(c) < MANAGE]
    refusal = (
        _(
            "You do not manage %(n)s of the columns below it, so you cannot delete it.",
            n=len(foreign),
        )
        if foreign
        else ""
    )
    if refusal or not confirm.confirmed():
        return confirm.ask(
            _("Delete this column?"),
            _("Column %(n)s: %(name)s", n=column_id, name=lib.as_text(col.get("Column_Name"))),
            [
                _("%(n)s column(s) below it are deleted with it.", n=len(columns)),
                _("%(n)s item(s) in it and below it leave the site with it.", n=items),
                _("Its grants no longer give access to anyone."),
            ],
            url_for("desk.manage", column_id=column_id),
            refusal,
        )
    c = obj("Column")
    c.DeleteColumn(staff_sys(), column_id, _website_arg(col))
    if report(c, _("The column and the columns below it were deleted.")):
        audit.record(
            "column.delete", f"column {column_id}", before={"name": col.get("Column_Name")}
        )
        access.changed()
    return redirect(url_for("desk.index"))


@bp.route("/columns/<column_id>/grants", methods=["POST"])
def grant(column_id: str):
    """Adds, changes or removes a grant of a role or a user on the column."""
    require_level(column_id, MANAGE)
    kind = request.form.get("kind")
    action = request.form.get("action")
    who = field("who", "name", required=True)
    level_id = request.form.get("access", "")
    if action != "delete" and level_id not in {"1", "2", "3", "4"}:
        abort(400, description=_("Choose an access level."))
    if kind not in ("role", "user"):
        abort(400, description=_("Choose a role or a user."))
    if action == "delete" and not confirm.confirmed():
        return confirm.ask(
            _("Remove this grant?"),
            (
                _("The role %(who)s loses its grant on column %(n)s.", who=who, n=column_id)
                if kind == "role"
                else _("The user %(who)s loses its grant on column %(n)s.", who=who, n=column_id)
            ),
            [_("Access computed from it ends at the affected users' next request.")],
            url_for("desk.manage", column_id=column_id),
        )
    c = obj("Column")
    sys_id = staff_sys()
    if kind == "role":
        if not lib.is_id(who):
            abort(400, description=_("Choose a role."))
        calls = {"add": c.AddRoleAccess, "change": c.ModifyRoleAccess}
    elif kind == "user":
        calls = {"add": c.AddUsrAccess, "change": c.ModifyUsrAccess}
    else:
        abort(400, description=_("Choose a role or a user."))
    if action == "delete":
        (c.DeleteRoleAccess if kind == "role" else c.DeleteUsrAccess)(sys_id, column_id, who)
    elif action in calls:
        calls[action](sys_id, column_id, who, level_id)
    else:
        abort(400, description=_("Unknown action."))
    if report(c, _("The grant was saved.")):
        audit.record(
            f"grant.{action}",
            f"column {column_id}",
            after={"kind": kind, "who": who, "access": level_id if action != "delete" else ""},
        )
        access.changed()  # every affected user's access follows at their next request
        if kind == "user" and not lib.first(obj("User").GetUser(who)):
            flash(
                _("There is no user '%(who)s'; the grant waits until one is added.", who=who),
                "error",
            )
    return redirect(url_for("desk.manage", column_id=column_id))
