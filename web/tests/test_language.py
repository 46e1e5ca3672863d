"""One language per page: every public and desk screen in Chinese and in
English mixes neither into the other, the language follows Accept-Language
and the remembered switch, the library's fixed texts follow the page, and
the catalogs are complete and compiled. Caches keep the two apart:
test_reading.py and test_nginx.py."""

from __future__ import annotations

import re
from html.parser import HTMLParser

from babel.messages.extract import extract_from_dir
from babel.messages.mofile import read_mo
from babel.messages.pofile import read_po

import ptolix
from conftest import WEB, client, crawl, sign_in, sqlite_only, staff
from ptolix_web import i18n
from ptolix_web.site_tables import query

CATALOG = WEB / "ptolix_web" / "translations" / "zh" / "LC_MESSAGES"
CJK = re.compile(r"[\u3000-\u303f\u4e00-\u9fff\uff00-\uffef]")
# The code tables whose rows the site translates (the rest is user content).
TRANSLATED_TABLES = {"tptlx_infostate", "tptlx_infotype", "tptlx_accesstype"}
# Screens that edit those rows show them as stored.
CODE_TABLE_SCREENS = ("admin.register-", "admin.edit-")


def html_lang(page: str) -> str:
    return re.search(r'<html lang="([^"]+)"', page).group(1)


def move_first(c, demo, direction: str):
    """Moves the first item of the desk's tech listing: an action in the
    staff record, or the library's refusal for the first one moving up."""
    listing = c.get(f"/desk/columns/{demo.tech}?state=All").text
    first = re.search(r'id="desk-items".*?data-id="(\d+)"', listing, re.S).group(1)
    return c.send(f"/desk/items/{first}/move", True, direction=direction, state="All")


class Chrome(HTMLParser):
    """The texts a reader sees (text and the attributes read aloud), leaving
    out scripts, code and whatever is marked as another language."""

    SKIP = {"script", "style", "pre", "textarea"}
    VOID = {"input", "img", "br", "meta", "link", "hr", "source", "option"}

    def __init__(self, page: str) -> None:
        super().__init__()
        self.stack: list[bool] = []  # per open element: skipped
        self.texts: list[str] = []
        self.feed(re.sub(r"</?mark>", "", page))  # a found word stays in its text

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


def tuple_of(text) -> tuple:
    """A text, or its plural forms, as a tuple."""
    return tuple(text) if isinstance(text, (list, tuple)) else (text,)


def catalog() -> dict:
    with open(CATALOG / "messages.po", "rb") as f:
        return {tuple_of(m.id): tuple_of(m.string) for m in read_po(f, locale="zh") if m.id}


def english_patterns() -> list[re.Pattern]:
    """Each English text of the catalog that its translation changes (its
    placeholders any text): what Chinese pages must not show."""
    english = [t for msgid, zh in catalog().items() for t in msgid if t not in zh]
    split = [re.split(r"%\(\w+\)s", t) for t in english if re.search(r"[A-Za-z]{2}", t)]
    return [re.compile(".+?".join(map(re.escape, parts))) for parts in split]


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


@sqlite_only
def test_no_page_mixes_the_two_languages(app, demo):
    stored, english = Stored(demo.url), english_patterns()
    stored.pieces.add("芯片")  # the words searched for
    # An action in the staff record, which words its targets per language.
    assert move_first(staff(app, "admin"), demo, "down").status_code == 200
    problems = []
    for language, lang in (("zh-CN,zh;q=0.9", "zh-CN"), ("en", "en")):
        for name, (path, *_, page) in crawl(app, demo, language).items():
            if html_lang(page) != lang:
                problems.append(f"{path}: <html lang={html_lang(page)}>")
            for text in Chrome(page).texts:
                if lang == "en":
                    foreign = [p for p in pieces(text) if CJK.search(p) and p not in stored]
                    if foreign and not name.startswith(CODE_TABLE_SCREENS):
                        problems.append(f"{path} (en): {text!r}")
                elif re.search(r"[A-Za-z]{2}", text) and any(p.fullmatch(text) for p in english):
                    problems.append(f"{path} (zh): {text!r}")
    assert not problems, "\n".join(problems[:40])


