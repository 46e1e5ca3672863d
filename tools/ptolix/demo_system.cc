#include <filesystem>
#include <ostream>

#include "demo.h"

namespace ptolix::tool {

void DemoSystem(DemoContext& ctx) {
  ctx.Heading("System parameters and systems");
  auto system = ctx.New("System");
  system->Call("AppendSystem", {"新闻中心", "新闻和公告"});
  system->Call("AppendSystem", {"产品目录", "产品介绍"});
  ctx.Show("GetSystemList", system->Call("GetSystemList", {}));
  ctx.sys_id = "1";

  std::string root = std::filesystem::absolute(ctx.var_dir).string();
  system->Call("AppendParameter", {"SITE_PHYSICAL_ROOT", root, "站点的物理根目录"});
  system->Call("AppendParameter", {"TEMPLET_PATH", "templates", "模板文件目录，相对于站点根目录"});
  system->Call("AppendParameter",
               {"ABSTRACT_PUBLIC_PAGE", "public.asp", "各页面共用的标签所在的页面"});
  system->Call("AppendParameter", {"SITE_TITLE", "Ptolix 示例站点", ""});
  system->Call("AppendParameter", {"SITE_ADMIN", "admin@example.com", "站点管理员"});

  system->Put("PageSize", Variant(2));
  ctx.Show("GetParameterList, PageSize 2, page 2", system->Call("GetParameterList", {2}));
  ctx.out << "RecordCount " << ToDisplay(system->Get("RecordCount")) << ", PageCount "
          << ToDisplay(system->Get("PageCount")) << "\n";
  ctx.Show("GetParameter TEMPLET_PATH", system->Call("GetParameter", {"TEMPLET_PATH"}));
  system->Call("GetParameter", {"NO_SUCH_PARAMETER"});
  ctx.ShowErrors(*system);
  ctx.Show("GetID", system->Call("GetID", {}));
}

}  // namespace ptolix::tool
