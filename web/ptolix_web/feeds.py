"""What feed readers and search engines fetch: RSS 2.0 feeds of a website
and of each column, the sitemap, robots.txt and the favicon.

XML is built with ElementTree, which escapes every text; characters that
XML 1.0 cannot carry are dropped from stored text first.
"""

from __future__ import annotations

import math
import re
import xml.etree.ElementTree as ET
from datetime import datetime
from email.utils import format_datetime
from typing import Any

from flask import Blueprint, Response, abort, current_app, request, send_from_directory, url_for
from flask_babel import gettext as _

from . import caching, lib
from .context import obj, settings
from .text import summary as text_summary
from .visibility import hidden_ids, hidden_list, is_hidden, shown

bp = Blueprint("feeds", __name__)
bp.after_request(caching.public_response)

ATOM = "http://www.w3.org/2005/Atom"
SITEMAP = "http://www.sitemaps.org/schemas/sitemap/0.9"
ET.register_namespace("atom", ATOM)
_NOT_XML = re.compile("[\x00-\x08\x0b\x0c\x0e-\x1f\ufffe\uffff]")
SUMMARY = 300


def clean(value: Any) -> str:
    return _NOT_XML.sub("", lib.as_text(value))


def _xml(root: ET.Element, mimetype: str) -> Response:
    body = ET.tostring(root, encoding="utf-8", xml_declaration=True)
    return Response(body, mimetype=mimetype)


def _child(parent: ET.Element, tag: str, text: Any = None, **attrs: str) -> ET.Element:
    el = ET.SubElement(parent, tag, attrs)
    if text is not None:
        el.text = clean(text)
    return el


def _site_and_sys() -> tuple[str, dict, str]:
    from .public import _site

    arg = request.args.get("site", "")
    site_id = arg if lib.is_id(arg) else str(settings().site_id)
    site, sys_id = _site(site_id)
    return site_id, site, sys_id


def _home_url(site_id: str) -> str:
    if site_id == str(settings().site_id):
        return url_for("public.home", _external=True)
    return url_for("public.site_home", site_id=site_id, _external=True)


def _site_title(site: dict) -> str:
    return clean(site.get("WebSite_Title") or site.get("WebSite_Name") or "Ptolix")


def published_page(site_id: str, sys_id: str, column_id: str, size: int, page: int = 1):
    """One page of published, shown items (of a column's subtree when given)
    and the object that counted them."""
    info = obj("Information", size)
    if column_id and not hidden_ids():
        # Nothing is hidden: the column's own list, the fastest form.
        items = info.GetTopNPublishedInfoList(site_id, sys_id, column_id, str(size))
    else:
        items = info.SearchPublishedInfoList(
            site_id, sys_id, column_id, "", hidden_list(), str(page)
        )
    return lib.rows(items), info


def _when(row: dict) -> datetime | None:
    for key in ("Info_PublicDate", "Info_AssessTime", "Info_SystemTime"):
        value = row.get(key)
        if isinstance(value, datetime):
            return value
    return None


def _rss(title: str, link: str, description: str, items: list[dict]) -> Response:
    rss = ET.Element("rss", {"version": "2.0"})
    channel = _child(rss, "channel")
    _child(channel, "title", title)
    _child(channel, "link", link)
    _child(channel, "description", description or title)
    _child(channel, "language", "zh")
    _child(channel, f"{{{ATOM}}}link", href=request.url, rel="self", type="application/rss+xml")
    dates = [d for d in (_when(r) for r in items) if d]
    if dates:
        _child(channel, "lastBuildDate", format_datetime(max(dates).astimezone()))
    reader = obj("Information")
    for row in items:
        url = url_for("public.item", item_id=row["Info_ID"], _external=True)
        full = lib.first(reader.GetInfo(str(row["Info_ID"]))) or {}
        entry = _child(channel, "item")
        _child(entry, "title", row.get("Info_Title"))
        _child(entry, "link", url)
        _child(entry, "guid", url, isPermaLink="true")
        when = _when(row)
        if when:
            _child(entry, "pubDate", format_datetime(when.astimezone()))
        summary = clean(text_summary(full.get("Info_Content"), SUMMARY))
        if summary:
            _child(entry, "description", summary)
    return _xml(rss, "application/rss+xml")


@bp.route("/rss")
@bp.route("/feed")
def site_feed():
    site_id, site, sys_id = _site_and_sys()
    items, _pages = published_page(site_id, sys_id, "", settings().feed_size)
    home = _home_url(site_id)
    return _rss(_site_title(site), home, clean(site.get("WebSite_Description")), items)


