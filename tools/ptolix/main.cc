// ptolix: create a database, call one method, host a script over JSON lines,
// or walk the demo site.

#include <CLI/CLI.hpp>
#include <iostream>

#include "demo.h"
#include "host.h"
#include "print.h"
#include "ptolix/ptolix.h"

using namespace ptolix;

namespace {

int Init(const std::string& url) {
  auto conn = ptolix::Connect(url);
  schema::CreateSchema(*conn);
  std::cout << "schema ready on " << url << "\n";
  return 0;
}

// Compares the counts the database keeps with the rows; prints each
// difference. Exits 1 when one is left unrepaired.
int Check(const std::string& url, bool repair) {
  auto conn = ptolix::Connect(url);
  auto found = schema::CheckKeptCounts(*conn, repair);
  for (const auto& d : found) {
    std::cout << d.table << " (" << d.keys << ") " << d.key << ": kept " << d.kept << ", counted "
              << d.real << "\n";
  }
  if (found.empty()) {
    std::cout << "every kept count is exact\n";
    return 0;
  }
  if (repair) {
    std::cout << "repaired " << found.size() << " kept counts\n";
    return 0;
  }
  std::cout << found.size() << " kept counts differ from the rows\n";
  return 1;
}

int Call(const std::string& url, const std::string& class_name, const std::string& method,
         const std::vector<std::string>& args, int page_size, tool::Format format) {
  auto conn = ptolix::Connect(url);
  std::string progid = class_name.find('.') == std::string::npos
                           ? std::string(kProgidPrefix) + class_name
                           : class_name;
  auto obj = GlobalRegistry().CreateObject(progid);
  if (obj->info().set_connection) obj->PutConnection(conn);
  if (page_size > 0) obj->Put("PageSize", Variant(page_size));
  Args call_args(args.begin(), args.end());
  Variant result = obj->Call(method, std::move(call_args));
  tool::PrintValue(std::cout, result, format);
  if (obj->info().FindProperty("Errors")) {
    std::string errors = obj->Get("Errors").AsString();
    if (!errors.empty()) {
      std::cerr << errors;
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Ptolix: the business layer of a web publishing service"};
  app.set_version_flag("--version", std::string(LibraryVersion()));
  app.require_subcommand(1);

  std::string url = "sqlite:var/ptolix.db";
  auto* init = app.add_subcommand("init", "Create the schema and standard rows (idempotent)");
  init->add_option("--db", url, "Connection URL")->capture_default_str();

  bool repair = false;
  auto* check = app.add_subcommand(
      "check", "Compare the counts the database keeps for the lists with the rows");
  check->add_option("--db", url, "Connection URL")->capture_default_str();
  check->add_flag("--repair", repair, "Rebuild the kept counts that differ, in one transaction");

  std::string class_name, method;
  std::vector<std::string> args;
  int page_size = 0;
  std::string format = "table";
  auto* call = app.add_subcommand("call", "Call one method and print its result and Errors");
  call->add_option("--db", url, "Connection URL")->capture_default_str();
  call->add_option("class", class_name, "Class, e.g. System or Corvane_Ptolix.System")->required();
  call->add_option("method", method, "Method or property name")->required();
  call->add_option("args", args, "Arguments, as text");
  call->add_option("--page-size", page_size, "PageSize before the call");
  call->add_option("--format", format, "Output format")
      ->check(CLI::IsMember({"table", "json", "csv"}));

  std::string host_url;
  auto* host = app.add_subcommand("host", "Serve JSON requests, one per line, on standard input");
  host->add_option("--db", host_url, "Open this URL as connection \"db\" first");

  std::string demo_url = "sqlite:var/demo.db";
  auto* demo = app.add_subcommand("demo", "Build a small site in a fresh database and walk it");
  demo->add_option("--db", demo_url, "Connection URL (its Ptolix tables are emptied)")
      ->capture_default_str();

  CLI11_PARSE(app, argc, argv);

  try {
    if (*init) return Init(url);
    if (*check) return Check(url, repair);
    if (*call) {
      tool::Format f = format == "json"  ? tool::Format::kJson
                       : format == "csv" ? tool::Format::kCsv
                                         : tool::Format::kTable;
      return Call(url, class_name, method, args, page_size, f);
    }
    if (*host) {
      tool::Host h(host_url);
      std::ios::sync_with_stdio(false);
      h.Run(std::cin, std::cout);
      return 0;
    }
    if (*demo) return tool::RunDemo(demo_url, std::cout);
  } catch (const HostError& e) {
    std::cerr << "ptolix: " << e.what() << "\n";
    return 2;
  } catch (const Failure& e) {
    std::cerr << "ptolix: " << e.description() << "\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "ptolix: " << e.what() << "\n";
    return 2;
  }
  return 0;
}
