#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "ptolix/frame/frame.h"

namespace ptolix {

namespace db {
struct SubstringSearch;
struct SubstringTally;
}  // namespace db

// Information items (articles) of a system and website: writing, review,
// attachments, placement in columns, ordering among siblings, and the lists
// that editing screens and published pages show.
//
// Item identifiers travel as text; `pID` of ModifyInfo, DeleteInfo and
// AssessInfo may list several identifiers separated by commas. Numeric
// arguments are checked before any statement runs (a text that is not a
// number records a Type mismatch line); dates from callers are read as
// YYYY-MM-DD or YYYY/M/D with an optional time and stored in one form.
//
// Review states: 1 waiting for review, 2 returned for re-editing,
// 3 cancelled, 4 to 6 published. `pMode` keywords (exact, letter case
// matters): "All", "Published", "WaitAssess", "NeedReedit", "Canceled",
// "Editor" (states 1 and 2); any other text filters nothing.
class Information : public FrameObject {
 public:
  // --- writing and review ---

  // Adds an item under column pColumnID and, when pFather names an existing
  // item, files it under that item. Its order code is the father's code plus
  // an 8-character segment made from the new identifier, so newer items sort
  // first. Returns the new Info_ID as text; empty on failure, and then
  // nothing is stored. The image count is that of "<img " in pContent.
  std::string AppendInfo(std::string_view pSysID, std::string_view pColumnID, std::string_view pUsr,
                         std::string_view pInfoType, std::string_view pTitle,
                         std::string_view pContent, std::string_view pPubDate,
                         std::string_view pEndDate, std::string_view pUrl,
                         std::string_view pWebSite, std::string_view pFather = {}) noexcept;
  // Overwrites title, content, image count ("<img" occurrences), type, url
  // and dates of every listed item; empty arguments write null.
  void ModifyInfo(std::string_view pID, std::string_view pInfoType, std::string_view pTitle,
                  std::string_view pContent, std::string_view pPubDate, std::string_view pEndDate,
                  std::string_view pUrl) noexcept;
  // Marks the listed items deleted; they leave every list but GetInfo.
  void DeleteInfo(std::string_view pID) noexcept;
  // Sets state, reviewer and review time of the listed items.
  void AssessInfo(std::string_view pUsr, std::string_view pID,
                  std::string_view pInfoState) noexcept;
  // The item's whole row (deleted items too); no such item is a failure.
  ResultArray GetInfo(std::string_view pID) noexcept;

  void AppendInfoAttach(std::string_view pID, std::string_view pTitle,
                        std::string_view pFileName) noexcept;
  void DeleteInfoAttach(std::string_view pInfoID, std::string_view pAttachID) noexcept;
  // Every attachment of the item, unpaged.
  ResultArray GetInfoAttachList(std::string_view pID) noexcept;

  // --- placement and ordering ---

  // Changes the item's home system and column; its code, website and the
  // items filed under it stay as they are.
  void MoveInfo(std::string_view pID, std::string_view pSysID, std::string_view pColumnID) noexcept;
  // Shows the item in a further column (cross-posting). Repeats are stored.
  void AddInfo2Column(std::string_view pID, std::string_view pSysID,
                      std::string_view pColumnID) noexcept;
  // Removes every cross-posting of the item to that column.
  void RemoveFromColumn(std::string_view pID, std::string_view pSysID,
                        std::string_view pColumnID) noexcept;
  // Moves the item one place towards the front (MoveUpInfo) or the end
  // (MoveDownInfo) among its siblings in the column's list: the items homed
  // in (pWebSite, pSysID, pColumnID), narrowed by pMode, not deleted, that
  // are filed under the same father. The item takes a code between its two
  // neighbours and the items filed under it follow. An item already first or
  // last records a message and nothing changes; an item that is not in the
  // list is a failure.
  void MoveUpInfo(std::string_view pWebSite, std::string_view pSysID, std::string_view pColumnID,
                  std::string_view pMode, std::string_view pID) noexcept;
  void MoveDownInfo(std::string_view pWebSite, std::string_view pSysID, std::string_view pColumnID,
                    std::string_view pMode, std::string_view pID) noexcept;

  // --- queries (all sorted by Info_Order; the content is never fetched) ---

