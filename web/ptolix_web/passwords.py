"""The password rule for every password set through the site: at least
MIN_LENGTH characters and a zxcvbn score of at least MIN_SCORE (zxcvbn
knows the common passwords, names and keyboard patterns). The library
itself stores whatever its callers give it."""

from __future__ import annotations

from flask_babel import gettext as _
from zxcvbn import zxcvbn

from .i18n import current

MIN_LENGTH = 10
MIN_SCORE = 3
MAX_LENGTH = 200
# zxcvbn's time grows steeply with length; the first characters are enough to
# tell a weak password, and a strong start stays strong.
SCORED_PREFIX = 64


def rule() -> str:
    """The rule a new password keeps, in the page's language."""
    return _(
        "A password needs at least %(n)s characters and must not be easy to guess "
        "(no common passwords, names, dates, keyboard rows or repeats).",
        n=MIN_LENGTH,
    )


def problem(password: str, *related: str) -> str | None:
    """Why `password` may not be set (None: it may). `related` are texts the
    password must not lean on: the user name, the full name, the e-mail."""
    if len(password) < MIN_LENGTH:
        return _("The password is too short.") + " " + rule()
    if len(password) > MAX_LENGTH:
        return _("The password is longer than %(n)s characters.", n=MAX_LENGTH)
    result = zxcvbn(password[:SCORED_PREFIX], user_inputs=[r for r in related if r])
    if result["score"] < MIN_SCORE:
        # zxcvbn words its hints in English only.
        warning = (result["feedback"].get("warning") or "") if current() == "en" else ""
        return " ".join(filter(None, [_("The password is too easy to guess."), warning, rule()]))
    return None
