"""One language per page: every public and desk screen in Chinese and in
English mixes neither into the other, the language follows Accept-Language
and the remembered switch, caches keep the two apart, the library's fixed
texts follow the page, and the catalogs are complete and compiled."""

from __future__ import annotations

import http.client
import re
import shutil
from html.parser import HTMLParser
from pathlib import Path
from urllib.parse import quote, urljoin, urlsplit

import pytest
from babel.messages.extract import extract_from_dir
from babel.messages.mofile import read_mo
from babel.messages.pofile import read_po

import ptolix
from conftest import WEB
from ptolix_web import create_app, i18n
from ptolix_web.site_tables import query
from test_nginx import front  # noqa: F401 - nginx of deploy/ before gunicorn

CATALOG = WEB / "ptolix_web" / "translations" / "zh" / "LC_MESSAGES"
CJK = re.compile(r"[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]")
# The code tables whose rows the site translates (the rest is user content).
TRANSLATED_TABLES = {"tptlx_infostate", "tptlx_infotype", "tptlx_accesstype"}
# Screens that edit those rows show them as stored.
CODE_TABLE_SCREENS = ("admin.register-", "admin.edit-")
sqlite_only = pytest.mark.parametrize("demo", ["sqlite"], indirect=True)


@pytest.fixture(scope="module")
def app(demo, tmp_path_factory):
    media = str(tmp_path_factory.mktemp("media"))
    return create_app(
        {"db_url": demo.url, "secret": "x", "schedule_seconds": 0, "media_dir": media}
    )


def client(app, language: str | None):
    c = app.test_client()
    c.environ_base.pop("HTTP_ACCEPT_LANGUAGE", None)
    if language:
        c.environ_base["HTTP_ACCEPT_LANGUAGE"] = language
    return c


def html_lang(page: str) -> str:
    return re.search(r'<html lang="([^"]+)"', page).group(1)


def sign_in(c, user: str = "admin", password: str = "Admin#2024") -> None:
    page = c.get("/signin").get_data(as_text=True)
    token = re.search(r'name="csrf_token" value="([^"]+)"', page).group(1)
    c.post("/signin", data={"user": user, "password": password, "csrf_token": token})


def csrf(page: str) -> str:
    return re.search(r'name="csrf_token" value="([^"]+)"', page).group(1)


class Chrome(HTMLParser):
    """The texts a reader sees (text and the attributes read aloud), leaving
    out scripts, code and whatever is marked as another language."""

    SKIP = {"script", "style", "pre", "textarea"}
    VOID = {"input", "img", "br", "meta", "link", "hr", "source", "option"}

    def __init__(self) -> None:
        super().__init__()
        self.stack: list[bool] = []  # per open element: skipped
        self.texts: list[str] = []

    def handle_starttag(self, tag: str, attrs: list) -> None:
        a = dict(attrs)
        skipped = tag in self.SKIP or "lang" in a and tag != "html" or any(self.stack)
        if not skipped:
            self.texts += [a[k] for k in ("placeholder", "aria-label", "title", "alt") if a.get(k)]
        if tag not in self.VOID:
            self.stack.append(skipped)

    def handle_endtag(self, tag: str) -> None:
        if tag not in self.VOID and self.stack:
            self.stack.pop()

    def handle_data(self, data: str) -> None:
        if data.strip() and not any(self.stack):
            self.texts.append(data.strip())


def texts(page: str) -> list[str]:
    parser = Chrome()
    parser.feed(re.sub(r"</?mark>", "", page))  # a found word stays in its text
    return parser.texts


def tuple_of(text):
    """Plural forms as a tuple, whichever sequence the reader gave them in."""
    return tuple(text) if isinstance(text, (list, tuple)) else text


def catalog() -> dict:
    with open(CATALOG / "messages.po", "rb") as f:
        return {tuple_of(m.id): tuple_of(m.string) for m in read_po(f, locale="zh") if m.id}


