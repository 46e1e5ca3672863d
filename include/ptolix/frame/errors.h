#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace ptolix {

// Failure numbers, as error lines show them.
namespace err {
inline constexpr int32_t kInvalidCall = 5;         // Invalid procedure call or argument
inline constexpr int32_t kOverflow = 6;            // Overflow
inline constexpr int32_t kOutOfMemory = 7;         // Out of memory
inline constexpr int32_t kTypeMismatch = 13;       // Type mismatch
inline constexpr int32_t kFileNotFound = 53;       // File not found
inline constexpr int32_t kObjectNotSet = 91;       // Object variable or With block variable not set
inline constexpr int32_t kNoCurrentRecord = 3021;  // BOF or EOF
inline constexpr int32_t kItemNotFound = 3265;     // no field of that name
inline constexpr int32_t kDatabase = -2147217900;  // the database refused a statement
// The connection to the database was lost (the server or the network dropped
// it, or the database file went away); the next call opens it again.
inline constexpr int32_t kConnectionLost = -2147467259;
}  // namespace err

// What a list records when it has no rows (form 1).
inline constexpr std::string_view kNoRecords = "没有记录。";

// A failure inside a business method: turned into an error line (form 2) at
// the method boundary, never seen by callers.
class Failure : public std::runtime_error {
 public:
  Failure(int32_t number, std::string description)
      : std::runtime_error(description), number_(number), description_(std::move(description)) {}
  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }

 private:
  int32_t number_;
  std::string description_;
};

// Standard failures with their fixed descriptions; `detail` is appended
// after ": " when given.
Failure TypeMismatch(std::string_view detail = {});
Failure Overflow(std::string_view detail = {});
Failure ObjectNotSet();
Failure NoCurrentRecord();
Failure InvalidCall(std::string_view detail = {});
Failure FileNotFound(std::string_view path);

// Current local time as error lines show it: "YYYY-MM-DD HH:MM:SS".
std::string ErrorTimestamp();

// Form 1: appends "<time> - [Ptolix] <message>\r\n". An empty message appends
// nothing (form 2 is AppendFailure).
void SetError(std::string& errors, std::string_view message);
// Form 2: appends "<time> - [<number>] <description>\r\n".
void AppendFailure(std::string& errors, int32_t number, std::string_view description);
void AppendFailure(std::string& errors, const Failure& failure);

// One line of an `Errors` text, read back: `number` is absent for the
// system's own messages (form 1, "[Ptolix]").
struct ErrorLine {
  std::string time;  // "YYYY-MM-DD HH:MM:SS"
  std::optional<int32_t> number;
  std::string message;
};
// The lines of an `Errors` text, oldest first. A line that is not in either
// form (text a caller appended) is kept whole as the message of a line with
// no time and no number.
std::vector<ErrorLine> ParseErrorLines(std::string_view errors);

// Runs a method body: any exception becomes a form-2 line in `errors` and
// the result is R{} (an unallocated array, 0, false, ""). The one boundary
// between failures and error lines.
template <class R = void, class F>
R Guarded(std::string& errors, F&& body) noexcept {
  try {
    if constexpr (std::is_void_v<R>) {
      body();
    } else {
      return body();
    }
  } catch (const Failure& f) {
    AppendFailure(errors, f);
  } catch (const std::exception& e) {
    AppendFailure(errors, err::kInvalidCall, e.what());
  } catch (...) {
    AppendFailure(errors, err::kInvalidCall, "Unexpected failure");
  }
  if constexpr (!std::is_void_v<R>) return R{};
}

}  // namespace ptolix
