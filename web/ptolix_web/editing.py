"""The desk's editing screens beside the item form: files, preview,
revisions, sending for review and reviewing several items at once."""

from __future__ import annotations

from flask import Blueprint, abort, flash, redirect, render_template, request, url_for
from flask_babel import gettext as _

from . import audit, lib, media, policy, revisions, schedule
from .context import EDIT, REVIEW, conn, obj, report, user_id
from .desk import DECISIONS, assess_recorded, back, column_row, item_row, signed_in
from .items import after_save, clean_content, display_name

bp = Blueprint("editing", __name__)
bp.before_request(signed_in)


@bp.route("/items/<item_id>/files", methods=["POST"])
def upload(item_id: str):
    row, have = item_row(item_id, EDIT)
    policy.refuse_published_change(row, have)
    done, problems = media.uploads(
        item_id,
        request.files.getlist("file"),
        request.form.get("title", "").strip()[:100],
        request.form.get("alt", "").strip()[:300],
    )
    for p in problems:
        flash(p, "error")
    if done:
        audit.record("files.add", f"item {item_id}", info_id=item_id, after={"files": done})
        flash(_("%(n)s file(s) added.", n=done) if done > 1 else _("The file was added."), "ok")
    elif not problems:
        flash(_("Choose a file to add."), "error")
    return redirect(url_for("desk.item", item_id=item_id))


@bp.route("/items/<item_id>/preview")
def preview(item_id: str):
    row, _level = item_row(item_id, EDIT)
    from .public import story_page

    return story_page(row, preview=True)


@bp.route("/items/<item_id>/submit", methods=["POST"])
def submit(item_id: str):
    """Sends an item the editors kept back to review, or keeps it back."""
    row, _level = item_row(item_id, EDIT)
    state = request.form.get("state")
    if state not in ("1", "2") or row.get("InfState_ID") not in (1, 2):
        abort(400, description=_("Only items still with editors are sent to or kept from review."))
    assess_recorded(
        row,
        item_id,
        state,
        _("Sent for review.") if state == "1" else _("Kept with editors."),
        "item.submit",
    )
    return redirect(url_for("desk.item", item_id=item_id))


@bp.route("/items/<item_id>/revisions")
def history(item_id: str):
    row, _level = item_row(item_id, EDIT)
    found = revisions.history(item_id)
    a, b = request.args.get("a"), request.args.get("b")
    changes = None
    if a and b:
        old, new = revisions.find(item_id, a), revisions.find(item_id, b)
        if old is None or new is None:
            abort(404, description=_("There is no such revision."))
        changes = revisions.diff(old, new)
    return render_template(
        "desk/revisions.html",
        item=row,
        column=column_row(str(row["Column_ID"])),
        revisions=found,
        changes=changes,
        a=a,
        b=b,
        sel_a=a or (str(found[1].number) if len(found) > 1 else ""),
        sel_b=b or (str(found[0].number) if found else ""),
        name=display_name,
    )


@bp.route("/items/<item_id>/revisions/<number>/restore", methods=["POST"])
def restore(item_id: str, number: str):
    row, have = item_row(item_id, EDIT)
    policy.refuse_published_change(row, have)
    rev = revisions.find(item_id, number)
    if rev is None:
        abort(404, description=_("There is no such revision."))
    revisions.keep_earlier(item_id, row)
    info = obj("Information")
    info.ModifyInfo(
        item_id,
        lib.as_text(row.get("InfType_ID")),
        rev.title,
        clean_content(item_id, rev.body),
        rev.pub,
        rev.ends,
        lib.as_text(row.get("Info_Url")),
    )
    if report(info, _("Revision %(n)s is the current version again.", n=rev.number)):
        audit.record(
            "item.restore",
            f"item {item_id}",
            info_id=item_id,
            before={"title": row.get("Info_Title"), "content": row.get("Info_Content")},
            after={"title": rev.title, "content": rev.body, "revision": rev.number},
        )
        after_save(item_id, f"restored revision {rev.number}")
    return redirect(url_for("editing.history", item_id=item_id))


@bp.route("/review/several", methods=["POST"])
def review_several():
    """Publishes, returns or cancels the chosen items in one library call."""
    state = request.form.get("state", "")
    if state not in DECISIONS:
        abort(400, description=_("Choose a review decision."))
    ids = list(dict.fromkeys(request.form.getlist("id")))
    if not ids:
        flash(_("Choose the items first."), "error")
        return back(url_for("desk.review"))
    for i in ids:
        item_row(i, REVIEW)  # every item's column is checked
    info = obj("Information")
    info.AssessInfo(user_id(), ",".join(ids), state)
    if report(info, _("%(decision)s: %(n)s item(s).", decision=DECISIONS[state], n=len(ids))):
        for i in ids:
            audit.record("item.assess", f"item {i}", info_id=i, after={"state": state})
        if schedule.tick(conn(), ids=ids):
            for note in filter(None, [schedule.notice(conn(), ids)]):
                flash(note, "ok")
    return back(url_for("desk.review"))
