"""The desk's own rules: sign-in throttling by pair, name and address,
review of published text, deletes that ask first, the record of staff
actions, input the library refuses, and the response headers. Password
rules: test_editing.py."""

import re

import ptolix
from conftest import NEW_PASSWORD, client, sign_in, staff
from ptolix_web.text import safe_url


def test_sign_in_throttling_counts_pairs_names_and_addresses(app, lib):
    # Wrong passwords lock the pair of address and user at the third.
    c = client(app, address="10.0.9.1")
    failed = [sign_in(c, "reviewer", "wrong") for _ in range(3)]
    assert [r.status_code for r in failed] == [401] * 3
    assert "wait 60 seconds before the next try" in failed[-1].text
    locked = sign_in(c, "reviewer")
    assert locked.status_code == 429 and "Too many failed sign-ins" in locked.text
    staff(app, "author", address="10.0.9.1")  # another user from the same address is not locked
    ptolix.create("User", lib).AppendUser("target", "1", "", NEW_PASSWORD, "", "1", "1")
    # One address spraying many names meets the lock at its 10th failure.
    sprayer = client(app, address="10.1.0.1")
    statuses = [sign_in(sprayer, f"name{n}", "wrong-guess").status_code for n in range(11)]
    assert statuses == [401] * 10 + [429]
    # One name from many addresses meets it too, the same whether the user exists or not.
    pages = {}
    for user in ("target", "nobody-here"):
        for n in range(10):
            sign_in(client(app, address=f"10.2.{len(pages)}.{n}"), user, "wrong-guess")
        resp = sign_in(client(app, address=f"10.3.{len(pages)}.1"), user)
        error = re.search(r'id="signin-error">([^<]*)<', resp.text).group(1)
        pages[user] = (resp.status_code, re.sub(r"\d+ seconds", "N seconds", error))
    assert pages["target"] == pages["nobody-here"] == (429, pages["target"][1])
    assert "Too many failed sign-ins" in pages["target"][1]


def test_published_text_changes_only_through_review(app, demo, lib):
    published, reader = demo.published[1], app.test_client()
    author, reviewer = staff(app, "author"), staff(app, "reviewer", address="10.0.0.2")
    title = re.search(r'<h1 id="title">([^<]+)</h1>', reader.get(f"/items/{published}").text)[1]
    form = {"type": "1", "title": "改过的标题", "content": "x"}
    resp = author.send(f"/desk/items/{published}", **form)
    assert resp.status_code == 403 and "only a reviewer may change it" in resp.text
    assert title in reader.get(f"/items/{published}").text
    assert author.send(f"/desk/items/{published}/files").status_code == 403
    assert reviewer.send(f"/desk/items/{published}", **form).status_code == 302
    assert "改过的标题" in reader.get(f"/items/{published}").text

    # Deleting: another's item or a published one needs a reviewer; one's own asks first.
    assert author.send(f"/desk/items/{published}/delete").status_code == 403
    info, rest = ptolix.create("Information", lib), ("", "", "", "", "1")
    theirs = str(info.AppendInfo("1", demo.tech, "reviewer", "1", "审核员的稿", *rest))
    mine = str(info.AppendInfo("1", demo.tech, "author", "1", "作者的稿", *rest))
    assert author.get(f"/desk/items/{theirs}/delete").status_code == 403
    ask = author.send(f"/desk/items/{mine}/delete")
    assert ask.status_code == 200 and "Delete this item?" in ask.text
    assert author.get(f"/desk/items/{mine}").status_code == 200  # still there
    assert author.send(f"/desk/items/{mine}/delete", confirm="yes").status_code == 302
    assert author.get(f"/desk/items/{mine}").status_code == 404


# Rows of the code tables whose delete is refused: register, key, value, the reason.
DICTIONARY_ROWS_IN_USE = [("states", "k_InfState_ID", "4", "fixed meaning")]
DICTIONARY_ROWS_IN_USE += [("types", "k_InfType_ID", "1", "in use (")]
DICTIONARY_ROWS_IN_USE += [("access", "k_AccessType_ID", "2", "fixed meaning")]


