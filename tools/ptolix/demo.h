#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "ptolix/db/connection.h"
#include "ptolix/frame/registry.h"

namespace ptolix::tool {

// What the demo's steps share: the database, where to print, and the
// identifiers earlier steps created.
struct DemoContext {
  std::shared_ptr<db::Connection> conn;
  std::ostream& out;
  std::string var_dir;  // folder for files the demo writes (templates)
  std::string sys_id;   // the demo system
  std::string website_id;

  // A new late-bound object with the connection set.
  std::unique_ptr<Object> New(const std::string& class_name);
  // Prints "== title" and a blank line before a step.
  void Heading(const std::string& title);
  // Prints a result: arrays as aligned tables, Errors text when not empty.
  void Show(const std::string& label, const Variant& value);
  void ShowErrors(Object& obj);
};

// The steps, in the order the demo walks them; each area has its own file.
void DemoSystem(DemoContext& ctx);        // parameters, systems, a paged list
void DemoOrganisation(DemoContext& ctx);  // roles, users, sign-in
void DemoColumns(DemoContext& ctx);       // column tree, grants, access rebuild
void DemoSite(DemoContext& ctx);          // website, style, template, tags, page code
void DemoContent(DemoContext& ctx);       // writing, review, ordering, published list
void DemoRecords(DemoContext& ctx);       // links, uploads, product information

// Builds the demo site in the (fresh) database behind `url`.
int RunDemo(const std::string& url, std::ostream& out);

}  // namespace ptolix::tool