@bp.route("/columns/<column_id>/feed")
def column_feed(column_id: str):
    from .public import _column_site, _site

    if not lib.is_id(column_id):
        abort(404, description=_("There is no such column."))
    row = lib.first(obj("Column").GetColumn(str(settings().sys_id), column_id))
    if row is None or row.get("Column_IsDeleted") == "1" or is_hidden(row):
        abort(404, description=_("There is no such column."))
    site_id = _column_site(row)
    site, sys_id = _site(site_id)
    items, _pages = published_page(site_id, sys_id, column_id, settings().feed_size)
    title = f"{clean(row.get('Column_Name'))} · {_site_title(site)}"
    link = url_for("public.column", column_id=column_id, _external=True)
    return _rss(title, link, clean(row.get("Column_Description")), items)


# --- the sitemap ---


def _pages(site_id: str, sys_id: str) -> list[tuple[str, datetime | None]]:
    """The site's own pages: home, links and every shown column."""
    cols = shown(lib.rows(obj("Column").GetColumnList(sys_id, site_id)))
    out: list[tuple[str, datetime | None]] = [
        (_home_url(site_id), None),
        (url_for("public.links", _external=True), None),
    ]
    out += [
        (url_for("public.column", column_id=c["Column_ID"], _external=True), None) for c in cols
    ]
    return out


def _item_urls(items: list[dict]) -> list[tuple[str, datetime | None]]:
    return [
        (url_for("public.item", item_id=r["Info_ID"], _external=True), _when(r)) for r in items
    ]


def _urlset(urls: list[tuple[str, datetime | None]]) -> Response:
    root = ET.Element("urlset", {"xmlns": SITEMAP})
    for loc, when in urls:
        url = _child(root, "url")
        _child(url, "loc", loc)
        if when:
            _child(url, "lastmod", when.strftime("%Y-%m-%d"))
    return _xml(root, "application/xml")


@bp.route("/sitemap.xml")
def sitemap():
    """One file while every address fits in it; beyond that an index of the
    pages' file and the items' files, each of at most `sitemap_size`."""
    site_id, _website, sys_id = _site_and_sys()
    size = settings().sitemap_size
    pages = _pages(site_id, sys_id)
    items, info = published_page(site_id, sys_id, "", size)
    total = int(info.RecordCount or 0) if items else 0
    if len(pages) + total <= size:
        return _urlset(pages + _item_urls(items))
    root = ET.Element("sitemapindex", {"xmlns": SITEMAP})
    files = [
        url_for("feeds.sitemap_pages", n=n, _external=True)
        for n in range(1, math.ceil(len(pages) / size) + 1)
    ]
    files += [
        url_for("feeds.sitemap_items", n=n, _external=True)
        for n in range(1, math.ceil(total / size) + 1)
    ]
    for loc in files:
        _child(_child(root, "sitemap"), "loc", loc)
    return _xml(root, "application/xml")


@bp.route("/sitemap-pages-<int:n>.xml")
def sitemap_pages(n: int):
    site_id, _website, sys_id = _site_and_sys()
    size = settings().sitemap_size
    pages = _pages(site_id, sys_id)[(n - 1) * size : n * size] if n >= 1 else []
    if not pages:
        abort(404, description=_("There is no such sitemap file."))
    return _urlset(pages)


@bp.route("/sitemap-items-<int:n>.xml")
def sitemap_items(n: int):
    site_id, _website, sys_id = _site_and_sys()
    size = settings().sitemap_size
    items, info = published_page(site_id, sys_id, "", size, n)
    if n < 1 or n > int(info.PageCount or 0):
        abort(404, description=_("There is no such sitemap file."))
    return _urlset(_item_urls(items))


@bp.route("/robots.txt")
def robots():
    sitemap_url = url_for("feeds.sitemap", _external=True)
    text = (
        "User-agent: *\n"
        "Disallow: /desk/\n"
        "Disallow: /signin\n"
        "Disallow: /search\n"
        "\n"
        f"Sitemap: {sitemap_url}\n"
    )
    return Response(text, mimetype="text/plain")


@bp.route("/favicon.ico")
def favicon():
    return send_from_directory(
        current_app.static_folder,
        "favicon.ico",
        mimetype="image/vnd.microsoft.icon",
        max_age=86400,
    )