def english_patterns() -> list[re.Pattern]:
    """Each English text of the catalog (its placeholders any text) that
    Chinese pages must not show."""
    out = []
    for msgid, string in catalog().items():
        for text in msgid if isinstance(msgid, tuple) else (msgid,):
            if string in (text, (text,)) or not re.search(r"[A-Za-z]{2}", text):
                continue  # the same in both languages
            parts = re.split(r"%\(\w+\)s", text)
            out.append(re.compile(".+?".join(map(re.escape, parts))))
    return out


def pieces(text: str) -> list[str]:
    """The parts of a text between spaces and ASCII punctuation."""
    return [p for p in re.split(r"[\s·›‹…|,;:.!?()“”\"']+", text) if p]


class Stored:
    """The texts stored in the demo's tables but the code tables the site
    translates: user content, which English pages show as it is."""

    def __init__(self, url: str) -> None:
        with ptolix.connect(url) as conn:
            values = []
            for (name,) in query(conn, "select name from sqlite_master where type = 'table'"):
                if name.lower() not in TRANSLATED_TABLES:
                    values += [str(v) for row in query(conn, f"select * from {name}") for v in row]
        values = [v for v in values if CJK.search(v)]
        self.pieces = {p for v in values for p in pieces(v)}
        self.corpus = "\n".join(values)

    def __contains__(self, piece: str) -> bool:
        # A longer piece may be cut from a stored text (an excerpt, a shortened value).
        return piece in self.pieces or len(piece) >= 5 and piece in self.corpus


def crawl(app, demo, language: str) -> dict[str, tuple[str, str]]:
    """One page per screen (endpoint, with the register for administration
    screens), found by following links as a reader and as the administrator."""
    urls = app.url_map.bind("localhost")
    c, pages = client(app, language), {}
    item, chip = demo.published[4], quote("芯片")
    queue = ["/", "/no-such-page", f"/search?q={chip}", "/signin"]
    # Waiting items first: their screens show a state name.
    desk = [f"/desk/columns/{demo.tech}?state=WaitAssess", f"/desk/items/{demo.waiting[0]}"]
    desk += ["/desk/", f"/desk/search?q={chip}", f"/desk/items/{item}/delete"]
    desk += [f"/desk/columns/{demo.lab}/delete", "/desk/no-such-screen"]
    while queue or desk:
        if not queue:
            sign_in(c)
            queue, desk = desk, []
        path = queue.pop(0)
        try:
            endpoint, args = urls.match(urlsplit(path).path, "GET")
        except Exception:  # noqa: BLE001 - a 404 page or a redirect
            endpoint, args = path, {}
        name = endpoint + (f"-{args['slug']}" if "slug" in args else "")
        resp = c.get(path)
        if name in pages or resp.mimetype != "text/html":
            continue
        page = resp.get_data(as_text=True)
        pages[name] = (path, page)
        for href in re.findall(r'<a [^>]*href="([^"]+)"', page):
            target = urljoin(path, href.replace("&amp;", "&"))
            if target.startswith("/") and not re.search(r"^/(static|media|signout)|lang=", target):
                (desk if target.startswith("/desk") else queue).append(target)
    return pages


@sqlite_only
def test_no_page_mixes_the_two_languages(app, demo):
    stored, english = Stored(demo.url), english_patterns()
    stored.pieces.add("芯片")  # the words searched for
    # An action in the staff record, which words its targets per language.
    admin = client(app, "en")
    sign_in(admin)
    listing = admin.get(f"/desk/columns/{demo.tech}?state=All").get_data(as_text=True)
    first = re.search(r'id="desk-items".*?data-id="(\d+)"', listing, re.S).group(1)
    form = {"direction": "down", "state": "All", "csrf_token": csrf(listing)}
    assert admin.post(f"/desk/items/{first}/move", data=form).status_code == 302
    problems = []
    for language, lang in (("zh-CN,zh;q=0.9", "zh-CN"), ("en", "en")):
        pages = crawl(app, demo, language)
        assert len(pages) > 30, sorted(pages)
        for name, (path, page) in pages.items():
            if html_lang(page) != lang:
                problems.append(f"{path}: <html lang={html_lang(page)}>")
            for text in texts(page):
                if lang == "en":
                    foreign = [p for p in pieces(text) if CJK.search(p) and p not in stored]
                    if foreign and not name.startswith(CODE_TABLE_SCREENS):
                        problems.append(f"{path} (en): {text!r}")
                elif re.search(r"[A-Za-z]{2}", text) and any(p.fullmatch(text) for p in english):
                    problems.append(f"{path} (zh): {text!r}")
    assert not problems, "\n".join(problems[:40])


