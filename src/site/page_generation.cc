// CreateAspCode and CreateExecuteCode: a page's template file with its tags
// replaced, as page source and as a script body.
#include <algorithm>
#include <numeric>
#include <vector>

#include "frame/guard.h"
#include "ptolix/frame/system.h"
#include "ptolix/site/page.h"
#include "site/page_code.h"
#include "value/sql_text.h"

namespace ptolix {

// Field positions in the rows the generation reads.
static constexpr int kTmplFile = 3;  // tPtlx_Templet
static constexpr int kTagPage = 1;   // tPtlx_Tag
static constexpr int kTagCode = 2;
static constexpr int kTagProgram = 3;

std::string Page::CreateAspCode(std::string_view pSysID, std::string_view pStyle,
                                std::string_view pPage) noexcept {
  return Guard<std::string>([&]() -> std::string {
    conn();
    std::optional<std::string> folder = SystemParameter(connection(), "TEMPLET_PATH");
    if (!folder) {
      SetError(errors(), "系统参数\"TEMPLET_PATH\"不存在。");
      return "";
    }
    ResultArray templet = GetTemplet(pSysID, pStyle, pPage);
    if (!templet.allocated() || templet.DataRows() < 1) {
      SetError(errors(), "模板不存在。");
      return "";
    }
    std::string text = ReadSiteFile(JoinSitePath(*folder, NullToEmpty(templet.At(1, kTmplFile))),
                                    connection(), errors());

    ResultArray tags = GetTagList(pSysID, pPage, "");
    if (!tags.allocated()) return "";
    // The database gives no order; where the page and the public page both
    // define a code, the page's own tag is applied first and so wins.
    std::vector<int32_t> rows(tags.DataRows());
    std::iota(rows.begin(), rows.end(), 1);
    std::stable_partition(rows.begin(), rows.end(),
                          [&](int32_t r) { return NullToEmpty(tags.At(r, kTagPage)) == pPage; });
    std::vector<TagProgram> programs;
    programs.reserve(rows.size());
    for (int32_t r : rows) {
      programs.push_back({NullToEmpty(tags.At(r, kTagCode)), NullToEmpty(tags.At(r, kTagProgram))});
    }
    text = ReplaceTags(text, programs);
    return text;
  });
}

std::string Page::CreateExecuteCode(std::string_view pSysID, std::string_view pStyle,
                                    std::string_view pPage) noexcept {
  std::string source = CreateAspCode(pSysID, pStyle, pPage);
  return Guard<std::string>([&] { return ToExecuteCode(source); });
}

}  // namespace ptolix