# Accept-Language and the page's language: Chinese unless English comes first.
ACCEPT = [(None, "zh-CN"), ("en-US,en;q=0.9", "en"), ("zh-CN,zh;q=0.9,en;q=0.8", "zh-CN")]
ACCEPT += [("fr, de;q=0.8", "zh-CN"), ("fr, en;q=0.5, zh;q=0.3", "en"), ("zh-TW", "zh-CN")]


def test_the_language_comes_from_the_switch_then_accept_language(app, demo):
    for header, lang in ACCEPT:
        assert html_lang(client(app, header).get("/").text) == lang, header
    # The switch keeps the rest of the address and is remembered over Accept-Language.
    c, path = client(app, "zh-CN"), f"/columns/{demo.tech}?page=2"
    switched = c.get(path + "&lang=en")
    assert switched.status_code == 303 and switched.headers["Location"] == path
    cookie = switched.headers["Set-Cookie"]
    assert cookie.startswith("ptolix_lang=en;") and "Max-Age=31536000" in cookie
    assert "HttpOnly" in cookie and "Cache-Control" in switched.headers
    page = c.get(path).text
    switch = re.search(r'action="([^"]+)" class="inline lang">(.*?)</form>', page)
    assert html_lang(page) == "en" and switch.group(1) == path.split("?")[0]
    assert 'name="page" value="2"' in switch.group(2)  # the rest of the address is kept
    assert re.search(r'name="lang" value="zh"[^>]*>中文</button>', switch.group(2))
    sign_in(c, "author")
    assert html_lang(c.get("/desk/").text) == "en"  # signed in: the cookie
    assert c.get("/desk/?lang=zh").status_code == 303
    desk = c.get("/desk/").text
    assert html_lang(desk) == "zh-CN" and "您的栏目" in desk
    assert re.search(r'value="en"[^>]*>English</button>', desk)
    unknown = client(app, "en").get("/?lang=fr")
    assert unknown.status_code == 303 and "Set-Cookie" not in unknown.headers


# The library's own texts, as the page of each language shows them: its
# refusal, a state name, an access level and the editor's paragraph button.
LIBRARY_TEXTS = {"zh-CN": ["信息位置已经在列表最前面，向前移动失败。", "待审核", ">管理</option>", "段落"]}
LIBRARY_TEXTS["en"] = ["The item is already first in the list; it cannot move up."]
LIBRARY_TEXTS["en"] += ["Waiting for review", ">Manage</option>", "Paragraph"]


def test_the_library_fixed_texts_follow_the_page(app, demo):
    for lang, wanted in LIBRARY_TEXTS.items():
        c, tech = staff(app, "admin", language=lang), f"/desk/columns/{demo.tech}"
        editor = c.get(f"/desk/items/{demo.waiting[0]}").text
        pages = [move_first(c, demo, "up"), c.get(tech + "?state=WaitAssess")]
        pages = [p.text for p in pages + [c.get(tech + "/manage")]]
        for text, page in zip(wanted, pages + [re.search(r'data-texts="([^"]*)"', editor)[1]]):
            assert text in page, (lang, text)
    with app.test_request_context(headers={"Accept-Language": "en"}):
        assert i18n.library_text("不存在用户'bob'") == "There is no user 'bob'."
        assert i18n.library_text("某个新的消息。") == "某个新的消息。"  # unknown: as it is


def test_the_catalog_covers_every_marked_text_and_is_compiled():
    keywords = {"_": None, "gettext": None, "ngettext": (1, 2), "_l": None, "_n": None}
    methods = [("ptolix_web/**.py", "python"), ("ptolix_web/templates/**.html", "jinja2")]
    found = {tuple_of(m[2]) for m in extract_from_dir(str(WEB), methods, keywords=keywords)}
    translated = catalog()
    missing = [m for m in found if not any(translated.get(m, ()))]
    assert not missing, f"run scripts/translations.sh and translate: {missing[:10]}"
    for msgid, strings in translated.items():
        wanted = set(re.findall(r"%\(\w+\)s", msgid[-1]))
        assert all(set(re.findall(r"%\(\w+\)s", s)) == wanted for s in strings), msgid
    with open(CATALOG / "messages.mo", "rb") as f:
        compiled = {tuple_of(m.id): tuple_of(m.string) for m in read_mo(f) if m.id}
    stale = {k for k in translated if compiled.get(k) != translated[k]}
    assert not stale, f"run scripts/translations.sh compile: {sorted(stale)[:5]}"
