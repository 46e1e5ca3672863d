"""Search: the readers' search over a website's published items and the
desk's search over the items of the columns a user may read.

Both go through the library's searches, so the words match as its column
search matches them: literally, with letter case ignored in every script.
Matching words are marked by the templates from (text, matched) pieces.
"""

from __future__ import annotations

import re

from flask import Blueprint, abort, redirect, render_template, request, url_for
from flask_babel import gettext as _

from . import caching, lib
from .context import obj, page_number, settings, staff_site, staff_sys, user_id
from .text import paragraphs
from .visibility import hidden_list

bp = Blueprint("search", __name__)
bp.after_request(caching.public_response)
desk_bp = Blueprint("desk_search", __name__)
desk_bp.after_request(caching.public_response)  # signed in: never stored

MAX_QUERY = 200
EXCERPT = 160  # characters of content shown around the first match


def words(query: str) -> list[str]:
    """The words the library looks for: the query split at blanks."""
    return query.replace("\u3000", " ").split()


def marked(text: str, found: list[str]) -> list[tuple[str, bool]]:
    """`text` cut into pieces, each flagged when it is one of the words
    (letter case ignored)."""
    if not text or not found:
        return [(text, False)] if text else []
    pattern = re.compile(
        "|".join(re.escape(w) for w in sorted(found, key=len, reverse=True)), re.IGNORECASE
    )
    out: list[tuple[str, bool]] = []
    pos = 0
    for m in pattern.finditer(text):
        if m.start() > pos:
            out.append((text[pos : m.start()], False))
        out.append((m.group(), True))
        pos = m.end()
    if pos < len(text):
        out.append((text[pos:], False))
    return out


def excerpt(content: object, found: list[str]) -> list[tuple[str, bool]]:
    """A stretch of the item's text around the first word found in it."""
    text = " ".join(paragraphs(content))
    if not text:
        return []
    low = text.lower()
    hits = [low.find(w.lower()) for w in found]
    first = min([h for h in hits if h >= 0], default=0)
    start = max(first - EXCERPT // 3, 0)
    piece = text[start : start + EXCERPT]
    piece = ("…" if start else "") + piece + ("…" if start + EXCERPT < len(text) else "")
    return marked(piece, found)


def _query() -> str:
    return request.args.get("q", "").strip()[:MAX_QUERY]


def _paged(info, items, page_text: str) -> dict:
    from .public import _pager

    pages = int(info.PageCount or 0) if items else 0
    current = page_number(page_text, pages) if items is not None else 0
    return dict(
        record_count=int(info.RecordCount or 0) if items else 0,
        page_count=pages,
        current=current,
        pages=_pager(current, pages),
    )


@bp.route("/search")
def public_search():
    from .public import _nav, _site

    site_arg = request.args.get("site", "")
    site_id = site_arg if lib.is_id(site_arg) else str(settings().site_id)
    site, sys_id = _site(site_id)
    query, page_text = _query(), request.args.get("page", "")
    found, results, errors, paging = words(query), [], [], _paged(None, [], "")
    status = 200
    if found:
        info = obj("Information", settings().page_size)
        items = info.SearchPublishedInfoList(site_id, sys_id, "", query, hidden_list(), page_text)
        errors = lib.messages(info)
        status = 400 if items is None else 200
        paging = _paged(info, items, page_text)
        reader = obj("Information")
        for row in lib.rows(items):
            full = lib.first(reader.GetInfo(str(row["Info_ID"]))) or {}
            row["title_marked"] = marked(lib.as_text(row.get("Info_Title")), found)
            row["excerpt"] = excerpt(full.get("Info_Content"), found)
            results.append(row)
    args = {"q": query, **({"site": site_id} if site_arg == site_id else {})}
    return (
        render_template(
            "public/search.html",
            site=site,
            site_id=site_id,
            nav=_nav(site_id, sys_id),
            query=query,
            results=results,
            errors=errors,
            args=args,
            **paging,
        ),
        status,
    )


# --- the desk's search ---

DAY = re.compile(r"\d{4}[-/]\d{1,2}[-/]\d{1,2}")


@desk_bp.before_request
def _signed_in():
    if not user_id():
        return redirect(url_for("auth.signin", next=request.full_path.rstrip("?")))
    return None


@desk_bp.route("/search")
def desk_search():
    from .desk import MODES, MODE_KEYS, _states, _types, access_columns

    query, page_text = _query(), request.args.get("page", "")
    mode = request.args.get("state", "All")
    if mode not in MODE_KEYS:
        mode = "All"
    filters = {k: request.args.get(k, "").strip()[:40] for k in ("type", "start", "end")}
    if filters["type"] and not lib.is_id(filters["type"]):
        abort(400, description=_("The type must be one of the listed types."))
    end = filters["end"] + " 23:59:59" if DAY.fullmatch(filters["end"]) else filters["end"]
    info = obj("Information", 20)
    items = info.SearchAccessInfoList(
        user_id(),
        staff_site(),
        staff_sys(),
        mode,
        query,
        filters["type"],
        filters["start"],
        end,
        page_text,
    )
    found = words(query)
    columns = {c["Column_ID"]: c for c in access_columns()}
    results = lib.rows(items)
    for row in results:
        row["title_marked"] = marked(lib.as_text(row.get("Info_Title")), found)
        row["column"] = columns.get(row.get("Column_ID"))
    return (
        render_template(
            "desk/search.html",
            query=query,
            mode=mode,
            modes=MODES,
            filters=filters,
            types=_types(),
            states=_states(),
            results=results,
            errors=lib.messages(info),
            args={"q": query, "state": mode, **{k: v for k, v in filters.items() if v}},
            **_paged(info, items, page_text),
        ),
        400 if items is None else 200,
    )
