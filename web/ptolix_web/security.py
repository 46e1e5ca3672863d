"""CSRF tokens and sign-in throttling."""

from __future__ import annotations

import hmac
import secrets
import time
from dataclasses import dataclass
from typing import Any, Callable

from flask_babel import gettext as _
from flask import abort, request, session

import ptolix

from .site_tables import execute, num, query, text


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
            description=_(
                "The form was not sent from this site or has expired. "
                "Reload the page and try again."
            ),
        )


@dataclass(frozen=True)
class Limit:
    """The `free`-th failure (counting those less than `window` seconds
    apart) locks the key out for `base` seconds, each further one doubling
    the lock-out up to `ceiling`."""

    free: int
    base: int
    ceiling: int
    window: int = 3600


class SignInThrottle:
    """Failed sign-ins counted in the database, so every worker process and
    machine shares them, under three keys at once: the user name typed from
    one address, the address across every user name (spraying), and the user
    name across every address. A sign-in is refused while any of its keys is
    locked, without checking the password. A success clears only the pair
    of user name and address. Names are counted whether or not such a user
    exists, and the answer is the same either way."""

    def __init__(self, conn: Callable[[], Any], pair: Limit, address: Limit, user: Limit) -> None:
        self._conn = conn
        self.limits = {"p": pair, "a": address, "u": user}
        self._next_sweep = 0.0

    @staticmethod
    def _keys(user: str, address: str) -> dict[str, str]:
        name = user.strip().lower()[:200]
        return {"p": f"p:{name}|{address}", "a": f"a:{address}", "u": f"u:{name}"}

    def wait(self, user: str, address: str) -> int:
        """Seconds until a sign-in as `user` from `address` may be tried (0: now)."""
        keys = self._keys(user, address)
        rows = query(
            self._conn(),
            "select max(locked_until) from web_signin_failure where fkey in ("
            + ",".join(text(k) for k in keys.values())
            + ")",
        )
        until = float(rows[0][0]) if rows and rows[0][0] is not None else 0.0
        left = until - time.time()
        return int(left + 0.999) if left > 0 else 0

    def failed(self, user: str, address: str) -> int:
        """Counts a failure under each key; returns the longest lock-out it starts, in seconds."""
        now = time.time()
        conn = self._conn()
        longest = 0
        for kind, key in self._keys(user, address).items():
            limit = self.limits[kind]
            rows = query(
                conn,
                f"select n, last from web_signin_failure where fkey = {text(key)}",
            )
            count = int(rows[0][0]) if rows and now - float(rows[0][1]) <= limit.window else 0
            count += 1
            lock = 0
            if count >= limit.free:
                lock = min(limit.base * 2 ** min(count - limit.free, 30), limit.ceiling)
            values = f"n = {count}, locked_until = {num(now + lock)}, last = {num(now)}"
            if rows:
                execute(
                    conn,
                    f"update web_signin_failure set {values} where fkey = {text(key)}",
                )
            else:
                try:
                    execute(
                        conn,
                        "insert into web_signin_failure (fkey, n, locked_until, last) values ("
                        f"{text(key)}, {count}, {num(now + lock)}, {num(now)})",
                    )
                except ptolix.DatabaseError:  # another worker counted the key first
                    execute(
                        conn,
                        "update web_signin_failure set n = n + 1, "
                        f"last = {num(now)} where fkey = {text(key)}",
                    )
            longest = max(longest, lock)
        self._sweep(conn, now)
        return longest

    def succeeded(self, user: str, address: str) -> None:
        key = self._keys(user, address)["p"]
        execute(self._conn(), f"delete from web_signin_failure where fkey = {text(key)}")

    def _sweep(self, conn: Any, now: float) -> None:
        """Forgets keys that are neither locked nor counting any longer."""
        if now < self._next_sweep:
            return
        self._next_sweep = now + 300
        window = max(limit.window for limit in self.limits.values())
        execute(
            conn,
            "delete from web_signin_failure where "
            f"locked_until < {num(now)} and last < {num(now - window)}",
        )
