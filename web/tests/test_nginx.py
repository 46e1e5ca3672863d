"""The nginx site of deploy/ in front of gunicorn, run with a prefix of the
test's own on a loopback port: nginx accepts it, serves the static files,
keeps anonymous public pages, one copy per language, and never a signed-in
or desk page."""

import contextlib
import http.client
import os
import re
import shutil
import subprocess
import time
import urllib.request
from urllib.parse import urlencode, urlsplit

import pytest

from conftest import WEB, free_port, gunicorn, make_demo

pytestmark = pytest.mark.skipif(shutil.which("nginx") is None, reason="nginx is not installed")

SITE = WEB.parent / "deploy" / "nginx" / "ptolix.conf"
TEMP_PATHS = ["client_body", "proxy", "fastcgi", "uwsgi", "scgi"]


@pytest.fixture(scope="module")
def front(tmp_path_factory):
    folder = tmp_path_factory.mktemp("nginx")
    db = f"sqlite:{folder / 'web.db'}"
    demo = make_demo(db, folder)
    env = {"PTOLIX_PROXIES": "1", "PTOLIX_CACHE_SECONDS": "5"}
    with gunicorn(db, folder / "gunicorn.log", env=env) as base:
        # The site file with the test's port, upstream, cache folder and tree.
        port, site = free_port(), SITE.read_text()
        changes = [("listen 80;", f"listen 127.0.0.1:{port};"), ("listen [::]:80;", "")]
        changes += [("unix:/run/ptolix/gunicorn.sock", base.split("//")[1])]
        changes += [("/var/cache/nginx/ptolix", str(folder / "cache"))]
        for old, new in changes + [("/srv/ptolix/", str(WEB.parent) + "/")]:
            assert old in site, old
            site = site.replace(old, new)
        (folder / "site.conf").write_text(site)
        user = "user root;" if os.getuid() == 0 else ""
        temps = " ".join(f"{k}_temp_path {folder}/{k};" for k in TEMP_PATHS)
        (folder / "nginx.conf").write_text(
            f"{user} daemon off; pid {folder}/nginx.pid; error_log {folder}/error.log;\n"
            "events { worker_connections 64; }\nhttp { include /etc/nginx/mime.types;\n"
            f"access_log off; {temps} include {folder}/site.conf; }}\n"
        )
        args = ["nginx", "-p", str(folder), "-c", str(folder / "nginx.conf")]
        checked = subprocess.run([*args, "-t"], capture_output=True, text=True)
        assert checked.returncode == 0, checked.stderr
        proc = subprocess.Popen(args, stderr=subprocess.DEVNULL)
        try:
            url = f"http://127.0.0.1:{port}"
            for _ in range(100):
                with contextlib.suppress(OSError):
                    urllib.request.urlopen(url + "/static/site.css", timeout=2).read()
                    break
                time.sleep(0.1)
            yield url, demo
        finally:
            proc.terminate()
            proc.wait(10)


def get(url: str, cookie="", form: str | None = None, source="127.0.0.1", forged="", lang=""):
    """Status, headers and text of one request (redirects not followed) from
    the loopback address `source`, claiming to come from `forged`."""
    parts = urlsplit(url)
    conn = http.client.HTTPConnection(parts.netloc, timeout=10, source_address=(source, 0))
    kind = "application/x-www-form-urlencoded" if form is not None else ""
    headers = {"Cookie": cookie, "X-Forwarded-For": forged, "Accept-Language": lang}
    headers = {k: v for k, v in (headers | {"Content-Type": kind}).items() if v}
    try:
        path = parts.path + ("?" + parts.query if parts.query else "")
        conn.request("GET" if form is None else "POST", path or "/", form, headers)
        resp = conn.getresponse()
        return resp.status, resp.headers, resp.read().decode()
    finally:
        conn.close()


def sign_in(url: str, user: str, password: str, source="127.0.0.1", forged="") -> tuple:
    """Signs in through nginx: the status and the session cookie."""
    status, headers, page = get(url + "/signin", source=source, forged=forged)
    cookie = headers["Set-Cookie"].split(";")[0]
    token = re.search(r'name="csrf_token" value="([^"]+)"', page).group(1)
    form = urlencode({"user": user, "password": password, "csrf_token": token})
    status, headers, _ = get(url + "/signin", cookie, form, source, forged)
    return status, (headers["Set-Cookie"] or cookie).split(";")[0]


# Path, signed in, and the X-Cache-Status nginx adds (-: none, never cached),
# in the order asked: the desk and signing in are never cached, whoever asks.
CACHING = """
/static/site.css no -  /columns/{tech} no MISS  /columns/{tech} no HIT  /columns/{tech} no HIT
/links yes BYPASS  /links yes BYPASS  /links no MISS  /columns/{tech} yes BYPASS
/desk/ yes -  /desk/ yes -  /signin yes -  /signin yes -  /signin no -
""".split()


def test_nginx_serves_static_files_and_keeps_only_anonymous_public_pages(front):
    url, demo = front
    status, cookie = sign_in(url, "author", "Author#2024")
    assert status == 302 and cookie.startswith("ptolix_session=")
    for path, signed, cache in zip(*[iter(CACHING)] * 3):
        answer = get(url + path.format(tech=demo["tech"]), cookie if signed == "yes" else "")
        assert (answer[0], answer[1].get("X-Cache-Status", "-")) == (200, cache), (path, signed)
        if path == "/links":  # a signed-in page is never kept for others
            assert ("Sign out" in answer[2]) == (signed == "yes")
    assert get(url + "/static/site.css")[1]["Content-Type"] == "text/css"


def test_failed_sign_ins_count_per_client_address_behind_nginx(front):
    """Every request reaches the site from nginx; the client's own address is
    the one nginx adds to X-Forwarded-For (PTOLIX_PROXIES=1)."""
    url, _demo = front
    # What a client writes there itself is not believed.
    failures = [sign_in(url, "reviewer", "wrong", "127.0.0.2", f"192.0.2.{n}") for n in range(3)]
    assert [status for status, _ in failures] == [401] * 3
    assert sign_in(url, "reviewer", "Review#2024", "127.0.0.2")[0] == 429
    assert sign_in(url, "reviewer", "Review#2024", "127.0.0.1")[0] == 302


# Accept-Language, the language cookie (-: none), what nginx answers and the page's language.
LANGUAGES = """
zh-CN - MISS zh-CN  en - MISS en  zh-CN - HIT zh-CN  en - HIT en  zh-CN ptolix_lang=en MISS en
zh-CN ptolix_lang=en HIT en  zh-CN - HIT zh-CN
""".split()


def test_nginx_keeps_one_copy_per_language(front):
    url, demo = front
    for lang, cookie, status, page_lang in zip(*[iter(LANGUAGES)] * 4):
        path = f"{url}/columns/{demo['tech']}?page=2"
        _, headers, page = get(path, cookie.strip("-"), lang=lang)
        shown = re.search(r'<html lang="([^"]+)"', page)[1]
        assert (headers["X-Cache-Status"], shown) == (status, page_lang), (lang, cookie)
