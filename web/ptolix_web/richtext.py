"""Formatted item text: paragraphs, two heading levels, bold, italic, links,
lists, quotes and the item's own pictures. Everything else is taken out,
once when an item is saved and again whenever a page shows it."""

from __future__ import annotations

import functools
import re
import threading
from html import escape
from typing import Any, Mapping

from bleach.sanitizer import Cleaner
from html5lib.filters.base import Filter
from markupsafe import Markup

KEPT = ["p", "h2", "h3", "strong", "em", "a", "ul", "ol", "li", "blockquote", "img", "br"]
# What pasted or older text may hold, and the kept tag it becomes.
RENAMED = {
    "b": "strong",
    "i": "em",
    "h1": "h2",
    "h4": "h3",
    "h5": "h3",
    "h6": "h3",
    "div": "p",
}
ATTRIBUTES = {"a": ["href"], "img": ["src", "alt"]}
_DROPPED_WITH_TEXT = re.compile(
    r"<(script|style|template|title|head|xml|iframe|object)\b.*?</\1\s*>", re.I | re.S
)
_MARKUP = re.compile(r"<[a-zA-Z!/]")
_MEDIA = re.compile(r"^/media/(\d{1,12})-[0-9a-f]{8}(?:\.(?:story|card|thumb))?\.[a-z0-9]{2,4}$")

# The pictures text may show: upload number -> (address, width, height) of
# the story copy.
Pictures = Mapping[int, "tuple[str, int, int]"]


class _Shape(Filter):
    """Renames tags to the kept set, keeps only the site's own pictures (at
    their story size, with width and height), and marks links as outside."""

    def __init__(self, source: Any, pictures: Pictures | None) -> None:
        super().__init__(source)
        self.pictures = pictures

    def __iter__(self):
        for token in super().__iter__():
            kind = token["type"]
            if kind in ("StartTag", "EndTag", "EmptyTag"):
                token["name"] = RENAMED.get(token["name"], token["name"])
                if token["name"] == "img":
                    token = self._picture(token)
                    if token is None:
                        continue
                elif token["name"] == "a" and kind == "StartTag":
                    token["data"][(None, "rel")] = "nofollow noopener"
            yield token

    def _picture(self, token: dict) -> dict | None:
        data = token["data"]
        m = _MEDIA.match(data.get((None, "src"), ""))
        found = self.pictures.get(int(m.group(1))) if m and self.pictures else None
        if found is None:
            return None
        src, width, height = found
        alt = data.get((None, "alt"), "")
        token["data"] = {
            (None, "src"): src,
            (None, "alt"): alt,
            (None, "width"): str(width),
            (None, "height"): str(height),
        }
        return token


_local = threading.local()


def _cleaner() -> Cleaner:
    """This thread's cleaner: making one costs more than cleaning a story."""
    cleaner = getattr(_local, "cleaner", None)
    if cleaner is None:
        cleaner = _local.cleaner = Cleaner(
            tags=KEPT + list(RENAMED),
            attributes=ATTRIBUTES,
            protocols=["http", "https", "mailto"],
            strip=True,
            strip_comments=True,
        )
    return cleaner


def clean(text: str, pictures: Pictures | None = None) -> str:
    """The kept subset of `text`; plain text (no markup) becomes paragraphs."""
    if not text:
        return ""
    if not _MARKUP.search(text):
        return "".join(f"<p>{escape(p.strip())}</p>" for p in text.splitlines() if p.strip())
    text = _DROPPED_WITH_TEXT.sub("", text)
    cleaner = _cleaner()
    cleaner.filters = [lambda source: _Shape(source, pictures)]
    out = cleaner.clean(text)
    out = re.sub(r"<p>\s*</p>", "", out)
    return out.strip()


def render(text: Any, pictures: Pictures | None = None) -> Markup:
    """Stored text as readers get it, cleaned again. The parser is slow (a
    story of a few kilobytes takes milliseconds), so the latest results are
    kept by text and pictures."""
    return Markup(
        _render(text if isinstance(text, str) else "", frozenset((pictures or {}).items()))
    )


@functools.lru_cache(maxsize=256)
def _render(text: str, pictures: frozenset) -> str:
    return clean(text, dict(pictures))
