"""Server-side sessions in the site's database: the cookie holds only a
signed random identifier, the data lives in `web_session` (site_tables.py), so
every worker process and every machine serving the site sees the same
sessions, and signing out, or an administrator ending a session, holds
everywhere at the next request.

A session expires after `lifetime` without a request. Its row is written
when its data changes; otherwise its expiry is moved on at most once a
minute, so a page view costs one keyed read.
"""

from __future__ import annotations

import hashlib
import json
import secrets
import time
from dataclasses import dataclass
from datetime import timedelta
from typing import Any, Callable

from flask import Flask, Request, Response, request
from flask.sessions import SessionInterface, SessionMixin
from itsdangerous import BadSignature, Signer
from werkzeug.datastructures import CallbackDict

import ptolix

from . import site_tables
from .site_tables import num, query, text

TOUCH_SECONDS = 60  # a session's expiry moves on at most this often
SWEEP_SECONDS = 300  # expired rows are removed by each process this often


def sid_hash(sid: str) -> str:
    return hashlib.sha256(sid.encode()).hexdigest()


class ServerSession(CallbackDict, SessionMixin):
    def __init__(
        self, initial: dict | None = None, sid: str | None = None, new: bool = False
    ) -> None:
        def on_update(_self: Any) -> None:
            self.modified = True

        super().__init__(initial or {}, on_update)
        self.sid = sid
        self.new = new
        self.modified = False
        self.rotate = False  # a new identifier at the next save (sign-in, sign-out)
        self.seen = 0.0
        self.access_gen = 0  # the access stamp the user's access was last rebuilt at
        self.stamp = 0  # the access stamp as it stood when the session was read

    def regenerate(self) -> None:
        self.rotate = True
        self.modified = True


@dataclass
class SessionInfo:
    """One live session as an administrator sees it."""

    handle: str  # the row's key: the hash, never the identifier itself
    created: float
    seen: float
    expires: float
    address: str
    agent: str


