#include "ptolix/records/upload.h"

#include "ptolix/frame/sql_text.h"

namespace ptolix {

std::string upload::RecordUploadFile(std::string_view sUsrID,
                                     std::string_view sFileUseFor) noexcept {
  return Guard<std::string>([&] {
    std::string columns, values;
    auto set = [&](std::string_view column, std::string_view value, std::string_view arg_name) {
      if (value.empty()) return;
      columns += (columns.empty() ? "" : ",") + std::string(column);
      values += (values.empty() ? "" : ",") + SqlQuote(value, arg_name);
    };
    set("Usr_ID", sUsrID, "sUsrID");
    set("UploadFile_UseFor", sFileUseFor, "sFileUseFor");
    std::string sql = columns.empty()
                          ? "insert into tPtlx_Upload default values"
                          : "insert into tPtlx_Upload (" + columns + ") values (" + values + ")";
    return std::to_string(conn().Insert(sql, "UploadFile_ID"));
  });
}

void upload::RecordUploadFileName(std::string_view sID, std::string_view sFileName) noexcept {
  Guard([&] {
    Command("update tPtlx_Upload set UploadFile_Name = " + SqlQuote(sFileName, "sFileName") +
            " where UploadFile_ID = " + SqlValue(Bare(sID, "sID")));
  });
}

}  // namespace ptolix
