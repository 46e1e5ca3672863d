"""The administration registers' changes: add, change and delete (after a
confirmation page), each recorded; changes to roles and users move the
access stamp."""

from __future__ import annotations

from flask import abort, flash, redirect, render_template, url_for
from flask_babel import gettext as _

from . import access, audit, confirm, lib, policy
from .admin import Field, Register, _form, _key, _register, bp
from .admin_users import Refusal
from .context import obj, report

F = dict[str, str]


def _row(reg: Register, scope: str, key: F) -> dict:
    """The register's row with `key`, refused with 404 when there is none."""
    o = obj(reg.cls, 0 if reg.paged else None)
    rows = lib.rows(reg.list_call(o, scope, ""))
    row = next((r for r in rows if all(lib.as_text(r.get(k)) == v for k, v in key.items())), None)
    if row is None:
        abort(404, description=_("There is no such row."))
    return row


@bp.route("/<slug>/edit")
def edit(slug: str):
    reg, scope = _register(slug)
    key = _key(reg)
    row = _row(reg, scope, key)
    return render_template("admin/edit.html", reg=reg, scope=scope, row=row, key=key)


# Registers whose changes effective access is computed from.
ACCESS_REGISTERS = {"roles", "users"}


def _fields_of(reg: Register, row: dict, fields: list[Field]) -> F:
    return {f.name: lib.as_text(row.get(f.source)) for f in fields if f.source}


def _consequences(reg: Register, key: F) -> list[str]:
    if reg.slug == "roles":
        n = policy.role_users(key["Role_ID"])
        return [
            _(
                "%(n)s user(s) hold this role or one below it: they lose its grants at their next "
                "request.",
                n=n,
            ),
            _("Roles below it, its grants and its users' assignments stay in the database."),
        ]
    if reg.slug == "users":
        return [
            _("The user's sessions end at once."),
            _("The user's grants stay in the database."),
        ]
    return []


@bp.route("/<slug>/<action>", methods=["POST"])
def act(slug: str, action: str):
    reg, scope = _register(slug)
    back = url_for("admin.register", slug=slug, scope=scope or None)
    o = obj(reg.cls)
    try:
        if action == "add" and reg.add_call:
            form = _form(reg.add_fields)
            reg.add_call(o, scope, form)
            if report(o, _("Added.")):
                audit.record(f"{slug}.add", f"{slug} {next(iter(form.values()), '')}", after=form)
        elif action == "edit" and reg.edit_call:
            key, form = _key(reg), _form(reg.edit_fields)
            back = url_for("admin.edit", slug=slug, scope=scope or None, **_key_args(key))
            before = _fields_of(reg, _row(reg, scope, key), reg.edit_fields)
            reg.edit_call(o, scope, key, form)
            if report(o, _("Saved.")):
                target = f"{slug} {', '.join(key.values())}"
                audit.record(f"{slug}.edit", target, before=before, after=form)
        elif action == "delete" and reg.delete_call:
            key = _key(reg)
            row = _row(reg, scope, key)
            refusal = policy.dictionary_in_use(slug, next(iter(key.values())))
            if refusal or not confirm.confirmed():
                what = ", ".join(f"{label}: {lib.as_text(row.get(f))}" for f, label in reg.columns)
                return confirm.ask(
                    _("Delete this row of %(what)s?", what=str(reg.title).lower()),
                    what,
                    _consequences(reg, key),
                    back,
                    refusal or "",
                )
            reg.delete_call(o, scope, key)
            if report(o, _("Removed.")):
                audit.record(
                    f"{slug}.delete",
                    f"{slug} {', '.join(key.values())}",
                    before=_fields_of(reg, row, reg.edit_fields) or dict(key),
                )
                if slug == "users":
                    access.user_gone(key["Usr_ID"])
        else:
            abort(404, description=_("There is no such action."))
    except Refusal as e:
        flash(str(e), "error")
        return redirect(back)
    if slug in ACCESS_REGISTERS:
        access.changed()
    return redirect(
        back if action != "edit" else url_for("admin.register", slug=slug, scope=scope or None)
    )


def _key_args(key: F) -> dict:
    return {"k_" + k: v for k, v in key.items()}
