"""The staff desk: editors write and order items, reviewers publish them,
managers keep the column tree and its grants. Every screen asks the
library for the user's access on the column it touches, on every request."""

from __future__ import annotations

from typing import Any

from flask import Blueprint, abort, flash, redirect, render_template, request, session, url_for

import ptolix

from . import lib, media, revisions, schedule
from .context import (
    EDIT,
    LEVEL_NAMES,
    MANAGE,
    REVIEW,
    conn,
    level,
    obj,
    page_number,
    report,
    require_level,
    staff_site,
    staff_sys,
    user_id,
)
from .items import after_save, clean_content
from .security import check_csrf

bp = Blueprint("desk", __name__)

# The review-state filters of an item list, as the library names them.
MODES = [
    ("Editor", "With editors"),
    ("WaitAssess", "Waiting for review"),
    ("NeedReedit", "Returned"),
    ("Published", "Published"),
    ("Canceled", "Cancelled"),
    ("All", "All"),
]
MODE_KEYS = {m for m, _ in MODES}
# Review decisions: the state an item takes.
DECISIONS = {
    "4": "Publish",
    "5": "Publish as recommended",
    "6": "Publish as headline",
    "2": "Return for re-editing",
    "3": "Cancel",
}
LIMITS = {"title": 200, "content": 100_000, "url": 500, "date": 40, "name": 100, "text": 1000}


@bp.before_request
def signed_in():
    if not user_id():
        return redirect(url_for("auth.signin", next=request.full_path.rstrip("?")))
    if request.method == "POST":
        check_csrf()
    return None


def field(name: str, limit: str = "text", required: bool = False) -> str:
    """A form field, trimmed; too long or missing required text refuses the form."""
    value = request.form.get(name, "").strip()
    if len(value) > LIMITS[limit]:
        abort(400, description=f"The field '{name}' is longer than {LIMITS[limit]} characters.")
    if required and not value:
        abort(400, description=f"The field '{name}' must not be empty.")
    return value


