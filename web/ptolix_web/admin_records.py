"""Administration screens for sessions and the record of staff actions."""

from __future__ import annotations

from datetime import datetime

from flask import abort, current_app, flash, redirect, render_template, request, session, url_for
from flask_babel import gettext as _

from . import audit, lib
from .admin import bp
from .context import obj


@bp.route("/users/<uid>/sessions", methods=["GET", "POST"])
def sessions(uid: str):
    """A user's live sessions; an administrator ends one or all of them."""
    if len(uid) > 200 or lib.first(obj("User").GetUser(uid)) is None:
        abort(404, description=_("There is no such user."))
    store = current_app.session_interface.store
    if request.method == "POST":
        handle = request.form.get("session", "")
        mine = session.get("uid") == uid
        if handle == "all":
            ended = store.end_user(uid, session.sid if mine else None)
        else:
            ended = store.end(uid, handle[:64])
        if ended:
            audit.record("sessions.end", f"user {uid}", after={"ended": ended})
        flash(f"{ended} session(s) ended.", "ok")
        return redirect(url_for("admin.sessions", uid=uid))
    return render_template(
        "admin/sessions.html", uid=uid, sessions=store.of_user(uid), mine=_own_handle()
    )


def _own_handle() -> str:
    from .sessions import sid_hash

    return sid_hash(session.sid) if session.sid else ""


@bp.route("/audit")
def audit_log():
    """The record of staff actions, newest first, filtered by user and by item."""
    user = (request.args.get("user") or "").strip()[:200]
    item_text = (request.args.get("item") or "").strip()
    if item_text and not lib.is_id(item_text):
        abort(404, description=_("There is no such item."))
    item = int(item_text) if item_text else None
    found = audit.entries(user, item, request.args.get("page", ""))
    return render_template("admin/audit.html", found=found, user=user, item=item_text)


@bp.app_template_filter("epoch")
def epoch(value: float) -> str:
    """Seconds since the epoch as local date and time."""
    return datetime.fromtimestamp(value).strftime("%Y-%m-%d %H:%M:%S")
