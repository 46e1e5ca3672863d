#include "host.h"

#include <strings.h>

#include <iostream>
#include <optional>

#include "json_values.h"
#include "ptolix/db/error.h"
#include "ptolix/frame/arrays.h"
#include "ptolix/schema/schema.h"

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

}  // namespace

Host::Host(const std::string& url, const std::string& name) {
  if (!url.empty()) {
    connections_[name] = db::Connect(url);
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

json Host::Handle(const json& request) {
  json response;
  try {
    if (!request.is_object()) throw HostError("a request is a JSON object");
    std::string op = Str(request, "op");
    std::optional<json> value;
    if (op == "open") {
      std::string name = Str(request, "conn");
      auto conn = db::Connect(Str(request, "url"));
      conn->SetTrace(true);
      connections_[name] = std::move(conn);
    } else if (op == "init") {
      schema::CreateSchema(Conn(request));
    } else if (op == "close") {
      Conn(request);
      connections_.erase(Str(request, "conn"));
    } else if (op == "new") {
      objects_[Str(request, "obj")] = GlobalRegistry().CreateObject(Str(request, "progid"));
    } else if (op == "free") {
      Obj(request);
      objects_.erase(Str(request, "obj"));
    } else if (op == "set") {
      Object& obj = Obj(request);
      std::string prop = Str(request, "prop");
      if (request.contains("conn")) {
        if (prop.size() != 10 || strcasecmp(prop.c_str(), "Connection") != 0) {
          throw HostError("only Connection takes a connection");
        }
        auto it = connections_.find(Str(request, "conn"));
        if (it == connections_.end()) throw HostError("unknown connection " + Str(request, "conn"));
        obj.PutConnection(it->second);
      } else {
        if (!request.contains("value")) throw HostError("set needs \"value\" or \"conn\"");
        obj.Put(prop, FromJson(request["value"]));
      }
    } else if (op == "get") {
      value = ToJson(Obj(request).Get(Str(request, "prop")));
    } else if (op == "call") {
      Object& obj = Obj(request);
      Args args;
      if (request.contains("args")) {
        if (!request["args"].is_array()) throw HostError("\"args\" is an array");
        for (const auto& a : request["args"]) args.push_back(FromJson(a));
      }
      value = ToJson(obj.Call(Str(request, "method"), std::move(args)));
    } else if (op == "sql") {
      db::Connection& conn = Conn(request);
      std::string text = Str(request, "text");
      // Not the library's statement: keep it out of the trace.
      auto rewritten = conn.RewriteFor(text);
      auto cursor = conn.backend().Query(rewritten.text);
      ResultArray rows(cursor->Columns());
      std::vector<Variant> row;
      while (cursor->Fetch(&row)) rows.AddRow(row);
      value = ToJson(Variant(std::move(rows)));
    } else if (op == "trace") {
      json list = json::array();
      for (auto& statement : Conn(request).TakeTrace()) list.push_back(std::move(statement));
      value = std::move(list);
    } else {
      throw HostError("unknown op " + op);
    }
    response["ok"] = true;
    if (value) response["value"] = std::move(*value);
  } catch (const HostError& e) {
    response = json{{"ok", false}, {"error", e.what()}};
  } catch (const Failure& e) {
    response = json{{"ok", false}, {"error", e.description()}};
  } catch (const std::exception& e) {
    response = json{{"ok", false}, {"error", e.what()}};
  }
  if (request.is_object() && request.contains("id")) response["id"] = request["id"];
  return response;
}

std::string Host::Handle(const std::string& line) {
  json request;
  try {
    request = json::parse(line);
  } catch (const json::exception& e) {
    return json{{"ok", false}, {"error", std::string("bad JSON: ") + e.what()}}.dump();
  }
  return Handle(request).dump(-1, ' ', false, json::error_handler_t::replace);
}

void Host::Run(std::istream& in, std::ostream& out) {
  std::string line;
  while (std::getline(in, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    out << Handle(line) << '\n' << std::flush;
  }
}

}  // namespace ptolix::tool
