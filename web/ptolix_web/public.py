"""Public pages: a website's home page, column pages, item pages and links.
Only published items appear."""

from __future__ import annotations

from flask import Blueprint, abort, render_template, request
from flask_babel import gettext as _

from . import caching, lib, media
from .context import obj, page_number, settings, system_of, website
from .items import pictures_of
from .text import summary
from .visibility import hidden_ids, hidden_list, is_hidden, item_hidden, shown

bp = Blueprint("public", __name__)
bp.after_request(caching.public_response)

PUBLISHED = (4, 5, 6)


def _site(site_id: str | int) -> tuple[dict, str]:
    site = website(site_id)
    if site is None:
        abort(404, description=_("There is no such website."))
    return site, system_of(site)


def _nav(site_id: str, sys_id: str) -> list[dict]:
    """The website's top-level columns (and the shared ones)."""
    return shown(lib.rows(obj("Column").GetChildColumnList(sys_id, site_id, "")))


@bp.route("/")
def home():
    return _home(str(settings().site_id))


@bp.route("/sites/<site_id>/")
def site_home(site_id: str):
    if not lib.is_id(site_id):
        abort(404, description=_("There is no such website."))
    return _home(site_id)


def _home(site_id: str):
    site, sys_id = _site(site_id)
    columns = _nav(site_id, sys_id)
    info = obj("Information")
    top = str(settings().top_n)
    blocks = []
    for c in columns:
        blocks.append({"column": c, "items": _top(site_id, sys_id, str(c["Column_ID"]), top)})
    # Hidden columns' pictures are passed over: a few more are asked for.
    pictures = lib.rows(
        info.GetTopNPictureInfoList(site_id, sys_id, "12" if hidden_ids() else "4")
    )
    pictures = [p for p in pictures if not item_hidden(p)][:4]
    firsts = media.first_pictures([p["Info_ID"] for p in pictures])
    for p in pictures:
        p["picture"] = firsts.get(p["Info_ID"])
    return render_template(
        "public/home.html",
        site=site,
        site_id=site_id,
        nav=columns,
        blocks=blocks,
        pictures=pictures,
        errors=lib.messages(info),
    )


def _top(site_id: str, sys_id: str, column_id: str, top: str) -> list[dict]:
    """A column's first published items, those of hidden sub-columns left out."""
    if not hidden_ids():
        return lib.rows(
            obj("Information").GetTopNPublishedInfoList(site_id, sys_id, column_id, top)
        )
    info = obj("Information", int(top))
    return lib.rows(info.SearchPublishedInfoList(site_id, sys_id, column_id, "", hidden_list()))


def _column_site(column: dict) -> str:
    site = column.get("WebSite_ID")
    return str(site) if isinstance(site, int) and site > 0 else str(settings().site_id)


@bp.route("/columns/<column_id>")
def column(column_id: str):
    if not lib.is_id(column_id):
        abort(404, description=_("There is no such column."))
    sys_id = str(settings().sys_id)
    col = obj("Column")
    row = lib.first(col.GetColumn(sys_id, column_id))
    if row is None or row.get("Column_IsDeleted") == "1" or is_hidden(row):
        abort(404, description=_("There is no such column."))
    site_id = _column_site(row)
    site, sys_id = _site(site_id)
    info = obj("Information", settings().page_size)
    page_text = request.args.get("page", "")
    if hidden_ids():
        # Items homed in hidden columns stay off the list, cross-posted or not.
        items = info.SearchPublishedInfoList(
            site_id, sys_id, column_id, "", hidden_list(), page_text
        )
    else:
        items = info.GetPublishedInfoList(site_id, sys_id, column_id, page_text)
    errors = lib.messages(info)
    record_count, page_count = int(info.RecordCount or 0), int(info.PageCount or 0)
    current = page_number(page_text, page_count) if items is not None else 0
    status = 400 if items is None else 200
    items = lib.rows(items)
    firsts = media.first_pictures([i["Info_ID"] for i in items])
    for i in items:
        i["picture"] = firsts.get(i["Info_ID"])
    return (
        render_template(
            "public/column.html",
            site=site,
            site_id=site_id,
            nav=_nav(site_id, sys_id),
            column=row,
            path=lib.rows(col.GetFatherColumnList(sys_id, column_id)),
            children=shown(lib.rows(col.GetChildColumnList(sys_id, site_id, column_id))),
            items=items,
            errors=errors,
            record_count=record_count,
            page_count=page_count,
            current=current,
            pages=_pager(current, page_count),
        ),
        status,
    )


def _pager(current: int, count: int) -> list[int | None]:
    """Page numbers to link: the first, the last and two either side of the
    current one; None marks a gap."""
    if count <= 1:
        return []
    shown = sorted({1, count, *range(max(1, current - 2), min(count, current + 2) + 1)})
    out: list[int | None] = []
    for n in shown:
        if out and n - (out[-1] or 0) > 1:
            out.append(None)
        out.append(n)
    return out


@bp.route("/items/<item_id>")
def item(item_id: str):
    if not lib.is_id(item_id):
        abort(404, description=_("There is no such item."))
    row = lib.first(obj("Information").GetInfo(item_id))
    if row is None or row.get("InfState_ID") not in PUBLISHED or row.get("Info_IsDeleted") == "1":
        abort(404, description=_("There is no such item, or it is not published."))
    return story_page(row)


def story_page(row: dict, preview: bool = False) -> str:
    """An item's page as readers get it; a preview shows it in any state."""
    item_id = str(row["Info_ID"])
    info = obj("Information")
    site_id = (
        str(row["WebSite_ID"])
        if isinstance(row.get("WebSite_ID"), int)
        else str(settings().site_id)
    )
    site, sys_id = _site(site_id)
    col = obj("Column")
    column_row = lib.first(col.GetColumn(str(row["Sys_ID"]), str(row["Column_ID"])))
    if is_hidden(column_row) and not preview:
        abort(404, description=_("There is no such item, or it is not published."))
    return render_template(
        "public/item.html",
        site=site,
        site_id=site_id,
        nav=_nav(site_id, sys_id),
        item=row,
        column=column_row,
        attachments=lib.rows(info.GetInfoAttachList(item_id)),
        files={m.attach: m for m in media.of_items([item_id])},
        pictures=pictures_of(item_id),
        preview=preview,
        description=summary(row.get("Info_Content")),
    )


@bp.route("/links")
def links():
    site_id = str(settings().site_id)
    site, sys_id = _site(site_id)
    link = obj("Link")
    classes = []
    for c in lib.rows(link.GetLinkClassList()):
        classes.append(
            {"cls": c, "links": lib.rows(link.GetClassLinkList(str(c["LinkClass_ID"])))}
        )
    return render_template(
        "public/links.html",
        site=site,
        site_id=site_id,
        nav=_nav(site_id, sys_id),
        classes=classes,
        errors=lib.messages(link),
    )
