"""CSRF tokens and sign-in throttling."""

from __future__ import annotations

import hmac
import secrets
import threading
import time

from flask import abort, request, session


def csrf_token() -> str:
    """The session's token, made on first use; every form carries it."""
    token = session.get("csrf")
    if not token:
        token = session["csrf"] = secrets.token_urlsafe(32)
    return token


def check_csrf() -> None:
    """Refuses a POST whose csrf_token is missing or not the session's."""
    expected = session.get("csrf")
    sent = request.form.get("csrf_token", "")
    if not expected or not sent or not hmac.compare_digest(expected, sent):
        abort(
            400,
            description=(
                "The form was not sent from this site or has expired. "
                "Reload the page and try again."
            ),
        )


class SignInThrottle:
    """Failed sign-ins per (user, address): the `free`-th failure locks that
    pair out for `base` seconds, and each further one doubles the lock-out,
    up to `ceiling`.
    A success clears the pair. Attempts during a lock-out are refused without
    checking the password."""

    def __init__(self, free: int, base: int, ceiling: int) -> None:
        self.free, self.base, self.ceiling = free, base, ceiling
        self._lock = threading.Lock()
        self._failures: dict[tuple[str, str], tuple[int, float]] = {}

    @staticmethod
    def _key(user: str, address: str) -> tuple[str, str]:
        return (user.strip().lower()[:200], address)

    def wait(self, user: str, address: str) -> int:
        """Seconds until the pair may try again (0: now)."""
        with self._lock:
            count, until = self._failures.get(self._key(user, address), (0, 0.0))
        left = until - time.monotonic()
        return int(left + 0.999) if left > 0 else 0

    def failed(self, user: str, address: str) -> int:
        """Counts a failure; returns the lock-out it starts, in seconds."""
        key = self._key(user, address)
        with self._lock:
            count, _ = self._failures.get(key, (0, 0.0))
            count += 1
            lock = 0
            if count >= self.free:
                lock = min(self.base * 2 ** (count - self.free), self.ceiling)
            self._failures[key] = (count, time.monotonic() + lock)
            if len(self._failures) > 100_000:  # bounded: forget the oldest pairs
                for k in list(self._failures)[:10_000]:
                    del self._failures[k]
        return lock

    def succeeded(self, user: str, address: str) -> None:
        with self._lock:
            self._failures.pop(self._key(user, address), None)