class SessionStore:
    """The session rows, reached through the connection `conn()` gives."""

    def __init__(self, conn: Callable[[], "ptolix.Connection"], lifetime: timedelta) -> None:
        self._conn = conn
        self.lifetime = lifetime.total_seconds()
        self._next_sweep = 0.0

    def load(self, sid: str) -> ServerSession | None:
        rows = query(
            self._conn(),
            "select data, expires, seen, access_gen, "
            "(select n from web_stamp where name = 'access') "
            f"from web_session where sid_hash = {text(sid_hash(sid))}",
        )
        if not rows:
            return None
        data, expires, seen, access_gen, current = rows[0]
        if float(expires) < time.time():
            self.delete(sid)
            return None
        try:
            values = json.loads(data)
        except ValueError:
            values = {}
        s = ServerSession(values if isinstance(values, dict) else {}, sid=sid)
        s.seen, s.access_gen, s.stamp = float(seen), int(access_gen), int(current or 0)
        return s

    def save(self, s: ServerSession, fresh: bool, address: str, agent: str) -> None:
        """Writes the session's data: a new row for a `fresh` identifier, else
        the existing row only, so a session ended meanwhile stays ended."""
        now = time.time()
        conn = self._conn()
        data = json.dumps(dict(s), ensure_ascii=False, separators=(",", ":"))
        uid = s.get("uid")
        if not fresh:
            site_tables.execute(
                conn,
                f"update web_session set data = {text(data)}, usr_id = {text(uid)}, "
                f"seen = {num(now)}, expires = {num(now + self.lifetime)}, "
                f"access_gen = {num(s.access_gen)} where sid_hash = {text(sid_hash(s.sid))}",
            )
        else:
            site_tables.execute(
                conn,
                "insert into web_session (sid_hash, usr_id, data, created, seen, expires, "
                f"access_gen, address, agent) values ({text(sid_hash(s.sid))}, {text(uid)}, "
                f"{text(data)}, {num(now)}, {num(now)}, {num(now + self.lifetime)}, "
                f"{num(s.access_gen)}, {text(address[:100])}, {text(agent[:300])})",
            )
        s.seen = now
        self._sweep(now)

    def touch(self, s: ServerSession) -> None:
        """Moves the expiry on, at most once a minute."""
        now = time.time()
        if now - s.seen < TOUCH_SECONDS:
            return
        site_tables.execute(
            self._conn(),
            f"update web_session set seen = {num(now)}, expires = {num(now + self.lifetime)} "
            f"where sid_hash = {text(sid_hash(s.sid))}",
        )
        s.seen = now

    def mark_access(self, s: ServerSession, gen: int) -> None:
        """Records that the session's user was rebuilt at stamp `gen`."""
        s.access_gen = gen
        if s.sid:
            site_tables.execute(
                self._conn(),
                f"update web_session set access_gen = {num(gen)} "
                f"where sid_hash = {text(sid_hash(s.sid))}",
            )

    def delete(self, sid: str) -> None:
        site_tables.execute(
            self._conn(), f"delete from web_session where sid_hash = {text(sid_hash(sid))}"
        )

    def end_user(self, uid: str, keep: str | None = None) -> int:
        """Ends every session of user `uid`, except the one whose identifier is `keep`."""
        sql = f"delete from web_session where usr_id = {text(uid)}"
        if keep:
            sql += f" and sid_hash <> {text(sid_hash(keep))}"
        return site_tables.execute(self._conn(), sql)

    def end(self, uid: str, handle: str) -> int:
        """Ends one session of user `uid`, named by its handle."""
        return site_tables.execute(
            self._conn(),
            f"delete from web_session where usr_id = {text(uid)} and sid_hash = {text(handle)}",
        )

    def of_user(self, uid: str) -> list[SessionInfo]:
        rows = query(
            self._conn(),
            "select sid_hash, created, seen, expires, address, agent from web_session "
            f"where usr_id = {text(uid)} and expires > {num(time.time())} order by seen desc",
        )
        return [
            SessionInfo(r[0], float(r[1]), float(r[2]), float(r[3]), r[4] or "", r[5] or "")
            for r in rows
        ]

    def _sweep(self, now: float) -> None:
        if now < self._next_sweep:
            return
        self._next_sweep = now + SWEEP_SECONDS
        site_tables.execute(self._conn(), f"delete from web_session where expires < {num(now)}")


class ServerSessionInterface(SessionInterface):
    def __init__(self, store_: SessionStore) -> None:
        self.store = store_

    def _signer(self, app: Flask) -> Signer:
        return Signer(app.secret_key, salt="ptolix-session")

    def open_session(self, app: Flask, request: Request) -> ServerSession:
        cookie = request.cookies.get(self.get_cookie_name(app))
        # Static files never read the session: no database read for them.
        if cookie and not request.path.startswith(app.static_url_path + "/"):
            try:
                sid = self._signer(app).unsign(cookie).decode()
            except (BadSignature, UnicodeDecodeError):
                sid = None
            if sid:
                found = self.store.load(sid)
                if found is not None:
                    return found
        return ServerSession(new=True)

    def save_session(  # type: ignore[override]
        self, app: Flask, session: ServerSession, response: Response
    ) -> None:
        name = self.get_cookie_name(app)
        domain = self.get_cookie_domain(app)
        path = self.get_cookie_path(app)
        if not session:
            if session.sid:
                self.store.delete(session.sid)
                response.delete_cookie(name, domain=domain, path=path)
            return
        if session.sid and not session.modified:
            self.store.touch(session)
            return
        fresh = session.rotate or not session.sid
        if fresh:
            if session.sid:
                self.store.delete(session.sid)
            session.sid = secrets.token_urlsafe(32)
            session.rotate = False
        self.store.save(
            session, fresh, request.remote_addr or "", request.headers.get("User-Agent", "")
        )
        response.set_cookie(
            name,
            self._signer(app).sign(session.sid.encode()).decode(),
            httponly=True,
            samesite="Lax",
            secure=self.get_cookie_secure(app),
            domain=domain,
            path=path,
        )
        response.vary.add("Cookie")
