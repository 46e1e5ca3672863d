"""The staff desk: editors write and order items, reviewers publish them,
managers keep the column tree and its grants. Every screen asks the
library for the user's access on the column it touches, on every request."""

from __future__ import annotations

from typing import Any

from flask import Blueprint, abort, flash, redirect, render_template, request, url_for
from flask_babel import gettext as _
from flask_babel import lazy_gettext as _l

import ptolix

from . import audit, confirm, inputs, lib, media, policy, revisions, schedule
from .context import (
    EDIT,
    LEVEL_NAMES,
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
from .i18n import library_text
from .items import after_save, clean_content
from .security import check_csrf

bp = Blueprint("desk", __name__)

# The review-state filters of an item list, as the library names them.
MODES = [
    ("Editor", _l("With editors")),
    ("WaitAssess", _l("Waiting for review")),
    ("NeedReedit", _l("Returned")),
    ("Published", _l("Published")),
    ("Canceled", _l("Cancelled")),
    ("All", _l("All")),
]
MODE_KEYS = {m for m, _ in MODES}
# Review decisions: the state an item takes.
DECISIONS = {
    "4": _l("Publish"),
    "5": _l("Publish as recommended"),
    "6": _l("Publish as headline"),
    "2": _l("Return for re-editing"),
    "3": _l("Cancel"),
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
        abort(
            400,
            description=_(
                "The field '%(name)s' is longer than %(n)s characters.", name=name, n=LIMITS[limit]
            ),
        )
    if required and not value:
        abort(400, description=_("The field '%(name)s' must not be empty.", name=name))
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
        abort(404, description=_("There is no such column."))
    return row


def item_row(item_id: str, needed: int) -> tuple[dict, int]:
    """The item and the user's level on its column, refused below `needed`."""
    if not lib.is_id(item_id):
        abort(404, description=_("There is no such item."))
    row = lib.first(obj("Information").GetInfo(item_id))
    if row is None or row.get("Info_IsDeleted") == "1":
        abort(404, description=_("There is no such item."))
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
        r["InfState_ID"]: library_text(r["InfState_Name"])
        for r in lib.rows(obj("Encode").GetInfStateList())
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
    if errors := inputs.field_errors(form):
        return _item_form_again(col, form, errors, [])
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
        return _item_form_again(col, form, *inputs.refusals(info))
    audit.record("item.add", f"item {new_id}", info_id=new_id, after=_texts(form))
    draft = request.form.get("send") == "draft"
    if draft:  # "returned for re-editing": with editors, not waiting for review
        info.AssessInfo(user_id(), new_id, "2")
    done, problems = media.uploads(
        new_id, request.files.getlist("file"), field("attach_title", "name"), field("alt")
    )
    for p in problems:
        flash(p, "error")
    if done:
        audit.record("files.add", f"item {new_id}", info_id=new_id, after={"files": done})
    after_save(new_id, "written")
    report(
        info,
        _("The item was saved with editors.")
        if draft
        else _("The item was saved; it waits for review."),
    )
    return redirect(url_for("desk.item", item_id=new_id))


def _item_form_again(col: dict, form: dict, field_errors: dict, errors: list) -> Any:
    page = render_template(
        "desk/item_form.html",
        column=col,
        item=_echo(form),
        types=_types(),
        field_errors=field_errors,
        errors=errors,
    )
    return page, 422


def _texts(form: dict) -> dict:
    """An item's texts as the record of staff actions keeps them."""
    return {k: form.get(k, "") for k in ("title", "content", "type", "pub", "end", "url")}


def _row_texts(row: dict) -> dict:
    return {
        "title": lib.as_text(row.get("Info_Title")),
        "content": lib.as_text(row.get("Info_Content")),
        "type": lib.as_text(row.get("InfType_ID")),
        "pub": lib.as_text(row.get("Info_PublicDate")),
        "end": lib.as_text(row.get("Info_EndDate")),
        "url": lib.as_text(row.get("Info_Url")),
    }


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
    field_errors: dict = {}
    errors: list = []
    if request.method == "POST":
        policy.refuse_published_change(row, have)
        form = _item_form()
        revisions.keep_earlier(item_id, row)
        info = obj("Information")
        field_errors = inputs.field_errors(form)
        if not field_errors:
            info.ModifyInfo(
                item_id,
                form["type"],
                form["title"],
                clean_content(item_id, form["content"]),
                form["pub"],
                form["end"],
                form["url"],
            )
            field_errors, errors = inputs.refusals(info)
            if not field_errors and not errors:
                audit.record(
                    "item.change",
                    f"item {item_id}",
                    info_id=item_id,
                    before=_row_texts(row),
                    after=_texts(form),
                )
                after_save(item_id)
                flash(_("The item was changed."), "ok")
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
        errors=errors + lib.messages(info),
        field_errors=field_errors,
    ), (422 if field_errors or errors else 200)


@bp.route("/items/<item_id>/delete", methods=["GET", "POST"])
def delete_item(item_id: str):
    row, _level = item_row(item_id, EDIT)
    require_level(str(row["Column_ID"]), policy.delete_level(row))
    if not confirm.confirmed():
        attachments = lib.rows(obj("Information").GetInfoAttachList(item_id))
        goes = (
            [_("Its %(n)s attachment(s) go with it.", n=len(attachments))] if attachments else []
        )
        if policy.is_published(row):
            goes.append(_("It is published: it leaves the public site at once."))
        return confirm.ask(
            _("Delete this item?"),
            _("Item %(n)s: %(title)s", n=item_id, title=lib.as_text(row.get("Info_Title"))),
            goes + [_("It leaves every column it shows in.")],
            url_for("desk.item", item_id=item_id),
        )
    info = obj("Information")
    info.DeleteInfo(item_id)
    if report(info, _("The item was deleted.")):
        audit.record("item.delete", f"item {item_id}", info_id=item_id, before=_row_texts(row))
        media.item_deleted(item_id)
    return redirect(url_for("desk.column", column_id=row["Column_ID"]))


@bp.route("/items/<item_id>/attachments/<attach_id>/delete", methods=["GET", "POST"])
def delete_attachment(item_id: str, attach_id: str):
    row, have = item_row(item_id, EDIT)
    policy.refuse_published_change(row, have)
    require_level(str(row["Column_ID"]), policy.delete_level(row))
    found = [
        a
        for a in lib.rows(obj("Information").GetInfoAttachList(item_id))
        if lib.as_text(a.get("Attach_ID")) == attach_id
    ]
    if not lib.is_id(attach_id) or not found:
        abort(404, description=_("There is no such attachment."))
    if not confirm.confirmed():
        return confirm.ask(
            _("Remove this attachment?"),
            _(
                "%(title)s (%(file)s) of item %(n)s",
                title=lib.as_text(found[0].get("Attach_Title")),
                file=lib.as_text(found[0].get("Attach_FileName")),
                n=item_id,
            ),
            [],
            url_for("desk.item", item_id=item_id),
        )
    info = obj("Information")
    info.DeleteInfoAttach(item_id, attach_id)
    if report(info, _("The attachment was removed.")):
        audit.record(
            "attachment.delete",
            f"item {item_id}",
            info_id=item_id,
            before={
                "file": lib.as_text(found[0].get("Attach_FileName")),
                "title": lib.as_text(found[0].get("Attach_Title")),
            },
        )
        media.attachment_removed(item_id, attach_id)
    return redirect(url_for("desk.item", item_id=item_id))


@bp.route("/items/<item_id>/move", methods=["POST"])
def move_item(item_id: str):
    row, _level = item_row(item_id, EDIT)
    mode = request.form.get("state", "All")
    if mode not in MODE_KEYS:
        mode = "All"
    info = obj("Information")
    args = (staff_site(), staff_sys(), str(row["Column_ID"]), mode, item_id)
    direction = "down" if request.form.get("direction") == "down" else "up"
    if direction == "down":
        info.MoveDownInfo(*args)
    else:
        info.MoveUpInfo(*args)
    if report(info, _("The item was moved.")):
        audit.record(
            "item.move", f"item {item_id}", info_id=item_id, after={"direction": direction}
        )
    return back(url_for("desk.column", column_id=row["Column_ID"], state=mode))


@bp.route("/items/<item_id>/crosspost", methods=["POST"])
def crosspost(item_id: str):
    item_row(item_id, EDIT)
    target = request.form.get("column", "")
    require_level(target, EDIT)
    info = obj("Information")
    if request.form.get("remove"):
        info.RemoveFromColumn(item_id, staff_sys(), target)
        done = report(info, _("The item no longer shows in that column."))
    else:
        info.AddInfo2Column(item_id, staff_sys(), target)
        done = report(info, _("The item also shows in that column now."))
    if done:
        action = "item.uncrosspost" if request.form.get("remove") else "item.crosspost"
        audit.record(action, f"item {item_id}", info_id=item_id, after={"column": target})
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


def assess_recorded(row: dict, item_id: str, state: str, success: str, action: str) -> bool:
    """Gives the item `state` through the library and records the change in
    the staff record; True when the library took it."""
    info = obj("Information")
    info.AssessInfo(user_id(), item_id, state)
    if not report(info, success):
        return False
    audit.record(
        action,
        f"item {item_id}",
        info_id=item_id,
        before={"state": lib.as_text(row.get("InfState_ID"))},
        after={"state": state},
    )
    return True


@bp.route("/items/<item_id>/assess", methods=["POST"])
def assess(item_id: str):
    row, _level = item_row(item_id, REVIEW)
    state = request.form.get("state", "")
    if state not in DECISIONS:
        abort(400, description=_("Choose a review decision."))
    if assess_recorded(
        row, item_id, state, _("%(decision)s: done.", decision=DECISIONS[state]), "item.assess"
    ):
        if schedule.tick(conn(), ids=[item_id]):
            for note in filter(None, [schedule.notice(conn(), [item_id])]):
                flash(note, "ok")
    return back(url_for("desk.review"))


from . import desk_columns  # noqa: E402,F401 - the column tree and grants screens
