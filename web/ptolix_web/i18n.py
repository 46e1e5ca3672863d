"""The page's language: Chinese (the default, the language of the library's
own messages and code tables) or English, one per page.

The reader's choice is a cookie set by the switch every page carries, a
small GET form (any address with `?lang=en` or `?lang=zh`; a form, so that
crawlers do not follow it). Without one, the browser's Accept-Language
decides, and Chinese when it names neither (PTOLIX_LANGUAGE=en makes that
English). Pages say which in `<html lang>` and Content-Language and, since
they depend on both headers, `Vary: Accept-Language, Cookie`.

The site's texts are in message catalogs (translations/, English message
ids); the fixed texts the library returns (its messages, the names of item
states, item types and access levels it creates) are translated here for
English pages, and any other text is shown as it is."""

from __future__ import annotations

import json
import re
from datetime import timedelta

from flask import Flask, Response, current_app, g, has_request_context, redirect, request
from babel import Locale
from flask_babel import Babel, get_locale, get_translations, gettext
from werkzeug.urls import url_encode

LANGUAGES = ("zh", "en")
DEFAULT = "zh"
COOKIE = "ptolix_lang"
COOKIE_AGE = timedelta(days=365)
HTML_LANG = {"zh": "zh-CN", "en": "en"}
# The switch's own wording, each in its language.
NAMES = {"zh": "中文", "en": "English"}

# The library's fixed texts: its messages, and the code-table rows it
# creates (item states, access levels) and the demo's item types.
LIBRARY_TEXTS = {
    "没有记录。": "No records.",
    "信息位置已经在列表最前面，向前移动失败。": "The item is already first in the list; it cannot move up.",
    "信息位置已经在列表最后面，向后移动失败。": "The item is already last in the list; it cannot move down.",
    "用户已经拥有该角色的身份，加入到角色失败。": "The user already holds that role; it was not added again.",
    "链接分类不存在。": "There is no such link class.",
    "该角色没有父角色。": "The role has no father role.",
    "该角色不存在。": "There is no such role.",
    "该站点不存在。": "There is no such website.",
    "网站类型不存在。": "There is no such website type.",
    "目标栏目不存在。": "There is no such target column.",
    "用户不存在。": "There is no such user.",
    "模板不存在。": "There is no such template.",
    "密码不正确。": "The password is wrong.",
    "信息状态不存在。": "There is no such item state.",
    "不能将栏目移到其下级栏目处。": "A column cannot move below one of its own sub-columns.",
    "取系统参数'SITE_PHYSICAL_ROOT'错。": "The system parameter 'SITE_PHYSICAL_ROOT' could not be read.",
    '系统参数"TEMPLET_PATH"不存在。': 'There is no system parameter "TEMPLET_PATH".',
    # Access levels.
    "浏览": "Browse",
    "编辑": "Edit",
    "审核": "Review",
    "管理": "Manage",
    # Item states, with the two the site's scheduler adds.
    "待审核": "Waiting for review",
    "退回修改": "Returned for re-editing",
    "已取消": "Cancelled",
    "已发布": "Published",
    "已发布（推荐）": "Published (recommended)",
    "已发布（头条）": "Published (headline)",
    "定时发布": "Scheduled",
    "已下线": "Withdrawn",
    # Item types of the demo site.
    "新闻": "News",
    "公告": "Announcement",
}
# Messages that name a value: (pattern, English with the pattern's groups).
LIBRARY_PATTERNS = [
    (re.compile(r"链接分类'(.*)'下不存在链接'(.*)'。"), r"Link class '\1' has no link '\2'."),
    (re.compile(r"不存在系统参数'(.*)'。"), r"There is no system parameter '\1'."),
    (re.compile(r"不存在用户'(.*)'"), r"There is no user '\1'."),
    (
        re.compile(r"角色(.+)的上级角色形成循环，已在此处停止。"),
        r"The roles above role \1 form a loop; stopped there.",
    ),
]


def _n(text: str) -> str:
    """Marks a text for the catalogs where it is translated later."""
    return text


