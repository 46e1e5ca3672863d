"""Files of items: uploads checked by their content, stored under the media
folder with names the site makes, recorded through the library's upload
and attachment calls; resized copies of pictures; downloads under the
sender's file name with a content type the site chose."""

from __future__ import annotations

import json
import os
import re
import secrets
import warnings
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import magic
from flask import Blueprint, abort, send_file
from flask_babel import gettext as _
from PIL import Image, ImageOps
from werkzeug.datastructures import FileStorage

from . import lib, store
from .context import EDIT, conn, level, obj, settings, user_id

bp = Blueprint("media", __name__)

# Content types taken, with the extension their stored name gets.
ALLOWED = {
    "image/jpeg": "jpg",
    "image/png": "png",
    "image/gif": "gif",
    "image/webp": "webp",
    "application/pdf": "pdf",
    "text/plain": "txt",
    "text/csv": "csv",
    "application/msword": "doc",
    "application/vnd.ms-excel": "xls",
    "application/vnd.ms-powerpoint": "ppt",
    "application/vnd.openxmlformats-officedocument.wordprocessingml.document": "docx",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet": "xlsx",
    "application/vnd.openxmlformats-officedocument.presentationml.presentation": "pptx",
    "application/vnd.oasis.opendocument.text": "odt",
    "application/vnd.oasis.opendocument.spreadsheet": "ods",
    "application/zip": "zip",
    "audio/mpeg": "mp3",
    "video/mp4": "mp4",
}
PICTURE_FORMATS = {
    "image/jpeg": "JPEG",
    "image/png": "PNG",
    "image/gif": "GIF",
    "image/webp": "WEBP",
}
# Resized copies: the story's width, and the boxes of the Pictures block and of lists.
VARIANTS = {"story": (800, 0), "card": (400, 260), "thumb": (160, 100)}
VARIANT_TYPES = {"jpg": "image/jpeg", "png": "image/png", "webp": "image/webp"}
MAX_PIXELS = 40_000_000
MAX_FILES = 10
NAME = re.compile(r"^(\d{1,12})-([0-9a-f]{8})(?:\.(story|card|thumb))?\.([a-z0-9]{2,4})$")
PREFIX = "media/"  # how a stored file's name reads in the item's attachment row


class Refused(Exception):
    """An upload the site does not take; the text says why."""


@dataclass
class Media:
    upload_id: int
    item: int
    attach: int | None
    stored: str
    original: str
    mime: str
    size: int
    width: int | None
    height: int | None
    alt: str

    @property
    def is_picture(self) -> bool:
        return self.mime in PICTURE_FORMATS

    def url(self, variant: str | None = None) -> str:
        return "/media/" + (self.variant_name(variant) if variant else self.stored)

    def variant_name(self, variant: str) -> str:
        stem = self.stored.rsplit(".", 1)[0]
        return f"{stem}.{variant}.{_variant_ext(self.mime)}"

    def variant_size(self, variant: str) -> tuple[int, int]:
        return _fit(self.width or 1, self.height or 1, VARIANTS[variant])


def _variant_ext(mime: str) -> str:
    return {"image/png": "png", "image/gif": "png", "image/webp": "webp"}.get(mime, "jpg")


def _fit(w: int, h: int, box: tuple[int, int]) -> tuple[int, int]:
    bw, bh = box
    if bh:  # a fixed box, cropped to fill
        return bw, bh
    if w <= bw:
        return w, h
    return bw, max(1, round(h * bw / w))


def folder() -> Path:
    path = Path(settings().media_dir)
    path.mkdir(parents=True, exist_ok=True)
    return path


_COLUMNS = "upload_id, item, attach, stored, original, mime, bytes, width, height, alt"


def _from_row(r: list) -> Media:
    return Media(
        int(r[0]), int(r[1]), None if r[2] is None else int(r[2]), r[3], r[4], r[5], int(r[6]),
        None if r[7] is None else int(r[7]), None if r[8] is None else int(r[8]), r[9] or "",
    )  # fmt: skip


def of_items(ids: list[Any]) -> list[Media]:
    """The stored files of the items, oldest first."""
    ids = [int(i) for i in ids if str(i).isdigit()]
    if not ids:
        return []
    c = conn()
    store.ensure(c)
    found = store.rows(
        c,
        f"select {_COLUMNS} from web_media where item in ({','.join(map(str, ids))})"
        " order by upload_id",
    )
    return [_from_row(r) for r in found]


