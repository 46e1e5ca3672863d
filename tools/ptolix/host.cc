#include "host.h"

#include <cstdio>
#include <iostream>

#include "frame/arrays.h"
#include "json_values.h"
#include "ptolix/connect.h"
#include "ptolix/db/error.h"
#include "ptolix/schema/schema.h"
#include "ptolix/value/text_case.h"

namespace ptolix::tool {

using nlohmann::json;

namespace {

std::string Str(const json& request, const char* field) {
  auto it = request.find(field);
  if (it == request.end() || !it->is_string()) {
    throw HostError(std::string("request needs a string \"") + field + "\"");
  }
  return it->get<std::string>();
}

// Offset of the first byte that is not part of well-formed UTF-8 (no
// overlong forms, no surrogates, nothing above U+10FFFF), or npos.
std::size_t InvalidUtf8At(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return i;
    }
    if (s.size() - i <= static_cast<std::size_t>(extra)) return i;
    for (int k = 1; k <= extra; ++k) {
      auto d = static_cast<unsigned char>(s[i + k]);
      if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF)) return i;
    }
    i += extra + 1;
  }
  return std::string_view::npos;
}

// The deepest nesting of arrays and objects in `s`, counting brackets
// outside strings; stops counting once past `limit`.
int NestingDepth(std::string_view s, int limit) {
  int depth = 0, deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < s.size(); ++i) {
    char c = s[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > deepest) deepest = depth;
      if (deepest > limit) return deepest;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string ErrorLine(const std::string& message) {
  return Dump(json{{"ok", false}, {"error", message}});
}

}  // namespace

Host::Host(const std::string& url, const std::string& name) {
  if (!url.empty()) {
    connections_[name] = ptolix::Connect(url);
    connections_[name]->SetTrace(true);
  }
}

db::Connection& Host::Conn(const json& request) {
  std::string name = Str(request, "conn");
  auto it = connections_.find(name);
  if (it == connections_.end()) throw HostError("unknown connection " + name);
  return *it->second;
}

Object& Host::Obj(const json& request) {
  std::string name = Str(request, "obj");
  auto it = objects_.find(name);
  if (it == objects_.end()) throw HostError("unknown object " + name);
  return *it->second;
}

const std::map<std::string, Host::Op, std::less<>>& Host::Ops() {
  static const std::map<std::string, Op, std::less<>> ops = {
      {"open", &Host::Open},   {"init", &Host::Init}, {"close", &Host::Close},
      {"new", &Host::New},     {"free", &Host::Free}, {"set", &Host::Set},
      {"get", &Host::Get},     {"call", &Host::Call}, {"sql", &Host::Sql},
      {"trace", &Host::Trace},
  };
  return ops;
}

void Host::Open(const json& request, json& /*response*/) {
  std::string name = Str(request, "conn");
  auto conn = ptolix::Connect(Str(request, "url"));
  conn->SetTrace(true);
  connections_[name] = std::move(conn);
}

void Host::Init(const json& request, json& /*response*/) { schema::CreateSchema(Conn(request)); }

void Host::Close(const json& request, json& /*response*/) {
  Conn(request);
  connections_.erase(Str(request, "conn"));
}

void Host::New(const json& request, json& /*response*/) {
  objects_[Str(request, "obj")] = GlobalRegistry().CreateObject(Str(request, "progid"));
}

void Host::Free(const json& request, json& /*response*/) {
  Obj(request);
  objects_.erase(Str(request, "obj"));
}

void Host::Set(const json& request, json& /*response*/) {
  Object& obj = Obj(request);
  std::string prop = Str(request, "prop");
  if (request.contains("conn")) {
    if (!SameIgnoringCase(prop, "Connection")) {
      throw HostError("only Connection takes a connection");
    }
    std::string name = Str(request, "conn");
    auto it = connections_.find(name);
    if (it == connections_.end()) throw HostError("unknown connection " + name);
    obj.PutConnection(it->second);
  } else {
    auto value = request.find("value");
    if (value == request.end()) throw HostError("set needs \"value\" or \"conn\"");
    obj.Put(prop, FromJson(*value));
  }
}

