"""Sign-in, sign-out and a user's own password. A successful sign-in
rebuilds the user's access; access.follow() keeps it current afterwards."""

from __future__ import annotations

from flask import (
    Blueprint,
    abort,
    current_app,
    flash,
    redirect,
    render_template,
    request,
    session,
    url_for,
)
from flask_babel import gettext as _

from . import access, audit, lib, passwords, site_tables
from .context import conn, obj
from .security import check_csrf
from .text import is_local_path

bp = Blueprint("auth", __name__)

MAX_FIELD = 200


def _throttle():
    return current_app.extensions["ptolix_throttle"]


@bp.before_app_request
def follow_access():
    access.follow()


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
    if not user_id or len(user_id) > MAX_FIELD or len(password) > MAX_FIELD or "\0" in user_id:
        error = _("Enter your user name and password.")
    elif (wait := _throttle().wait(user_id, address)) > 0:
        error = _("Too many failed sign-ins. Try again in %(n)s seconds.", n=wait)
        status = 429
    else:
        user = obj("User")
        if user.LoginVertify(user_id, password):
            _throttle().succeeded(user_id, address)
            gen = site_tables.stamp(conn())
            row = access.rebuild(user_id) or {}
            session.clear()
            session.regenerate()
            session.access_gen = gen
            access.start(user_id, row)
            flash(_("Signed in as %(name)s.", name=session["name"]), "ok")
            if not (target.startswith("/desk") and is_local_path(target)):
                target = url_for("desk.index")
            return redirect(target)
        lock = _throttle().failed(user_id, address)
        # The library tells a missing user from a wrong password; the page does not.
        error = _("The user name or password is not right.")
        if lock:
            error += " " + _(
                "Too many failed sign-ins: wait %(n)s seconds before the next try.", n=lock
            )
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
    flash(_("Signed out."), "ok")
    return redirect(url_for("public.home"))


@bp.route("/desk/password", methods=["GET", "POST"])
def password():
    """A signed-in user changes their own password; their other sessions end."""
    uid = session.get("uid")
    if not uid:
        return redirect(url_for("auth.signin", next="/desk/password"))
    if request.method == "GET":
        return render_template("password.html", rule=passwords.rule())
    check_csrf()
    current = request.form.get("current", "")
    new = request.form.get("new", "")
    errors: dict[str, str] = {}
    user = obj("User")
    row = lib.first(user.GetUser(uid))
    if row is None:
        abort(403, description=_("Sign in first."))
    address = request.remote_addr or "?"
    if (wait := _throttle().wait(uid, address)) > 0:
        errors["current"] = _("Too many failed tries. Try again in %(n)s seconds.", n=wait)
    elif len(current) > MAX_FIELD or not user.LoginVertify(uid, current):
        _throttle().failed(uid, address)
        errors["current"] = _("This is not your current password.")
    elif new != request.form.get("repeat", ""):
        errors["repeat"] = _("The two new passwords differ.")
    elif problem := passwords.problem(new, uid, lib.as_text(row.get("Usr_Name"))):
        errors["new"] = problem
    if errors:
        return render_template("password.html", rule=passwords.rule(), field_errors=errors), 422
    user.ModifyUser(
        uid,
        uid,
        lib.as_text(row.get("Role_ID")),
        lib.as_text(row.get("Usr_Name")),
        new,
        lib.as_text(row.get("Usr_Email")),
    )
    if lib.messages(user):
        return (
            render_template("password.html", rule=passwords.rule(), errors=lib.messages(user)),
            422,
        )
    ended = access.end_sessions(uid)
    session["pw"] = access.password_mark(lib.first(user.GetUser(uid)))
    audit.record("password", f"user {uid}", after={"password": "(changed)"})
    flash(
        _("Your password was changed.")
        + (" " + _("%(n)s other session(s) were signed out.", n=ended) if ended else ""),
        "ok",
    )
    return redirect(url_for("desk.index"))
