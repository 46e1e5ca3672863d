#include "ptolix/frame/system.h"

#include <fmt/format.h>
#include <sodium.h>

#include "ptolix/frame/sql_text.h"

namespace ptolix {

// Parameter names are placed between quotes as given (an empty name looks
// for the parameter named by empty text), with embedded quotes doubled.
static std::string QuotedName(std::string_view name, std::string_view arg_name) {
  return name.empty() ? "''" : SqlQuote(name, arg_name);
}

ResultArray System::GetParameter(std::string_view pParaName) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_SystemParameter where Para_Name = " +
                         QuotedName(pParaName, "pParaName"),
                     "不存在系统参数'" + std::string(pParaName) + "'。");
  });
}

std::optional<std::string> SystemParameter(const std::shared_ptr<db::Connection>& connection,
                                           std::string_view name) noexcept {
  if (!connection) return std::nullopt;
  try {
    auto rs = connection->Execute("select * from tPtlx_SystemParameter where Para_Name = " +
                                  QuotedName(name, "name"));
    if (rs->IsEof()) return std::nullopt;
    return NullToEmpty(rs->Field("Para_Value"));
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

ResultArray System::GetParameterList(int32_t pCurPage) noexcept {
  return Guard<ResultArray>(
      [&] { return ListQuery("select * from tPtlx_SystemParameter", pCurPage); });
}

void System::AppendParameter(std::string_view pName, std::string_view pValue,
                             std::string_view pDescription) noexcept {
  Guard([&] {
    Command("insert into tPtlx_SystemParameter (Para_Name,Para_Value,Para_Description) values (" +
            SqlQuote(pName, "pName") + "," + SqlQuote(pValue, "pValue") + "," +
            SqlQuote(pDescription, "pDescription") + ")");
  });
}

void System::ModifyParameter(std::string_view pName, std::string_view pNewName,
                             std::string_view pValue, std::string_view pDescription) noexcept {
  Guard([&] {
    Command("update tPtlx_SystemParameter set Para_Name = " + SqlQuote(pNewName, "pNewName") +
            ",Para_Value = " + SqlQuote(pValue, "pValue") +
            ",Para_Description = " + SqlQuote(pDescription, "pDescription") +
            " where Para_Name = " + QuotedName(pName, "pName"));
  });
}

void System::DeleteParameter(std::string_view pName) noexcept {
  Guard([&] {
    Command("delete from tPtlx_SystemParameter where Para_Name = " + QuotedName(pName, "pName"));
  });
}

ResultArray System::GetSystem(std::string_view pID) noexcept {
  return Guard<ResultArray>([&] {
    return SingleRow("select * from tPtlx_System where Sys_ID = " + std::string(Bare(pID, "pID")));
  });
}

ResultArray System::GetSystemList(int32_t pCurPage) noexcept {
  return Guard<ResultArray>([&] { return ListQuery("select * from tPtlx_System", pCurPage); });
}

void System::AppendSystem(std::string_view pName, std::string_view pDescription) noexcept {
  Guard([&] {
    Command("insert into tPtlx_System (Sys_Name,Sys_Description) values (" +
            SqlQuote(pName, "pName") + "," + SqlQuote(pDescription, "pDescription") + ")");
  });
}

void System::ModifySystem(int32_t pID, std::string_view pName,
                          std::string_view pDescription) noexcept {
  Guard([&] {
    Command("update tPtlx_System set Sys_Name = " + SqlQuote(pName, "pName") +
            ",Sys_Description = " + SqlQuote(pDescription, "pDescription") +
            " where Sys_ID = " + std::to_string(pID));
  });
}

void System::DeleteSystem(std::string_view pID) noexcept {
  Guard(
      [&] { Command("delete from tPtlx_System where Sys_ID = " + std::string(Bare(pID, "pID"))); });
}

std::string System::GetID() noexcept { return NewGuidString(); }

std::string NewGuidString() {
  if (sodium_init() < 0) return "";
  unsigned char bytes[16];
  randombytes_buf(bytes, sizeof bytes);
  // A version 4 identifier: random, with the version and variant bits set.
  bytes[6] = (bytes[6] & 0x0F) | 0x40;
  bytes[8] = (bytes[8] & 0x3F) | 0x80;
  std::string out;
  for (unsigned char b : bytes) out += fmt::format("{:02X}", b);
  return out;
}

}  // namespace ptolix
