// Title and content searches looked up in the text index find exactly the
// rows the like conditions alone find: random texts in several scripts and
// letter cases, wildcard characters taken literally, short words, and
// databases made before the index existed.

#include "schema/search_index.h"

#include <fmt/format.h>

#include <algorithm>
#include <functional>
#include <random>
#include <tuple>

#include "content/information_text.h"
#include "db/backend.h"
#include "db/engine.h"
#include "fixture.h"
#include "ptolix/schema/schema.h"
#include "value/order_code.h"
#include "value/sql_text.h"

namespace ptolix::test {
namespace {

// Pieces of the random texts: letters whose other case is another piece
// (accented Latin, Greek with its final sigma, Cyrillic, full-width Latin,
// the Kelvin sign and the dotted capital I that fold to ASCII letters, the
// capital sharp s), wildcard and escape characters of like, a quote, a
// blank.
const char* const kPieces[] = {"a",      "A", "b", "B", "k", "K",  "\u212A", "i", "I",
                               "\u0130", "é", "É", "σ", "Σ", "ς",  "д",      "Д", "ａ",
                               "Ａ",     "ß", "ẞ", "%", "_", "\\", "[",      "'", " "};

class SearchIndexTest : public DbTest {
 protected:
  void SetUp() override {
    Exec(
        "insert into tPtlx_Column (Column_ID,Sys_ID,Column_Order,Column_IsDeleted) values "
        "(1,1,'FFFFFFEF','0'),(2,1,'FFFFFFDF','0')");
    info->Put("PageSize", Variant(5000));
  }
  std::string Text(size_t max_pieces) {
    std::string out;
    for (size_t n = random() % (max_pieces + 1); n > 0; --n)
      out += kPieces[random() % std::size(kPieces)];
    return out;
  }
  // Items first..last-1 (published when even) in `column`, or in 1 or 2 by
  // chance, titled `title` and their number, or as `texts` gives them.
  void Items(int first, int last, const std::string& title, int column = 1,
             const std::function<std::pair<std::string, std::string>()>& texts = nullptr) {
    std::string rows;
    for (int id = first; id < last; ++id) {
      auto [t, c] = texts ? texts() : std::pair{title + " " + std::to_string(id), std::string()};
      rows += fmt::format("{}({},{},1,{},1,{},{},'0','{}')", rows.empty() ? "" : ",", id,
                          id % 2 ? 1 : 4, column ? column : 1 + id % 3 / 2, SqlQuote(t),
                          SqlQuote(c), PaddedOrderCode(id, 8));
    }
    Exec(
        "insert into tPtlx_Information (Info_ID,InfState_ID,Sys_ID,Column_ID,WebSite_ID,"
        "Info_Title,Info_Content,Info_IsDeleted,Info_Order) values " +
        rows);
  }
  void Item(int id, const std::string& title, const std::string& content = "") {
    Items(id, id + 1, "", 1, [&] { return std::pair{title, content}; });
  }
  // A like condition on `column` finding `word` literally.
  static std::string Like(const std::string& column, const std::string& word) {
    std::string pattern;
    for (char c : word)
      pattern += std::string(c == '%' || c == '_' || c == '[' || c == '\\', '\\') + c;
    return column + " like " + SqlQuote("%" + pattern + "%") + " escape '\\'";
  }
  // The items the plain statement finds, in list order, and what the
  // library's call found.
  std::string Plain(const std::string& where) {
    return FieldValues(conn->RunQuery("select Info_ID from tPtlx_Information where " + where +
                                      " and Info_IsDeleted = '0' order by Info_Order"),
                       "Info_ID");
  }
  std::string Found(const Variant& v) {
    if (!v.AsArray().allocated()) return "";
    std::string ids = FieldValues(v.AsArray(), "Info_ID");
    EXPECT_EQ(info->Get("RecordCount").AsInt64(), std::count(ids.begin(), ids.end(), ' '));
    return ids;
  }

