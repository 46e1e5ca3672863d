"""Sign-in and sign-out. A successful sign-in rebuilds the user's access,
so the desk sees the grants as they stand at that moment."""

from __future__ import annotations

from flask import (
    Blueprint,
    current_app,
    flash,
    redirect,
    render_template,
    request,
    session,
    url_for,
)

from . import lib
from .context import obj
from .security import check_csrf

bp = Blueprint("auth", __name__)

MAX_FIELD = 200


def _throttle():
    return current_app.extensions["ptolix_throttle"]


@bp.route("/signin", methods=["GET", "POST"])
def signin():
    if request.method == "GET":
        return render_template("signin.html", user="", next=request.args.get("next", ""))
    check_csrf()
    user_id = request.form.get("user", "").strip()
    password = request.form.get("password", "")
    target = request.form.get("next", "")
    address = request.remote_addr or "?"
    error = None
    status = 200
    if not user_id or len(user_id) > MAX_FIELD or len(password) > MAX_FIELD:
        error = "Enter your user name and password."
    elif (wait := _throttle().wait(user_id, address)) > 0:
        error = f"Too many failed sign-ins. Try again in {wait} seconds."
        status = 429
    else:
        user = obj("User")
        if user.LoginVertify(user_id, password):
            _throttle().succeeded(user_id, address)
            user.ClearUsrAccess(user_id)
            user.UpdateUsrAccess(user_id)
            problems = lib.messages(user)
            row = lib.first(user.GetUser(user_id)) or {}
            session.clear()
            session.regenerate()
            session.update(
                uid=user_id,
                name=user.Name or user_id,
                site=user.WebSite if isinstance(user.WebSite, int) else 0,
                admin=row.get("Role_ID") == 1,
            )
            for p in problems:
                flash(p, "error")
            flash(f"Signed in as {user.Name or user_id}.", "ok")
            if not (target.startswith("/desk") and not target.startswith("//")):
                target = url_for("desk.index")
            return redirect(target)
        lock = _throttle().failed(user_id, address)
        # The library tells a missing user from a wrong password; the page does not.
        error = "The user name or password is not right."
        if lock:
            error += f" Too many failed sign-ins: wait {lock} seconds before the next try."
        status = 401
    return (
        render_template("signin.html", user=user_id[:MAX_FIELD], next=target, error=error),
        status,
    )


@bp.route("/signout", methods=["GET", "POST"])
def signout():
    if request.method == "GET":
        return render_template("signout.html")
    check_csrf()
    session.clear()
    session.regenerate()
    flash("Signed out.", "ok")
    return redirect(url_for("public.home"))
