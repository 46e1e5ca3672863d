#include "json_values.h"

#include "ptolix/frame/registry.h"
#include "ptolix/value/result_array.h"

namespace ptolix::tool {

using nlohmann::json;

json ToJson(const Variant& v) {
  switch (v.kind()) {
    case Variant::Kind::kEmpty:
      return json{{"empty", true}};
    case Variant::Kind::kNull:
      return nullptr;
    case Variant::Kind::kBoolean:
      return v.AsBool();
    case Variant::Kind::kInteger:
    case Variant::Kind::kLong:
    case Variant::Kind::kInt64:
      return v.AsInt64();
    case Variant::Kind::kDouble:
      return v.AsDouble();
    case Variant::Kind::kString:
      return v.AsString();
    case Variant::Kind::kDate:
      return json{{"date", v.AsDate().ToString()}};
    case Variant::Kind::kArray: {
      const ResultArray& a = v.AsArray();
      if (!a.allocated()) return json{{"rows", nullptr}};
      json rows = json::array();
      for (int32_t r = 0; r <= a.DataRows(); ++r) {
        json row = json::array();
        for (int32_t c = 0; c < a.Columns(); ++c) row.push_back(ToJson(a.At(r, c)));
        rows.push_back(std::move(row));
      }
      return json{{"rows", std::move(rows)}};
    }
    case Variant::Kind::kList: {
      json list = json::array();
      for (const auto& e : v.AsList()) list.push_back(ToJson(e));
      return json{{"list", std::move(list)}};
    }
  }
  return nullptr;
}

Variant FromJson(const json& j) {
  if (j.is_null()) return Variant::Null();
  if (j.is_boolean()) return Variant(j.get<bool>());
  if (j.is_number_integer()) {
    int64_t n = j.get<int64_t>();
    if (n >= INT32_MIN && n <= INT32_MAX) return Variant(static_cast<int32_t>(n));
    return Variant(n);
  }
  if (j.is_number()) return Variant(j.get<double>());
  if (j.is_string()) return Variant(j.get<std::string>());
  if (j.is_object()) {
    if (j.contains("empty")) return Variant();
    if (j.contains("date") && j["date"].is_string()) {
      DateTime d;
      if (!DateTime::Parse(j["date"].get<std::string>(), &d))
        throw HostError("bad date " +
                        j["date"].dump(-1, ' ', false, json::error_handler_t::replace));
      return Variant(d);
    }
    if (j.contains("list") && j["list"].is_array()) {
      VariantList list;
      for (const auto& e : j["list"]) list.push_back(FromJson(e));
      return Variant(std::move(list));
    }
  }
  throw HostError("cannot use " + j.dump(-1, ' ', false, json::error_handler_t::replace) +
                  " as a value");
}

}  // namespace ptolix::tool
