"""Reading Errors back, and a connection that comes back after the server
was cut: the constants and lines page scripts and the site test for."""

import os
import shutil
import socket
import subprocess
import tempfile
from pathlib import Path

import pytest

import ptolix


def test_error_lines_and_constants(new):
    role = new("Role")
    role.PageSize = 10
    role.GetRoleList("")  # only the root role: no failure
    role.GetDirectUserList("1")  # no users: the system's own message
    role.ModifyRole("1 or 1=1", "x", "", "", "", "")
    lines = ptolix.error_lines(role.Errors + "a line of the caller's own\r\n")
    assert [(line.number, line.message) for line in lines] == [
        (None, ptolix.NO_RECORDS),
        (13, "Type mismatch: pID '1 or 1=1'"),
        (None, "a line of the caller's own"),
    ]
    assert len(lines[0].time) == 19 and lines[2].time == ""
    assert ptolix.error_lines(role) == lines[:2]
    assert ptolix.error_lines("") == []
    assert (ptolix.CONNECTION_LOST, ptolix.STATEMENT_REFUSED) == (-2147467259, -2147217900)
    with pytest.raises(TypeError):
        ptolix.error_lines(42)


def pg_bin() -> Path | None:
    """The folder of initdb and pg_ctl, or None."""
    if shutil.which("initdb") and shutil.which("pg_ctl"):
        return Path(shutil.which("initdb")).parent
    found = sorted(Path("/usr/lib/postgresql").glob("*/bin/initdb"))
    return found[-1].parent if found else None


@pytest.fixture
def private_server():
    """A throwaway cluster of this test's own on loopback (it is terminated
    under the test, which the shared test server must never be)."""
    bin_dir = pg_bin()
    if bin_dir is None:
        pytest.skip("no PostgreSQL server programs (initdb, pg_ctl)")
    folder = tempfile.mkdtemp(prefix="ptolix-pg-py.")
    owner = []
    if os.geteuid() == 0:
        shutil.chown(folder, "postgres")
        owner = ["runuser", "-u", "postgres", "--"]
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
    data = f"{folder}/data"
    quiet = {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL, "check": True}
    subprocess.run(
        owner + [f"{bin_dir}/initdb", "-D", data, "-U", "ptolix", "--auth=trust"], **quiet
    )
    options = f"-p {port} -k {folder} -c listen_addresses=127.0.0.1 -c fsync=off"
    ctl = owner + [f"{bin_dir}/pg_ctl", "-D", data, "-l", f"{folder}/log", "-w"]
    subprocess.run(ctl + ["-o", options, "start"], **quiet)
    yield f"postgresql://ptolix@127.0.0.1:{port}/postgres"
    subprocess.run(ctl + ["-m", "immediate", "stop"], **quiet)
    shutil.rmtree(folder, ignore_errors=True)


def test_a_terminated_session_comes_back(private_server):
    with ptolix.connect(private_server) as conn:
        conn.create_schema()
        role = ptolix.create("Role", conn)
        assert role.AppendRole("Before", "", "", "") == 2
        pid = conn.execute("select pg_backend_pid()")[1][0]
        with ptolix.connect(private_server) as admin:
            admin.execute(f"select pg_terminate_backend({pid}, 5000)")

        assert role.AppendRole("Lost", "", "", "") == 0
        [line] = ptolix.error_lines(role)
        assert line.number == ptolix.CONNECTION_LOST
        assert line.message.startswith("the connection to the database was lost: ")
        assert role.AppendRole("After", "", "", "") == 3
        assert conn.execute("select Role_Name from tPtlx_Role where Role_ID > 1") == [
            ["Role_Name"],
            ["Before"],
            ["After"],
        ]
