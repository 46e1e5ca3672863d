// Requests to the tool's host, one per line of the input, each answered by
// a Host that starts with no connection. The host must answer every line
// with one line of valid JSON saying "ok", and never throw or crash.
//
// The target touches only memory: before a line is handed over it is read
// here, and a line is dropped when it could reach a file or the network:
// an "open" of anything but "sqlite::memory:", a "sql" statement that could
// attach or write a database file, a call of the page generation that reads
// template files. A line that does not read as JSON here is handed over only
// when it holds none of the words that could matter.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "host.h"
#include "ptolix/org/password.h"

namespace {

using nlohmann::json;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "host invariant broken: %s\n", what);
    std::abort();
  }
}

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return out;
}

bool HasAny(const std::string& lower, std::initializer_list<const char*> words) {
  for (const char* w : words) {
    if (lower.find(w) != std::string::npos) return true;
  }
  return false;
}

bool StaysInMemory(const json& request) {
  if (!request.is_object()) return true;
  auto op = request.find("op");
  if (op == request.end() || !op->is_string()) return true;
  const std::string& name = op->get_ref<const std::string&>();
  if (name == "open") {
    auto url = request.find("url");
    return url != request.end() && url->is_string() && url->get<std::string>() == "sqlite::memory:";
  }
  if (name == "sql") {
    auto text = request.find("text");
    if (text == request.end() || !text->is_string()) return true;
    return !HasAny(Lower(text->get<std::string>()),
                   {"attach", "vacuum", "pragma", "load_extension"});
  }
  if (name == "call") {
    auto method = request.find("method");
    if (method == request.end() || !method->is_string()) return true;
    return !HasAny(Lower(method->get<std::string>()), {"aspcode", "executecode"});
  }
  return true;
}

bool Safe(std::string_view line) {
  json request = json::parse(line, nullptr, /*allow_exceptions=*/false);
  if (request.is_discarded()) {
    request = json::parse(line, nullptr, false, /*ignore_comments=*/true);
  }
  if (!request.is_discarded()) return StaysInMemory(request);
  return line.find('\\') == std::string_view::npos &&
         !HasAny(Lower(line), {"open", "url", "sql", "call", "attach", "vacuum", "code"});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ptolix::SetPasswordHashCost(ptolix::PasswordHashCost::kMinimum);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  ptolix::tool::Host host;
  int lines = 0;
  while (!in.empty() && lines++ < 32) {
    size_t eol = in.find('\n');
    std::string line(in.substr(0, eol));
    in = eol == std::string_view::npos ? std::string_view() : in.substr(eol + 1);
    if (!Safe(line)) continue;
    std::string response = host.HandleLine(line);
    Check(response.find('\n') == std::string::npos, "one line per response");
    // Strict parsing also checks that the response is valid UTF-8.
    json r = json::parse(response, nullptr, false);
    Check(r.is_object() && r.contains("ok") && r["ok"].is_boolean(), "a response says ok");
    if (!r["ok"].get<bool>()) {
      Check(r.contains("error") && r["error"].is_string(), "a refusal says why");
    }
  }
  return 0;
}
