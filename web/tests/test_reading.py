"""What readers, feed readers, search engines and caches see: search on the
public site and the desk, feeds and the sitemap parsed as XML, conditional
requests and a copy per language, and columns kept off the public site."""

import re
import xml.etree.ElementTree as ET
from urllib.parse import urlsplit

import pytest

from conftest import staff
from ptolix_web import create_app

RSS_ATOM = "{http://www.w3.org/2005/Atom}"
SM = "{http://www.sitemaps.org/schemas/sitemap/0.9}"


def tags(page: str, tag: str, **attrs: str) -> list[dict]:
    """The attributes of each `tag` of the page that has `attrs`."""
    found = re.findall(rf"<{tag}\s([^>]*)>", page)
    found = [dict(re.findall(r'([\w:-]+)="([^"]*)"', a)) for a in found]
    return [a for a in found if all(a.get(k) == v for k, v in attrs.items())]


@pytest.fixture(scope="module")
def make(demo):
    """A client of the site with settings of its own."""
    base = {"db_url": demo.url, "secret": "test-secret", "schedule_seconds": 0}
    return lambda **settings: create_app(base | settings).test_client()


def xml(resp) -> ET.Element:
    assert resp.status_code == 200, resp.text[:300]
    return ET.fromstring(resp.get_data())


def paths(urls) -> set[str]:
    return {urlsplit(u).path for u in urls}


def test_readers_search_from_every_page(app, demo):
    c = app.test_client()
    for path in ("/", f"/columns/{demo.tech}", f"/items/{demo.published[0]}", "/links"):
        page = c.get(path).text
        search = tags(page, "form", role="search", method="get")
        assert search and search[0]["action"] == "/search", path
        assert tags(page, "input", name="q", type="search"), path
    # Every published item's title holds "期"; page 4 of 10 holds the last six.
    page = c.get("/search?q=期&page=4").text
    assert "36 items found · page 4 of 4" in page
    assert page.count("<li data-id") == 6
    # Two words, both needed, either letter case, marked as stored.
    found = c.get("/search?q=%E7%AC%AC7%E6%9C%9F+%E7%A7%91%E6%8A%80").text
    ids = re.findall(r'<li data-id="(\d+)"', found)
    assert ids == [str(demo.published[6])] and "<mark>第7期</mark>" in found
    # Hostile text; waiting items, a NUL, a bad page: test_pages.py.
    hostile = c.get("/search?q=<script>x</script>").text
    assert "<script>x" not in hostile and "&lt;script&gt;x" in hostile


def test_desk_search_covers_the_users_columns_in_every_state(app, demo):
    author, reader, waiting = staff(app, "author"), staff(app, "reader"), set(demo.waiting)
    # Query string, what the author finds (None: refused).
    cases = [("q=待审：", waiting), ("q=待审：&state=Published", set())]
    cases += [("q=待审：&state=WaitAssess", waiting), ("q=第7期&state=Published", {demo.published[6]})]
    cases += [("q=待审：&start=2000-01-01", waiting), ("q=待审：&end=2000-01-01", set())]
    cases += [("q=待审：&type=1", waiting), ("q=待审：&start=yesterday", None)]
    for query, expected in cases:
        resp = author.get("/desk/search?" + query)
        page = resp.text
        if expected is None:
            assert resp.status_code == 400 and "Type mismatch" in page, query
            continue
        assert resp.status_code == 200, query
        assert set(re.findall(r'<tr data-id="(\d+)"', page)) == {str(i) for i in expected}, query
    assert "<mark>待审：</mark>" in author.get("/desk/search?q=待审：").text
    assert "search-none" in reader.get("/desk/search?q=待审：").text
    assert app.test_client().get("/desk/search?q=x").status_code == 302  # signed out


def test_feeds_sitemap_robots_and_page_metadata(app, make, demo):
    c = app.test_client()
    published = {f"/items/{i}" for i in demo.published}
    lab_items = {f"/items/{i}" for n, i in enumerate(demo.published, 1) if n % 6 == 0}
    for path in ("/feed", "/rss"):
        channel = xml(c.get(path)).find("channel")
        items = channel.findall("item")
        assert len(items) == 20 and paths(i.findtext("link") for i in items) <= published
        assert all(i.findtext("guid") == i.findtext("link") for i in items)
        assert channel.find(f"{RSS_ATOM}link").get("rel") == "self"
    lab = xml(c.get(f"/columns/{demo.lab}/feed")).find("channel")
    assert paths(i.findtext("link") for i in lab.findall("item")) == lab_items
    assert c.get("/columns/999999/feed").status_code == 404

    urlset = xml(c.get("/sitemap.xml"))
    listed = paths(u.findtext(f"{SM}loc") for u in urlset)
    assert urlset.tag == f"{SM}urlset" and not any("待审" in u for u in listed)
    assert published | {"/", f"/columns/{demo.tech}", f"/columns/{demo.lab}"} <= listed
    small = make(sitemap_size=10)
    index = xml(small.get("/sitemap.xml"))
    assert index.tag == f"{SM}sitemapindex"
    files, union = [s.findtext(f"{SM}loc") for s in index], set()
    for f in files:
        urls = [u.findtext(f"{SM}loc") for u in xml(small.get(urlsplit(f).path))]
        assert 0 < len(urls) <= 10
        union |= paths(urls)
    assert union == listed  # so at least a file per ten
    assert small.get("/sitemap-items-99.xml").status_code == 404

    robots = c.get("/robots.txt").text.splitlines()
    assert {"Disallow: /desk/", "Sitemap: http://localhost/sitemap.xml"} <= set(robots)
    icon = c.get("/favicon.ico")
    assert icon.status_code == 200 and icon.data[:4] == b"\x00\x00\x01\x00"

    # Path, og:type, its feed, words of its description.
    tech, item = f"/columns/{demo.tech}", f"/items/{demo.published[4]}"
    pages = [("/", "website", "/feed", ""), (item, "article", "/feed", "第5篇报道")]
    for path, kind, feed, words in pages + [(tech, "website", f"{tech}/feed", "")]:
        page = c.get(path).text
        feeds = tags(page, "link", rel="alternate", type="application/rss+xml")
        assert feed in {urlsplit(f["href"]).path for f in feeds}, path
        assert urlsplit(tags(page, "link", rel="canonical")[0]["href"]).path == path
        assert tags(page, "meta", property="og:type")[0]["content"] == kind
        for name in ("og:title", "og:url", "og:description"):
            assert tags(page, "meta", property=name)[0]["content"], (path, name)
        description = tags(page, "meta", name="description")[0]["content"]
        assert description and words in description, path


