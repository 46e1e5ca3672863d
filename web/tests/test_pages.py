"""Requests through Flask's test client: hostile input never gives a 500,
user text is escaped, forms need their CSRF token, access is checked on
every request, and repeated wrong passwords lock the sign-in."""

import re

import pytest

import ptolix
from conftest import crawl, sign_in, staff, token


@pytest.fixture
def client(app):
    return app.test_client()


def test_public_pages(client, demo):
    home = client.get("/").get_data(as_text=True)
    assert "科技" in home and "/columns/" + demo.tech in home
    page = client.get(f"/columns/{demo.tech}?page=2").get_data(as_text=True)
    assert re.search(r"(\d+) items · page 2 of (\d+)", page).groups() == ("36", "4")
    item = client.get(f"/items/{demo.published[4]}").get_data(as_text=True)
    assert "files/tech-5.pdf" in item  # the attachment
    assert client.get(f"/items/{demo.waiting[0]}").status_code == 404  # not published
    assert "友情链接" in client.get("/links").get_data(as_text=True)
    assert "Type mismatch" in client.get(f"/columns/{demo.tech}?page=abc").get_data(as_text=True)
    clamped = client.get(f"/columns/{demo.tech}?page=99").get_data(as_text=True)
    assert "page 4 of 4" in clamped and clamped.count("<li data-id") == 6
    seen, path = [], f"/columns/{demo.tech}"  # each item once, following the Next links
    while path:
        page = client.get(path).get_data(as_text=True)
        seen += re.findall(r'<li data-id="(\d+)"', page)
        path = next(iter(re.findall(r'class="next" href="([^"]+)"', page)), None)
    assert len(seen) == len(set(seen)) == 36
    assert "Set-Cookie" not in client.get("/").headers  # public pages make no session


# A path ({tech}: a column with items) and its status: never a 500.
STATUSES = """
/columns/abc 404  /columns/0 404  /columns/99999999 404  /columns/1'%20or%201=1 404
/columns/{tech}?page=abc 400  /columns/{tech}?page=%27;drop 400  /columns/{tech}?page=0 200
/columns/{tech}?page=-5 200  /columns/{tech}?page=2.5 200  /columns/{tech}?page=1e12 400
/columns/{tech}?page=99999999999 400  /columns/{tech}?page=99 200  /columns/{tech}?page= 200
/items/abc 404  /items/0 404  /items/123456789 404  /items/1%00 404  /sites/x/ 404
/sites/77/ 404  /sites/1/ 200  /desk/ 302  /desk/admin/ 302  /desk/columns/{tech} 302
/nowhere 404
""".split()


@pytest.mark.parametrize("path, status", zip(STATUSES[::2], map(int, STATUSES[1::2])))
def test_no_input_makes_a_500(client, demo, path, status):
    assert client.get(path.format(tech=demo.tech)).status_code == status


def test_forms_need_their_csrf_token_and_sign_in_is_throttled(app, client):
    cookie = client.get("/signin").headers["Set-Cookie"]
    assert "HttpOnly" in cookie and "SameSite=Lax" in cookie
    resp = client.post("/signin", data={"user": "admin", "password": "Admin#2024"})
    assert resp.status_code == 400 and "not sent from this site" in resp.get_data(as_text=True)
    forged = {"user": "admin", "password": "Admin#2024", "csrf_token": "forged"}
    assert client.post("/signin", data=forged).status_code == 400
    # Repeated wrong passwords lock the pair of address and user.
    c = app.test_client()
    failed = [sign_in(c, "reviewer", "wrong") for _ in range(3)]
    assert [r.status_code for r in failed] == [401] * 3
    assert "wait 60 seconds before the next try" in failed[-1].get_data(as_text=True)
    locked = sign_in(c, "reviewer")
    assert locked.status_code == 429 and "Too many failed sign-ins" in locked.get_data(True)
    staff(app, "author")  # another user from the same address is not locked