void Host::Get(const json& request, json& response) {
  response["value"] = ToJson(Obj(request).Get(Str(request, "prop")));
}

void Host::Call(const json& request, json& response) {
  Object& obj = Obj(request);
  Args args;
  if (auto it = request.find("args"); it != request.end()) {
    if (!it->is_array()) throw HostError("\"args\" is an array");
    for (const auto& a : *it) args.push_back(FromJson(a));
  }
  response["value"] = ToJson(obj.Call(Str(request, "method"), std::move(args)));
}

void Host::Sql(const json& request, json& response) {
  db::Connection& conn = Conn(request);
  std::string text = Str(request, "text");
  // Not the library's statement: keep it out of the trace.
  response["value"] = ToJson(Variant(conn.RunQuery(text)));
}

void Host::Trace(const json& request, json& response) {
  std::size_t dropped = 0;
  json list = json::array();
  for (auto& statement : Conn(request).TakeTrace(&dropped)) list.push_back(std::move(statement));
  response["value"] = std::move(list);
  // Only the latest statements are kept; say how many older ones are gone.
  if (dropped > 0) response["dropped"] = dropped;
}

json Host::Handle(const json& request) {
  json response;
  try {
    if (!request.is_object()) throw HostError("a request is a JSON object");
    std::string op = Str(request, "op");
    auto it = Ops().find(op);
    if (it == Ops().end()) throw HostError("unknown op " + op);
    response = json{{"ok", true}};
    (this->*(it->second))(request, response);
  } catch (const HostError& e) {
    response = json{{"ok", false}, {"error", e.what()}};
  } catch (const Failure& e) {
    response = json{{"ok", false}, {"error", e.description()}};
  } catch (const std::exception& e) {
    response = json{{"ok", false}, {"error", e.what()}};
  }
  if (request.is_object()) {
    if (auto id = request.find("id"); id != request.end()) response["id"] = *id;
  }
  return response;
}

std::string Host::HandleLine(std::string_view line) noexcept {
  try {
    if (line.size() > kMaxLineBytes) {
      return ErrorLine("request line longer than " + std::to_string(kMaxLineBytes) + " bytes");
    }
    if (std::size_t at = InvalidUtf8At(line); at != std::string_view::npos) {
      char byte[8];
      std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(line[at]));
      return ErrorLine(std::string("request is not valid UTF-8: byte ") + byte + " at offset " +
                       std::to_string(at));
    }
    if (NestingDepth(line, kMaxDepth) > kMaxDepth) {
      return ErrorLine("request nests arrays and objects deeper than " + std::to_string(kMaxDepth) +
                       " levels");
    }
    json request;
    try {
      request = json::parse(line);
    } catch (const json::exception& e) {
      return ErrorLine(std::string("bad JSON: ") + e.what());
    }
    return Dump(Handle(request));
  } catch (const std::exception& e) {
    try {
      return ErrorLine(std::string("host failure: ") + e.what());
    } catch (...) {
    }
  } catch (...) {
  }
  return R"({"ok":false,"error":"host failure"})";
}

void Host::Run(std::istream& in, std::ostream& out) {
  std::streambuf* buffer = in.rdbuf();
  std::string line;
  for (;;) {
    line.clear();
    bool too_long = false;
    int c = EOF;
    bool any = false;
    // Reads up to the newline, keeping at most one byte past the limit so
    // that an oversized line never grows memory.
    while ((c = buffer->sbumpc()) != EOF) {
      any = true;
      if (c == '\n') break;
      if (line.size() <= kMaxLineBytes) {
        line.push_back(static_cast<char>(c));
      } else {
        too_long = true;
      }
    }
    if (!any) break;
    if (too_long || line.find_first_not_of(" \t\r") != std::string::npos) {
      out << HandleLine(line) << '\n' << std::flush;
    }
    if (c == EOF) break;
  }
}

}  // namespace ptolix::tool