def test_public_pages_cache_for_readers_and_never_for_staff(app, make, demo, info):
    c, short = app.test_client(), make(cache_seconds=5)
    public = ["/", f"/columns/{demo.tech}", f"/items/{demo.published[0]}", "/feed"]
    for path in public + ["/sitemap.xml", "/search?q=期"]:
        first = c.get(path)
        assert first.headers["Cache-Control"] == "public, max-age=60" and "Cookie" in first.vary
        again = c.get(path, headers={"If-None-Match": first.headers["ETag"]})
        assert again.status_code == 304 and again.data == b"", path
    assert short.get("/").headers["Cache-Control"] == "public, max-age=5"
    assert c.get("/nowhere").headers.get("ETag") is None
    # One copy per language: another's is never confirmed as current.
    zh, en = c.get("/", headers={"Accept-Language": "zh"}), c.get("/")
    assert (zh.headers["Content-Language"], en.headers["Content-Language"]) == ("zh-CN", "en")
    assert "Accept-Language" in zh.vary and zh.headers["ETag"] != en.headers["ETag"]
    assert c.get("/", headers={"If-None-Match": zh.headers["ETag"]}).status_code == 200
    assert "Accept-Language" not in c.get("/feed").vary  # the same in both languages

    # What the page shows changes: so does its tag.
    etag = c.get(f"/columns/{demo.lab}").headers["ETag"]
    new = info.AppendInfo("1", demo.lab, "author", "1", "缓存测试", "", "", "", "", "1")
    info.AssessInfo("reviewer", str(new), "4")
    try:
        changed = c.get(f"/columns/{demo.lab}", headers={"If-None-Match": etag})
        assert changed.status_code == 200 and changed.headers["ETag"] != etag
    finally:
        info.DeleteInfo(str(new))

    author, on_the_way = staff(app, "author"), app.test_client()
    on_the_way.get("/signin")  # a session with its form token, nobody signed in
    paths = ["/", f"/items/{demo.published[0]}", "/feed", "/desk/", "/desk/search?q=x"]
    for client, path in [(author, p) for p in paths] + [(on_the_way, "/")]:
        resp = client.get(path, headers={"If-None-Match": c.get("/").headers["ETag"]})
        assert (resp.status_code, resp.headers["Cache-Control"]) == (
            200,
            "private, no-store",
        ), path
        assert "ETag" not in resp.headers and "Cookie" in resp.headers["Vary"], path


def test_hidden_columns_stay_off_the_public_site(app, demo):
    admin, author, c = staff(app, "admin"), staff(app, "author"), app.test_client()
    manage, visibility = f"/desk/columns/{demo.lab}/manage", f"/desk/columns/{demo.lab}/visibility"
    lab_item = demo.published[5]  # the sixth is homed in the lab
    assert author.send(visibility, shown="0").status_code == 403
    assert admin.send(visibility, shown="0").status_code == 302
    try:
        assert "Show to readers" in admin.get(manage).text
        for path in (f"/columns/{demo.lab}", f"/items/{lab_item}", f"/columns/{demo.lab}/feed"):
            assert c.get(path).status_code == 404, path
        assert f'/items/{demo.published[35]}"' not in c.get("/").text
        tech = c.get(f"/columns/{demo.tech}").text
        assert "30 items" in tech and f'/columns/{demo.lab}"' not in tech
        assert "30 items found" in c.get("/search?q=期").text
        feed = xml(c.get("/feed")).find("channel")
        assert f"/items/{lab_item}" not in paths(i.findtext("link") for i in feed.iter("item"))
        listed = paths(u.findtext(f"{SM}loc") for u in xml(c.get("/sitemap.xml")))
        assert f"/columns/{demo.lab}" not in listed and f"/items/{lab_item}" not in listed
        assert admin.get(f"/desk/columns/{demo.lab}").status_code == 200  # the desk keeps it
    finally:
        assert admin.send(visibility, shown="1").status_code == 302
    assert c.get(f"/items/{lab_item}").status_code == 200
    assert f'/items/{demo.published[35]}"' in c.get("/").text
    assert "36 items" in c.get(f"/columns/{demo.tech}").text
