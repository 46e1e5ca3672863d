"""The desk's own rules: sign-in throttling across names and addresses,
review of published text, deletes that ask first, the record of staff
actions, input the library refuses, and the response headers. Password
rules: test_editing.py."""

import re

import ptolix
from conftest import client_at, sign_in, staff, token
from ptolix_web.text import safe_url


def signed_in(app, user: str, password: str | None = None, address: str = "10.0.0.1"):
    c = staff(app, user, password, address)
    return c, token(c, "/desk/")


def test_sign_in_throttling_counts_names_and_addresses(app, lib):
    ptolix.create("User", lib).AppendUser("target", "1", "", "Quiet-Harbour-71", "", "1", "1")
    # One address spraying many names meets the lock at its 10th failure.
    sprayer = client_at(app, "10.1.0.1")
    statuses = [sign_in(sprayer, f"name{n}", "wrong-guess").status_code for n in range(11)]
    assert statuses == [401] * 10 + [429]
    # One name tried from many addresses meets it too, with the same text
    # whether the user exists or not.
    pages = {}
    for user in ("target", "nobody-here"):
        for n in range(10):
            sign_in(client_at(app, f"10.2.{len(pages)}.{n}"), user, "wrong-guess")
        resp = sign_in(client_at(app, f"10.3.{len(pages)}.1"), user, "Quiet-Harbour-71")
        error = re.search(r'id="signin-error">([^<]*)<', resp.get_data(True)).group(1)
        pages[user] = (resp.status_code, re.sub(r"\d+ seconds", "N seconds", error))
    assert pages["target"] == pages["nobody-here"] == (429, pages["target"][1])
    assert "Too many failed sign-ins" in pages["target"][1]


def test_published_text_changes_only_through_review(app, demo, lib):
    published = demo.published[1]
    author, at = signed_in(app, "author")
    before = app.test_client().get(f"/items/{published}").get_data(as_text=True)
    title = re.search(r"<h1 id=\"title\">([^<]+)</h1>", before).group(1)
    form = {"csrf_token": at, "type": "1", "title": "改过的标题", "content": "x"}
    resp = author.post(f"/desk/items/{published}", data=form)
    assert resp.status_code == 403 and "only a reviewer may change it" in resp.get_data(True)
    assert title in app.test_client().get(f"/items/{published}").get_data(as_text=True)
    resp = author.post(f"/desk/items/{published}/files", data={"csrf_token": at})
    assert resp.status_code == 403
    reviewer, rt = signed_in(app, "reviewer", address="10.0.0.2")
    form["csrf_token"] = rt
    assert reviewer.post(f"/desk/items/{published}", data=form).status_code == 302
    assert "改过的标题" in app.test_client().get(f"/items/{published}").get_data(as_text=True)

    # Deleting: another's item or a published one needs a reviewer; one's own asks first.
    resp = author.post(f"/desk/items/{published}/delete", data={"csrf_token": at})
    assert resp.status_code == 403
    info, rest = ptolix.create("Information", lib), ("", "", "", "", "1")
    theirs = str(info.AppendInfo("1", demo.tech, "reviewer", "1", "审核员的稿", *rest))
    mine = str(info.AppendInfo("1", demo.tech, "author", "1", "作者的稿", *rest))
    assert author.get(f"/desk/items/{theirs}/delete").status_code == 403
    ask = author.post(f"/desk/items/{mine}/delete", data={"csrf_token": at})
    assert ask.status_code == 200 and "Delete this item?" in ask.get_data(True)
    assert author.get(f"/desk/items/{mine}").status_code == 200  # still there
    done = author.post(f"/desk/items/{mine}/delete", data={"csrf_token": at, "confirm": "yes"})
    assert done.status_code == 302 and author.get(f"/desk/items/{mine}").status_code == 404


# Rows of the code tables whose delete is refused: register, key, value, the reason.
DICTIONARY_ROWS_IN_USE = [("states", "k_InfState_ID", "4", "fixed meaning")]
DICTIONARY_ROWS_IN_USE += [("types", "k_InfType_ID", "1", "in use (")]
DICTIONARY_ROWS_IN_USE += [("access", "k_AccessType_ID", "2", "fixed meaning")]