def access_columns() -> list[dict]:
    """The columns the user may see, with levels, in tree order; depth from the code."""
    user = obj("User")
    cols = lib.rows(user.GetAccessColumnList(user_id(), staff_sys(), staff_site()))
    for c in cols:
        c["depth"] = max(len(c.get("Column_Order") or "") // ptolix.COLUMN_CODE_WIDTH - 1, 0)
        c["level"] = int(c.get("AccessType_ID") or -1)
    return cols


def column_row(column_id: str) -> dict:
    row = lib.first(obj("Column").GetColumn(staff_sys(), column_id))
    if row is None or row.get("Column_IsDeleted") == "1":
        abort(404, description="There is no such column.")
    return row


def item_row(item_id: str, needed: int) -> tuple[dict, int]:
    """The item and the user's level on its column, refused below `needed`."""
    if not lib.is_id(item_id):
        abort(404, description="There is no such item.")
    row = lib.first(obj("Information").GetInfo(item_id))
    if row is None or row.get("Info_IsDeleted") == "1":
        abort(404, description="There is no such item.")
    return row, require_level(str(row["Column_ID"]), needed)


def back(default: str) -> Any:
    """Redirects to the local page the form came from, else to `default`."""
    target = request.form.get("back", "")
    if target.startswith("/desk") and "\\" not in target:
        return redirect(target)
    return redirect(default)


@bp.route("/")
def index():
    cols = access_columns()
    return render_template("desk/index.html", columns=cols, levels=LEVEL_NAMES)


@bp.route("/columns/<column_id>")
def column(column_id: str):
    have = require_level(column_id, EDIT)
    col = column_row(column_id)
    mode = request.args.get("state", "Editor")
    if mode not in MODE_KEYS:
        mode = "Editor"
    info = obj("Information", 20)
    page_text = request.args.get("page", "")
    items = info.GetInfoList(staff_site(), staff_sys(), column_id, mode, page_text)
    pages = int(info.PageCount or 0)
    return render_template(
        "desk/column.html",
        column=col,
        level=have,
        mode=mode,
        modes=MODES,
        items=lib.rows(items),
        errors=lib.messages(info),
        record_count=int(info.RecordCount or 0),
        page_count=pages,
        current=page_number(page_text, pages),
        states=_states(),
        decisions=DECISIONS,
    )


def _states() -> dict:
    return {
        r["InfState_ID"]: r["InfState_Name"] for r in lib.rows(obj("Encode").GetInfStateList())
    }


def _types() -> list[dict]:
    return lib.rows(obj("Encode").GetInfTypeList())


@bp.route("/columns/<column_id>/new", methods=["GET", "POST"])
def new_item(column_id: str):
    require_level(column_id, EDIT)
    col = column_row(column_id)
    if request.method == "GET":
        return render_template("desk/item_form.html", column=col, item={}, types=_types())
    form = _item_form()
    info = obj("Information")
    new_id = info.AppendInfo(
        staff_sys(),
        column_id,
        user_id(),
        form["type"],
        form["title"],
        clean_content(None, form["content"]),
        form["pub"],
        form["end"],
        form["url"],
        staff_site(),
    )
    if not new_id:
        return (
            render_template(
                "desk/item_form.html",
                column=col,
                item=_echo(form),
                types=_types(),
                errors=lib.messages(info),
            ),
            422,
        )
    draft = request.form.get("send") == "draft"
    if draft:  # "returned for re-editing": with editors, not waiting for review
        info.AssessInfo(user_id(), new_id, "2")
    _, problems = media.uploads(
        new_id, request.files.getlist("file"), field("attach_title", "name"), field("alt")
    )
    for p in problems:
        flash(p, "error")
    after_save(new_id, "written")
    report(info, "The item was saved" + (" with editors." if draft else "; it waits for review."))
    return redirect(url_for("desk.item", item_id=new_id))


def _item_form() -> dict:
    return {
        "title": field("title", "title", required=True),
        "content": field("content", "content"),
        "type": field("type", "date"),
        "pub": field("pub", "date"),
        "end": field("end", "date"),
        "url": field("url", "url"),
    }


def _echo(form: dict) -> dict:
    return {
        "Info_Title": form["title"],
        "Info_Content": form["content"],
        "InfType_ID": form["type"],
        "Info_PublicDate": form["pub"],
        "Info_EndDate": form["end"],
        "Info_Url": form["url"],
    }


@bp.route("/items/<item_id>", methods=["GET", "POST"])
def item(item_id: str):
    row, have = item_row(item_id, EDIT)
    col = column_row(str(row["Column_ID"]))
    if request.method == "POST":
        form = _item_form()
        revisions.keep_earlier(item_id, row)
        info = obj("Information")
        info.ModifyInfo(
            item_id,
            form["type"],
            form["title"],
            clean_content(item_id, form["content"]),
            form["pub"],
            form["end"],
            form["url"],
        )
        if report(info, "The item was changed."):
            after_save(item_id)
            return redirect(url_for("desk.item", item_id=item_id))
        row = _echo(form) | {
            "Info_ID": row["Info_ID"],
            "InfState_ID": row["InfState_ID"],
            "Column_ID": row["Column_ID"],
        }
    info = obj("Information")
    targets = [
        c for c in access_columns() if c["level"] >= EDIT and c["Column_ID"] != row["Column_ID"]
    ]
    return render_template(
        "desk/item.html",
        item=row,
        column=col,
        level=have,
        types=_types(),
        attachments=lib.rows(info.GetInfoAttachList(item_id)),
        files={m.attach: m for m in media.of_items([item_id])},
        editor_pictures=media.editor_list(item_id),
        targets=targets,
        states=_states(),
        decisions=DECISIONS,
        errors=lib.messages(info),
    )


@bp.route("/items/<item_id>/delete", methods=["POST"])
def delete_item(item_id: str):
    row, _ = item_row(item_id, EDIT)
    info = obj("Information")
    info.DeleteInfo(item_id)
    if report(info, "The item was deleted."):
        media.item_deleted(item_id)
    return redirect(url_for("desk.column", column_id=row["Column_ID"]))


@bp.route("/items/<item_id>/attachments/<attach_id>/delete", methods=["POST"])
def delete_attachment(item_id: str, attach_id: str):
    item_row(item_id, EDIT)
    if not lib.is_id(attach_id):
        abort(404, description="There is no such attachment.")
    info = obj("Information")
    info.DeleteInfoAttach(item_id, attach_id)
    if report(info, "The attachment was removed."):
        media.attachment_removed(item_id, attach_id)
    return redirect(url_for("desk.item", item_id=item_id))


@bp.route("/items/<item_id>/move", methods=["POST"])
def move_item(item_id: str):
    row, _ = item_row(item_id, EDIT)
    mode = request.form.get("state", "All")
    if mode not in MODE_KEYS:
        mode = "All"
    info = obj("Information")
    args = (staff_site(), staff_sys(), str(row["Column_ID"]), mode, item_id)
    if request.form.get("direction") == "down":
        info.MoveDownInfo(*args)
    else:
        info.MoveUpInfo(*args)
    report(info, "The item was moved.")
    return back(url_for("desk.column", column_id=row["Column_ID"], state=mode))


@bp.route("/items/<item_id>/crosspost", methods=["POST"])
def crosspost(item_id: str):
    item_row(item_id, EDIT)
    target = request.form.get("column", "")
    require_level(target, EDIT)
    info = obj("Information")
    if request.form.get("remove"):
        info.RemoveFromColumn(item_id, staff_sys(), target)
        report(info, "The item no longer shows in that column.")
    else:
        info.AddInfo2Column(item_id, staff_sys(), target)
        report(info, "The item also shows in that column now.")
    return redirect(url_for("desk.item", item_id=item_id))


# --- review ---


@bp.route("/review")
def review():
    queue = []
    info = obj("Information", 50)
    for c in access_columns():
        if c["level"] >= REVIEW and level(str(c["Column_ID"])) >= REVIEW:
            items = lib.rows(
                info.GetInfoList(staff_site(), staff_sys(), str(c["Column_ID"]), "WaitAssess")
            )
            if items:
                queue.append({"column": c, "items": items, "count": int(info.RecordCount or 0)})
    return render_template("desk/review.html", queue=queue, decisions=DECISIONS)


@bp.route("/items/<item_id>/assess", methods=["POST"])
def assess(item_id: str):
    row, _ = item_row(item_id, REVIEW)
    state = request.form.get("state", "")
    if state not in DECISIONS:
        abort(400, description="Choose a review decision.")
    info = obj("Information")
    info.AssessInfo(user_id(), item_id, state)
    if report(info, f"{DECISIONS[state]}: done.") and schedule.tick(conn(), ids=[item_id]):
        for note in filter(None, [schedule.notice(conn(), [item_id])]):
            flash(note, "ok")
    return back(url_for("desk.review"))


# --- the column tree and its grants (managers) ---


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
    c.ModifyColumn(
        staff_sys(),
        column_id,
        "" if father is None else str(father),
        field("name", "name", True),
        field("description"),
        col.get("Column_Order") or "",
        field("url", "url"),
        field("target", "name"),
        field("icon", "url"),
        field("special_icon", "url"),
        _website_arg(col),
    )
    report(c, "The column was changed.")
    return redirect(url_for("desk.manage", column_id=column_id))


@bp.route("/columns/<column_id>/children", methods=["POST"])
def add_child(column_id: str):
    require_level(column_id, MANAGE)
    col = column_row(column_id)
    return _append_column(column_id, col.get("WebSite_ID"))


def _append_column(father: str, site: Any) -> Any:
    c = obj("Column")
    new_id = c.AppendColumn(
        staff_sys(),
        field("name", "name", True),
        field("description"),
        field("url", "url"),
        "",
        "",
        "",
        str(site) if isinstance(site, int) else "",
        father,
    )
    report(c, "The column was added.")
    if new_id:
        # The new column's grants count for the user after an access rebuild.
        u = obj("User")
        u.UpdateUsrAccess(user_id())
        report(u)
        return redirect(url_for("desk.manage", column_id=new_id))
    return redirect(url_for("desk.manage", column_id=father) if father else url_for("desk.index"))


@bp.route("/columns/new", methods=["POST"])
def add_top_column():
    if not session.get("admin"):
        abort(403, description="Only administrators add top-level columns.")
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
    report(c, "The column was moved.")
    return redirect(url_for("desk.manage", column_id=column_id))


@bp.route("/columns/<column_id>/delete", methods=["POST"])
def delete_column(column_id: str):
    require_level(column_id, MANAGE)
    col = column_row(column_id)
    c = obj("Column")
    c.DeleteColumn(staff_sys(), column_id, _website_arg(col))
    report(c, "The column and the columns below it were deleted.")
    return redirect(url_for("desk.index"))


@bp.route("/columns/<column_id>/grants", methods=["POST"])
def grant(column_id: str):
    """Adds, changes or removes a grant of a role or a user on the column."""
    require_level(column_id, MANAGE)
    kind = request.form.get("kind")
    action = request.form.get("action")
    who = field("who", "name", required=True)
    access = request.form.get("access", "")
    if action != "delete" and access not in {"1", "2", "3", "4"}:
        abort(400, description="Choose an access level.")
    c = obj("Column")
    sys_id = staff_sys()
    if kind == "role":
        if not lib.is_id(who):
            abort(400, description="Choose a role.")
        calls = {"add": c.AddRoleAccess, "change": c.ModifyRoleAccess}
    elif kind == "user":
        calls = {"add": c.AddUsrAccess, "change": c.ModifyUsrAccess}
    else:
        abort(400, description="Choose a role or a user.")
    if action == "delete":
        (c.DeleteRoleAccess if kind == "role" else c.DeleteUsrAccess)(sys_id, column_id, who)
    elif action in calls:
        calls[action](sys_id, column_id, who, access)
    else:
        abort(400, description="Unknown action.")
    if report(c, "The grant was saved.") and kind == "user":
        u = obj("User")  # the user's access follows at once
        if lib.first(u.GetUser(who)):
            u.UpdateUsrAccess(who)
        else:
            flash(f"There is no user '{who}'; the grant waits until one is added.", "error")
    return redirect(url_for("desk.manage", column_id=column_id))
