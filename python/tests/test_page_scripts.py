"""Page scripts written as a site would write them: identifiers handed from
one call to the next, rows read as records, refusals as Errors lines. The
site's own tests (web/tests) drive writing, review and paging."""

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
