#pragma once

#include <iosfwd>
#include <map>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "ptolix/db/connection.h"
#include "ptolix/frame/registry.h"

namespace ptolix::tool {

// The state of one host session: named connections and objects.
class Host {
 public:
  // Opens `url` under `name` first when url is not empty.
  explicit Host(const std::string& url = "", const std::string& name = "db");
  // Carries out one request line and returns its response (without newline).
  std::string Handle(const std::string& line);
  nlohmann::json Handle(const nlohmann::json& request);
  // Reads requests from `in` until its end, answering each on `out`.
  void Run(std::istream& in, std::ostream& out);

 private:
  db::Connection& Conn(const nlohmann::json& request);
  Object& Obj(const nlohmann::json& request);

  std::map<std::string, std::shared_ptr<db::Connection>> connections_;
  std::map<std::string, std::unique_ptr<Object>> objects_;
};

}  // namespace ptolix::tool
