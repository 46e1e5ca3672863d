#pragma once

#include <cstddef>
#include <iosfwd>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "ptolix/db/connection.h"
#include "ptolix/frame/registry.h"

namespace ptolix::tool {

// The state of one host session: named connections and objects.
class Host {
 public:
  // The longest request line the host reads (64 MB); a longer one is
  // answered with an error and skipped.
  static constexpr std::size_t kMaxLineBytes = std::size_t{64} << 20;
  // The deepest nesting of arrays and objects a request may hold.
  static constexpr int kMaxDepth = 64;

  // Opens `url` under `name` first when url is not empty.
  explicit Host(const std::string& url = "", const std::string& name = "db");
  // Carries out one request line and returns its response (one line of
  // valid UTF-8 JSON, without newline). Never throws: a line the host
  // cannot carry out, whatever its bytes, gets {"ok":false,"error":...}.
  std::string HandleLine(std::string_view line) noexcept;
  // Carries out one parsed request (its nesting already checked).
  nlohmann::json Handle(const nlohmann::json& request);
  // Reads requests from `in` until its end, answering each on `out`.
  void Run(std::istream& in, std::ostream& out);

 private:
  // An operation reads its request and adds "value" (and any other
  // member) to a response that already says "ok":true.
  using Op = void (Host::*)(const nlohmann::json& request, nlohmann::json& response);
  static const std::map<std::string, Op, std::less<>>& Ops();

  void Open(const nlohmann::json& request, nlohmann::json& response);
  void Init(const nlohmann::json& request, nlohmann::json& response);
  void Close(const nlohmann::json& request, nlohmann::json& response);
  void New(const nlohmann::json& request, nlohmann::json& response);
  void Free(const nlohmann::json& request, nlohmann::json& response);
  void Set(const nlohmann::json& request, nlohmann::json& response);
  void Get(const nlohmann::json& request, nlohmann::json& response);
  void Call(const nlohmann::json& request, nlohmann::json& response);
  void Sql(const nlohmann::json& request, nlohmann::json& response);
  void Trace(const nlohmann::json& request, nlohmann::json& response);

  db::Connection& Conn(const nlohmann::json& request);
  Object& Obj(const nlohmann::json& request);

  std::map<std::string, std::shared_ptr<db::Connection>> connections_;
  std::map<std::string, std::unique_ptr<Object>> objects_;
};

}  // namespace ptolix::tool
