"""Server-side sessions: the cookie holds only a signed random identifier;
the data stays in this process.

The store is a dict guarded by a lock, which suits one gunicorn worker
process with threads (the way scripts/web.sh serves the site). Sessions end
when the process stops, and expire after `lifetime` of inactivity. Several
worker processes would need a shared store instead.
"""

from __future__ import annotations

import secrets
import threading
import time
from datetime import timedelta
from typing import Any

from flask import Flask, Request, Response
from flask.sessions import SessionInterface, SessionMixin
from itsdangerous import BadSignature, Signer
from werkzeug.datastructures import CallbackDict


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

    def regenerate(self) -> None:
        self.rotate = True
        self.modified = True


class SessionStore:
    def __init__(self, lifetime: timedelta) -> None:
        self._lock = threading.Lock()
        self._data: dict[str, tuple[float, dict]] = {}
        self._lifetime = lifetime.total_seconds()
        self._next_sweep = 0.0

    def get(self, sid: str) -> dict | None:
        now = time.monotonic()
        with self._lock:
            found = self._data.get(sid)
            if found is None:
                return None
            if found[0] < now:
                del self._data[sid]
                return None
            return dict(found[1])

    def put(self, sid: str, data: dict) -> None:
        now = time.monotonic()
        with self._lock:
            self._data[sid] = (now + self._lifetime, dict(data))
            if now >= self._next_sweep:
                self._next_sweep = now + 60
                for key in [k for k, v in self._data.items() if v[0] < now]:
                    del self._data[key]

    def touch(self, sid: str) -> None:
        with self._lock:
            found = self._data.get(sid)
            if found is not None:
                self._data[sid] = (time.monotonic() + self._lifetime, found[1])

    def delete(self, sid: str) -> None:
        with self._lock:
            self._data.pop(sid, None)


class ServerSessionInterface(SessionInterface):
    def __init__(self, store: SessionStore) -> None:
        self.store = store

    def _signer(self, app: Flask) -> Signer:
        return Signer(app.secret_key, salt="ptolix-session")

    def open_session(self, app: Flask, request: Request) -> ServerSession:
        cookie = request.cookies.get(self.get_cookie_name(app))
        if cookie:
            try:
                sid = self._signer(app).unsign(cookie).decode()
            except (BadSignature, UnicodeDecodeError):
                sid = None
            if sid:
                data = self.store.get(sid)
                if data is not None:
                    return ServerSession(data, sid=sid)
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
            self.store.touch(session.sid)
            return
        if session.rotate or not session.sid:
            if session.sid:
                self.store.delete(session.sid)
            session.sid = secrets.token_urlsafe(32)
        self.store.put(session.sid, dict(session))
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
