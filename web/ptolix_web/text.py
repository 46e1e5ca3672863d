"""Presentation helpers: item text as paragraphs, dates, link addresses."""

from __future__ import annotations

from datetime import datetime
from html.parser import HTMLParser
from typing import Any

_BLOCKS = {
    "p",
    "div",
    "br",
    "li",
    "h1",
    "h2",
    "h3",
    "h4",
    "h5",
    "h6",
    "tr",
    "blockquote",
    "section",
}


class _Text(HTMLParser):
    """Collects the text of stored content; markup is dropped, never passed on."""

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.parts: list[str] = []
        self.skip = 0

    def handle_starttag(self, tag: str, attrs: Any) -> None:
        if tag in ("script", "style"):
            self.skip += 1
        if tag in _BLOCKS:
            self.parts.append("\n")

    def handle_endtag(self, tag: str) -> None:
        if tag in ("script", "style") and self.skip:
            self.skip -= 1
        if tag in _BLOCKS:
            self.parts.append("\n")

    def handle_data(self, data: str) -> None:
        if not self.skip:
            self.parts.append(data)


def paragraphs(content: Any) -> list[str]:
    """Item content as plain paragraphs. Stored content may hold markup; the
    site shows its text only (the template escapes every paragraph)."""
    if not isinstance(content, str) or not content:
        return []
    if "<" in content:
        parser = _Text()
        parser.feed(content)
        parser.close()
        content = "".join(parser.parts)
    return [p.strip() for p in content.replace("\r\n", "\n").split("\n") if p.strip()]


def format_date(value: Any, with_time: bool = False) -> str:
    if isinstance(value, datetime):
        return value.strftime("%Y-%m-%d %H:%M" if with_time else "%Y-%m-%d")
    return "" if value is None else str(value)


def is_local_path(url: str) -> bool:
    """A path on this site: one slash, then no second slash or backslash (browsers
    read a backslash as a slash, so "/\\host" and "\\\\host" name another host), and
    no control character, which browsers drop from an address."""
    return (
        url.startswith("/")
        and url[1:2] not in ("/", "\\")
        and "\\" not in url
        and not any(ord(c) < 32 or c == "\x7f" for c in url)
    )


def safe_url(value: Any) -> str | None:
    """A link address fit for href: http(s) and site-relative ones only."""
    if not isinstance(value, str):
        return None
    url = value.strip()
    low = url.lower()
    if low.startswith(("http://", "https://")) or is_local_path(url):
        return url
    return None


def summary(content: Any, limit: int = 160) -> str:
    """The start of an item's text, for a meta description or a feed."""
    text = " ".join(paragraphs(content))
    return text if len(text) <= limit else text[:limit].rstrip() + "…"
