"""Access follows every change at the affected users' next request, in
every session and on every worker process: sessions live in the database,
and each kind of change is made through the site while the user has two
sessions open, one of them on a second instance of the application."""

import re

import pytest

import ptolix
from conftest import NEW_PASSWORD, sign_in, staff, token
from ptolix_web import create_app


@pytest.fixture(scope="module")
def apps(demo):
    """Two instances of the site on one database: two worker processes."""
    settings = {"db_url": demo.url, "secret": "shared-secret", "lock_seconds": 60}
    return create_app(settings), create_app(settings)


def make_user(apps, conn, name: str, role: str) -> list:
    """The user, added outside the site, signed in once on each worker."""
    ptolix.create("User", conn).AppendUser(name, role, name, NEW_PASSWORD, "", "1", "1")
    return [staff(app, name) for app in apps]


def make_role(conn, name: str, father: str = "", grant: str = "") -> str:
    made = str(ptolix.create("Role", conn).AppendRole(name, "", father, ""))
    if grant:
        ptolix.create("Column", conn).AddRoleAccess("1", grant, made, "2")
    return made


# What the forms that take access away need besides the change itself.
CONFIRMED = {"description": "", "father": "", "order": "", "confirm": "yes", "action": "delete"}


def statuses(clients, path: str) -> list[int]:
    return [c.get(path).status_code for c in clients]


def test_each_change_reaches_both_sessions(apps, demo, lib):
    admin, lab = staff(apps[0], "admin"), f"/desk/columns/{demo.lab}"
    empty = make_role(lib, "无授权")
    roles = {name: make_role(lib, name, grant=demo.lab) for name in ("u_role", "u_grant", "父")}
    roles["u_tree"] = make_role(lib, "子", roles["父"])  # a child of a role with the grant
    user = {"k_Usr_ID": "u_role", "id": "u_role", "name": "u", "website": "1", "password": ""}
    changes = {  # user: the change that takes the column away, through the site
        "u_role": ("/desk/admin/users/edit", user | {"role": empty}),
        "u_grant": (f"{lab}/grants", {"kind": "role", "who": roles["u_grant"]}),
        "u_tree": ("/desk/admin/roles/edit", {"k_Role_ID": roles["u_tree"], "name": "子"}),
    }
    for name, (path, form) in changes.items():
        clients = make_user(apps, lib, name, roles[name])
        assert statuses(clients, lab) == [200, 200], name
        assert admin.send(path, **form | CONFIRMED).status_code == 302, name
        assert statuses(clients, lab) == [403, 403], name

    # A user grant added and removed by a manager: that column only.
    clients = make_user(apps, lib, "u_direct", empty)
    form = {"kind": "user", "who": "u_direct", "access": "2", "confirm": "yes"}
    page = admin.send(f"{lab}/grants", True, action="add", **form).text
    assert "The grant was saved." in page and "u_direct" in page
    tech = f"/desk/columns/{demo.tech}"
    assert statuses(clients, lab) + statuses(clients, tech) == [200, 200, 403, 403]
    admin.send(f"{lab}/grants", action="delete", **form)
    assert statuses(clients, lab) == [403] * 2


def test_column_tree_changes_reach_both_sessions(apps, demo, lib):
    column = ptolix.create("Column", lib)
    top = str(column.AppendColumn("1", "顶层", "", "", "", "", "", "1"))
    inner = str(column.AppendColumn("1", "内层", "", "", "", "", "", "1", demo.tech))
    clients = make_user(apps, lib, "u_column", make_role(lib, "内层编辑", grant=inner))
    admin = staff(apps[1], "admin")  # after the columns were made outside the site

    def desk_columns(c):  # depth, name
        return re.findall(r'<td class="tree d(\d)">([^<]+)</td>', c.get("/desk/").text)

    assert [desk_columns(c) for c in clients] == [[("0", "科技"), ("1", "内层")]] * 2
    assert admin.send(f"/desk/columns/{inner}/move", target=top).status_code == 302
    # Placed before 顶层: at the top.
    assert [desk_columns(c) for c in clients] == [[("0", "内层")]] * 2


def test_removal_and_passwords_end_sessions(apps, lib):
    admin, role = staff(apps[0], "admin"), make_role(lib, "普通")
    gone = make_user(apps, lib, "u_gone", role)
    page = admin.send("/desk/admin/users/delete", k_Usr_ID="u_gone")
    assert page.status_code == 200 and "sessions end at once" in page.text
    assert statuses(gone, "/desk/") == [200, 200]  # asked, not done yet
    admin.send("/desk/admin/users/delete", k_Usr_ID="u_gone", confirm="yes")
    assert statuses(gone, "/desk/") == [302, 302]

    reset = make_user(apps, lib, "u_reset", role)
    form = {"k_Usr_ID": "u_reset", "id": "u_reset", "role": role, "name": "x", "website": "1"}
    admin.send("/desk/admin/users/edit", password="Another-Tide-204", **form)
    assert statuses(reset, "/desk/") == [302, 302]

    mine, other = make_user(apps, lib, "u_self", role)
    new = {"current": NEW_PASSWORD, "new": "Lantern-Orchard-93", "repeat": "Lantern-Orchard-93"}
    assert mine.send("/desk/password", **new).status_code == 302
    assert statuses([mine, other], "/desk/") == [200, 302]
    weak = {"current": "Lantern-Orchard-93", "new": "password12", "repeat": "password12"}
    page = mine.send("/desk/password", **weak)
    assert page.status_code == 422 and 'id="error-new"' in page.text

    # An administrator sees the sessions and ends one of them.
    ended, path = make_user(apps, lib, "u_ended", role), "/desk/admin/users/u_ended/sessions"
    handles = re.findall(r'name="session" value="([0-9a-f]{64})"', admin.get(path).text)
    assert len(handles) == 2
    admin.send(path, session=handles[0])
    assert sorted(statuses(ended, "/desk/")) == [200, 302]
    admin.send(path, session="all")
    assert statuses(ended, "/desk/") == [302, 302]


def test_sign_out_holds_on_every_worker(apps):
    signed = sign_in(apps[0].test_client(), "author")
    cookie = re.search(r"ptolix_session=([^;]+)", signed.headers["Set-Cookie"]).group(1)
    two, three = apps[1].test_client(), apps[0].test_client()
    for c in (two, three):
        c.set_cookie("localhost", "ptolix_session", cookie)
    assert two.get("/desk/").status_code == 200  # the session is known to the other worker
    two.post("/signout", data={"csrf_token": token(two, "/desk/")})
    assert three.get("/desk/").status_code == 302