  // Items homed in the column, filtered by pMode.
  ResultArray GetInfoList(std::string_view pWebSite, std::string_view pSysID,
                          std::string_view pColumnID, std::string_view pMode,
                          std::string_view pCurPage = {}) noexcept;
  // As GetInfoList, narrowed by title and content texts (matched literally,
  // letter case ignored), type, and the storing time between pStartDate and
  // pEndDate inclusive (only when both are given).
  ResultArray SearchInfoList(std::string_view pWebSite, std::string_view pSysID,
                             std::string_view pColumnID, std::string_view pMode,
                             std::string_view pTitle, std::string_view pContent,
                             std::string_view pType, std::string_view pStartDate,
                             std::string_view pEndDate, std::string_view pCurPage = {}) noexcept;
  // Items homed in (pSysID, pColumnID) that are cross-posted to
  // (pSysID1, pColumnID1), any state.
  ResultArray GetInfoList1(std::string_view pSysID, std::string_view pColumnID,
                           std::string_view pSysID1, std::string_view pColumnID1,
                           std::string_view pCurPage = {}) noexcept;
  // Published items of the column and its live sub-columns, homed there or
  // cross-posted there, of that system and website.
  ResultArray GetPublishedInfoList(std::string_view pWebSite, std::string_view pSysID,
                                   std::string_view pColumnID,
                                   std::string_view pCurPage = {}) noexcept;
  // The first pNum rows of GetPublishedInfoList's order; never paged.
  ResultArray GetTopNPublishedInfoList(std::string_view pWebSite, std::string_view pSysID,
                                       std::string_view pColumnID, std::string_view pNum) noexcept;
  // The first pNum published items of the system and website that hold
  // images; never paged.
  ResultArray GetTopNPictureInfoList(std::string_view pWebSite, std::string_view pSysID,
                                     std::string_view pNum) noexcept;

  // --- searches over many columns (information_search.cc) ---

  // Words of a search text: pText split at blanks (full-width ones too),
  // each of which the title or the content must hold, matched literally
  // with letter case ignored. Empty text selects every item otherwise
  // qualifying.
  //
  // Published items (states 4 to 6, live) of the system and website homed
  // in a live column of the system that lies outside the subtrees of the
  // columns pHidden lists (a comma list of identifiers, empty for none).
  // With pColumnID, the items GetPublishedInfoList lists for that column
  // (homed in its live subtree or cross-posted into it) less those homed in
  // the hidden subtrees.
  ResultArray SearchPublishedInfoList(std::string_view pWebSite, std::string_view pSysID,
                                      std::string_view pColumnID, std::string_view pText,
                                      std::string_view pHidden,
                                      std::string_view pCurPage = {}) noexcept;
  // Items of the website and system, filtered by pMode, homed in live
  // columns on which user pUsrID has more than browse access in the
  // effective access rows (tTemp_UsrAccess), narrowed by the words of
  // pText, the type pType and the storing time: from pStartDate and up to
  // pEndDate, inclusive, each bound applying on its own.
  ResultArray SearchAccessInfoList(std::string_view pUsrID, std::string_view pWebSite,
                                   std::string_view pSysID, std::string_view pMode,
                                   std::string_view pText, std::string_view pType,
                                   std::string_view pStartDate, std::string_view pEndDate,
                                   std::string_view pCurPage = {}) noexcept;

 private:
  void MoveInfoStep(std::string_view pWebSite, std::string_view pSysID, std::string_view pColumnID,
                    std::string_view pMode, std::string_view pID, bool up);
  // Whether a subtree's published lists take the by-column form (SQL values).
  bool FewPublished(const std::string& sys, const std::string& col, const std::string& site,
                    int limit);
  // A title or content search's page: the items where `before` + `text` +
  // `after` holds (`text` the search's like conditions), in `order`.
  // `candidates` (the text index's condition, or empty) narrows the count,
  // and the page where that costs less than reading the list in order.
  ResultArray SearchList(const std::string& before, const std::string& text,
                         const std::string& after, const std::string& candidates,
                         const std::string& order, std::string_view pCurPage,
                         db::Connection::Paging paging);
  ResultArray IndexCountedSearch(const std::string& where, const std::string& likes,
                                 const std::string& rest, const db::SubstringSearch& search,
                                 const db::SubstringTally& tally, std::string_view pCurPage);
  ResultArray KeptCountList(const std::string& sql, std::initializer_list<std::string_view> given,
                            const std::string& kept_condition, std::string_view pCurPage);
};

}  // namespace ptolix