def test_the_language_comes_from_the_switch_then_accept_language(app, demo):
    cases = [
        (None, "zh-CN"),  # nothing asked: Chinese
        ("en-US,en;q=0.9", "en"),
        ("zh-CN,zh;q=0.9,en;q=0.8", "zh-CN"),
        ("fr, de;q=0.8", "zh-CN"),  # nothing the site has
        ("fr, en;q=0.5, zh;q=0.3", "en"),
        ("zh-TW", "zh-CN"),
    ]
    for header, lang in cases:
        assert html_lang(client(app, header).get("/").get_data(as_text=True)) == lang, header
    # The switch keeps the rest of the address and is remembered over Accept-Language.
    c = client(app, "zh-CN")
    path = f"/columns/{demo.tech}?page=2"
    switched = c.get(path + "&lang=en")
    assert switched.status_code == 303 and switched.headers["Location"] == path
    cookie = switched.headers["Set-Cookie"]
    assert cookie.startswith("ptolix_lang=en;") and "Max-Age=31536000" in cookie
    assert "HttpOnly" in cookie and "Cache-Control" in switched.headers
    page = c.get(path).get_data(as_text=True)
    switch = re.search(r'action="([^"]+)" class="inline lang">(.*?)</form>', page)
    assert html_lang(page) == "en" and switch.group(1) == path.split("?")[0]
    assert 'name="page" value="2"' in switch.group(2)  # the rest of the address is kept
    assert re.search(r'name="lang" value="zh"[^>]*>中文</button>', switch.group(2))
    sign_in(c, "author", "Author#2024")
    assert html_lang(c.get("/desk/").get_data(as_text=True)) == "en"  # signed in: the cookie
    assert c.get("/desk/?lang=zh").status_code == 303
    desk = c.get("/desk/").get_data(as_text=True)
    assert (
        html_lang(desk) == "zh-CN"
        and "您的栏目" in desk
        and re.search(r'value="en"[^>]*>English</button>', desk)
    )
    unknown = client(app, "en").get("/?lang=fr")
    assert unknown.status_code == 303 and "Set-Cookie" not in unknown.headers


def test_public_pages_cache_per_language(app):
    zh, en = client(app, "zh"), client(app, "en")
    first, second = zh.get("/"), en.get("/")
    for resp, lang in ((first, "zh-CN"), (second, "en")):
        assert {"Accept-Language", "Cookie"} <= set(resp.vary), resp.vary
        assert resp.headers["Content-Language"] == lang
    assert first.headers["ETag"] != second.headers["ETag"]
    # A copy made for the other language is never confirmed as current.
    assert en.get("/", headers={"If-None-Match": first.headers["ETag"]}).status_code == 200
    same = en.get("/", headers={"If-None-Match": second.headers["ETag"]})
    assert same.status_code == 304 and "Accept-Language" in same.vary
    feed = en.get("/feed")  # the same in both languages
    assert feed.mimetype != "text/html" and "Accept-Language" not in feed.vary


