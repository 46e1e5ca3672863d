"""The site in headless Chromium against a gunicorn server: writing,
review and publication, paging, ordering, refused access, escaping, CSRF
and sign-in throttling, with screenshots of the main screens. test_pages.py
checks the same guards request by request on every screen."""

import os
import re
import secrets
from pathlib import Path

import pytest
from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, WebDriverException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from conftest import build_dir

pytestmark = pytest.mark.browser


@pytest.fixture(scope="module")
def browser():
    opts = webdriver.ChromeOptions()
    for a in (
        "--headless=new",
        "--no-sandbox",
        "--disable-dev-shm-usage",
        "--disable-gpu",
        "--window-size=1200,1000",
        "--lang=zh-CN",
    ):
        opts.add_argument(a)
    opts.binary_location = "/usr/bin/chromium"
    driver = webdriver.Chrome(
        options=opts, service=Service(executable_path="/usr/bin/chromedriver")
    )
    driver.implicitly_wait(0)  # pages are complete when loaded; no element appears later
    yield driver
    driver.quit()


class Site:
    def __init__(self, driver, server) -> None:
        self.d, self.base, self.demo = driver, server.base, server.demo
        self.shots = Path(os.environ.get("PTOLIX_SCREENSHOTS", build_dir() / "screenshots"))

    def go(self, path: str) -> None:
        self.d.get(self.base + path)

    def click(self, element) -> None:
        """Clicks something that loads a page and waits for the new one."""
        old = self.d.find_element(By.TAG_NAME, "html")
        element.click()
        # Gone once the driver refuses to answer for it: stale, or, while the
        # new page replaces the old one, no longer part of the document.
        WebDriverWait(self.d, 15, ignored_exceptions=[WebDriverException]).until_not(
            lambda _: old.is_enabled()
        )

    def text(self) -> str:
        return self.d.find_element(By.TAG_NAME, "body").text

    def sign_in(self, user: str, password: str) -> None:
        self.d.delete_all_cookies()
        self.go("/signin")
        self.d.find_element(By.NAME, "user").send_keys(user)
        self.d.find_element(By.NAME, "password").send_keys(password)
        self.click(self.d.find_element(By.CSS_SELECTOR, "form.form button[type=submit]"))

    def shot(self, name: str) -> None:
        if self.demo.url.startswith("sqlite"):  # one set is enough
            self.shots.mkdir(parents=True, exist_ok=True)
            self.d.execute_script("document.activeElement.blur(); window.scrollTo(0, 0)")
            self.d.save_screenshot(str(self.shots / f"{name}.png"))

    def public_ids(self, column: str, page: int = 1) -> list[str]:
        self.go(f"/columns/{column}?page={page}")
        return [
            li.get_attribute("data-id")
            for li in self.d.find_elements(By.CSS_SELECTOR, "#items li")
        ]


@pytest.fixture(scope="module")
def site(server, browser):
    return Site(browser, server)


def test_write_review_publish(site):
    title = f"浏览器测试稿件 {secrets.token_hex(3)}"
    site.sign_in("author", "Author#2024")
    assert "Signed in as" in site.text()
    site.go(f"/desk/columns/{site.demo.tech}/new")
    site.d.find_element(By.NAME, "title").send_keys(title)
    site.d.find_element(By.CSS_SELECTOR, ".editor-area").send_keys("第一段。\n第二段。")
    site.shot("editor")
    site.click(site.d.find_element(By.CSS_SELECTOR, "#item-form button[type=submit]"))
    assert "waits for review" in site.text()

    site.sign_in("reviewer", "Review#2024")
    site.go("/desk/review")
    row = site.d.find_element(By.XPATH, f"//tr[td/a[text()='{title}']]")
    site.shot("review")
    site.click(row.find_element(By.CSS_SELECTOR, "button.publish"))
    assert "Publish: done." in site.text()

    site.go(f"/columns/{site.demo.tech}")
    first = site.d.find_element(By.CSS_SELECTOR, "#items li a")
    assert first.text == title
    site.shot("column")
    site.click(first)
    assert site.d.find_element(By.ID, "title").text == title
    assert "第二段。" in site.d.find_element(By.ID, "story-body").text
    site.shot("item")
    site.go("/")
    assert title in site.text()
    site.shot("home")


def test_paging_shows_every_item_once(site):
    site.go(f"/columns/{site.demo.tech}")
    total = int(re.search(r"(\d+) items · page 1 of (\d+)", site.text()).group(1))
    seen = []
    while True:
        seen += [
            li.get_attribute("data-id")
            for li in site.d.find_elements(By.CSS_SELECTOR, "#items li")
        ]
        nxt = site.d.find_elements(By.CSS_SELECTOR, ".pager a.next")
        if not nxt:
            break
        site.click(nxt[0])
    assert total > 30 and len(seen) == total and len(set(seen)) == total


def test_move_up_changes_public_order(site):
    before = site.public_ids(site.demo.tech)
    site.sign_in("author", "Author#2024")
    site.go(f"/desk/columns/{site.demo.tech}?state=Published")
    second = site.d.find_elements(By.CSS_SELECTOR, "#desk-items tbody tr")[1]
    moved = second.get_attribute("data-id")
    assert moved in before[1:]  # items of sub-columns share the public list
    site.click(second.find_element(By.CSS_SELECTOR, "button.up"))
    assert "The item was moved." in site.text()
    after = site.public_ids(site.demo.tech)
    assert after == [moved] + [i for i in before if i != moved]


def test_guards_as_a_browser_meets_them(site):
    # Runs last: it locks the admin's sign-in from this address.
    site.sign_in("reader", "read3r")
    for path in (
        f"/desk/columns/{site.demo.tech}",
        f"/desk/columns/{site.demo.tech}/manage",
        "/desk/admin/users",
    ):
        site.go(path)
        assert site.d.find_element(By.TAG_NAME, "h1").text == "Forbidden", path

    site.sign_in("author", "Author#2024")
    site.go(f"/desk/columns/{site.demo.tech}/new")
    site.d.find_element(By.NAME, "title").send_keys("<script>alert(1)</script>")
    site.click(site.d.find_element(By.CSS_SELECTOR, "#item-form button[type=submit]"))
    assert site.d.find_element(By.ID, "title").text == "<script>alert(1)</script>"
    with pytest.raises(NoAlertPresentException):
        site.d.switch_to.alert.text  # noqa: B018 - no script ran

    site.go(f"/desk/columns/{site.demo.tech}/new")
    site.d.find_element(By.NAME, "title").send_keys("no token")
    site.d.execute_script("document.querySelector('#item-form input[name=csrf_token]').remove()")
    site.click(site.d.find_element(By.CSS_SELECTOR, "#item-form button[type=submit]"))
    assert "not sent from this site" in site.text()

    for _ in range(3):
        site.sign_in("admin", "wrong password")
    assert "wait 60 seconds" in site.text()
    site.sign_in("admin", "Admin#2024")  # the right password waits too
    assert "Too many failed sign-ins" in site.d.find_element(By.ID, "signin-error").text