# The editor's texts (static/editor.js), handed to it translated through the
# text area's data-texts attribute.
EDITOR_TEXTS = [
    _n("Paragraph"),
    _n("Heading"),
    _n("Subheading"),
    _n("Bold"),
    _n("Italic"),
    _n("• list"),
    _n("Bulleted list"),
    _n("1. list"),
    _n("Numbered list"),
    _n("❝ quote"),
    _n("Quote"),
    _n("Link address"),
    _n("Link"),
    _n("Make the selected text a link"),
    _n("Picture"),
    _n("Picture…"),
    _n("No pictures yet"),
    _n("Insert picture"),
    _n("Insert the chosen picture"),
    _n("Text"),
]


def editor_texts() -> str:
    """The editor's texts in the page's language, as JSON."""
    return json.dumps({t: gettext(t) for t in EDITOR_TEXTS}, ensure_ascii=False)


def choose() -> str:
    """The request's language: the switch's cookie, else the best match of
    Accept-Language, else the site's default (Chinese unless configured)."""
    chosen = request.cookies.get(COOKIE)
    if chosen in LANGUAGES:
        return chosen
    default = current_app.config["PTOLIX"].language
    return request.accept_languages.best_match(LANGUAGES, default) or default


# Parsed once: Flask-Babel takes a Locale as it is, and parsing a name looks
# for the locale's data file on every request.
LOCALES = {code: Locale.parse(code) for code in LANGUAGES}


def _select() -> Locale:
    return LOCALES[choose()]


def current() -> str:
    """The language of the page being made (Chinese outside a request)."""
    if not has_request_context():
        return DEFAULT
    locale = get_locale()
    return locale.language if locale is not None else DEFAULT


def library_text(text: str) -> str:
    """A text the library returned, in the page's language: its known fixed
    texts in English on English pages; anything else as it is."""
    if current() != "en" or not isinstance(text, str):
        return text
    key = text.strip()
    if key in LIBRARY_TEXTS:
        return LIBRARY_TEXTS[key]
    for pattern, english in LIBRARY_PATTERNS:
        if pattern.fullmatch(key):
            return pattern.sub(english, key)
    return text


def _switch() -> Response | None:
    """A GET with `lang` remembers the choice and redirects to the same
    address without it, so every page keeps one address per language-free URL."""
    wanted = request.args.get("lang")
    if wanted is None or request.method not in ("GET", "HEAD"):
        return None
    args = request.args.copy()
    args.poplist("lang")
    query = url_encode(args)
    resp = redirect(f"{request.script_root}{request.path}" + (f"?{query}" if query else ""), 303)
    if wanted in LANGUAGES:
        resp.set_cookie(
            COOKIE,
            wanted,
            max_age=int(COOKIE_AGE.total_seconds()),
            samesite="Lax",
            httponly=True,
            secure=request.is_secure,
        )
    resp.headers["Cache-Control"] = "no-store"
    return resp


# Blueprints whose answers (feeds, files) are the same in every language;
# their error pages are not.
SAME_IN_EVERY_LANGUAGE = {"feeds", "media"}


def _vary(resp: Response) -> Response:
    if request.endpoint == "static":
        return resp
    if request.blueprint in SAME_IN_EVERY_LANGUAGE and resp.mimetype != "text/html":
        return resp
    resp.vary.add("Accept-Language")
    resp.vary.add("Cookie")
    if resp.mimetype == "text/html":
        resp.headers.setdefault("Content-Language", HTML_LANG[current()])
    return resp


def _catalog():
    """This request's translations, looked up once: Flask-Babel finds them
    again on every call, which costs a busy page about half a millisecond."""
    found = g.get("_ptolix_catalog")
    if found is None:
        found = g._ptolix_catalog = get_translations()
    return found


def setup(app: Flask) -> None:
    """Flask-Babel with the site's catalogs, the switch, and the template helpers."""
    app.config.setdefault("BABEL_DEFAULT_LOCALE", DEFAULT)
    app.config.setdefault("BABEL_TRANSLATION_DIRECTORIES", "translations")
    try:
        Babel(app, locale_selector=_select)
    except TypeError:  # Flask-Babel before 3 takes the selector by decorator
        Babel(app).localeselector(_select)
    app.jinja_env.install_gettext_callables(
        lambda text: _catalog().ugettext(text),
        lambda one, many, n: _catalog().ungettext(one, many, n),
        newstyle=True,
    )
    app.before_request(_switch)
    app.after_request(_vary)
    app.jinja_env.globals.update(
        page_language=lambda: HTML_LANG[current()],
        language=current,
        languages=NAMES,
        editor_texts=editor_texts,
    )
    app.jinja_env.filters.update(fixed=library_text)
