"""Deletes ask first, on a page of their own: the delete form (or link)
leads to a page that says what goes, and only its button, which sends the
same fields with confirm=yes, deletes. No script is needed."""

from __future__ import annotations

from flask import render_template, request


def confirmed() -> bool:
    return request.method == "POST" and request.form.get("confirm") == "yes"


def ask(title: str, what: str, consequences: list[str], cancel: str, refusal: str = ""):
    """The confirmation page; a `refusal` says why it cannot be done and offers no button."""
    fields = [
        (k, v) for k, v in request.values.items(multi=True) if k not in ("csrf_token", "confirm")
    ]
    page = render_template(
        "confirm.html",
        title=title,
        what=what,
        consequences=consequences,
        fields=fields,
        action=request.path,
        cancel=cancel,
        refusal=refusal,
    )
    return page, 409 if refusal else 200
