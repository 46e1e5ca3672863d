#pragma once

#include <string>

#include "ptolix/frame/errors.h"

namespace ptolix::db {

// The one exception type of the backends: the database refused a statement
// or could not be reached. number() is err::kDatabase; description() is the
// engine's own message.
class Error : public Failure {
 public:
  Error(std::string description, std::string sql)
      : Failure(err::kDatabase, std::move(description)), sql_(std::move(sql)) {}
  const std::string& sql() const { return sql_; }

 private:
  std::string sql_;
};

}  // namespace ptolix::db
