"""Access follows every change at the affected users' next request, in
every session and on every worker process: sessions live in the database,
and each kind of change is made through the site while the user has two
sessions open, one of them on a second instance of the application."""

import re

import pytest

import ptolix
from conftest import sign_in, staff, token
from ptolix_web import create_app

PASSWORD = "Quiet-Harbour-71"


@pytest.fixture(scope="module")
def apps(demo):
    """Two instances of the site on one database: two worker processes."""
    settings = {"db_url": demo.url, "secret": "shared-secret", "lock_seconds": 60}
    return create_app(settings), create_app(settings)


def make_user(conn, name: str, role: str) -> None:
    user = ptolix.create("User", conn)
    user.AppendUser(name, role, name, PASSWORD, "", "1", "1")
    assert not user.Errors


def make_role(conn, name: str, father: str = "") -> str:
    role = ptolix.create("Role", conn)
    made = str(role.AppendRole(name, "", father, ""))
    assert not role.Errors
    return made


def grant(conn, column: str, role: str, level: str = "2") -> None:
    ptolix.create("Column", conn).AddRoleAccess("1", column, role, level)


def two_sessions(apps, name: str):
    """The user signed in twice, once on each worker."""
    return [staff(app, name, PASSWORD) for app in apps]


def admin_of(app):
    c = staff(app, "admin")
    return c, token(c, "/desk/")


def post(c, t, path, **data):
    return c.post(path, data={"csrf_token": t, **data})


def test_each_change_reaches_both_sessions(apps, demo, lib):
    admin, t = admin_of(apps[0])
    lab = f"/desk/columns/{demo.lab}"
    empty = make_role(lib, "无授权")
    roles = {name: make_role(lib, name) for name in ("u_role", "u_grant", "父")}
    for role in roles.values():
        grant(lib, demo.lab, role)
    roles["u_tree"] = make_role(lib, "子", roles["父"])  # a child of a role with the grant
    user = {"k_Usr_ID": "u_role", "id": "u_role", "name": "u", "website": "1", "password": ""}
    changes = {  # user: the change that takes the column away, through the site
        "u_role": ("/desk/admin/users/edit", user | {"role": empty}),
        "u_grant": (
            f"{lab}/grants",
            {"kind": "role", "who": roles["u_grant"], "action": "delete"},
        ),
        "u_tree": ("/desk/admin/roles/edit", {"k_Role_ID": roles["u_tree"], "name": "子"}),
    }
    for name, (path, form) in changes.items():
        make_user(lib, name, roles[name])
        clients = two_sessions(apps, name)
        assert [c.get(lab).status_code for c in clients] == [200, 200], name
        form |= {"description": "", "father": "", "order": "", "confirm": "yes"}
        assert post(admin, t, path, **form).status_code == 302, name
        assert [c.get(lab).status_code for c in clients] == [403, 403], name

    # A user grant added and removed by a manager.
    make_user(lib, "u_direct", empty)
    clients = two_sessions(apps, "u_direct")
    for change, status in ((None, 403), ("add", 200), ("delete", 403)):
        if change:
            form = {"kind": "user", "who": "u_direct", "access": "2", "confirm": "yes"}
            post(admin, t, f"{lab}/grants", action=change, **form)
        assert [c.get(lab).status_code for c in clients] == [status] * 2, change


def test_column_tree_changes_reach_both_sessions(apps, demo, lib):
    column = ptolix.create("Column", lib)
    top = str(column.AppendColumn("1", "顶层", "", "", "", "", "", "1"))
    inner = str(column.AppendColumn("1", "内层", "", "", "", "", "", "1", demo.tech))
    role = make_role(lib, "内层编辑")
    grant(lib, inner, role)
    make_user(lib, "u_column", role)
    clients = two_sessions(apps, "u_column")
    admin, t = admin_of(apps[1])  # after the columns were made outside the site

    def desk_columns(c):
        return re.findall(r'<td class="tree d\d">([^<]+)</td>', c.get("/desk/").get_data(True))

    assert [desk_columns(c) for c in clients] == [["科技", "内层"]] * 2
    assert post(admin, t, f"/desk/columns/{inner}/move", target=top).status_code == 302
    assert [desk_columns(c) for c in clients] == [["内层"]] * 2  # 科技 no longer above it


def test_removal_and_passwords_end_sessions(apps, lib):
    admin, t = admin_of(apps[0])
    role = make_role(lib, "普通")
    for name in ("u_gone", "u_reset", "u_self", "u_ended"):
        make_user(lib, name, role)

    gone = two_sessions(apps, "u_gone")
    page = post(admin, t, "/desk/admin/users/delete", k_Usr_ID="u_gone")
    assert page.status_code == 200 and "sessions end at once" in page.get_data(True)
    assert [c.get("/desk/").status_code for c in gone] == [200, 200]  # asked, not done yet
    post(admin, t, "/desk/admin/users/delete", k_Usr_ID="u_gone", confirm="yes")
    assert [c.get("/desk/").status_code for c in gone] == [302, 302]

    reset = two_sessions(apps, "u_reset")
    form = {"k_Usr_ID": "u_reset", "id": "u_reset", "role": role, "name": "x", "website": "1"}
    post(admin, t, "/desk/admin/users/edit", password="Another-Tide-204", **form)
    assert [c.get("/desk/").status_code for c in reset] == [302, 302]

    mine, other = two_sessions(apps, "u_self")
    new = {"current": PASSWORD, "new": "Lantern-Orchard-93", "repeat": "Lantern-Orchard-93"}
    resp = post(mine, token(mine, "/desk/password"), "/desk/password", **new)
    assert resp.status_code == 302
    assert mine.get("/desk/").status_code == 200 and other.get("/desk/").status_code == 302
    weak = {"current": "Lantern-Orchard-93", "new": "password12", "repeat": "password12"}
    page = post(mine, token(mine, "/desk/password"), "/desk/password", **weak)
    assert page.status_code == 422 and 'id="error-new"' in page.get_data(True)

    # An administrator sees the sessions and ends one of them.
    first, second = two_sessions(apps, "u_ended")
    listing = admin.get("/desk/admin/users/u_ended/sessions").get_data(True)
    handles = re.findall(r'name="session" value="([0-9a-f]{64})"', listing)
    assert len(handles) == 2
    post(admin, t, "/desk/admin/users/u_ended/sessions", session=handles[0])
    assert sorted(c.get("/desk/").status_code for c in (first, second)) == [200, 302]
    post(admin, t, "/desk/admin/users/u_ended/sessions", session="all")
    assert [c.get("/desk/").status_code for c in (first, second)] == [302, 302]


def test_sign_out_holds_on_every_worker(apps):
    one = apps[0].test_client()
    signed = sign_in(one, "author")
    cookie = re.search(r"ptolix_session=([^;]+)", signed.headers["Set-Cookie"]).group(1)
    two = apps[1].test_client()
    two.set_cookie("localhost", "ptolix_session", cookie)
    assert two.get("/desk/").status_code == 200  # the session is known to the other worker
    post(two, token(two, "/desk/"), "/signout")
    three = apps[0].test_client()
    three.set_cookie("localhost", "ptolix_session", cookie)
    assert three.get("/desk/").status_code == 302