def by_upload(upload_id: int) -> Media | None:
    c = conn()
    store.ensure(c)
    found = store.rows(
        c, f"select {_COLUMNS} from web_media where upload_id = {store.n(upload_id)}"
    )
    return _from_row(found[0]) if found else None


def first_pictures(ids: list[Any]) -> dict[int, Media]:
    """Each item's first picture, for lists and the Pictures block."""
    out: dict[int, Media] = {}
    for m in of_items(ids):
        if m.is_picture and m.item not in out:
            out[m.item] = m
    return out


def editor_list(item_id: str) -> str:
    """The item's pictures for the editor's picture menu, as JSON."""
    return json.dumps(
        [
            {"src": m.url(), "alt": m.alt, "title": m.alt or m.original}
            for m in of_items([item_id])
            if m.is_picture
        ],
        ensure_ascii=False,
    )


def shown_name(name: str) -> str:
    """The sender's file name without its folders or control characters."""
    base = re.split(r"[\\/]", name or "")[-1]
    base = "".join(ch for ch in base if ch.isprintable() and ch not in '"<>|:*?').strip(" .")
    return base[:120] or "file"


def safe_name(name: str, ext: str) -> str:
    """The download name: the sender's, ending in the extension of what the
    file really is."""
    base = shown_name(name)
    if base.rsplit(".", 1)[-1].lower() != ext and not (
        ext == "jpg" and base.lower().endswith(".jpeg")
    ):
        base += "." + ext
    return base