def test_deletes_ask_and_say_what_goes(app, demo, lib):
    admin = staff(app, "admin")
    text = admin.send(f"/desk/columns/{demo.tech}/delete").text
    assert "1 column(s) below it" in text
    assert re.search(r"\b3[89] item\(s\) in it and below it", text)
    assert admin.get(f"/desk/columns/{demo.tech}").status_code == 200  # nothing deleted
    # A manager of the column but not of the one below.
    role = str(ptolix.create("Role", lib).AppendRole("栏目管理", ""))
    ptolix.create("Column", lib).AddRoleAccess("1", demo.tech, role, "4")
    ptolix.create("User", lib).AppendUser("manager", role, "管理者", NEW_PASSWORD, "", "1", "1")
    refused = staff(app, "manager").send(f"/desk/columns/{demo.tech}/delete", confirm="yes")
    assert (refused.status_code, "do not manage 1 of" in refused.text) == (409, True)
    for slug, key, value, refusal in DICTIONARY_ROWS_IN_USE:
        page = admin.send(f"/desk/admin/{slug}/delete", confirm="yes", **{key: value})
        assert page.status_code == 409 and refusal in page.text, slug
        assert "Yes, delete" not in page.text
    ptolix.create("Encode", lib).AppendInfoType("未用", "")
    unused = str(lib.execute("select max(InfType_ID) from tPtlx_InfoType")[1][0])
    assert "Yes, delete" in admin.send("/desk/admin/types/delete", k_InfType_ID=unused).text
    done = admin.send("/desk/admin/types/delete", True, k_InfType_ID=unused, confirm="yes")
    assert "Removed." in done.text


def test_staff_actions_are_recorded(app, demo, lib):
    reviewer, item = staff(app, "reviewer", address="10.9.8.7"), demo.waiting[1]
    form = {"type": "1", "title": "记录：新标题", "content": "正文"}
    assert reviewer.send(f"/desk/items/{item}", **form).status_code == 302
    admin = staff(app, "admin")
    page = admin.get(f"/desk/admin/audit?item={item}").text
    row = re.search(r'<tr data-id="\d+">(.*?)</tr>', page, re.S).group(1)
    assert "reviewer" in row and "10.9.8.7" in row and "item.change" in row
    assert "待审：城市交通数据开放" in row and "记录：新标题" in row
    assert "记录：新标题" not in admin.get("/desk/admin/audit?user=author").text
    # Paging: 50 to a page, newest first.
    rows = ", ".join(f"({1.7e9 + n}, 'bulk', 'test.bulk', 'row {n}')" for n in range(60))
    lib.execute(f"insert into web_audit (at, usr_id, action, target) values {rows}")
    first = admin.get("/desk/admin/audit?user=bulk").text
    second = admin.get("/desk/admin/audit?user=bulk&page=2").text
    assert first.count("test.bulk") == 50 and second.count("test.bulk") == 10
    assert "row 59" in first and "row 0<" in second and "60 actions" in first
    # Never editable from the site; not for anyone but administrators.
    resp = admin.send("/desk/admin/audit")
    assert resp.status_code == 405 and "GET" in resp.headers["Allow"]
    assert reviewer.get("/desk/admin/audit").status_code == 403


# A change to a new item's form, the field it is shown beside, and the message.
REFUSED = [({"title": "NUL\0here"}, "error-title", "NUL character")]
REFUSED += [({"content": "a\0b"}, "error-content", "NUL character")]
REFUSED += [({"type": "99999999999999999999"}, "error-type", "Choose a value")]
REFUSED += [({"pub": "not a date"}, "error-pub", "pPubDate")]


def test_refused_input_is_shown_beside_its_field(app, demo):
    author, new = staff(app, "author"), f"/desk/columns/{demo.tech}/new"
    for change, element, message in REFUSED:
        resp = author.send(new, **{"type": "1", "title": "标题"} | change)
        assert resp.status_code == 422 and re.search(rf'id="{element}">[^<]*{message}', resp.text)
        assert "-2147217900" not in resp.text and "unrecognized token" not in resp.text


def test_headers_and_addresses(app):
    unsafe = ["/\\evil.example/x.pdf", "//evil.example", "\\\\evil.example", "/\t/evil.example"]
    safe = ["/files/x.pdf", "https://a.example/"]  # kept as they are
    assert [safe_url(u) for u in unsafe + safe] == [None] * 4 + safe
    csp = app.test_client().get("/").headers["Content-Security-Policy"]
    assert "form-action 'self'" in csp and "base-uri 'self'" in csp
