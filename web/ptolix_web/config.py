"""Configuration of the newsroom site, read from the environment."""

from __future__ import annotations

import os
import secrets
from dataclasses import dataclass
from pathlib import Path


def _int(name: str, default: int) -> int:
    text = os.environ.get(name, "")
    try:
        return int(text) if text.strip() else default
    except ValueError:
        return default


def _secret(path: Path) -> str:
    """PTOLIX_SECRET, or a random secret kept in a file readable by the owner only."""
    env = os.environ.get("PTOLIX_SECRET", "")
    if env:
        return env
    try:
        text = path.read_text().strip()
        if text:
            return text
    except FileNotFoundError:
        pass
    path.parent.mkdir(parents=True, exist_ok=True)
    text = secrets.token_hex(32)
    # Written under a name of its own and linked into place, so that of
    # several worker processes starting at once one secret wins and every
    # worker reads that one, never a half-written file.
    part = path.with_name(f"{path.name}.{os.getpid()}")
    fd = os.open(part, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "w") as f:
        f.write(text + "\n")
    try:
        os.link(part, path)
    except FileExistsError:
        text = path.read_text().strip()
    finally:
        part.unlink()
    return text


@dataclass
class Settings:
    db_url: str
    secret: str
    site_id: int  # the default website: "/"
    sys_id: int  # the system whose columns the site shows when the site names none
    page_size: int  # published items per column page
    top_n: int  # items per column on a home page
    session_minutes: int
    secure_cookies: bool
    free_failures: int  # failed sign-ins per user and address before the lock-out starts
    lock_seconds: int  # the first lock-out; it doubles with each further failure
    lock_max_seconds: int
    address_free_failures: int  # failed sign-ins from one address, any user names
    user_free_failures: int  # failed sign-ins of one user name, any addresses
    cache_seconds: int  # how long a shared cache may keep a public page for readers
    sitemap_size: int  # addresses per sitemap file (50,000 at most)
    feed_size: int  # items per feed
    media_dir: str  # uploaded files and their resized copies
    upload_mb: int  # the largest file one upload may hold
    schedule_seconds: int  # how often publication and end dates are applied; 0: never
    # The pages' language when the reader chose none and the browser names
    # neither: zh (Chinese, the library's own language) or en.
    language: str = "zh"

    @classmethod
    def from_env(cls, overrides: dict | None = None) -> "Settings":
        o = overrides or {}
        secret_file = Path(os.environ.get("PTOLIX_SECRET_FILE", "var/web-secret"))
        values = dict(
            db_url=os.environ.get("PTOLIX_DB", "sqlite:var/web.db"),
            secret=o.get("secret") or _secret(secret_file),
            site_id=_int("PTOLIX_SITE", 1),
            sys_id=_int("PTOLIX_SYS", 1),
            page_size=_int("PTOLIX_PAGE_SIZE", 10),
            top_n=_int("PTOLIX_TOP_N", 5),
            session_minutes=_int("PTOLIX_SESSION_MINUTES", 120),
            secure_cookies=os.environ.get("PTOLIX_SECURE_COOKIES", "") == "1",
            free_failures=_int("PTOLIX_SIGNIN_FREE_FAILURES", 3),
            lock_seconds=_int("PTOLIX_SIGNIN_LOCK_SECONDS", 5),
            lock_max_seconds=_int("PTOLIX_SIGNIN_LOCK_MAX_SECONDS", 900),
            address_free_failures=_int("PTOLIX_SIGNIN_ADDRESS_FREE_FAILURES", 10),
            user_free_failures=_int("PTOLIX_SIGNIN_USER_FREE_FAILURES", 10),
            cache_seconds=_int("PTOLIX_CACHE_SECONDS", 60),
            sitemap_size=min(max(_int("PTOLIX_SITEMAP_SIZE", 50_000), 1), 50_000),
            feed_size=_int("PTOLIX_FEED_SIZE", 20),
            media_dir=os.environ.get("PTOLIX_MEDIA", "var/media"),
            upload_mb=_int("PTOLIX_UPLOAD_MB", 10),
            schedule_seconds=_int("PTOLIX_SCHEDULE_SECONDS", 30),
            language="en" if os.environ.get("PTOLIX_LANGUAGE", "").strip() == "en" else "zh",
        )
        values.update({k: v for k, v in o.items() if k != "secret"})
        return cls(**values)