def test_deletes_ask_and_say_what_goes(app, demo, lib):
    admin, t = signed_in(app, "admin")
    page = admin.post(f"/desk/columns/{demo.tech}/delete", data={"csrf_token": t})
    text = page.get_data(as_text=True)
    assert page.status_code == 200 and "1 column(s) below it" in text
    assert re.search(r"\b3[89] item\(s\) in it and below it", text)
    assert admin.get(f"/desk/columns/{demo.tech}").status_code == 200  # nothing deleted
    # A manager of the column but not of the one below.
    role = str(ptolix.create("Role", lib).AppendRole("栏目管理", ""))
    ptolix.create("Column", lib).AddRoleAccess("1", demo.tech, role, "4")
    ptolix.create("User", lib).AppendUser("manager", role, "管理者", "Quiet-Harbour-71", "", "1", "1")
    manager, mt = signed_in(app, "manager", "Quiet-Harbour-71")
    data = {"csrf_token": mt, "confirm": "yes"}
    refused = manager.post(f"/desk/columns/{demo.tech}/delete", data=data)
    assert (refused.status_code, "do not manage 1 of" in refused.get_data(True)) == (409, True)
    for slug, key, value, refusal in DICTIONARY_ROWS_IN_USE:
        data = {"csrf_token": t, key: value, "confirm": "yes"}
        resp = admin.post(f"/desk/admin/{slug}/delete", data=data)
        assert resp.status_code == 409 and refusal in resp.get_data(True), slug
        assert "Yes, delete" not in resp.get_data(True)
    ptolix.create("Encode", lib).AppendInfoType("未用", "")
    unused = str(lib.execute("select max(InfType_ID) from tPtlx_InfoType")[1][0])
    data = {"csrf_token": t, "k_InfType_ID": unused}
    assert "Yes, delete" in admin.post("/desk/admin/types/delete", data=data).get_data(True)
    data["confirm"] = "yes"
    done = admin.post("/desk/admin/types/delete", data=data, follow_redirects=True)
    assert "Removed." in done.get_data(True)


def test_staff_actions_are_recorded(app, demo, lib):
    reviewer, rt = signed_in(app, "reviewer", address="10.9.8.7")
    item = demo.waiting[1]
    form = {"csrf_token": rt, "type": "1", "title": "记录：新标题", "content": "正文"}
    assert reviewer.post(f"/desk/items/{item}", data=form).status_code == 302
    admin, t = signed_in(app, "admin")
    page = admin.get(f"/desk/admin/audit?item={item}").get_data(as_text=True)
    row = re.search(r'<tr data-id="\d+">(.*?)</tr>', page, re.S).group(1)
    assert "reviewer" in row and "10.9.8.7" in row and "item.change" in row
    assert "待审：城市交通数据开放" in row and "记录：新标题" in row
    assert "记录：新标题" not in admin.get("/desk/admin/audit?user=author").get_data(True)
    # Paging: 50 to a page, newest first.
    rows = ", ".join(f"({1.7e9 + n}, 'bulk', 'test.bulk', 'row {n}')" for n in range(60))
    lib.execute(f"insert into web_audit (at, usr_id, action, target) values {rows}")
    first = admin.get("/desk/admin/audit?user=bulk").get_data(as_text=True)
    second = admin.get("/desk/admin/audit?user=bulk&page=2").get_data(as_text=True)
    assert first.count("test.bulk") == 50 and second.count("test.bulk") == 10
    assert "row 59" in first and "row 0<" in second and "60 actions" in first
    # Never editable from the site; not for anyone but administrators.
    resp = admin.post("/desk/admin/audit", data={"csrf_token": t})
    assert resp.status_code == 405 and "GET" in resp.headers["Allow"]
    assert reviewer.get("/desk/admin/audit").status_code == 403


def test_refused_input_is_shown_beside_its_field(app, demo):
    author, at = signed_in(app, "author")
    cases = [({"title": "NUL\0here"}, "error-title", "NUL character")]
    cases += [({"content": "a\0b"}, "error-content", "NUL character")]
    cases += [({"type": "99999999999999999999"}, "error-type", "Choose a value")]
    cases += [({"pub": "not a date"}, "error-pub", "pPubDate")]
    for change, element, message in cases:
        form = {"csrf_token": at, "type": "1", "title": "标题", **change}
        resp = author.post(f"/desk/columns/{demo.tech}/new", data=form)
        page = resp.get_data(as_text=True)
        assert resp.status_code == 422, change
        assert re.search(rf'id="{element}">[^<]*{message}', page), change
        assert "-2147217900" not in page and "unrecognized token" not in page


def test_headers_and_addresses(app):
    unsafe = ["/\\evil.example/x.pdf", "//evil.example", "\\\\evil.example", "/\t/evil.example"]
    safe = ["/files/x.pdf", "https://a.example/"]  # kept as they are
    assert [safe_url(u) for u in unsafe + safe] == [None] * 4 + safe
    csp = app.test_client().get("/").headers["Content-Security-Policy"]
    assert "form-action 'self'" in csp and "base-uri 'self'" in csp
    # What is cached for whom: test_reading.py.
    refused = app.test_client().put("/signin")
    assert refused.status_code == 405 and set(refused.headers["Allow"].split(", ")) >= {
        "GET",
        "POST",
    }
