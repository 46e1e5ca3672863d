"""Editing through the test client: uploads checked by content and served
safely, formatted text kept to its subset, preview and revisions for staff
only, dates applied by state changes with exact counts, drafts, reviewing
several items at once, bylines, and the users form with its password rule."""

import io
import re
from datetime import datetime, timedelta
from pathlib import Path

from PIL import Image

import ptolix
from conftest import new_item, sign_in, staff
from ptolix_web import schedule


PDF, PICTURE = b"%PDF-1.4\n1 0 obj<<>>endobj\ntrailer<<>>\n%%EOF\n", io.BytesIO()
Image.new("RGB", (1200, 900), (30, 120, 200)).save(PICTURE, format="JPEG")


def row(info, item: str) -> dict:
    return ptolix.records(info.GetInfo(item))[0]


def state(info, item: str) -> int:
    return row(info, item)["InfState_ID"]


def test_uploads_are_checked_by_content_stored_and_served(app, demo, lib, info):
    author = staff(app, "author")
    item = new_item(author, demo.tech, "附件测试")
    cases = [  # (file name, content, message expected or None when taken)
        ("../../etc/照片.jpg", PICTURE.getvalue(), None),
        ("C:\\Users\\me\\report.html", PDF, None),  # a PDF, whatever its name says
        ("photo.jpg", b"<html><script>alert(1)</script></html>", "text/html are not taken"),
        ("image.png", b"<svg xmlns='http://www.w3.org/2000/svg'/>", "are not taken"),
        ("tool.exe", b"MZ\x90\x00" + b"\x00" * 200, "are not taken"),
        ("big.pdf", PDF + b"0" * (1024 * 1024), "larger than 1 MB"),
        ("broken.jpg", PICTURE.getvalue()[:300], "cannot be read"),
        ("empty.txt", b"", "empty"),
    ]
    files = f"/desk/items/{item}/files"
    for name, content, expected in cases:
        resp = author.send(files, True, file=(io.BytesIO(content), name), alt="蓝色图片")
        said = " ".join(re.findall(r'class="msg [a-z]+">([^<]*)', resp.text))
        assert (expected or "The file was added.") in said, (name, said)
    eleven = [(io.BytesIO(PDF), f"{n}.pdf") for n in range(11)]
    assert "at most 10 files" in author.send(files, True, file=eleven).text

    media = Path(app.config["PTOLIX"].media_dir)
    stored = sorted(p.name for p in media.iterdir())  # the picture, its three copies, the PDF
    named = r"\d+-[0-9a-f]{8}(\.(story|card|thumb))?\.(jpg|pdf)"
    assert len(stored) == 5 and all(re.fullmatch(named, n) for n in stored)
    attached = ptolix.records(info.GetInfoAttachList(item))
    uploads = lib.execute("select UploadFile_Name from tPtlx_Upload")
    originals = {n for n in stored if not re.search(r"\.(story|card|thumb)\.", n)}
    assert {a["Attach_FileName"] for a in attached} == {"media/" + n for n in originals}
    assert {r[0] for r in uploads[1:]} >= {a["Attach_FileName"][6:] for a in attached}

    page = author.get(f"/desk/items/{item}").text
    pdf_url = re.search(r'href="(/media/\d+-[0-9a-f]{8}\.pdf)"', page).group(1)
    jpg_url = re.search(r'href="(/media/\d+-[0-9a-f]{8}\.jpg)"', page).group(1)
    pdf, jpg = author.get(pdf_url), author.get(jpg_url)
    assert (pdf.status_code, pdf.mimetype, jpg.mimetype) == (200, "application/pdf", "image/jpeg")
    assert re.match(r"attachment;.*report\.html\.pdf", pdf.headers["Content-Disposition"])
    assert "sandbox" in pdf.headers["Content-Security-Policy"]
    assert "%E7%85%A7%E7%89%87.jpg" in jpg.headers["Content-Disposition"]
    story = jpg_url.replace(".jpg", ".story.jpg")
    assert Image.open(io.BytesIO(author.get(story).data)).size == (800, 600)
    for path in (jpg_url + "x", "/media/1-00000000.jpg", "/media/..%2fweb.db", story + ".pdf"):
        assert author.get(path).status_code == 404, path
    # Not published yet: readers get nothing; once published, they get the files.
    assert app.test_client().get(pdf_url).status_code == 404
    info.AssessInfo("reviewer", item, "4")
    assert app.test_client().get(pdf_url).status_code == 200

    # Removing the attachment, then the (published) item, removes their files.
    pdf_attach = next(a for a in attached if a["Attach_FileName"].endswith(".pdf"))
    reviewer, attachment = staff(app, "reviewer"), pdf_attach["Attach_ID"]
    reviewer.send(f"/desk/items/{item}/attachments/{attachment}/delete", confirm="yes")
    assert not any(p.suffix == ".pdf" for p in media.iterdir())
    assert app.test_client().get(pdf_url).status_code == 404
    reviewer.send(f"/desk/items/{item}/delete", confirm="yes")
    assert list(media.iterdir()) == [] and info.GetInfoAttachList(item)[1:] == []