def test_hostile_text_is_escaped_everywhere(app, demo, lib):
    c = staff(app, "author")
    form = token(c, f"/desk/columns/{demo.tech}/new")
    data = {"csrf_token": form, "type": "1", "title": "<script>alert(1)</script>"}
    data |= {"content": "<img src=x onerror=alert(2)>正文", "attach_title": '"><b>x</b>'}
    data |= {"attach_file": "javascript:alert(3)"}
    resp = c.post(f"/desk/columns/{demo.tech}/new", data=data)
    assert resp.status_code == 302
    item_id = resp.headers["Location"].rsplit("/", 1)[1]
    page = c.get(f"/desk/items/{item_id}").get_data(as_text=True)
    assert "&lt;script&gt;alert(1)&lt;/script&gt;" in page and "<script>alert(1)" not in page
    assert "<b>x</b>" not in page and "onerror=alert(2)>" not in page
    ptolix.create("Information", lib).AssessInfo("reviewer", item_id, "4")
    public = c.get(f"/items/{item_id}").get_data(as_text=True)
    assert "&lt;script&gt;" in public and "<script>" not in public
    assert 'href="javascript:' not in public and "onerror" not in public
    for field, size, status in (("title", 201, 400), ("content", 3 * 1024 * 1024, 400)):
        data = {"csrf_token": form, "type": "1", "title": "t", field: "x" * size}
        assert c.post(f"/desk/columns/{demo.tech}/new", data=data).status_code == status, field


def test_access_is_checked_on_every_screen_and_follows_grants(app, demo):
    reader = staff(app, "reader")
    desk = [f"/desk/columns/{demo.tech}{end}" for end in ("", "/new", "/manage")]
    for path in desk + [f"/desk/items/{demo.published[0]}", "/desk/admin/", "/desk/admin/users"]:
        resp = reader.get(path)  # the error page, as a browser shows it
        assert resp.status_code == 403 and "<h1>Forbidden</h1>" in resp.get_data(True), path
    author = staff(app, "author")
    assert author.get(f"/desk/columns/{demo.tech}").status_code == 200
    assert author.get(f"/desk/columns/{demo.tech}/manage").status_code == 403  # level 2 only
    t = token(author, "/desk/")
    assess = f"/desk/items/{demo.published[0]}/assess"
    assert author.post(assess, data={"csrf_token": t, "state": "4"}).status_code == 403  # level 3
    # A grant the manager adds counts at once.
    admin = staff(app, "admin")
    t = token(admin, "/desk/")
    form = {"csrf_token": t, "kind": "user", "who": "reader", "access": "2", "action": "add"}
    page = admin.post(f"/desk/columns/{demo.lab}/grants", data=form, follow_redirects=True)
    page = page.get_data(as_text=True)
    assert "The grant was saved." in page and "访客" in page
    reader = staff(app, "reader")
    assert reader.get(f"/desk/columns/{demo.lab}").status_code == 200  # granted, rebuilt at once
    assert reader.get(f"/desk/columns/{demo.tech}").status_code == 403
    form = {"csrf_token": t, "target": demo.lab}
    moved = admin.post(f"/desk/columns/{demo.tech}/move", data=form, follow_redirects=True)
    moved = moved.get_data(as_text=True)
    assert "A column cannot move below one of its own sub-columns." in moved  # the library refused


def test_every_screen_renders_and_shows_library_errors(app, demo):
    # Every screen a link leads to, as a reader and as the administrator.
    wrong = {n: s.status for n, s in crawl(app, demo).items() if s.status != 200}
    assert wrong == {"/no-such-page": 404, "/desk/no-such-screen": 404}
    admin = staff(app, "admin")
    t = token(admin, "/desk/admin/parameters")
    form = {"csrf_token": t, "scope": "1", "title": "x", "end": "not a date"}
    resp = admin.post("/desk/admin/links/add", data=form, follow_redirects=True)
    assert resp.status_code == 200 and "Type mismatch" in resp.get_data(as_text=True)
    code = admin.get("/desk/admin/page-code?page=index.asp&style=1").get_data(as_text=True)
    assert "Response.Write" in code
    missing = ["/desk/admin/templates", "/desk/admin/links?scope=x", "/desk/admin/nothing"]
    for path in missing + ["/desk/admin/users/edit?k_Usr_ID=nobody"]:
        assert admin.get(path).status_code == 404, path
