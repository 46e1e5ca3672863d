"""Publication and end dates. Published lists show the items in the
published states, so dates are honoured by moving items between states
through the library's review call: a published item whose publication date
is still ahead waits in the state "scheduled" (the state it is to take is
kept in web_schedule) and takes it when its time comes; a published item
past its end date goes to the state "withdrawn". The library's lists and
their counts then stay exact, and nothing depends on a page being viewed.

Each worker process runs `tick` every few seconds on its own thread; a
lease row in the database lets only one of them work in each interval."""

from __future__ import annotations

import logging
import os
import secrets
import threading
import time
from datetime import datetime
from typing import Any

import ptolix
from flask_babel import gettext as _

from . import lib, store

log = logging.getLogger(__name__)

PUBLISHED = (4, 5, 6)
SCHEDULED_NAME, SCHEDULED_NOTE = "定时发布", "审核通过，到发布时间后自动发布"
WITHDRAWN_NAME, WITHDRAWN_NOTE = "已下线", "已过结束日期，自动撤下"
_states: dict[str, tuple[int, int]] = {}


def states(conn: "ptolix.Connection") -> tuple[int, int]:
    """The identifiers of the states "scheduled" and "withdrawn", added to
    the state dictionary on first use (the lowest one wins when two workers
    add the same name at once)."""
    if conn.url in _states:
        return _states[conn.url]
    enc = ptolix.create("Encode", conn)

    def lookup() -> dict[str, int]:
        found: dict[str, int] = {}
        for r in lib.rows(enc.GetInfStateList()):
            sid = int(r["InfState_ID"])
            if sid > 6 and (r["InfState_Name"] not in found or sid < found[r["InfState_Name"]]):
                found[r["InfState_Name"]] = sid
        return found

    found = lookup()
    for name, note in ((SCHEDULED_NAME, SCHEDULED_NOTE), (WITHDRAWN_NAME, WITHDRAWN_NOTE)):
        if name not in found:
            enc.AppendInfoState(name, note)
    if len(found) < 2:
        found = lookup()
    _states[conn.url] = (found[SCHEDULED_NAME], found[WITHDRAWN_NAME])
    return _states[conn.url]


def _only(ids: list[str] | None) -> str:
    if ids is None:
        return ""
    return " and Info_ID in (" + ",".join(store.n(i) for i in ids) + ")"


def tick(
    conn: "ptolix.Connection", at: datetime | None = None, ids: list[str] | None = None
) -> int:
    """Applies publication and end dates (to the items `ids`, or to all);
    returns how many items changed state."""
    store.ensure(conn)
    scheduled, withdrawn = states(conn)
    now, only = store.q(store.now_text(at)), _only(ids)
    base = (
        "select Info_ID, InfState_ID, Info_AssessUsr from tPtlx_Information"
        " where Info_IsDeleted = '0'"
    )
    info = ptolix.create("Information", conn)
    changed = 0
    # Published too early: wait, keeping the state to take.
    for item, state, who in store.rows(
        conn, f"{base} and InfState_ID in (4,5,6) and Info_PublicDate > {now}{only}"
    ):
        conn.execute(f"delete from web_schedule where item = {store.n(item)}")
        conn.execute(
            f"insert into web_schedule (item, state) values ({store.n(item)},{store.n(state)})"
        )
        info.AssessInfo(who or "", str(item), str(scheduled))
        changed += 1
    # Due: publish in the kept state.
    for item, state, who in store.rows(
        conn,
        f"{base} and InfState_ID = {scheduled}"
        f" and (Info_PublicDate is null or Info_PublicDate <= {now}){only}",
    ):
        kept = store.rows(conn, f"select state from web_schedule where item = {store.n(item)}")
        target = int(kept[0][0]) if kept and int(kept[0][0]) in PUBLISHED else 4
        info.AssessInfo(who or "", str(item), str(target))
        conn.execute(f"delete from web_schedule where item = {store.n(item)}")
        changed += 1
    # Past the end date: withdraw.
    for item, state, who in store.rows(
        conn, f"{base} and InfState_ID in (4,5,6) and Info_EndDate <= {now}{only}"
    ):
        info.AssessInfo(who or "", str(item), str(withdrawn))
        changed += 1
    for line in lib.messages(info):
        log.warning("scheduled publication: %s", line)
    return changed


def notice(conn: "ptolix.Connection", ids: list[str]) -> str | None:
    """What the dates did to items just published, for the reviewer."""
    scheduled, withdrawn = states(conn)
    found = store.rows(conn, f"select InfState_ID from tPtlx_Information where 1 = 1{_only(ids)}")
    got = {int(r[0]) for r in found}
    if scheduled in got:
        return _("Its publication date is still ahead: it appears on the site at that time.")
    if withdrawn in got:
        return _("Its end date has passed: it was withdrawn from the site at once.")
    return None


def claim(conn: "ptolix.Connection", owner: str, seconds: int, at: float | None = None) -> bool:
    """Takes the lease for the next `seconds` when no one holds it. One
    update decides: the database lets only one of several workers change
    the row while the lease is free."""
    store.ensure(conn)
    now = int(at if at is not None else time.time())
    taken = conn.execute(
        f"update web_lease set owner = {store.q(owner)}, until_at = {now + max(seconds, 1) - 1}"
        f" where name = 'schedule' and until_at <= {now}"
    )
    if taken == 0 and not store.rows(conn, "select name from web_lease where name = 'schedule'"):
        try:
            conn.execute(
                "insert into web_lease (name, owner, until_at) values"
                f" ('schedule',{store.q(owner)},{now + max(seconds, 1) - 1})"
            )
            return True
        except ptolix.DatabaseError:
            return False  # another worker made the row first
    return taken == 1


class Runner:
    """The scheduler thread of one worker process."""

    def __init__(self, url: str, seconds: int) -> None:
        self.url, self.seconds = url, seconds
        self.owner = f"{os.getpid()}-{secrets.token_hex(4)}"
        self.pid = os.getpid()
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, name="ptolix-schedule", daemon=True)

    def run(self) -> None:
        conn: Any = None
        while not self.stop.wait(self.seconds):
            try:
                conn = conn or ptolix.connect(self.url)
                if claim(conn, self.owner, self.seconds):
                    tick(conn)
            except Exception:  # noqa: BLE001 - a lost database must not end the thread
                log.exception("scheduled publication failed; trying again shortly")
                if conn is not None:
                    try:
                        conn.close()
                    except Exception:  # noqa: BLE001
                        pass
                conn = None


_runner: Runner | None = None
_runner_lock = threading.Lock()


def ensure_running(url: str, seconds: int) -> None:
    """Starts this process's scheduler once (again after a fork)."""
    global _runner
    if seconds <= 0 or (_runner is not None and _runner.pid == os.getpid()):
        return
    with _runner_lock:
        if _runner is None or _runner.pid != os.getpid():
            _runner = Runner(url, seconds)
            _runner.thread.start()
