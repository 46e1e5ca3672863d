#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "ptolix/value/errors.h"

// The failures the library raises inside its methods and the error lines
// they become at a method's boundary.
namespace ptolix {

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
