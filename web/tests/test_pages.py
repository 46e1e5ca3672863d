"""Requests through Flask's test client: hostile input never gives a 500,
user text is escaped, forms need their CSRF token and access is checked on
every request. Sign-in throttling: test_desk_rules.py."""

import re

import pytest

from conftest import crawl, new_item, staff

# A path ({tech}: a column with 36 items, {file}: an item with a file,
# {waiting}: one not published) and its status: never a 500 (a NUL is refused
# by the library; waiting items are never found).
STATUSES = """
/columns/abc 404  /columns/0 404  /columns/99999999 404  /columns/1'%20or%201=1 404
/columns/{tech}?page=abc 400  /columns/{tech}?page=%27;drop 400  /columns/{tech}?page=0 200
/columns/{tech}?page=-5 200  /columns/{tech}?page=2.5 200  /columns/{tech}?page=1e12 400
/columns/{tech}?page=99999999999 400  /columns/{tech}?page=99 200  /columns/{tech}?page= 200
/items/abc 404  /items/0 404  /items/123456789 404  /items/1%00 404  /sites/x/ 404
/sites/77/ 404  /sites/1/ 200  /desk/ 302  /desk/admin/ 302  /desk/columns/{tech} 302
/nowhere 404  /items/{waiting} 404  / 200  /columns/{tech}?page=2 200  /items/{file} 200
/links 200  /search 200  /search?q=%25 200  /search?q=待审： 200  /search?q=期&page=abc 400
/search?q=a%00b 400
""".split()
# What some of those pages say.
TEXTS = {"/": '<a href="/columns/{tech}">科技</a>', "/links": "友情链接"}
TEXTS |= {"/columns/{tech}?page=2": "36 items · page 2 of 4", "/items/{file}": "files/tech-5.pdf"}
TEXTS |= {"/columns/{tech}?page=abc": "Type mismatch", "/search?q=待审：": 'id="search-none"'}


@pytest.mark.parametrize("path, status", zip(STATUSES[::2], map(int, STATUSES[1::2])))
def test_no_input_makes_a_500(app, demo, path, status):
    ids = {"tech": demo.tech, "file": demo.published[4], "waiting": demo.waiting[0]}
    resp = app.test_client().get(path.format(**ids))
    assert resp.status_code == status and TEXTS.get(path, "").format(**ids) in resp.text


def test_next_links_show_each_item_once(app, demo):
    c, seen, path = app.test_client(), [], f"/columns/{demo.tech}"
    while path:
        page = c.get(path).text
        ids = re.findall(r'<li data-id="(\d+)"', page)
        path = next(iter(re.findall(r'class="next" href="([^"]+)"', page)), None)
        seen += ids
    assert len(seen) == len(set(seen)) == 36
    past_the_end = c.get(f"/columns/{demo.tech}?page=99").text
    assert re.findall(r'<li data-id="(\d+)"', past_the_end) == ids  # the last page
    assert "page 4 of 4" in past_the_end
    assert "Set-Cookie" not in c.get("/").headers  # public pages make no session


def test_forms_need_their_csrf_token(app):
    c = app.test_client()
    cookie = c.get("/signin").headers["Set-Cookie"]
    assert "HttpOnly" in cookie and "SameSite=Lax" in cookie
    for token in ({}, {"csrf_token": "forged"}):
        resp = c.post("/signin", data={"user": "admin", "password": "Admin#2024", **token})
        assert resp.status_code == 400 and "not sent from this site" in resp.text


def test_hostile_text_is_escaped_everywhere(app, demo, info):
    c, new = staff(app, "author"), f"/desk/columns/{demo.tech}/new"
    data = {"attach_title": '"><b>x</b>', "attach_file": "javascript:alert(3)"}
    data |= {"content": "<img src=x onerror=alert(2)>正文"}
    item_id = new_item(c, demo.tech, "<script>alert(1)</script>", **data)
    page = c.get(f"/desk/items/{item_id}").text
    assert "&lt;script&gt;alert(1)&lt;/script&gt;" in page and "<script>alert(1)" not in page
    assert "<b>x</b>" not in page and "onerror=alert(2)>" not in page
    info.AssessInfo("reviewer", item_id, "4")
    public = c.get(f"/items/{item_id}").text
    assert "&lt;script&gt;" in public and "<script>" not in public
    assert 'href="javascript:' not in public and "onerror" not in public
    for field, size in (("title", 201), ("content", 3 * 1024 * 1024)):
        form = {"type": "1", "title": "t"} | {field: "x" * size}
        assert c.send(new, **form).status_code == 400, field


def test_access_is_checked_on_every_screen(app, demo):
    reader, author = staff(app, "reader"), staff(app, "author")
    desk = [f"/desk/columns/{demo.tech}{end}" for end in ("", "/new", "/manage")]
    for path in desk + [f"/desk/items/{demo.published[0]}", "/desk/admin/", "/desk/admin/users"]:
        resp = reader.get(path)  # the error page, as a browser shows it
        assert resp.status_code == 403 and "<h1>Forbidden</h1>" in resp.text, path
    assert author.get(f"/desk/columns/{demo.tech}").status_code == 200
    assert author.get(f"/desk/columns/{demo.tech}/manage").status_code == 403  # level 2 only
    assess = f"/desk/items/{demo.published[0]}/assess"
    assert author.send(assess, state="4").status_code == 403  # level 3


def test_every_screen_renders_and_shows_library_errors(app, demo):
    # Every screen a link leads to, as a reader and as the administrator.
    wrong = {n: s.status for n, s in crawl(app, demo).items() if s.status != 200}
    assert wrong == {"/no-such-page": 404, "/desk/no-such-screen": 404}
    admin = staff(app, "admin")
    resp = admin.send("/desk/admin/links/add", True, scope="1", title="x", end="not a date")
    assert resp.status_code == 200 and "Type mismatch" in resp.text
    moved = admin.send(f"/desk/columns/{demo.tech}/move", True, target=demo.lab)
    assert "A column cannot move below one of its own sub-columns." in moved.text
    code = admin.get("/desk/admin/page-code?page=index.asp&style=1").text
    assert "Response.Write" in code
    missing = ["/desk/admin/templates", "/desk/admin/links?scope=x", "/desk/admin/nothing"]
    for path in missing + ["/desk/admin/users/edit?k_Usr_ID=nobody"]:
        assert admin.get(path).status_code == 404, path
