// Page code generation on generated templates of 20 KB, 200 KB and 2 MB with
// 100 tags and a marker about every 200 bytes. The templates are written
// once to var/bench/site/templates/ and reused. Tag replacement alone is
// measured with 100,000 tags too.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ptolix/connect.h"
#include "ptolix/db/connection.h"
#include "ptolix/frame/system.h"
#include "ptolix/schema/schema.h"
#include "ptolix/site/page.h"
#include "site/page_code.h"

namespace ptolix::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kTags = 100;
constexpr int kBodiedFrom = 80;  // tags 80..99 always have a body

// Run from the source folder, as the other benchmarks are.
fs::path SiteRoot() { return fs::absolute("var/bench/site"); }

std::string TemplateName(int64_t kilobytes) { return "t" + std::to_string(kilobytes) + "k.htm"; }

// HTML of about `kilobytes` KB: a paragraph of ordinary markup, then a marker
// of the next tag (plain, with attributes, or with a body), over and over.
void EnsureTemplate(int64_t kilobytes) {
  fs::path file = SiteRoot() / "templates" / TemplateName(kilobytes);
  if (fs::exists(file)) return;
  fs::create_directories(file.parent_path());
  const std::string text =
      "<p class=\"item\"><a href=\"/news/view.asp?id=1\">Headline</a> text, text and more "
      "text <i>here</i>.</p>\r\n<div>Some  words, <b>bold</b> ones</div>\r\n";  // about 150 bytes
  std::string out;
  const size_t target = static_cast<size_t>(kilobytes) * 1024;
  for (int i = 0; out.size() < target; ++i) {
    int tag = i % kTags;
    std::string code = "tag" + std::to_string(tag);
    out += text;
    if (tag >= kBodiedFrom) {
      out += "<!--" + code + "--><em>body " + std::to_string(i) + "</em><!--/" + code + "-->\r\n";
    } else if (i % 2 == 0) {
      out += "<!--" + code + " n=" + std::to_string(i) + "&m=x y-->\r\n";
    } else {
      out += "<!--" + code + "-->\r\n";
    }
  }
  std::ofstream(file, std::ios::binary) << out;
}

// A fresh in-memory database with the parameters, the tags and one template
// row per size (style n for n KB).
std::shared_ptr<db::Connection> SiteDatabase() {
  auto conn = ptolix::Connect("sqlite::memory:");
  schema::CreateSchema(*conn);
  System system;
  system.SetConnection(conn);
  system.AppendParameter("SITE_PHYSICAL_ROOT", SiteRoot().string(), "");
  system.AppendParameter("TEMPLET_PATH", "templates", "");
  system.AppendParameter("ABSTRACT_PUBLIC_PAGE", "public.asp", "");
  Page page;
  page.SetConnection(conn);
  for (int tag = 0; tag < kTags; ++tag) {
    std::string code = "tag" + std::to_string(tag);
    std::string program = tag >= kBodiedFrom ? "StartBox \"" + code + "\"[data]EndBox"
                                             : "Call Show(\"" + code + "\")";
    page.AppendTag("1", tag % 2 ? "index.asp" : "public.asp", code, program, "");
  }
  for (int64_t kb : {20, 200, 2048})
    page.AppendTemplet("1", std::to_string(kb), "index.asp", TemplateName(kb), "");
  return conn;
}

void BM_SiteCreateExecuteCode(benchmark::State& state) {
  const int64_t kb = state.range(0);
  EnsureTemplate(kb);
  auto conn = SiteDatabase();
  Page page;
  page.SetConnection(conn);
  const std::string style = std::to_string(kb);
  size_t bytes = 0;
  for (auto _ : state) {
    std::string code = page.CreateExecuteCode("1", style, "index.asp");
    bytes = code.size();
    benchmark::DoNotOptimize(code.data());
  }
  if (!page.Errors().empty()) state.SkipWithError(page.Errors().c_str());
  state.counters["output_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(state.iterations() * kb * 1024);
}
BENCHMARK(BM_SiteCreateExecuteCode)->Arg(20)->Arg(200)->Arg(2048)->Unit(benchmark::kMillisecond);

// Tag replacement alone with many tags (first argument), each marked once
// in a template of about 40 bytes per tag. With second argument 1 the first
// tag's program holds the second tag's marker (which the second tag's pass
// replaces in turn): ReplaceTags must stay one pass over the text, not one
// pass per tag. BM_ReplaceTagsInTurn measures the pass per tag on the same
// data, for comparison.
std::pair<std::string, std::vector<TagProgram>> ManyTags(int count, bool cross) {
  std::vector<TagProgram> tags;
  tags.reserve(count);
  std::string text;
  for (int i = 0; i < count; ++i) {
    std::string code = "tag" + std::to_string(i);
    tags.push_back({code, "Call Show(\"" + code + "\")"});
    text += "<p class=\"x\">Some text</p><!--" + code + "-->\r\n";
  }
  if (cross) tags[0].program += " <!--tag1--> ";
  return {std::move(text), std::move(tags)};
}

template <bool kInTurn>
void BM_ReplaceManyTags(benchmark::State& state) {
  auto [text, tags] = ManyTags(static_cast<int>(state.range(0)), state.range(1) == 1);
  size_t bytes = 0;
  for (auto _ : state) {
    std::string out = kInTurn ? ReplaceTagsInTurn(text, tags) : ReplaceTags(text, tags);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["output_bytes"] = static_cast<double>(bytes);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
void BM_ReplaceTags(benchmark::State& state) { BM_ReplaceManyTags<false>(state); }
void BM_ReplaceTagsInTurn(benchmark::State& state) { BM_ReplaceManyTags<true>(state); }
BENCHMARK(BM_ReplaceTags)->Args({100000, 0})->Args({100000, 1})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplaceTagsInTurn)->Args({10000, 1})->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace ptolix::bench
