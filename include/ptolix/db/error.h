#pragma once

#include <string>
#include <string_view>

#include "ptolix/frame/errors.h"

namespace ptolix::db {

// The one exception type of the backends: the database refused a statement
// or could not be reached. number() is err::kDatabase and description() the
// engine's own message; for a lost connection (Lost()) number() is
// err::kConnectionLost and description() is kLostPrefix followed by the
// engine's message. state() is the SQLSTATE class of the failure when the
// engine gives one ("40001" serialization, "40P01" deadlock).
class Error : public Failure {
 public:
  static constexpr std::string_view kLostPrefix = "the connection to the database was lost: ";

  Error(std::string description, std::string sql, std::string state = "")
      : Error(err::kDatabase, std::move(description), std::move(sql), std::move(state)) {}
  // The connection went away; `message` says why, in the engine's words.
  static Error ConnectionLost(std::string_view message, std::string sql, std::string state = "") {
    return Error(err::kConnectionLost, std::string(kLostPrefix) + std::string(message),
                 std::move(sql), std::move(state));
  }

  const std::string& sql() const { return sql_; }
  const std::string& state() const { return state_; }
  bool Lost() const { return number() == err::kConnectionLost; }
  // True for a failure that another transaction caused and that running the
  // whole change again may not meet: a serialization failure or a deadlock.
  // Never a lost connection: the transaction went with it.
  bool Retryable() const { return !Lost() && (state_ == "40001" || state_ == "40P01"); }

 private:
  Error(int32_t number, std::string description, std::string sql, std::string state)
      : Failure(number, std::move(description)), sql_(std::move(sql)), state_(std::move(state)) {}

  std::string sql_;
  std::string state_;
};

}  // namespace ptolix::db
