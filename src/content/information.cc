// Information items: writing, review and attachments.

#include "ptolix/content/information.h"

#include <fmt/format.h>

#include <algorithm>

#include "content/information_text.h"
#include "frame/order_code.h"
#include "ptolix/db/connection.h"
#include "ptolix/frame/sql_text.h"

namespace ptolix {

namespace {

// Text stored as the caller gave it: empty text stays empty text (not null),
// embedded quotes doubled.
std::string Stored(std::string_view text, std::string_view arg_name) {
  return text.empty() ? "''" : SqlQuote(text, arg_name);
}

// True when some item's code is `code` or begins with it.
bool ItemCodeInUse(db::Connection& conn, const std::string& code) {
  return !conn.Execute("select top 1 Info_ID from tPtlx_Information where Info_Order like " +
                       SqlQuote(code + "%"))
              ->IsEof();
}

// A new item's code when the one made from its identifier is taken (a move
// gave it to another item): a free code under `prefix` that sorts before
// every sibling, as a new item's does. It never ends in F, so it is never
// the code made from a later identifier.
std::string FirstFreeCode(db::Connection& conn, const std::string& prefix,
                          const std::string& derived) {
  std::string first = derived;
  {
    // The smallest code under the prefix is always one of its level: an
    // item's code sorts before everything filed under it.
    auto rs = conn.Execute("select top 1 Info_Order from tPtlx_Information where Info_Order like " +
                           SqlQuote(prefix + "%") + " and len(Info_Order) = " +
                           std::to_string(derived.size()) + " order by Info_Order");
    if (!rs->IsEof()) first = std::min(first, NullToEmpty(rs->Field(0)));
  }
  uint64_t v = std::stoull(first.substr(first.size() - kInfoCodeWidth), nullptr, 16);
  for (uint64_t step = 8; step < 8 + 4096 && step <= v; ++step) {
    uint64_t candidate = v - step;
    if ((candidate & 0xF) == 0xF) continue;
    std::string code = prefix + fmt::format("{:08X}", candidate);
    if (!ItemCodeInUse(conn, code)) return code;
  }
  throw InvalidCall("no free order code for a new item under '" + prefix + "'");
}

}  // namespace

int32_t CountOccurrences(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return 0;
  int32_t count = 0;
  for (size_t at = text.find(pattern); at != std::string_view::npos;
       at = text.find(pattern, at + pattern.size())) {
    ++count;
  }
  return count;
}

std::string Information::AppendInfo(std::string_view pSysID, std::string_view pColumnID,
                                    std::string_view pUsr, std::string_view pInfoType,
                                    std::string_view pTitle, std::string_view pContent,
                                    std::string_view pPubDate, std::string_view pEndDate,
                                    std::string_view pUrl, std::string_view pWebSite,
                                    std::string_view pFather) noexcept {
  return Guard<std::string>([&] {
    // Every identifier is converted before anything is written: a text that
    // is not a number stores nothing.
    int32_t sys = ParseLong(Bare(pSysID, "pSysID"));
    int32_t column = ParseLong(Bare(pColumnID, "pColumnID"));
    int32_t type = ParseLong(Bare(pInfoType, "pInfoType"));
    int32_t site = ParseLong(Bare(pWebSite, "pWebSite"));
    std::string father =
        pFather.empty() ? std::string() : std::to_string(ParseLong(Bare(pFather, "pFather")));
    std::string pub_date = CallerDate(pPubDate, "pPubDate");
    std::string end_date = CallerDate(pEndDate, "pEndDate");
    std::string usr = Stored(pUsr, "pUsr"), title = Stored(pTitle, "pTitle");
    std::string content = pContent.empty() ? "" : SqlQuote(pContent, "pContent");
    std::string url = pUrl.empty() ? "" : SqlQuote(pUrl, "pUrl");

    // Under the item tree's lock: the code chosen below stays free until the
    // row has it.
    return db::RunAtomic(conn(), {db::locks::kItemTree}, [&] {
      std::string prefix;
      {
        auto rs =
            conn().Execute("select * from tPtlx_Information where Info_ID = " + SqlValue(father));
        if (!rs->IsEof()) prefix = NullToEmpty(rs->Field("Info_Order"));
      }

      std::string names = "Sys_ID,Column_ID,Info_PublicUsr,InfType_ID,Info_Title,WebSite_ID";
      std::string values = std::to_string(sys) + "," + std::to_string(column) + "," + usr + "," +
                           std::to_string(type) + "," + title + "," + std::to_string(site);
      auto add = [&](const char* name, const std::string& value) {
        names += std::string(",") + name;
        values += "," + value;
      };
      if (!father.empty()) add("Info_Father", father);
      if (!pContent.empty()) {
        add("Info_Content", content);
        add("Info_ImageCount", std::to_string(CountOccurrences(pContent, "<img ")));
      }
      if (!pUrl.empty()) add("Info_Url", url);
      if (!pub_date.empty()) add("Info_PublicDate", SqlQuote(pub_date));
      if (!end_date.empty()) add("Info_EndDate", SqlQuote(end_date));
      int64_t id = conn().Insert(
          "insert into tPtlx_Information (" + names + ") values (" + values + ")", "Info_ID");

      // The segment comes from the identifier the database assigned; one that
      // no longer fits 8 characters fails here and the insert is undone.
      std::string code = prefix + PaddedOrderCode(id, kInfoCodeWidth);
      if (ItemCodeInUse(conn(), code)) code = FirstFreeCode(conn(), prefix, code);
      conn().ExecuteCommand("update tPtlx_Information set Info_Order = " + SqlQuote(code) +
                            " where Info_ID = " + std::to_string(id));
      return std::to_string(id);
    });
  });
}

void Information::ModifyInfo(std::string_view pID, std::string_view pInfoType,
                             std::string_view pTitle, std::string_view pContent,
                             std::string_view pPubDate, std::string_view pEndDate,
                             std::string_view pUrl) noexcept {
  Guard([&] {
    std::string ids(BareList(pID, "pID"));
    std::string type = Bare(pInfoType, "pInfoType");
    std::string pub_date = CallerDate(pPubDate, "pPubDate");
    std::string end_date = CallerDate(pEndDate, "pEndDate");
    Command("update tPtlx_Information set  Info_Title = " + SqlQuote(pTitle, "pTitle") +
            ",Info_Content = " + SqlQuote(pContent, "pContent") + ",Info_ImageCount = " +
            std::to_string(CountOccurrences(pContent, "<img")) + ",InfType_ID = " + SqlValue(type) +
            ",Info_Url = " + SqlQuote(pUrl, "pUrl") + ",Info_PublicDate = " + SqlQuote(pub_date) +
            ",Info_EndDate = " + SqlQuote(end_date) + " where Info_ID in (" + SqlValue(ids) + ")");
  });
}

void Information::DeleteInfo(std::string_view pID) noexcept {
  Guard([&] {
    Command("update tPtlx_Information set Info_IsDeleted = '1' where Info_ID in (" +
            SqlValue(BareList(pID, "pID")) + ")");
  });
}

void Information::AssessInfo(std::string_view pUsr, std::string_view pID,
                             std::string_view pInfoState) noexcept {
  Guard([&] {
    std::string ids(BareList(pID, "pID"));
    Command("update tPtlx_Information set Info_AssessUsr = " + SqlQuote(pUsr, "pUsr") +
            ",Info_AssessTime = GetDate(),InfState_ID = " +
            SqlValue(Bare(pInfoState, "pInfoState")) + " where Info_ID in (" + SqlValue(ids) + ")");
  });
}

ResultArray Information::GetInfo(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_Information where Info_ID = " +
                     SqlValue(Bare(pID, "pID")));
  });
}

void Information::AppendInfoAttach(std::string_view pID, std::string_view pTitle,
                                   std::string_view pFileName) noexcept {
  Guard([&] {
    Command("insert into tPtlx_Attach (Info_ID,Attach_Title,Attach_FileName) values (" +
            SqlValue(Bare(pID, "pID")) + "," + SqlQuote(pTitle, "pTitle") + "," +
            SqlQuote(pFileName, "pFileName") + ")");
  });
}

void Information::DeleteInfoAttach(std::string_view pInfoID, std::string_view pAttachID) noexcept {
  Guard([&] {
    std::string info = Bare(pInfoID, "pInfoID");
    Command("delete from tPtlx_Attach where Info_ID = " + SqlValue(info) +
            " and Attach_ID = " + SqlValue(Bare(pAttachID, "pAttachID")));
  });
}

ResultArray Information::GetInfoAttachList(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return UnpagedList("select * from tPtlx_Attach where Info_ID = " + SqlValue(Bare(pID, "pID")));
  });
}

}  // namespace ptolix
