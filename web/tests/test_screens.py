"""Every screen of the site, found by following its links as a reader and as
the administrator: html-validate passes on the HTML the server sends, and in
Chromium at a phone's width (390 px) and a laptop's (1366 px) no page is
wider than its window and axe finds no critical or serious violation.
Screenshots of each desk screen at both widths go to build/screenshots/screens/.

The checkers come from npm (scripts/web-checkers.sh installs them below the
build folder); without npm the checks are skipped, except in CI where they
must run."""

from __future__ import annotations

import base64
import os
import re
import subprocess
from collections import Counter
from pathlib import Path

import pytest
from selenium.webdriver.common.by import By

from conftest import WEB, Screen, build_dir, crawl, sqlite_only
from test_browser import Site, browser  # noqa: F401 - the same headless Chromium

WIDTHS = [(1366, 900), (390, 844)]
# Endpoints that serve files for machines, not pages.
NOT_SCREENS = {"static", "media.serve", "feeds.robots", "feeds.sitemap", "feeds.sitemap_items"}
NOT_SCREENS |= {"feeds.sitemap_pages"}


def checker_dir() -> Path:
    """Installs axe-core and html-validate once; skips (fails in CI) without npm."""
    cmd = ["bash", str(WEB.parent / "scripts" / "web-checkers.sh"), str(build_dir())]
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=600)
    if done.returncode != 0:
        why = "axe-core and html-validate could not be installed from npm: " + done.stderr[-400:]
        if os.environ.get("CI"):
            pytest.fail(why)
        pytest.skip(why)
    return build_dir() / "npm" / "node_modules"


@pytest.fixture(scope="module")
def screens(app, demo) -> dict[str, Screen]:
    """Every screen, in English."""
    found = crawl(app, demo)
    routes = {r.endpoint for r in app.url_map.iter_rules() if "GET" in r.methods}
    unreached = sorted(routes - NOT_SCREENS - app.reached)
    assert not unreached, f"screens no link leads to (add them to crawl's list): {unreached}"
    return found


def file_name(screen: str) -> str:
    return screen.strip("/").replace("/", "-")


@sqlite_only
def test_html_validates(screens, tmp_path):
    tools, files = checker_dir(), [tmp_path / f"{file_name(n)}.html" for n in screens]
    for file, screen in zip(files, screens.values()):
        file.write_text(screen.html)
    report = tmp_path / "report.txt"
    done = subprocess.run(
        ["node", str(tools / "html-validate" / "bin" / "html-validate.mjs"),
         "--config", str(WEB / ".htmlvalidate.json"), f"--formatter=text={report}",
         *map(str, files)],
        capture_output=True, text=True, timeout=120,
    )  # fmt: skip
    assert done.returncode in (0, 1) and report.exists(), done.stderr
    problems = [line.replace(str(tmp_path) + "/", "") for line in report.read_text().splitlines()]
    rules = Counter(re.findall(r"error \[([\w/-]+)\]", "\n".join(problems)))
    assert not problems, f"{dict(rules)}\n" + "\n".join(problems[:30])


# Colours change neither with the width nor between the rows of one template:
# contrast is checked at the first width on the first screen of each endpoint.
AXE = """
const [done, contrast] = [arguments[1], arguments[0]];
axe.run(document, {resultTypes: ['violations'], rules: {'color-contrast': {enabled: contrast}}})
  .then(r => done(r.violations));
"""

# Elements that reach past the window's right edge, for the failure message.
WIDER = """
const w = document.documentElement.clientWidth, out = [];
for (const e of document.body.querySelectorAll('*')) {
  const r = e.getBoundingClientRect();
  if (r.right > w + 1 && r.width > 0) out.push(e.tagName.toLowerCase() + (e.className ? '.' + e.className : '') + ' ' + Math.round(r.right) + 'px');
}
const header = document.querySelector('header').getBoundingClientRect().height;
return [document.documentElement.scrollWidth, w, out.slice(0, 4), header];
"""  # noqa: E501


def shoot(driver, path: Path) -> None:
    """The whole page, not only what the window shows."""
    height = min(driver.execute_script("return document.documentElement.scrollHeight"), 6000)
    width = driver.execute_script("return document.documentElement.clientWidth")
    clip = {"x": 0, "y": 0, "width": width, "height": height, "scale": 1}
    options = {"captureBeyondViewport": True, "optimizeForSpeed": True, "clip": clip}
    shot = driver.execute_cdp_cmd("Page.captureScreenshot", options)
    path.write_bytes(base64.b64decode(shot["data"]))


def set_width(driver, width: int, height: int) -> None:
    metrics = {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 800}
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)


def phone_menu_and_queue(d, base: str) -> list[str]:
    """At 390 px the menu button opens the navigation, and the review queue
    gives each title most of the line."""
    d.get(base + "/desk/review")
    set_width(d, *WIDTHS[1])
    button = d.find_element(By.ID, "menu-button")
    review = d.find_element(By.CSS_SELECTOR, "nav.main a[href$='/desk/review']")
    menu = [(review.is_displayed(), button.get_attribute("aria-expanded"))]
    button.click()
    menu.append((review.is_displayed(), button.get_attribute("aria-expanded")))
    titles = d.find_elements(By.CSS_SELECTOR, "table.review td:nth-child(2)")
    narrow = [t.text for t in titles if t.size["width"] < 250]
    failures = [] if titles and not narrow else [f"review queue titles squeezed: {narrow[:3]}"]
    if menu != [(False, "false"), (True, "true")]:
        failures.append(f"the menu (shown, aria-expanded) before and after the button: {menu}")
    return failures


@pytest.mark.browser
@sqlite_only
def test_every_screen_fits_and_passes_axe(screens, browser, server):  # noqa: F811
    axe = (checker_dir() / "axe-core" / "axe.min.js").read_text()
    shots = Path(os.environ.get("PTOLIX_SCREENSHOTS", build_dir() / "screenshots")) / "screens"
    shots.mkdir(parents=True, exist_ok=True)
    d, failures, signed_in, contrasted = browser, [], False, set()
    # Loaded into every page before its own scripts, without a round trip per page.
    axe_id = d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": axe})
    d.delete_all_cookies()
    for name, (path, staff, *_) in sorted(screens.items(), key=lambda s: s[1].signed_in):
        if staff and not signed_in:
            Site(d, server).sign_in("admin")
            signed_in = True
        d.get(server.base + path)
        endpoint = name.split("-")[0]
        for n, (width, height) in enumerate(WIDTHS):
            set_width(d, width, height)
            wide, window, parts, header = d.execute_script(WIDER)
            if wide > window:
                failures.append(f"{path} at {width} px is {wide} px wide: {parts}")
            if width < 800 and header > 80:  # one row: the menu is folded
                failures.append(f"{path} at {width} px has a header {header} px high")
            for v in d.execute_async_script(AXE, n == 0 and endpoint not in contrasted):
                if v["impact"] in ("critical", "serious"):
                    where = [node["target"] for node in v["nodes"][:3]]
                    failures.append(f"{path} at {width} px: {v['id']} ({v['help']}) {where}")
            contrasted.add(endpoint)
            if staff:
                shoot(d, shots / f"{file_name(name)}-{width}.png")
    failures += phone_menu_and_queue(d, server.base)
    d.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
    d.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", axe_id)
    assert not failures, "\n".join(failures)
