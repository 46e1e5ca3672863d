#include "ptolix/value/errors.h"

#include "ptolix/value/variant.h"
#include "value/failure.h"

namespace ptolix {

namespace {

Failure WithDetail(int32_t number, std::string description, std::string_view detail) {
  if (!detail.empty()) {
    description += ": ";
    description += detail;
  }
  return Failure(number, std::move(description));
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

}  // namespace ptolix
