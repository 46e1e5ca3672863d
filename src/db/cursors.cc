#include "cursors.h"

#include <algorithm>
#include <cctype>

#include "db/catalog.h"
#include "ptolix/value/errors.h"
#include "ptolix/value/text_case.h"
#include "value/failure.h"

namespace ptolix::db {

namespace {
constexpr int64_t kWindowRows = 64;
// Windows further down than this are fetched keys first on PostgreSQL.
constexpr int64_t kKeyedFrom = 64;
const std::vector<std::string> kNoFields;

bool IsName(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }
}  // namespace

std::string KeyedWindow(const Rewritten& statement, const Catalog& catalog, int64_t start,
                        int64_t n) {
  if (statement.has_limit) return {};
  const std::string& text = statement.text;
  std::string lower = FoldCase(text);
  // "select COLS from T where COND [order by ORDER]": the columns a plain
  // list (no sub-select, function or distinct), one table, no join.
  if (lower.rfind("select ", 0) != 0 || lower.rfind("select distinct", 0) == 0) return {};
  size_t from = lower.find(" from ");
  if (from == std::string::npos || text.find_first_of("();", 7) < from) return {};
  size_t t0 = from + 6, t1 = t0;
  while (t1 < text.size() && IsName(text[t1])) ++t1;
  if (t1 == t0 || lower.compare(t1, 7, " where ") != 0) return {};
  std::string key = catalog.KeyOf(lower.substr(t0, t1 - t0));
  if (key.empty()) return {};
  std::string table = text.substr(t0, t1 - t0);
  std::string cond = text.substr(t1 + 7, statement.before_order_by - (t1 + 7));
  std::string order = text.substr(statement.before_order_by);
  return text.substr(0, t1) + " where " + key + " in (select " + key + " from " + table +
         " where " + cond + order + " limit " + std::to_string(n) + " offset " +
         std::to_string(start) + ")" + order;
}

ForwardRecordset::ForwardRecordset(std::unique_ptr<BackendCursor> cursor)
    : cursor_(std::move(cursor)) {
  if (cursor_) eof_ = !cursor_->Fetch(&row_);
}

const std::vector<std::string>& ForwardRecordset::FieldNames() const {
  return cursor_ ? cursor_->Columns() : kNoFields;
}

const Variant& ForwardRecordset::Field(int32_t i) const {
  if (eof_) throw NoCurrentRecord();
  return row_.at(i);
}

const std::vector<Variant>& ForwardRecordset::Row() const {
  if (eof_) throw NoCurrentRecord();
  return row_;
}

void ForwardRecordset::MoveNext() {
  if (eof_) throw NoCurrentRecord();
  eof_ = !cursor_->Fetch(&row_);
}

KeysetRecordset::KeysetRecordset(Connection& conn, Rewritten statement, bool keys_first,
                                 int64_t rows)
    : conn_(conn), statement_(std::move(statement)), keys_first_(keys_first), count_(rows) {}

int64_t KeysetRecordset::Count() const {
  if (count_ < 0) {
    // The order of rows does not change their number: count without the
    // trailing order by, which would cost a sort.
    std::string body = statement_.has_limit ? statement_.text
                                            : statement_.text.substr(0, statement_.before_order_by);
    count_ = conn_.CountRewritten("select count(*) from (" + body + ") ptlx_count",
                                  conn_.engine_->ChangeToken());
  }
  return count_;
}

void KeysetRecordset::Fetch(int64_t start, int64_t n) const {
  std::string window = " limit " + std::to_string(n) + " offset " + std::to_string(start);
  std::string sql = statement_.has_limit
                        ? "select * from (" + statement_.text + ") ptlx_window" + window
                        : statement_.text + window;
  // Some engines visit every row an offset skips unless the keys come from
  // an index alone.
  if ((keys_first_ || start >= kKeyedFrom) && EngineOf(conn_).ReadsPagesKeysFirst()) {
    if (std::string keyed = KeyedWindow(statement_, CatalogOf(conn_), start, n); !keyed.empty())
      sql = keyed;
  }
  auto cursor = db::BackendOf(conn_).Query(sql, statement_.names);
  names_ = cursor->Columns();
  names_known_ = true;
  window_.clear();
  window_start_ = start;
  std::vector<Variant> row;
  while (cursor->Fetch(&row)) window_.push_back(row);
}

bool KeysetRecordset::IsEof() const { return pos_ >= Count(); }

const std::vector<std::string>& KeysetRecordset::FieldNames() const {
  if (!names_known_) Fetch(std::max<int64_t>(pos_, 0), page_size_ > 0 ? page_size_ : kWindowRows);
  return names_;
}

const std::vector<Variant>& KeysetRecordset::Current() const {
  if (pos_ < 0 || pos_ >= Count()) throw NoCurrentRecord();
  if (pos_ < window_start_ || pos_ >= window_start_ + static_cast<int64_t>(window_.size())) {
    // Place the window ahead of the direction of travel.
    int64_t start = step_ >= 0 ? pos_ : std::max<int64_t>(0, pos_ - kWindowRows + 1);
    Fetch(start, kWindowRows);
    if (pos_ >= window_start_ + static_cast<int64_t>(window_.size())) {
      throw NoCurrentRecord();  // rows vanished since they were counted
    }
  }
  return window_[pos_ - window_start_];
}

const Variant& KeysetRecordset::Field(int32_t i) const { return Current().at(i); }
const std::vector<Variant>& KeysetRecordset::Row() const { return Current(); }

void KeysetRecordset::MoveNext() {
  if (IsEof()) throw NoCurrentRecord();
  ++pos_;
  step_ = 1;
}

void KeysetRecordset::MovePrevious() {
  if (pos_ < 0) throw NoCurrentRecord();
  --pos_;
  step_ = -1;
}

void KeysetRecordset::MoveLast() {
  pos_ = Count() - 1;
  step_ = -1;
}

int32_t KeysetRecordset::RecordCount() {
  int64_t n = Count();
  if (n > INT32_MAX) throw Overflow("record count");
  return static_cast<int32_t>(n);
}

void KeysetRecordset::SetAbsolutePage(int32_t page) {
  if (page < 1 || page > PageCount()) throw InvalidCall("page " + std::to_string(page));
  pos_ = static_cast<int64_t>(page - 1) * page_size_;
  step_ = 1;
  if (pos_ < window_start_ || pos_ >= window_start_ + static_cast<int64_t>(window_.size())) {
    Fetch(pos_, page_size_);
  }
}

}  // namespace ptolix::db
