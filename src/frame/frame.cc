#include "ptolix/frame/frame.h"

#include "frame/arrays.h"
#include "value/failure.h"

namespace ptolix {

db::Connection& ConnectedObject::conn() const {
  if (!connection_) throw ObjectNotSet();
  return *connection_;
}

void ConnectedObject::Command(std::string_view sql) { conn().ExecuteCommand(sql); }

ResultArray ConnectedObject::SingleRow(std::string_view sql) {
  auto rs = conn().Execute(sql);
  return RecordToArray(*rs);
}

ResultArray ConnectedObject::SingleRow(std::string_view sql, std::string_view not_found) {
  auto rs = conn().Execute(sql);
  if (rs->IsEof()) {
    SetError(errors_, not_found);
    return ResultArray();
  }
  return RecordToArray(*rs);
}

ResultArray ConnectedObject::UnpagedList(std::string_view sql) {
  auto rs = conn().Execute(sql);
  return RecordsetToArray(*rs);
}

ResultArray FrameObject::ListQuery(std::string_view sql, std::string_view page_text) {
  return ListQuery(sql, page_text, db::Connection::Paging::kPlain);
}

ResultArray FrameObject::ListQuery(std::string_view sql, std::string_view page_text,
                                   db::Connection::Paging paging) {
  if (page_size_ <= 0) return UnpagedList(sql);
  auto rs = conn().OpenKeyset(sql, paging);
  return PageToArray(*rs, page_text, page_size_, record_count_, page_count_, errors());
}

ResultArray FrameObject::ListQuery(std::string_view sql, int64_t rows, std::string_view page_text,
                                   db::Connection::Paging paging) {
  if (page_size_ <= 0) return UnpagedList(sql);
  auto rs = conn().OpenKeyset(sql, rows, paging);
  return PageToArray(*rs, page_text, page_size_, record_count_, page_count_, errors());
}

ResultArray FrameObject::ListQuery(std::string_view sql, int32_t page) {
  return ListQuery(sql, std::to_string(page));
}

}  // namespace ptolix
