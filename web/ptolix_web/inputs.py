"""Form input the library would refuse, caught before the call, and the
library's own refusals shown next to the field they concern. A refused
statement's raw database text is logged, never shown."""

from __future__ import annotations

import re
from typing import Any

from flask import current_app
from flask_babel import gettext as _

import ptolix

from . import lib

INT_MAX = 2**31 - 1

# The item methods' arguments and the form fields that fill them.
ITEM_ARGS = {
    "pInfoType": "type",
    "pTitle": "title",
    "pContent": "content",
    "pPubDate": "pub",
    "pEndDate": "end",
    "pUrl": "url",
}
NUMBER_FIELDS = {"type"}


def field_errors(form: dict[str, str]) -> dict[str, str]:
    """Messages for fields the library cannot take: a NUL character in any
    text, a number field that is not a whole number in range."""
    errors = {}
    for name, value in form.items():
        if "\0" in value:
            errors[name] = _(
                "This field holds a NUL character, which cannot be stored. Remove it."
            )
        elif (
            name in NUMBER_FIELDS and value and not (value.isdigit() and 0 < int(value) <= INT_MAX)
        ):
            errors[name] = _("Choose a value from the list.")
    return errors


def refusals(obj: Any, args: dict[str, str] = ITEM_ARGS) -> tuple[dict[str, str], list[str]]:
    """The object's `Errors` as (messages by field, other messages). Type
    mismatches (13) and overflows (6) naming an argument go to its field; a
    refused statement shows as one plain sentence."""
    fields: dict[str, str] = {}
    general: list[str] = []
    for line in lib.error_lines(obj):
        number, message = line.number, line.message
        if not message:
            continue
        if number in (13, 6):
            arg = next((a for a in args if re.search(rf"\b{a}\b", message)), None)
            if arg:
                fields.setdefault(args[arg], _("The library refused this value:") + " " + message)
                continue
        if number == ptolix.STATEMENT_REFUSED:
            current_app.logger.error("statement refused: %s", line.original)
            message = _("The database refused the change; nothing was saved.")
        elif number is not None:
            message = _("%(message)s (error %(n)s)", message=message, n=number)
        if line.original != lib.NO_RECORDS and message not in general:
            general.append(message)
    return fields, general
