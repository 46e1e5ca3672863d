"""Reading Errors back, and a connection that comes back after the server
was cut: the constants and lines page scripts and the site test for."""

import sys
from pathlib import Path

import pytest

import ptolix

# The web tests' throwaway cluster serves here too.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "web" / "tests"))
import pgcluster  # noqa: E402


def test_error_lines_and_constants(conn):
    role = ptolix.create("Role", conn)
    role.PageSize = 10
    role.GetRoleList("")  # only the root role: no failure
    role.GetDirectUserList("1")  # no users: the system's own message
    role.ModifyRole("1 or 1=1", "x", "", "", "", "")
    lines = ptolix.error_lines(role.Errors + "a line of the caller's own\r\n")
    mismatch = (13, "Type mismatch: pID '1 or 1=1'")
    wanted = [(None, ptolix.NO_RECORDS), mismatch, (None, "a line of the caller's own")]
    assert [(line.number, line.message) for line in lines] == wanted
    assert len(lines[0].time) == 19 and lines[2].time == ""
    assert ptolix.error_lines(role) == lines[:2]
    assert ptolix.error_lines("") == []
    assert (ptolix.CONNECTION_LOST, ptolix.STATEMENT_REFUSED) == (-2147467259, -2147217900)
    with pytest.raises(TypeError):
        ptolix.error_lines(42)


@pytest.mark.skipif(pgcluster.pg_tool("initdb") is None, reason="no PostgreSQL server programs")
def test_a_terminated_session_comes_back():
    # A throwaway cluster of this test's own: the shared test server must never
    # see its sessions terminated.
    with pgcluster.cluster() as pg, ptolix.connect(pg.url) as conn:
        conn.create_schema()
        role = ptolix.create("Role", conn)
        assert role.AppendRole("Before", "", "", "") == 2
        pid = conn.execute("select pg_backend_pid()")[1][0]
        with ptolix.connect(pg.url) as admin:
            admin.execute(f"select pg_terminate_backend({pid}, 5000)")

        assert role.AppendRole("Lost", "", "", "") == 0
        [line] = ptolix.error_lines(role)
        assert line.number == ptolix.CONNECTION_LOST
        assert line.message.startswith("the connection to the database was lost: ")
        assert role.AppendRole("After", "", "", "") == 3
        names = conn.execute("select Role_Name from tPtlx_Role where Role_ID > 1")
        assert names == [["Role_Name"], ["Before"], ["After"]]
