"""Error pages' wording in the page's language."""

from __future__ import annotations

from flask_babel import gettext as _, lazy_gettext as _l
from werkzeug.exceptions import HTTPException

# The names of the statuses the site answers with, and werkzeug's
# description of each, used when a view gives none.
NAMES = {
    400: (
        _l("Bad Request"),
        _l("The browser (or proxy) sent a request that this server could not understand."),
    ),
    401: (_l("Unauthorized"), _l("Sign in first.")),
    403: (
        _l("Forbidden"),
        _l(
            "You don't have the permission to access the requested resource. It is either"
            " read-protected or not readable by the server."
        ),
    ),
    404: (
        _l("Not Found"),
        _l(
            "The requested URL was not found on the server. If you entered the URL manually"
            " please check your spelling and try again."
        ),
    ),
    405: (_l("Method Not Allowed"), _l("The method is not allowed for the requested URL.")),
    413: (
        _l("Request Entity Too Large"),
        _l("The data value transmitted exceeds the capacity limit."),
    ),
    429: (
        _l("Too Many Requests"),
        _l("This user has exceeded an allotted request count. Try again later."),
    ),
}


def http_texts(e: HTTPException) -> tuple[str, str]:
    """The title and message of the error page for `e`: a view's own
    description (already in the page's language) is kept."""
    name, default = NAMES.get(e.code or 500, (e.name, None))
    message = e.description
    if default is not None and message == type(e).description:
        message = default
    return str(name), str(message or _("Something went wrong."))
