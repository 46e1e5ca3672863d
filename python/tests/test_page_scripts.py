"""One page script per group of classes, written as a site would write it:
identifiers handed from one call to the next, rows read as records,
refusals as Errors lines."""

import datetime

import ptolix


def test_sign_in_and_access(new):
    role = new("Role")
    editors = role.AppendRole("读者", "只读访客")  # a top role: only its own grants count
    user = new("User")
    user.AppendUser("reporter", editors, "李记者", "rep0rter", "li@example.com", "1", "1")
    column = new("Column")
    news = column.AppendColumn("1", "新闻", "", "", "", "", "", "", "")
    home = column.AppendColumn("1", "国内", "", "", "", "", "", "", news)
    column.AddRoleAccess("1", home, editors, "3")
    assert column.Errors == ""

    sign_in = new("User")
    assert not sign_in.LoginVertify("reporter", "wrong")
    assert sign_in.Errors != ""  # a refusal is an Errors line, never raised
    sign_in = new("User")
    assert sign_in.LoginVertify("reporter", "rep0rter")
    assert (sign_in.Name, sign_in.Email) == ("李记者", "li@example.com")

    sign_in.ClearUsrAccess("reporter")
    sign_in.UpdateUsrAccess("reporter")
    columns = ptolix.records(sign_in.GetAccessColumnList("reporter", "1", ""))
    levels = {str(c["Column_ID"]): c["AccessType_ID"] for c in columns}
    assert levels[str(home)] == 3 and levels[str(news)] == 1  # news reached only as an ancestor
    assert sign_in.GetColumnAccess("reporter", "1", home) == 3
    assert sign_in.Errors == ""


def test_write_review_and_list_a_page(new):
    news = new("Column").AppendColumn("1", "新闻", "", "", "", "", "", "1", "")
    info = new("Information")
    ids = [
        info.AppendInfo(
            "1", news, "reporter", "1", f"第{i}篇", "<p>正文</p>", "2024-05-01", "", "", "1", ""
        )
        for i in range(1, 26)
    ]
    info.AssessInfo("editor", ",".join(str(i) for i in ids), "4")
    assert info.Errors == ""
    info.PageSize = 20
    page = info.GetPublishedInfoList("1", "1", news, 2)
    assert (info.RecordCount, info.PageCount) == (25, 2)
    assert len(ptolix.records(page)) == 5 and "Info_Title" in page[0]
    assert info.Errors == ""
    assert ptolix.records(info.GetPublishedInfoList("1", "1", "999")) == []  # nothing there


def test_page_code_generation(new, tmp_path):
    (tmp_path / "templates" / "blue").mkdir(parents=True)
    (tmp_path / "templates" / "blue" / "index.htm").write_bytes(
        b"<html><title><!--title--></title>\r\n<body>hello</body></html>\r\n"
    )
    system = new("System")
    for name, value in (
        ("SITE_PHYSICAL_ROOT", str(tmp_path)),
        ("TEMPLET_PATH", "templates"),
        ("ABSTRACT_PUBLIC_PAGE", "public.asp"),
    ):
        system.AppendParameter(name, value, "")
    new("WebSite").AppendWebSite("portal", "门户", "", "1")
    style = new("Style")
    style.AppendStyle("1", "蓝色", "")
    style.AppendTemplet("1", "1", "index.asp", "blue/index.htm", "首页模板")
    new("WebSite").SetWebSiteStyle("1", "1", "1")
    page = new("Page")
    page.AppendPage("1", "index.asp", "首页")
    page.AppendTag("1", "public.asp", "title", "Response.Write SiteTitle", "")
    code = page.CreateExecuteCode("1", "1", "index.asp")
    assert "Response.Write SiteTitle" in code and "hello" in code and page.Errors == ""
    assert page.CreateAspCode("1", "9", "index.asp") == "" and page.Errors != ""  # no such style


def test_links(new):
    link = new("Link")
    link.AppendLinkClass("友情链接", "Friends")
    link.AppendLink(
        "1", "Ptolix", "项目主页", "http://ptolix.example/", "logo.gif", "88", "31", "2030-12-31"
    )
    row = ptolix.records(link.GetLink("1", "1"))[0]
    assert (row["Link_Title"], row["Link_Url"]) == ("Ptolix", "http://ptolix.example/")
    assert row["Link_EndDate"] == datetime.datetime(2030, 12, 31)
    assert [r["Link_Title"] for r in ptolix.records(link.GetClassLinkList("1"))] == ["Ptolix"]
    assert link.Errors == ""
    assert link.GetLink("1", "9") is None  # not found: unallocated, and an Errors line
    assert link.Errors.count("\r\n") == 1