def test_formatted_text_is_kept_to_its_subset(app, demo, info):
    author = staff(app, "author")
    hostile = (
        '<h1 onclick="x()">标题</h1><p style="color:red">正文<b>粗</b><i>斜</i>'
        '<a href="javascript:alert(1)">坏链接</a><a href="https://example.org">好链接</a></p>'
        "<script>alert(2)</script><!--[if gte mso 9]><xml>o</xml><![endif]-->"
        '<table><tr><td>格</td></tr></table><img src="https://evil.example/x.png" onerror="y()">'
        '<img src="/media/1-0000abcd.jpg" alt="another item\'s picture">'
        "<ul><li>一</li></ul><blockquote>引用</blockquote><iframe src=/></iframe>"
    )
    item = new_item(author, demo.tech, "格式测试", content=hostile)
    stored = row(info, item)["Info_Content"]
    info.AssessInfo("reviewer", item, "4")
    assert stored == (
        '<h2>标题</h2><p>正文<strong>粗</strong><em>斜</em><a rel="nofollow noopener">坏链接</a>'
        '<a href="https://example.org" rel="nofollow noopener">好链接</a></p>\n格'
        "<ul><li>一</li></ul><blockquote>引用</blockquote>"
    )
    public = app.test_client().get(f"/items/{item}").text  # cleaned again: the same markup
    assert re.search(r'id="story-body">(.*?)</div>', public, re.S)[1] == stored
    # Text stored by other means is cleaned when shown.
    other = '<p onmouseover="z()">改<script>bad()</script></p>'
    info.ModifyInfo(item, "1", "格式测试", other, "", "", "")
    public = app.test_client().get(f"/items/{item}").text
    assert "<p>改</p>" in public and "bad()" not in public and "onmouseover" not in public


def test_preview_and_revisions_are_for_staff_only(app, demo, info):
    author = staff(app, "author")
    item = new_item(author, demo.tech, "第一版", content="<p>甲</p>", send="draft")
    assert state(info, item) == 2  # kept with editors
    for title, body in (("第二版", "<p>甲</p><p>乙</p>"), ("第三版", "<p>丙</p>")):
        data = {"title": title, "content": body, "type": "1", "pub": "2024-05-01"}
        assert author.send(f"/desk/items/{item}", **data).status_code == 302

    assert author.get(f"/desk/items/{item}/preview").status_code == 200  # shown: test_browser
    reader, restore = staff(app, "reader"), f"/desk/items/{item}/revisions/1/restore"
    for path in (f"/desk/items/{item}/preview", f"/desk/items/{item}/revisions"):
        assert reader.get(path).status_code == 403, path
        assert app.test_client().get(path).status_code == 302, path  # to sign-in
    assert reader.send(restore).status_code == 403

    history = author.get(f"/desk/items/{item}/revisions").text
    assert re.findall(r'<tr data-number="(\d+)"', history) == ["3", "2", "1"]
    diff = author.get(f"/desk/items/{item}/revisions?a=1&b=3").text
    assert "- 第一版" in diff and "+ 第三版" in diff and "- &lt;p&gt;甲&lt;/p&gt;" in diff
    assert "+ 2024-05-01 00:00:00" in diff
    page = author.send(restore, True).text
    assert "Revision 1 is the current version again." in page and "restored revision 1" in page
    assert re.findall(r'<tr data-number="(\d+)"', page) == ["4", "3", "2", "1"]
    restored = row(info, item)
    assert [restored[f"Info_{k}"] for k in ("Title", "Content", "PublicDate")] == [
        "第一版", "<p>甲</p>", None]  # fmt: skip


def published_count(c, column: str) -> int:
    return int(re.search(r"(\d+) items · page", c.get(f"/columns/{column}").text)[1])


def test_dates_change_states_and_keep_counts_exact(app, demo, lib, info):
    reader, author = app.test_client(), staff(app, "author")
    before = published_count(reader, demo.lab)
    # Minutes are cut off: five ahead stays in the future however slow the set-up is.
    soon = (datetime.now() + timedelta(minutes=5)).strftime("%Y-%m-%d %H:%M")
    ahead = new_item(author, demo.lab, "定时稿件", pub=soon)
    ended = new_item(author, demo.lab, "过期稿件", pub="2024-01-01", end="2024-02-01")
    lasting = new_item(author, demo.lab, "长期稿件", pub="2024-01-01", end="2099-01-01")
    several = {"state": "5", "id": [ahead, ended, lasting]}
    resp = staff(app, "reviewer").send("/desk/review/several", True, **several)
    assert "Publish as recommended: 3 item(s)." in resp.text
    scheduled, withdrawn = schedule.states(lib)
    assert [state(info, i) for i in (ahead, ended, lasting)] == [scheduled, withdrawn, 5]
    assert published_count(reader, demo.lab) == before + 1
    assert reader.get(f"/items/{ahead}").status_code == 404
    # The scheduler's run after the publication time: the kept state, one more listed.
    assert schedule.tick(lib, datetime.now() + timedelta(minutes=10)) == 1
    assert state(info, ahead) == 5 and published_count(reader, demo.lab) == before + 2
    assert schedule.tick(lib, datetime.now() + timedelta(minutes=10)) == 0
    # One lease per interval, whichever worker asks.
    claims = [schedule.claim(lib, w, 30, at=1e9) for w in ("a", "b", "a")]
    assert claims == [True, False, False] and schedule.claim(lib, "b", 30, at=1e9 + 30)
    assert reader.get(f"/items/{ahead}").status_code == 200


