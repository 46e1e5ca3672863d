"""The site's demo database: the demo data of `ptolix demo`, plus a newsroom
column with enough published items to page through, staff roles with grants
on the website's columns, and the sign-ins scripts/web.sh prints.

    python3 -m ptolix_web.demo_data --db URL [--tool build/ptolix] [--force]
"""

from __future__ import annotations

import argparse
import subprocess
import sys
from pathlib import Path

import ptolix

from . import lib

SITE, SYS = "1", "1"

# (user, password, what they may do); "reader" and "admin" come from `ptolix demo`.
SIGN_INS = [
    ("admin", "Admin#2024", "administrator (role 1: every screen)"),
    ("author", "Author#2024", "editor (level 2 on the website's columns)"),
    ("reviewer", "Review#2024", "reviewer (level 3 on the website's columns)"),
    ("reader", "read3r", "reader without access to the website's columns"),
]

TOPICS = ["芯片", "开源", "网络", "数据", "云计算", "机器人", "能源", "航天", "教育", "医疗", "交通", "安全"]
EVENTS = ["发布新版本", "公布年度报告", "启动试点项目", "召开技术论坛", "完成关键测试", "开放公众体验"]


def has_demo(conn: "ptolix.Connection") -> bool:
    """True when the database already holds the site's data."""
    try:
        result = conn.execute("select count(*) from tPtlx_User where Usr_ID = 'author'")
    except Exception:  # noqa: BLE001 - no tables yet
        return False
    return bool(result) and len(result) > 1 and int(result[1][0] or 0) > 0


def build(url: str, tool: str) -> None:
    """Runs `ptolix demo` on the database (which empties its tables) and adds the newsroom."""
    done = subprocess.run(
        [tool, "demo", "--db", url], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True
    )
    if done.returncode != 0:
        raise SystemExit(f"ptolix demo failed: {done.stderr.strip()}")
    with ptolix.connect(url) as conn:
        add_newsroom(conn)


def _check(o: object, what: str) -> None:
    problems = lib.messages(o)
    if problems:
        raise SystemExit(f"{what}: " + "; ".join(problems))


def add_newsroom(conn: "ptolix.Connection", items: int = 36) -> dict:
    """Adds the newsroom data through the classes; returns the identifiers made."""
    column = ptolix.create("Column", conn)
    tech = str(column.AppendColumn(SYS, "科技", "科技新闻与产业动态", "", "", "", "", SITE))
    lab = str(column.AppendColumn(SYS, "实验室", "研究进展", "", "", "", "", SITE, tech))
    _check(column, "columns")

    role = ptolix.create("Role", conn)
    editors = str(role.AppendRole("网站编辑", "撰写和修改网站的信息"))
    reviewers = str(role.AppendRole("网站审核", "审核并发布网站的信息"))
    _check(role, "roles")
    user = ptolix.create("User", conn)
    user.AppendUser("author", editors, "周作者", "Author#2024", "author@example.com", SITE, "1")
    user.AppendUser("reviewer", reviewers, "陈审核", "Review#2024", "reviewer@example.com", SITE, "1")
    _check(user, "users")

    # Grants do not flow down the column tree: each of the website's columns gets its own.
    for c in lib.rows(column.GetColumnList(SYS, SITE)):
        if c.get("WebSite_ID") == int(SITE):
            column.AddRoleAccess(SYS, str(c["Column_ID"]), editors, "2")
            column.AddRoleAccess(SYS, str(c["Column_ID"]), reviewers, "3")
    _check(column, "grants")

    info = ptolix.create("Information", conn)
    published = []
    for n in range(1, items + 1):
        topic, event = TOPICS[n % len(TOPICS)], EVENTS[n % len(EVENTS)]
        picture = '<p><img src="/static/photo.png"></p>' if n % 9 == 0 else ""
        content = (
            f"<p>{topic}领域本周{event}，这是科技栏目的第{n}篇报道。</p>"
            f"<p>编辑部整理了各方的反馈与后续安排，读者可在附件中查看原始材料。</p>{picture}"
        )
        item = info.AppendInfo(
            SYS,
            lab if n % 6 == 0 else tech,
            "author",
            "1",
            f"{topic}：{event}（第{n}期）",
            content,
            f"2024-{5 + n // 28:02d}-{1 + n % 28:02d}",
            "",
            "",
            SITE,
        )
        if n % 5 == 0:
            info.AppendInfoAttach(item, f"第{n}期原始材料", f"files/tech-{n}.pdf")
        published.append(item)
    info.AssessInfo("reviewer", ",".join(published), "4")
    waiting = [
        info.AppendInfo(
            SYS, tech, "author", "1", title, "<p>等待审核的稿件。</p>", "2024-07-01", "", "", SITE
        )
        for title in ("待审：新一代芯片测试结果", "待审：城市交通数据开放")
    ]
    _check(info, "items")
    return {
        "tech": tech,
        "lab": lab,
        "editors": editors,
        "reviewers": reviewers,
        "published": published,
        "waiting": waiting,
    }


def main(argv: list[str] | None = None) -> int:
    p = argparse.ArgumentParser(
        description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter
    )
    p.add_argument("--db", required=True)
    p.add_argument("--tool", default=str(Path("build") / "ptolix"))
    p.add_argument("--force", action="store_true", help="rebuild even when the data is there")
    args = p.parse_args(argv)
    with ptolix.connect(args.db) as conn:
        present = has_demo(conn)
    if present and not args.force:
        print(f"demo data already in {args.db}")
    else:
        build(args.db, args.tool)
        print(f"demo data written to {args.db}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
