"""The password rule for every password set through the site: at least
MIN_LENGTH characters and a zxcvbn score of at least MIN_SCORE (zxcvbn
knows the common passwords, names and keyboard patterns). The library
itself stores whatever its callers give it."""

from __future__ import annotations

from zxcvbn import zxcvbn

MIN_LENGTH = 10
MIN_SCORE = 3
MAX_LENGTH = 200
# zxcvbn's time grows steeply with length; the first characters are enough to
# tell a weak password, and a strong start stays strong.
SCORED_PREFIX = 64

RULE = (
    f"A password needs at least {MIN_LENGTH} characters and must not be easy to guess "
    "(no common passwords, names, dates, keyboard rows or repeats)."
)


def problem(password: str, *related: str) -> str | None:
    """Why `password` may not be set (None: it may). `related` are texts the
    password must not lean on: the user name, the full name, the e-mail."""
    if len(password) < MIN_LENGTH:
        return f"The password is too short. {RULE}"
    if len(password) > MAX_LENGTH:
        return f"The password is longer than {MAX_LENGTH} characters."
    result = zxcvbn(password[:SCORED_PREFIX], user_inputs=[r for r in related if r])
    if result["score"] < MIN_SCORE:
        warning = result["feedback"].get("warning") or ""
        return f"The password is too easy to guess. {warning + ' ' if warning else ''}{RULE}"
    return None
