#include "ptolix/frame/errors.h"

#include <charconv>

#include "ptolix/frame/variant.h"

namespace ptolix {

namespace {

Failure WithDetail(int32_t number, std::string description, std::string_view detail) {
  if (!detail.empty()) {
    description += ": ";
    description += detail;
  }
  return Failure(number, std::move(description));
}

// The time stamp's length: "YYYY-MM-DD HH:MM:SS".
constexpr size_t kTimeLength = 19;

// One line without its line end, in either form, or kept whole.
ErrorLine ParseErrorLine(std::string_view line) {
  ErrorLine out;
  out.message = line;
  if (line.size() < kTimeLength + 5 || line.substr(kTimeLength, 4) != " - [") return out;
  size_t close = line.find("] ", kTimeLength + 4);
  if (close == std::string_view::npos) return out;
  std::string_view tag = line.substr(kTimeLength + 4, close - kTimeLength - 4);
  if (tag != "Ptolix") {
    int32_t number = 0;
    auto [end, ec] = std::from_chars(tag.data(), tag.data() + tag.size(), number);
    if (ec != std::errc() || end != tag.data() + tag.size()) return out;
    out.number = number;
  }
  out.time = line.substr(0, kTimeLength);
  out.message = line.substr(close + 2);
  return out;
}

}  // namespace

Failure TypeMismatch(std::string_view detail) {
  return WithDetail(err::kTypeMismatch, "Type mismatch", detail);
}
Failure Overflow(std::string_view detail) { return WithDetail(err::kOverflow, "Overflow", detail); }
Failure ObjectNotSet() {
  return Failure(err::kObjectNotSet, "Object variable or With block variable not set");
}
Failure NoCurrentRecord() {
  return Failure(err::kNoCurrentRecord,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested "
                 "operation requires a current record.");
}
Failure InvalidCall(std::string_view detail) {
  return WithDetail(err::kInvalidCall, "Invalid procedure call or argument", detail);
}
Failure FileNotFound(std::string_view path) {
  return WithDetail(err::kFileNotFound, "File not found", path);
}

std::string ErrorTimestamp() { return DateTime::Now().ToString(); }

void SetError(std::string& errors, std::string_view message) {
  if (message.empty()) return;
  errors += ErrorTimestamp();
  errors += " - [Ptolix] ";
  errors += message;
  errors += "\r\n";
}

void AppendFailure(std::string& errors, int32_t number, std::string_view description) {
  errors += ErrorTimestamp();
  errors += " - [";
  errors += std::to_string(number);
  errors += "] ";
  errors += description;
  errors += "\r\n";
}

void AppendFailure(std::string& errors, const Failure& failure) {
  AppendFailure(errors, failure.number(), failure.description());
}

std::vector<ErrorLine> ParseErrorLines(std::string_view errors) {
  std::vector<ErrorLine> lines;
  while (!errors.empty()) {
    size_t end = errors.find('\n');
    std::string_view line = errors.substr(0, end);
    errors.remove_prefix(end == std::string_view::npos ? errors.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    lines.push_back(ParseErrorLine(line));
  }
  return lines;
}

}  // namespace ptolix