@pytest.mark.skipif(shutil.which("nginx") is None, reason="nginx is not installed")
def test_nginx_keeps_one_copy_per_language(front):  # noqa: F811
    url, demo = front
    path = f"/columns/{demo['tech']}?page=2"
    cases = [  # (request headers, cache status, page language)
        ({"Accept-Language": "zh-CN"}, "MISS", "zh-CN"),
        ({"Accept-Language": "en"}, "MISS", "en"),
        ({"Accept-Language": "zh-CN"}, "HIT", "zh-CN"),
        ({"Accept-Language": "en"}, "HIT", "en"),
        ({"Accept-Language": "zh-CN", "Cookie": "ptolix_lang=en"}, "MISS", "en"),
        ({"Accept-Language": "zh-CN", "Cookie": "ptolix_lang=en"}, "HIT", "en"),
        ({"Accept-Language": "zh-CN"}, "HIT", "zh-CN"),
    ]
    for headers, status, lang in cases:
        conn = http.client.HTTPConnection(url.split("//")[1], timeout=10)
        conn.request("GET", path, headers=headers)
        resp = conn.getresponse()
        page = resp.read().decode()
        conn.close()
        assert (resp.getheader("X-Cache-Status"), html_lang(page)) == (status, lang), headers


def test_the_library_fixed_texts_follow_the_page(app, demo):
    expected = {
        "zh-CN": ["信息位置已经在列表最前面，向前移动失败。", "待审核", ">管理</option>", "段落"],
        "en": [
            "The item is already first in the list; it cannot move up.",
            "Waiting for review",
            ">Manage</option>",
            "Paragraph",
        ],
    }
    for lang, wanted in expected.items():
        c = client(app, lang)
        sign_in(c)
        listing = c.get(f"/desk/columns/{demo.tech}?state=All").get_data(as_text=True)
        first = re.search(r'id="desk-items".*?data-id="(\d+)"', listing, re.S).group(1)
        moved = c.post(
            f"/desk/items/{first}/move",
            data={"direction": "up", "state": "All", "csrf_token": csrf(listing)},
            follow_redirects=True,
        ).get_data(as_text=True)
        waiting = c.get(f"/desk/columns/{demo.tech}?state=WaitAssess").get_data(as_text=True)
        manage = c.get(f"/desk/columns/{demo.tech}/manage").get_data(as_text=True)
        editor = c.get(f"/desk/items/{demo.waiting[0]}").get_data(as_text=True)
        pages = [moved, waiting, manage, re.search(r'data-texts="([^"]*)"', editor).group(1)]
        for text, page in zip(wanted, pages):
            assert text in page, (lang, text)
    with app.test_request_context(headers={"Accept-Language": "en"}):
        assert i18n.library_text("不存在用户'bob'") == "There is no user 'bob'."
        assert i18n.library_text("某个新的消息。") == "某个新的消息。"  # unknown: as it is
        assert i18n.library_text("Type mismatch") == "Type mismatch"
    with app.test_request_context(headers={"Accept-Language": "zh"}):
        assert i18n.library_text("没有记录。") == "没有记录。"


def test_the_catalog_covers_every_marked_text_and_is_compiled():
    keywords = {"_": None, "gettext": None, "ngettext": (1, 2), "_l": None, "_n": None}
    methods = [("ptolix_web/**.py", "python"), ("ptolix_web/templates/**.html", "jinja2")]
    found = {tuple_of(m[2]) for m in extract_from_dir(str(WEB), methods, keywords=keywords)}
    translated = catalog()
    missing = [m for m in found if not translated.get(m)]
    assert not missing, f"run scripts/translations.sh and translate: {missing[:10]}"
    for msgid, string in translated.items():
        ids = msgid if isinstance(msgid, tuple) else (msgid,)
        strings = string if isinstance(string, tuple) else (string,)
        wanted = set(re.findall(r"%\(\w+\)s", ids[-1]))
        assert all(set(re.findall(r"%\(\w+\)s", s)) == wanted for s in strings), msgid
    with open(CATALOG / "messages.mo", "rb") as f:
        compiled = {tuple_of(m.id): tuple_of(m.string) for m in read_mo(f) if m.id}
    stale = {k for k in translated if compiled.get(k) != translated[k]}
    assert not stale, f"run scripts/translations.sh compile: {sorted(stale)[:5]}"
    assert Path(CATALOG / "messages.mo").stat().st_size > 10_000