def _read(fs: FileStorage, limit: int) -> bytes:
    data = fs.stream.read(limit + 1)
    if len(data) > limit:
        raise Refused(_("The file is larger than %(n)s MB.", n=limit // 2**20))
    if not data:
        raise Refused(_("The file is empty."))
    return data


def _picture(data: bytes, mime: str) -> Image.Image:
    """Opens a picture and checks that it is what its content said."""
    from io import BytesIO

    Image.MAX_IMAGE_PIXELS = MAX_PIXELS
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("error", Image.DecompressionBombWarning)
            img = Image.open(BytesIO(data))
            if img.format != PICTURE_FORMATS[mime]:
                raise Refused(_("The picture's content does not match its type."))
            img.load()
    except (Image.DecompressionBombError, Image.DecompressionBombWarning):
        raise Refused(_("The picture has too many pixels.")) from None
    except Refused:
        raise
    except Exception:  # noqa: BLE001 - any decoder failure means a broken picture
        raise Refused(_("The picture cannot be read.")) from None
    return ImageOps.exif_transpose(img)


def _write(path: Path, data: bytes) -> None:
    tmp = path.with_name(path.name + ".part")
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def _save_variants(img: Image.Image, m: Media, base: Path) -> None:
    if img.mode not in ("RGB", "RGBA", "L", "LA"):
        img = img.convert("RGBA" if "transparency" in img.info else "RGB")
    ext = _variant_ext(m.mime)
    if ext == "jpg" and img.mode != "RGB":
        img = img.convert("RGB")
    for variant, box in VARIANTS.items():
        size = m.variant_size(variant)
        copy = ImageOps.fit(img, size) if box[1] else img.resize(size, Image.LANCZOS)
        tmp = base / (m.variant_name(variant) + ".part")
        copy.save(tmp, format={"jpg": "JPEG", "png": "PNG", "webp": "WEBP"}[ext], quality=85)
        os.replace(tmp, base / m.variant_name(variant))


def save_upload(item_id: str, fs: FileStorage, title: str, alt: str) -> Media:
    """Checks, stores and records one uploaded file of the item."""
    data = _read(fs, settings().upload_mb * 2**20)
    mime = magic.from_buffer(data[:262144], mime=True)
    if mime not in ALLOWED:
        raise Refused(
            _(
                "Files of type %(type)s are not taken; send pictures (JPEG, PNG, GIF, WebP), "
                "PDF, text or office documents.",
                type=mime,
            )
        )
    ext = ALLOWED[mime]
    img = _picture(data, mime) if mime in PICTURE_FORMATS else None
    up = obj("upload")
    upload_id = up.RecordUploadFile(user_id(), f"item {item_id}")
    if not upload_id or lib.messages(up):
        raise Refused(_("The upload could not be recorded:") + " " + "; ".join(lib.messages(up)))
    original = safe_name(fs.filename or "", ext)
    m = Media(
        int(upload_id), int(item_id), None, f"{int(upload_id)}-{secrets.token_hex(4)}.{ext}",
        original, mime, len(data), img.width if img else None, img.height if img else None,
        (alt or title or "")[:300],
    )  # fmt: skip
    base = folder()
    try:
        _write(base / m.stored, data)
        if img is not None:
            _save_variants(img, m, base)
        m.attach = _record(up, m, title or original)
    except Exception:
        _remove_files(m)
        raise
    return m


def _record(up: Any, m: Media, title: str) -> int | None:
    up.RecordUploadFileName(str(m.upload_id), m.stored)
    info = obj("Information")
    info.AppendInfoAttach(str(m.item), title[:100], PREFIX + m.stored)
    attach = next(
        (
            int(a["Attach_ID"])
            for a in lib.rows(info.GetInfoAttachList(str(m.item)))
            if a.get("Attach_FileName") == PREFIX + m.stored
        ),
        None,
    )
    if attach is None:
        raise Refused(
            _("The attachment could not be recorded:") + " " + "; ".join(lib.messages(info))
        )
    c = conn()
    store.ensure(c)
    c.execute(
        f"insert into web_media ({_COLUMNS}) values ({m.upload_id},{m.item},{attach},"
        f"{store.q(m.stored)},{store.q(m.original)},{store.q(m.mime)},{m.size},"
        f"{store.n(m.width)},{store.n(m.height)},{store.q(m.alt)})"
    )
    return attach


def _remove_files(m: Media) -> None:
    base = Path(settings().media_dir)
    names = [m.stored] + ([m.variant_name(v) for v in VARIANTS] if m.is_picture else [])
    for name in names:
        try:
            (base / name).unlink()
        except FileNotFoundError:
            pass


def attachment_removed(item_id: str, attach_id: str) -> None:
    """Removes the files of an attachment the library no longer lists."""
    for m in of_items([item_id]):
        if m.attach is not None and str(m.attach) == attach_id:
            _forget(m)


def item_deleted(item_id: str) -> None:
    """A deleted item keeps no files: each one's attachment row goes too."""
    info = obj("Information")
    for m in of_items([item_id]):
        if m.attach is not None:
            info.DeleteInfoAttach(str(m.item), str(m.attach))
        _forget(m)


def _forget(m: Media) -> None:
    _remove_files(m)
    conn().execute(f"delete from web_media where upload_id = {m.upload_id}")


def uploads(item_id: str, files: list[FileStorage], title: str, alt: str) -> tuple[int, list[str]]:
    """Stores the files sent with a form; the count stored and what was refused."""
    files = [f for f in files if f and f.filename]
    if len(files) > MAX_FILES:
        return 0, [_("Send at most %(n)s files at once.", n=MAX_FILES)]
    done, problems = 0, []
    for fs in files:
        try:
            save_upload(item_id, fs, title if len(files) == 1 else "", alt)
            done += 1
        except Refused as e:
            problems.append(f"{shown_name(fs.filename or '')}: {e}")
    return done, problems


def readable(item: dict | None) -> bool:
    """Published items' files are public; others' only for their column's staff."""
    if item is None or item.get("Info_IsDeleted") == "1":
        return False
    if item.get("InfState_ID") in (4, 5, 6):
        return True
    return bool(user_id()) and level(str(item["Column_ID"])) >= EDIT


@bp.route("/media/<name>")
def serve(name: str):
    match = NAME.match(name)
    m = by_upload(int(match.group(1))) if match else None
    if m is None or m.stored.rsplit(".", 1)[0] != f"{match.group(1)}-{match.group(2)}":
        abort(404, description=_("There is no such file."))
    variant = match.group(3)
    if variant and (not m.is_picture or name != m.variant_name(variant)):
        abort(404, description=_("There is no such file."))
    if not variant and name != m.stored:
        abort(404, description=_("There is no such file."))
    if not readable(lib.first(obj("Information").GetInfo(str(m.item)))):
        abort(404, description=_("There is no such file."))
    path = Path(settings().media_dir).resolve() / name
    if not path.is_file():
        abort(404, description=_("The file is missing."))
    mime = VARIANT_TYPES[name.rsplit(".", 1)[1]] if variant else m.mime
    resp = send_file(
        path,
        mimetype=mime,
        as_attachment=not m.is_picture,
        download_name=m.original,
        max_age=300,
    )
    resp.headers["Content-Security-Policy"] = "default-src 'none'; sandbox"
    resp.headers["Cache-Control"] = "private, max-age=300"
    return resp
