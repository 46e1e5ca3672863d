#pragma once

#include <string>

#include "ptolix/value/errors.h"

namespace ptolix::db {

// The one exception type of the backends: the database refused a statement
// or could not be reached. number() is err::kDatabase; description() is the
// engine's own message. state() is the SQLSTATE class of the failure when
// the engine gives one ("40001" serialization, "40P01" deadlock).
class Error : public Failure {
 public:
  Error(std::string description, std::string sql, std::string state = "")
      : Failure(err::kDatabase, std::move(description)),
        sql_(std::move(sql)),
        state_(std::move(state)) {}
  const std::string& sql() const { return sql_; }
  const std::string& state() const { return state_; }
  // True for a failure that another transaction caused and that running the
  // whole change again may not meet: a serialization failure or a deadlock.
  bool Retryable() const { return state_ == "40001" || state_ == "40P01"; }

 private:
  std::string sql_;
  std::string state_;
};

}  // namespace ptolix::db
