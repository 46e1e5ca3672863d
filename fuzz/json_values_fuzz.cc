// The host's value conversion on any JSON: a value that FromJson accepts
// goes to JSON and back unchanged, and every value, accepted or not, gives
// printable JSON. Input that is no JSON is taken as a string value.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "json_values.h"
#include "ptolix/frame/registry.h"

namespace {

using nlohmann::json;
using ptolix::Variant;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "value invariant broken: %s\n", what);
    std::abort();
  }
}

std::string Printed(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  json j = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded()) {
    // Bytes as a string value: any bytes must print.
    json s = ptolix::tool::ToJson(Variant(text));
    Printed(s);
    return 0;
  }
  std::optional<Variant> v;
  try {
    v = ptolix::tool::FromJson(j);
  } catch (const ptolix::HostError& e) {
    Check(e.what()[0] != '\0', "a refusal says why");
  }
  if (!v) return 0;
  json back = ptolix::tool::ToJson(*v);
  Printed(back);
  Variant again = ptolix::tool::FromJson(back);
  Check(again == *v, "a value goes to JSON and back unchanged");
  Check(ptolix::tool::ToJson(again) == back, "and prints the same again");
  // A value printed and read back as a host response would be.
  json reread = json::parse(Printed(back), nullptr, false);
  Check(!reread.is_discarded(), "printed values parse");
  return 0;
}
