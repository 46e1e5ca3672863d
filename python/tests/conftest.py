"""Fixtures: a fresh database per test, on SQLite and, when PTOLIX_TEST_PG
names a server, on PostgreSQL in a schema of its own."""

import os
import secrets

import pytest

# Password hashes at the minimum cost keep the tests fast (read at the first
# hash, so before any test runs).
os.environ.setdefault("PTOLIX_PWHASH", "min")

import ptolix  # noqa: E402


PG = os.environ.get("PTOLIX_TEST_PG", "")
URLS = ["sqlite::memory:"] + ([PG] if PG and PG != "off" else [])


@pytest.fixture(params=URLS, ids=lambda u: "sqlite" if u.startswith("sqlite") else "postgres")
def url(request) -> str:
    return request.param


@pytest.fixture
def conn(url):
    """A connection on an empty database (on PostgreSQL, a schema of its own)."""
    conn, schema = ptolix.connect(url), "t" + secrets.token_hex(8)
    if url.startswith("postgres"):
        conn.execute(f"create schema {schema}")
        conn.execute(f"set search_path to {schema}")
    conn.create_schema()
    yield conn
    if url.startswith("postgres") and not conn.closed:
        conn.execute(f"drop schema {schema} cascade")
    conn.close()
