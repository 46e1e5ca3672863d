#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ptolix/site/templets.h"

namespace ptolix {

// Pages of a system's site, their tags, their templates, and the generation
// of a page's script code from its template file and tags.
//
// Pages and tags are addressed by their text keys (Page_File, Tag_Code);
// renaming or deleting a page leaves its tags and templates as they are.
// The public tags, shared by every page of a system, are the tags of the
// pseudo page named by the system parameter ABSTRACT_PUBLIC_PAGE.
class Page : public TempletMethods {
 public:
  void AppendPage(std::string_view pSysID, std::string_view pPage,
                  std::string_view pDescription) noexcept;
  // Renames pPage to pNewPage and replaces its description.
  void ModifyPage(std::string_view pSysID, std::string_view pPage, std::string_view pNewPage,
                  std::string_view pDescription) noexcept;
  void DeletePage(std::string_view pSysID, std::string_view pPage) noexcept;
  ResultArray GetPageList(std::string_view pSysID, std::string_view pCurPage = {}) noexcept;
  // The page's row; no row is a failure (3021).
  ResultArray GetPage(std::string_view pSysID, std::string_view pPage) noexcept;

  void AppendTag(std::string_view pSysID, std::string_view pPage, std::string_view pCode,
                 std::string_view pProgram, std::string_view pDescription) noexcept;
  // Renames pCode to pNewCode and replaces program and description.
  void ModifyTag(std::string_view pSysID, std::string_view pPage, std::string_view pCode,
                 std::string_view pNewCode, std::string_view pProgram,
                 std::string_view pDescription) noexcept;
  void DeleteTag(std::string_view pSysID, std::string_view pPage, std::string_view pCode) noexcept;
  // The page's own tags only.
  ResultArray GetPrivateTagList(std::string_view pSysID, std::string_view pPage,
                                std::string_view pCurPage = {}) noexcept;
  // The page's own tags and the public tags, in the database's order. Without
  // an ABSTRACT_PUBLIC_PAGE parameter the call fails (3021) as a whole.
  ResultArray GetTagList(std::string_view pSysID, std::string_view pPage,
                         std::string_view pCurPage = {}) noexcept;
  // The tag's row; no row is a failure (3021).
  ResultArray GetTag(std::string_view pSysID, std::string_view pPage,
                     std::string_view pCode) noexcept;

  // The page's templates, each with its style's Style_Name; templates whose
  // style row is gone are left out.
  ResultArray GetTempletList(std::string_view pSysID, std::string_view pPage,
                             std::string_view pCurPage = {}) noexcept;

  // The page source of pPage in style pStyle: the template file named by the
  // template row, read from TEMPLET_PATH below SITE_PHYSICAL_ROOT, with every
  // marker of the page's tags and the public tags replaced by its script
  // (see ReplaceTag and ReplaceTags in page_code.h). Where a page tag and a
  // public tag share a code, the page's own tag is applied. The tags come
  // from GetTagList under this object's PageSize: above 0, only the first
  // page of tags is applied and RecordCount and PageCount are set. Empty
  // text on failure:
  //   no TEMPLET_PATH parameter: `系统参数"TEMPLET_PATH"不存在。`;
  //   no template row: the lookup's failure line, then "模板不存在。";
  //   no ABSTRACT_PUBLIC_PAGE parameter: the tag list's failure line;
  //   a closing marker of a tag before its opening, with no closing marker
  //   after the opening: 5 (Invalid procedure call or argument).
  // A template file that cannot be read (missing, unreadable, outside the
  // site root) records its line and generation goes on with empty text; an
  // empty file is an empty template, not a failure.
  std::string CreateAspCode(std::string_view pSysID, std::string_view pStyle,
                            std::string_view pPage) noexcept;
  // CreateAspCode's result as a script body: literal HTML becomes
  // Response.Write statements, script blocks are kept (see ToExecuteCode).
  // When CreateAspCode fails the result is `Response.Write ""`.
  std::string CreateExecuteCode(std::string_view pSysID, std::string_view pStyle,
                                std::string_view pPage) noexcept;
};

}  // namespace ptolix
