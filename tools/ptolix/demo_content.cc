#include <ostream>

#include "demo.h"

namespace ptolix::tool {

namespace {

// Identifier, state, column, title and code of each row of a list.
void ShowItems(DemoContext& ctx, const std::string& label, const Variant& list,
               int max_rows = 100) {
  ctx.out << label << "\n";
  if (list.kind() != Variant::Kind::kArray || !list.AsArray().allocated()) {
    ctx.out << "  (no result)\n";
    return;
  }
  const ResultArray& a = list.AsArray();
  for (int r = 1; r <= a.DataRows() && r <= max_rows; ++r) {
    ctx.out << "  " << ToDisplay(a.Get(r, "Info_ID")) << "  state "
            << ToDisplay(a.Get(r, "InfState_ID")) << "  column " << ToDisplay(a.Get(r, "Column_ID"))
            << "  " << ToDisplay(a.Get(r, "Info_Order")) << "  "
            << ToDisplay(a.Get(r, "Info_Title")) << "\n";
  }
  if (a.DataRows() > max_rows) ctx.out << "  ... " << a.DataRows() - max_rows << " more\n";
}

}  // namespace

// Items written, reviewed, reordered and cross-posted, then listed as a
// site page lists them: published items of a column and its sub-columns,
// 20 to a page, page 2.
void DemoContent(DemoContext& ctx) {
  ctx.Heading("Information items: writing, review, ordering, published list");
  const std::string& sys = ctx.sys_id;
  std::string site = ctx.website_id.empty() ? "1" : ctx.website_id;
  auto column = ctx.New("Column");
  auto add_column = [&](const std::string& name, const std::string& father) {
    return ToDisplay(column->Call("AppendColumn", {sys, name, "", "", "", "", "", site, father}));
  };
  std::string news = add_column("新闻中心", "");
  std::string headlines = add_column("要闻", news);
  std::string notices = add_column("通知公告", "");

  auto info = ctx.New("Information");
  auto write = [&](const std::string& col, const std::string& title, const std::string& content,
                   const std::string& father = "") {
    return ToDisplay(info->Call("AppendInfo", {sys, col, "reporter", "1", title, content,
                                               "2024-05-01", "", "", site, father}));
  };
  std::string ids;
  for (int i = 1; i <= 40; ++i) {
    std::string id = write(headlines, "要闻第" + std::to_string(i) + "篇",
                           i % 4 == 0 ? "<p><img src=\"p.jpg\"></p>" : "<p>正文</p>");
    ids += (ids.empty() ? "" : ",") + id;
  }
  std::string lead = write(news, "新闻中心导读", "<p>导读</p>");
  std::string follow = write(news, "导读的后续报道", "", lead);  // filed under the lead item
  std::string notice = write(notices, "停电通知", "<p>周六停电</p>");
  ids += "," + lead + "," + follow + "," + notice;
  std::string waiting = write(headlines, "待审稿件", "<p>草稿</p>");
  ctx.out << "AppendInfo: 44 items; item " << follow << " is filed under item " << lead << ", code "
          << ToDisplay(info->Call("GetInfo", {follow}).AsArray().Get(1, "Info_Order")) << "\n";

  info->Call("AssessInfo", {"editor", ids, "4"});
  info->Call("AssessInfo", {"editor", waiting, "2"});      // returned for re-editing
  info->Call("AddInfo2Column", {notice, sys, headlines});  // the notice also shows under 要闻
  info->Put("PageSize", Variant(5));
  ShowItems(ctx, "GetInfoList 要闻 Editor (items still with the editors)",
            info->Call("GetInfoList", {site, sys, headlines, "Editor"}));

  // The oldest headline moves up one place, then the newest moves down one.
  info->Put("PageSize", Variant(0));
  Variant before = info->Call("GetInfoList", {site, sys, headlines, "Published"});
  const ResultArray& list = before.AsArray();
  std::string oldest = ToDisplay(list.Get(list.DataRows(), "Info_ID"));
  std::string newest = ToDisplay(list.Get(1, "Info_ID"));
  info->Call("MoveUpInfo", {site, sys, headlines, "Published", oldest});
  info->Call("MoveDownInfo", {site, sys, headlines, "Published", newest});
  info->Call("MoveUpInfo", {site, sys, headlines, "Published", newest});
  info->Call("MoveUpInfo", {site, sys, headlines, "Published", newest});  // already first again
  Variant after = info->Call("GetInfoList", {site, sys, headlines, "Published"});
  int n = after.AsArray().DataRows();
  ctx.out << "MoveUpInfo " << oldest << ", MoveDownInfo/MoveUpInfo " << newest << ":\n";
  for (int r = n - 2; r <= n; ++r) {
    ctx.out << "  last rows: " << ToDisplay(after.AsArray().Get(r, "Info_ID")) << "  "
            << ToDisplay(after.AsArray().Get(r, "Info_Order")) << "\n";
  }
  ctx.ShowErrors(*info);

  info->Put("PageSize", Variant(20));
  ShowItems(
      ctx,
      "GetPublishedInfoList 新闻中心 (with 要闻 and the cross-posted notice), PageSize 20, page 2",
      info->Call("GetPublishedInfoList", {site, sys, news, "2"}));
  ctx.out << "RecordCount " << ToDisplay(info->Get("RecordCount")) << ", PageCount "
          << ToDisplay(info->Get("PageCount")) << "\n";
  ShowItems(ctx, "GetTopNPictureInfoList 3",
            info->Call("GetTopNPictureInfoList", {site, sys, "3"}));
  ShowItems(ctx, "SearchInfoList 要闻 title \"第1\"",
            info->Call("SearchInfoList",
                       {site, sys, headlines, "Published", "第1", "", "", "", "", "1"}));
}

}  // namespace ptolix::tool
