#include <ostream>

#include "demo.h"
#include "frame/arrays.h"

namespace ptolix::tool {

void DemoRecords(DemoContext& ctx) {
  ctx.Heading("Links");
  auto link = ctx.New("Link");
  link->Call("AppendLinkClass", {"友情链接", "Friends"});
  link->Call("AppendLinkClass", {"合作伙伴", "Partners"});
  link->Call("AppendLink", {"1", "Ptolix", "项目主页", "http://ptolix.example/", "logo.gif", "88",
                            "31", "2030-12-31"});
  link->Call("AppendLink", {"1", "新闻中心", "", "http://news.example/", "", "", "", ""});
  link->Call("AppendLink", {"1", "产品目录", "", "http://products.example/", "", "", "", ""});
  link->Call("AppendLink", {"2", "示例伙伴", "", "http://partner.example/", "", "", "", ""});
  ctx.Show("GetLinkClassList", link->Call("GetLinkClassList", {}));
  ctx.Show("GetClassLinkList 1 (newest first)", link->Call("GetClassLinkList", {"1"}));
  link->Call("GetLink", {"2", "9"});
  ctx.ShowErrors(*link);

  ctx.Heading("Upload records");
  auto up = ctx.New("upload");
  Variant id = up->Call("RecordUploadFile", {"admin", "网站标志"});
  up->Call("RecordUploadFileName", {id, "logo.gif"});
  ctx.Show("RecordUploadFile", id);
  // The class has no read method: show the table itself.
  auto rows = ctx.conn->Execute("select * from tPtlx_Upload");
  ctx.Show("tPtlx_Upload", RecordsetToArray(*rows));
  ctx.ShowErrors(*up);

  ctx.Heading("Code dictionaries");
  auto encode = ctx.New("Encode");
  encode->Call("AppendInfoType", {"新闻", "时效性的报道"});
  encode->Call("AppendInfoType", {"公告", ""});
  encode->Call("AppendWebSiteType", {"1", "门户网站"});
  encode->Call("AppendWebSiteType", {"2", "企业网站"});
  for (const char* list :
       {"GetInfStateList", "GetInfTypeList", "GetAccessTypeList", "GetWebSiteTypeList"}) {
    ctx.Show(list, encode->Call(list, {}));
  }
  ctx.ShowErrors(*encode);

  ctx.Heading("Product information");
  auto about = ctx.New("About");
  for (const char* p : {"Title", "Version", "CreateDate", "ModifiedDate"}) {
    ctx.out << p << ": " << ToDisplay(about->Get(p)) << "\n";
  }
}

}  // namespace ptolix::tool