  std::mt19937 random{20261209};
  std::unique_ptr<Object> info = New("Information");
};

TEST_P(SearchIndexTest, IndexedSearchesFindWhatTheLikeConditionsFind) {
  std::vector<std::string> texts;
  Items(1, 241, "", 0, [&] {
    texts.push_back(Text(12));
    texts.push_back(Text(20));
    return std::pair{texts[texts.size() - 2], texts.back()};
  });
  // Most items indexed (a catch-up indexes the rows the index has only
  // noted, as a search does once there are many), then some written again
  // by typed statements (on SQLite only noted, until the next catch-up).
  ExecAll(db::EngineOf(*conn).SubstringIndexUpkeep(schema::InfoTextIndex()).catch_up);
  for (int id = 7; id <= 240; id += 7) {
    texts.push_back(Text(12));
    Exec("update tPtlx_Information set Info_Title = " + SqlQuote(texts.back()) +
         " where Info_ID = " + std::to_string(id));
  }
  Exec("delete from tPtlx_Information where Info_ID in (3, 30, 33)");
  ExecAll(engine().Analyze());
  // A word: half the time a piece of a stored text, its pieces' case mixed
  // by chance; else random pieces (found rarely).
  auto word = [&] {
    const std::string& t = texts[random() % texts.size()];
    std::string w = Text(5);
    if (random() % 2 && t.size() > 3) {
      size_t at = random() % (t.size() - 3);
      w = t.substr(at, 3 + random() % 6);
      while (!w.empty() && (static_cast<unsigned char>(w.back()) & 0xC0) == 0x80) w.pop_back();
      while (!w.empty() && (static_cast<unsigned char>(w.back()) & 0xC0) == 0xC0) w.pop_back();
      while (!w.empty() && (static_cast<unsigned char>(w.front()) & 0xC0) == 0x80) w.erase(0, 1);
    }
    if (w.find_first_not_of(" ") == std::string::npos) w = "x";
    return w;
  };
  int found = 0, indexed = 0;
  for (int round = 0; round < 60; ++round) {
    std::string title = word(), content = round % 3 ? "" : word();
    std::string where = "Sys_ID = 1 and WebSite_ID = 1 and Column_ID = 1";
    if (!title.empty()) where += " and " + Like("Info_Title", title);
    if (!content.empty()) where += " and " + Like("Info_Content", content);
    std::string expected = Plain(where);
    found += !expected.empty();
    // The index's condition keeps every row the like conditions find.
    std::vector<db::SubstringTerm> terms;
    if (!title.empty()) terms.push_back({"Info_Title", title});
    if (!content.empty()) terms.push_back({"Info_Content", content});
    if (std::string narrowed = TextIndexCondition(*conn, {terms, "", ""}); !narrowed.empty()) {
      ++indexed;
      EXPECT_EQ(expected, Plain(where + " and " + narrowed)) << title << " | " << content;
    }
    EXPECT_EQ(expected, Found(info->Call("SearchInfoList",
                                         {"1", "1", "1", "All", title, content, "", "", ""})))
        << title << " | " << content;
    // The site's published items, by one or two blank-separated words.
    std::vector<std::string> words = {word()};
    if (round % 2) words.push_back(word());
    for (auto& w : words) std::replace(w.begin(), w.end(), ' ', 'a');
    std::string all;
    for (const auto& w : words)
      all += " and (" + Like("Info_Title", w) + " or " + Like("Info_Content", w) + ")";
    expected = Plain("Sys_ID = 1 and WebSite_ID = 1 and InfState_ID in (4,5,6)" + all);
    found += !expected.empty();
    std::string text = words[0] + (words.size() > 1 ? " " + words[1] : "");
    EXPECT_EQ(expected, Found(info->Call("SearchPublishedInfoList", {"1", "1", "", text, "", "1"})))
        << text;
  }
  // The random words found something, and used the index, often enough to
  // tell.
  EXPECT_GT(found, 30);
  EXPECT_GT(indexed, 20);
}

TEST_P(SearchIndexTest, ColumnSearchesCountFromTheIndexWhatThePlainStatementFinds) {
  // Titles of three letters in two cases, so that most words are found.
  auto abc = [&](int n) {
    std::string out;
    for (const char* const pieces[] = {"a", "A", "b", "B", "é", "É"}; n > 0; --n)
      out += pieces[random() % 6];
    return out;
  };
  std::vector<std::string> titles;
  Items(1, 301, "", 0, [&] {
    titles.push_back(abc(12));
    return std::pair{titles.back(), std::string()};
  });
  Items(1000, 3100, "filler");  // column 1 big enough to count through the index
  // Typed statements change what the index copies (column, type, date,
  // deletion, website, title) on random items.
  auto scramble = [&] {
    for (int n = 0; n < 60; ++n) {
      titles.push_back(abc(12));
      const std::string sets[] = {
          "Column_ID = 3 - Column_ID",
          fmt::format("InfType_ID = {}", random() % 3),
          fmt::format("Info_SystemTime = '2020-0{}-15 00:00:00'", 1 + random() % 9),
          fmt::format("Info_IsDeleted = '{}'", random() % 3 / 2),
          fmt::format("WebSite_ID = {}", 1 + random() % 4 / 3),
          "Info_Title = " + SqlQuote(titles.back())};
      Exec("update tPtlx_Information set " + sets[random() % std::size(sets)] +
           fmt::format(" where Info_ID = {}", 1 + random() % 300));
    }
  };
  scramble();
  std::vector<std::string> columns = {"1", "2"};
  if (engine().sqlite()) {
    // Rows whose key, column or copies the index's rowid does not encode:
    // keys of 2^36 and more, under 1, a column of 2^26, no column, a date
    // that is a number, a type that is a text.
    const char* odd[] = {"68719476745,1", "0,1",   "-4,2", "301,67108864",
                         "302,null",      "303,1", "304,2"};
    for (const char* row : odd) {
      Exec(fmt::format(
          "insert into tPtlx_Information (Info_ID,Column_ID,InfState_ID,Sys_ID,WebSite_ID,"
          "InfType_ID,Info_Title,Info_IsDeleted,Info_Order) values ({},4,1,1,1,{},'0','z')",
          row, SqlQuote(titles[random() % titles.size()])));
    }
    Exec("update tPtlx_Information set Info_SystemTime = 20200301 where Info_ID = 303");
    Exec("update tPtlx_Information set InfType_ID = '1x' where Info_ID = 304");
    columns.push_back("67108864");
  }
  // Indexed with their changes, then some only noted.
  const auto upkeep = db::EngineOf(*conn).SubstringIndexUpkeep(schema::InfoTextIndex());
  ExecAll(upkeep.catch_up);
  scramble();
  int indexed = 0;
  for (int round = 0; round < 50; ++round) {
    std::string column = columns[random() % columns.size()], title = abc(3 + round % 2);
    const char* mode = round % 4 ? "All" : "Published";
    std::string type = round % 3 ? "" : std::to_string(random() % 3);
    std::string start = round % 2 ? "" : fmt::format("2020-0{}-01", 1 + random() % 9);
    std::string where = "Sys_ID = 1 and WebSite_ID = 1 and Column_ID = " + column + " and " +
                        Like("Info_Title", title);
    if (round % 4 == 0) where += " and InfState_ID in (4,5,6)";
    if (!type.empty()) where += " and InfType_ID = " + type;
    if (!start.empty())
      where += " and Info_SystemTime >= '" + start + " 00:00:00' and Info_SystemTime <= '" +
               start.substr(0, 8) + "28 00:00:00'";
    db::SubstringSearch search{{{"Info_Title", title}}, column, where};
    if (round % 4) indexed += !TextIndexCount(*conn, search).keys.empty() && !Plain(where).empty();
    std::string end = start.empty() ? "" : start.substr(0, 8) + "28";
    EXPECT_EQ(
        Plain(where),
        Found(info->Call("SearchInfoList", {"1", "1", column, mode, title, "", type, start, end})))
        << where;
  }
  EXPECT_TRUE(engine().postgres() || indexed > 10) << indexed;
  // What the index counts is kept while the index stays as it was, and
  // follows what is written meanwhile: one search again after typed
  // changes, after a catch-up, after both, and after a statement writing
  // more rows of the column than are followed one by one.
  const std::string where =
      "Sys_ID = 1 and WebSite_ID = 1 and Column_ID = 1 and " + Like("Info_Title", "aBé");
  for (int step = 0; step < 5; ++step) {
    EXPECT_EQ(Plain(where),
              Found(info->Call("SearchInfoList", {"1", "1", "1", "All", "aBé", "", "", "", ""})))
        << step;
    if (step == 1) {
      ExecAll(upkeep.catch_up);
    } else if (step == 3) {
      Exec(
          "update tPtlx_Information set Info_Title = 'xAbÉ' || Info_ID where Column_ID = 1 and "
          "Info_ID % 3 = 0");
    } else {
      scramble();
    }
  }
}

TEST_P(SearchIndexTest, InitIndexesOlderDatabasesAndPlainStatementsKeepTheIndex) {
  // As in a database made before the index existed.
  if (engine().postgres()) {
    // Indexes of the text alone on the items table, no table of texts.
    for (const char* event : {"insert", "update", "delete", "truncate"})
      Exec(std::string("drop trigger ptlx_tptlx_infotext_mark_") + event + " on tptlx_information");
    Exec("drop table tptlx_infotextmark");
    Exec("drop table tptlx_infotext");
    for (const char* c : {"info_title", "info_content"}) {
      Exec(std::string("create index ptlx_tptlx_infotext_") + c +
           " on tptlx_information using gin (lower(" + c +
           " collate \"und-x-icu\") public.gin_trgm_ops)");
    }
  } else {
    // The index of the first shape: keyed by the item's key, nothing copied.
    for (const char* event : {"insert", "update", "delete"})
      Exec(std::string("drop trigger ptlx_tPtlx_InfoText2_") + event);
    Exec("drop table tPtlx_InfoText2");
    Exec(
        "create virtual table tPtlx_InfoText using fts5(Info_Title, Info_Content, tokenize = "
        "'trigram case_sensitive 1', detail = column)");
    Exec(
        "create trigger ptlx_tPtlx_InfoText_insert after insert on tPtlx_Information begin "
        "insert into tPtlx_InfoText (rowid) select new.Info_ID; end");
  }
  Item(1, "Quartz report");
  Item(2, "", "notes on QUARTZ");
  Item(3, "Ｑｕａｒｔｚ");
  Item(4, "ΣΟΦΙΑ");
  // Enough other items for the column's searches to use the index.
  Items(2000, 4100, "filler");
  // Twice: the second init finds the index there and changes nothing.
  schema::CreateSchema(*conn);
  schema::CreateSchema(*conn);
  if (engine().postgres()) {
    // The texts of every item in a table of their own, indexed led by the
    // column; the indexes on the items table are gone.
    EXPECT_EQ(2104, Count("select count(*) from tptlx_infotext"));
    // This schema's indexes picked out before their definitions are read:
    // reading those of another test's schema while it is dropped fails.
    const std::string trigram =
        "select count(*) from (select tablename, indexdef from pg_indexes where schemaname = "
        "current_schema() offset 0) i where indexdef like '%gin_trgm_ops%'";
    EXPECT_EQ(2, Count(trigram));
    EXPECT_EQ(2, Count(trigram + " and tablename = 'tptlx_infotext' and indexdef like "
                                 "'%(column_id, lower(%'"));
  }
  if (engine().sqlite()) {
    EXPECT_EQ(2104, Count("select count(*) from tPtlx_InfoText2"));
    EXPECT_EQ(0, Count("select count(*) from sqlite_master where name like '%InfoText' or "
                       "name like '%InfoText\\_%' escape '\\' or name like '%InfoTextPending'"));
  }
  auto search = [&](const char* title, const char* content) {
    return Found(info->Call("SearchInfoList", {"1", "1", "1", "All", title, content, "", "", ""}));
  };
  // Before any write has drawn a mark.
  EXPECT_EQ("1 ", search("report", ""));
  // Typed statements, as an administrator would: the index follows them.
  Exec("update tPtlx_Information set Info_Title = 'old quartz' where Info_ID = 2");
  Exec("update tPtlx_Information set Info_Title = 'gone' where Info_ID = 1");
  Exec("delete from tPtlx_Information where Info_ID = 3");
  Item(5, "QUARTZ again");
  Item(6, "[Quartz]%_\\");
  // Written twice before a catch-up, under SQLite's conflict clause.
  if (engine().sqlite()) {
    Exec("update or abort tPtlx_Information set Info_Content = 'x' where Info_ID = 5");
    Exec("update or abort tPtlx_Information set Info_Content = '' where Info_ID = 5");
  }
  // title, content, the items found
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"quartz", "", "6 5 2 "},   {"", "quartz", "2 "},
      {"ｑｕａｒｔｚ", "", ""},   {"σοφια", "", "4 "},
      {"[quartz]%_\\", "", "6 "}, {"quartz]%", "", "6 "},
      {"z]%_", "", "6 "},         {"quartz_", "", ""},
      {"qu", "", "6 5 2 "},  // too short for the index
      {"gone", "", "1 "},         {"report", "", ""},
      {"OLD", "", "2 "},
  };
  for (auto [title, content, ids] : cases) EXPECT_EQ(ids, search(title, content)) << title;
  // Many rows written at once: the search that meets them indexes them.
  Items(100, 1300, "quartz");
  EXPECT_EQ("1299 ", search("QUARTZ 1299", ""));
  search("quartz", "");
  EXPECT_EQ(1203, info->Get("RecordCount").AsInt64());
  if (engine().postgres()) {
    // A review leaves an item's texts where they are: their indexes take
    // nothing again.
    const std::string where = "tptlx_infotext where info_id = 1299";
    std::string before = conn->RunQuery("select ctid::text from " + where).At(1, 0).AsString();
    Exec("update tPtlx_Information set InfState_ID = 4 where Info_ID = 1299");
    EXPECT_EQ(before, conn->RunQuery("select ctid::text from " + where).At(1, 0).AsString());
    EXPECT_EQ(1, Count("select count(*) from " + where + " and info_title = 'quartz 1299'"));
  }
  if (engine().sqlite()) {
    EXPECT_EQ(0, Count("select count(*) from tPtlx_InfoText2Pending"));
    EXPECT_EQ(2100 + 1200 + 5, Count("select count(*) from tPtlx_InfoText2"));
  }
  Trace();
  search("Ｑuartz]%", "");
  auto trace = Trace();
  EXPECT_THAT(trace, testing::Contains(HasSubstr(
                         engine().sqlite() ? "from tPtlx_InfoText2 where tPtlx_InfoText2 match"
                                           : "lower(Info_Title collate \"und-x-icu\") like")));
  // A trigger of another body (an older version's) is made afresh by init.
  if (engine().sqlite()) {
    Exec("drop trigger ptlx_tPtlx_InfoText2_delete");
    Exec(
        "create trigger ptlx_tPtlx_InfoText2_delete after delete on tPtlx_Information begin "
        "select 1; end");
    schema::CreateSchema(*conn);
    Exec("delete from tPtlx_Information where Info_ID = 6");
    EXPECT_EQ("", search("[quartz]%_\\", ""));
    EXPECT_EQ(0, info->Get("RecordCount").AsInt64());
  }
}

PTOLIX_BACKENDS(SearchIndexTest);

}  // namespace
}  // namespace ptolix::test
