#include "ptolix/content/encode.h"

#include "ptolix/frame/sql_text.h"

namespace ptolix {

namespace {

constexpr std::string_view kInfoState = "tPtlx_InfoState";
constexpr std::string_view kInfoType = "tPtlx_InfoType";
constexpr std::string_view kAccessType = "tPtlx_AccessType";

// A website type's own identifier: its key, so it cannot be null.
std::string TypeCode(std::string_view text, std::string_view arg_name) {
  if (text.empty()) {
    throw InvalidCall(std::string(arg_name) + " is empty: a website type needs an identifier");
  }
  return SqlQuote(Bare(text, arg_name));
}

}  // namespace

void Encode::Append(std::string_view table, std::string_view prefix, std::string_view pName,
                    std::string_view pDescription) noexcept {
  Guard([&] {
    std::string p(prefix);
    Command("insert into " + std::string(table) + " (" + p + "_Name," + p +
            "_Description) values (" + SqlQuote(pName, "pName") + "," +
            SqlQuote(pDescription, "pDescription") + ")");
  });
}

void Encode::Modify(std::string_view table, std::string_view prefix, std::string_view pID,
                    std::string_view pName, std::string_view pDescription) noexcept {
  Guard([&] {
    std::string p(prefix);
    std::string id = Bare(pID, "pID");
    Command("update " + std::string(table) + " set " + p + "_Name = " + SqlQuote(pName, "pName") +
            "," + p + "_Description = " + SqlQuote(pDescription, "pDescription") + " where " + p +
            "_ID = " + id);
  });
}

void Encode::Delete(std::string_view table, std::string_view prefix,
                    std::string_view pID) noexcept {
  Guard([&] {
    Command("delete from " + std::string(table) + " where " + std::string(prefix) +
            "_ID = " + Bare(pID, "pID"));
  });
}

ResultArray Encode::List(std::string_view table) noexcept {
  return Guard<ResultArray>([&] { return UnpagedList("select * from " + std::string(table)); });
}

void Encode::AppendInfoState(std::string_view pName, std::string_view pDescription) noexcept {
  Append(kInfoState, "InfState", pName, pDescription);
}
void Encode::ModifyInfoState(std::string_view pID, std::string_view pName,
                             std::string_view pDescription) noexcept {
  Modify(kInfoState, "InfState", pID, pName, pDescription);
}
void Encode::DeleteInfoState(std::string_view pID) noexcept { Delete(kInfoState, "InfState", pID); }
ResultArray Encode::GetInfoState(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_InfoState where InfState_ID = " + Bare(pID, "pID"),
                     "信息状态不存在。");
  });
}
ResultArray Encode::GetInfStateList() noexcept { return List(kInfoState); }

void Encode::AppendInfoType(std::string_view pName, std::string_view pDescription) noexcept {
  Append(kInfoType, "InfType", pName, pDescription);
}
void Encode::ModifyInfoType(std::string_view pID, std::string_view pName,
                            std::string_view pDescription) noexcept {
  Modify(kInfoType, "InfType", pID, pName, pDescription);
}
void Encode::DeleteInfoType(std::string_view pID) noexcept { Delete(kInfoType, "InfType", pID); }
ResultArray Encode::GetInfTypeList() noexcept { return List(kInfoType); }

void Encode::AppendAccessType(std::string_view pName, std::string_view pDescription) noexcept {
  Append(kAccessType, "AccessType", pName, pDescription);
}
void Encode::ModifyAccessType(std::string_view pID, std::string_view pName,
                              std::string_view pDescription) noexcept {
  Modify(kAccessType, "AccessType", pID, pName, pDescription);
}
void Encode::DeleteAccessType(std::string_view pID) noexcept {
  Delete(kAccessType, "AccessType", pID);
}
ResultArray Encode::GetAccessTypeList() noexcept { return List(kAccessType); }

void Encode::AppendWebSiteType(std::string_view pID, std::string_view pName) noexcept {
  Guard([&] {
    Command("insert into tPtlx_WebSiteType (WebSiteType_ID,WebSiteType_Name) values (" +
            TypeCode(pID, "pID") + "," + SqlQuote(pName, "pName") + ")");
  });
}

void Encode::ModifyWebSiteType(std::string_view pID, std::string_view pNewID,
                               std::string_view pName) noexcept {
  Guard([&] {
    std::string new_id = TypeCode(pNewID, "pNewID");
    std::string id = Bare(pID, "pID");
    Command("update tPtlx_WebSiteType set WebSiteType_ID = " + new_id +
            ",WebSiteType_Name = " + SqlQuote(pName, "pName") + " where WebSiteType_ID = " + id);
  });
}

void Encode::DeleteWebSiteType(std::string_view pID) noexcept {
  Guard(
      [&] { Command("delete from tPtlx_WebSiteType where WebSiteType_ID = " + Bare(pID, "pID")); });
}

ResultArray Encode::GetWebSiteType(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_WebSiteType where WebSiteType_ID = " + Bare(pID, "pID"),
                     "网站类型不存在。");
  });
}

ResultArray Encode::GetWebSiteTypeList() noexcept { return List("tPtlx_WebSiteType"); }

}  // namespace ptolix
