#include <filesystem>
#include <fstream>
#include <ostream>

#include "demo.h"

namespace ptolix::tool {

void DemoSite(DemoContext& ctx) {
  ctx.Heading("Websites, styles, pages, tags and page code");
  auto site = ctx.New("WebSite");
  site->Call("AppendWebSite", {"portal", "Ptolix 门户", "示例门户站点", "1"});
  site->Call("AppendWebSite", {"shop", "Ptolix 商店", "", "2"});
  ctx.Show("GetWebSiteList (newest first)", site->Call("GetWebSiteList", {}));
  ctx.website_id = "1";

  auto style = ctx.New("Style");
  style->Call("AppendStyle", {ctx.sys_id, "蓝色", "默认风格"});
  style->Call("AppendTemplet", {ctx.sys_id, "1", "index.asp", "blue/index.htm", "首页模板"});
  site->Call("SetWebSiteStyle", {ctx.website_id, ctx.sys_id, "1"});

  // The template lives below SITE_PHYSICAL_ROOT, in the TEMPLET_PATH folder.
  auto folder = std::filesystem::path(ctx.var_dir) / "templates" / "blue";
  std::filesystem::create_directories(folder);
  std::ofstream(folder / "index.htm", std::ios::binary)
      << "<html><head><title><!--title--></title></head>\r\n"
      << "<body class=\"blue\">\r\n"
      << "<!--news count=5&column=公告-->\r\n"
      << "<!--box--><b>[编辑推荐]</b><!--/box-->\r\n"
      << "<!--footer-->\r\n"
      << "</body></html>\r\n";

  auto page = ctx.New("Page");
  page->Call("AppendPage", {ctx.sys_id, "index.asp", "首页"});
  page->Call("AppendTag",
             {ctx.sys_id, "public.asp", "title", "Response.Write SiteTitle", "公共：站点标题"});
  page->Call("AppendTag",
             {ctx.sys_id, "public.asp", "footer", "Response.Write \"(c) Ptolix\"", "公共：页脚"});
  page->Call("AppendTag",
             {ctx.sys_id, "index.asp", "news", "ShowNewsList column, count", "首页：新闻列表"});
  page->Call("AppendTag", {ctx.sys_id, "index.asp", "box", "StartBox[data]EndBox", "首页：推荐框"});
  ctx.Show("GetTagList index.asp (its own and the public tags)",
           page->Call("GetTagList", {ctx.sys_id, "index.asp"}));
  ctx.Show("GetTempletList index.asp", page->Call("GetTempletList", {ctx.sys_id, "index.asp"}));

  ctx.out << "CreateAspCode (page source):\n"
          << ToDisplay(page->Call("CreateAspCode", {ctx.sys_id, "1", "index.asp"})) << "\n";
  ctx.out << "CreateExecuteCode (script body):\n"
          << ToDisplay(page->Call("CreateExecuteCode", {ctx.sys_id, "1", "index.asp"})) << "\n";
  page->Call("CreateAspCode", {ctx.sys_id, "9", "index.asp"});  // a style without this template
  ctx.ShowErrors(*page);
  ctx.ShowErrors(*site);
  ctx.ShowErrors(*style);
}

}  // namespace ptolix::tool
