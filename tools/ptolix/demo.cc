#include "demo.h"

#include <filesystem>
#include <iostream>

#include "print.h"
#include "ptolix/connect.h"
#include "ptolix/db/error.h"
#include "ptolix/schema/schema.h"
#include "schema/tables.h"

namespace ptolix::tool {

std::unique_ptr<Object> DemoContext::New(const std::string& class_name) {
  auto obj = GlobalRegistry().CreateObject(std::string(kProgidPrefix) + class_name);
  if (obj->info().set_connection) obj->PutConnection(conn);
  return obj;
}

void DemoContext::Heading(const std::string& title) { out << "\n== " << title << "\n\n"; }

void DemoContext::Show(const std::string& label, const Variant& value) {
  out << label << ":\n";
  PrintValue(out, value, Format::kTable);
}

void DemoContext::ShowErrors(Object& obj) {
  std::string errors = obj.Get("Errors").AsString();
  if (!errors.empty()) out << "Errors:\n" << errors;
}

namespace {

// Empties the library's tables so the demo starts from a fresh database.
void Reset(db::Connection& conn) {
  for (const auto& t : schema::Tables()) conn.RunStatement("drop table if exists " + t.name);
  schema::CreateSchema(conn);
}

}  // namespace

int RunDemo(const std::string& url, std::ostream& out) {
  if (url.rfind("sqlite:", 0) == 0 && url != "sqlite::memory:") {
    auto parent = std::filesystem::path(url.substr(7)).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
  }
  DemoContext ctx{ptolix::Connect(url), out, "var/demo-site", "", ""};
  out << "Ptolix demo on " << url << "\n";
  Reset(*ctx.conn);
  for (auto step : {DemoSystem, DemoOrganisation, DemoColumns, DemoSite, DemoContent, DemoRecords})
    step(ctx);
  out << "\nDone.\n";
  return 0;
}

}  // namespace ptolix::tool