def test_review_several_drafts_and_bylines(app, demo, info):
    author = staff(app, "author")
    draft = new_item(author, demo.tech, "草稿一", send="draft")
    second = new_item(author, demo.tech, "草稿二")
    editors = author.get(f"/desk/columns/{demo.tech}?state=NeedReedit").text
    assert "草稿一" in editors and "周作者" in editors and "草稿二" not in editors
    author.send(f"/desk/items/{draft}/submit", state="1")
    assert state(info, draft) == 1
    several = {"state": "4", "id": [draft, second]}
    assert author.send("/desk/review/several", **several).status_code == 403
    reviewer = staff(app, "reviewer")
    queue = reviewer.get("/desk/review").text
    assert "草稿一" in queue and "周作者" in queue
    assert reviewer.send("/desk/review/several", **several | {"state": "2"}).status_code == 302
    assert [state(info, i) for i in (draft, second)] == [2, 2]
    for bad in ({"state": "9"}, {"id": ["1 or 1=1"]}):
        assert reviewer.send("/desk/review/several", **several | bad).status_code in (400, 404)


# A change to a valid new user, the status and what the page says (a weak
# password: after the redirect back to the form).
REFUSED = [({"website": ""}, 400, "must not be empty"), ({"name": ""}, 400, "must not be empty")]
REFUSED += [({"password": ""}, 400, "must not be empty"), ({"website": "999"}, 400, "from the")]
REFUSED += [({"role": "9999"}, 400, "from the list"), ({"org": "x"}, 400, "takes a number")]
# Passwords: short, common, the user name with a year, a keyboard row.
REFUSED += [({"password": p}, 200, "at least 10 char") for p in ("1", "password12", "qwertyuiop")]
REFUSED += [({"id": "newstaff", "password": "newstaff2026"}, 200, "at least 10 characters")]


def test_admin_forms_offer_choices_and_save_only_users_who_can_sign_in(app, demo, lib):
    admin = staff(app, "admin")
    form = admin.get("/desk/admin/users").text
    assert re.search(r'<select name="role" required>.*网站编辑', form, re.S)
    assert re.search(r'<select name="website" required>.*</select>', form, re.S)
    assert 'list="choices-org"' in form
    assert re.search(r'name="password"[^>]*autocomplete="new-password"', form)
    user = {"id": "newbie", "role": demo.editors, "name": "新人", "email": ""}
    user |= {"password": "Lantern-Newbie-58", "website": "1", "org": ""}
    for change, status, said in REFUSED:
        resp = admin.send("/desk/admin/users/add", True, **user | change)
        page = resp.text
        assert resp.status_code == status and said in page and "Added." not in page, change
    for n, password in enumerate(("Lantern-Newbie-58", "correct horse battery staple")):
        new = user | {"id": f"newbie{n}", "password": password}
        assert admin.send("/desk/admin/users/add", **new).status_code == 302
        assert sign_in(app.test_client(), f"newbie{n}", password).status_code == 302

    # A user of no website (added by other means) is mended in the edit form.
    u = ptolix.create("User", lib)
    u.AppendUser("stray", demo.editors, "迷路", "Stray#2024", "", "", "")
    u.AddToRole("stray", demo.reviewers)
    assert sign_in(app.test_client(), "stray", "Stray#2024").status_code == 401
    edit = admin.get("/desk/admin/users/edit?k_Usr_ID=stray").text
    assert '<option value="">(choose)</option>' in edit and 'autocomplete="new-password"' in edit
    data = {"k_Usr_ID": "stray", "id": "stray", "role": demo.editors, "name": "迷路"}
    data |= {"password": "", "email": "", "website": "1", "org": "3"}
    assert admin.send("/desk/admin/users/edit", **data).status_code == 302
    assert sign_in(app.test_client(), "stray", "Stray#2024").status_code == 302
    stray = ptolix.records(u.GetUser("stray"))[0]
    held = {r["Role_ID"] for r in ptolix.records(u.GetRoleList("stray"))}
    assert (stray["WebSite_ID"], stray["Org_ID"]) == (1, 3)
    assert {int(demo.editors), int(demo.reviewers)} <= held
