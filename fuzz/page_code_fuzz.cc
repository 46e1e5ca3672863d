// Page code generation from a template and a tag set built from the input:
//
//   code<TAB>program<LF>     one line per tag ("\n" in a program is a line
//   ...                      break), up to the first empty line
//   <LF>
//   template                 the rest
//
// Checks generation against a plain reference that rescans the text after
// every replacement, the one-pass generation against the pass per tag, and
// that no marker of a cleanly used tag is left; then turns the page into
// script.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ptolix/value/errors.h"
#include "site/page_code.h"
#include "value/failure.h"

namespace {

using ptolix::TagProgram;
constexpr size_t npos = std::string::npos;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "page code invariant broken: %s\n", what);
    std::abort();
  }
}

// Programs may hold markers of later tags, so the page can grow with the
// power of the number of tags; the reference rescans the text for every
// marker. Inputs whose page outgrows this are left out.
constexpr size_t kMaxText = 8192;
struct TooBig {};

// Text in which the characters that a replacement inserted are frozen: no
// marker is read across or inside them.
struct Text {
  std::string s;
  std::vector<bool> frozen;

  bool Free(size_t begin, size_t end) const {
    for (size_t i = begin; i < end; ++i) {
      if (frozen[i]) return false;
    }
    return true;
  }
  void Replace(size_t begin, size_t end, const std::string& with) {
    if (s.size() - (end - begin) + with.size() > kMaxText) throw TooBig();
    s.replace(begin, end - begin, with);
    frozen.erase(frozen.begin() + begin, frozen.begin() + end);
    frozen.insert(frozen.begin() + begin, with.size(), true);
  }
};

enum class Kind { kNone, kPlain, kAttributes, kClosing };

struct Marker {
  Kind kind = Kind::kNone;
  size_t end = 0, attr_begin = 0, attr_end = 0;
};

// The marker of `code` that starts at `q` (a "<!--" in free text).
Marker MarkerAt(const Text& t, size_t q, std::string_view code) {
  const std::string& s = t.s;
  Marker m;
  size_t after = q + 4;
  if (s.compare(after, code.size(), code) == 0) {
    size_t tail = after + code.size();
    if (s.compare(tail, 3, "-->") == 0) {
      m = {Kind::kPlain, tail + 3, tail, tail};
    } else if (tail < s.size() && s[tail] == ' ') {
      size_t e = s.find("-->", tail + 1);
      if (e != npos) m = {Kind::kAttributes, e + 3, tail + 1, e};
    }
  } else if (after < s.size() && s[after] == '/' && s.compare(after + 1, code.size(), code) == 0 &&
             s.compare(after + 1 + code.size(), 3, "-->") == 0) {
    m = {Kind::kClosing, after + 1 + code.size() + 3, 0, 0};
  }
  return m;
}

// The next marker of `kind` at or after `from`; npos when there is none.
size_t Find(const Text& t, size_t from, std::string_view code, Kind kind, Marker* out) {
  for (size_t q = t.s.find("<!--", from); q != npos; q = t.s.find("<!--", q + 1)) {
    Marker m = MarkerAt(t, q, code);
    if (m.kind == kind && t.Free(q, m.end)) {
      *out = m;
      return q;
    }
  }
  return npos;
}

// True when the text holds a closing marker of `code` outside [begin, end),
// the opening marker at hand: one inside its attribute text closes nothing.
bool HasClosingOutside(const Text& t, std::string_view code, size_t begin, size_t end) {
  Marker c;
  for (size_t p = Find(t, 0, code, Kind::kClosing, &c); p != npos;
       p = Find(t, p + 1, code, Kind::kClosing, &c)) {
    if (p < begin || p >= end) return true;
  }
  return false;
}

struct InvalidCall {};

// One tag, as its contract describes it: markers with attribute text first,
// left to right, then the plain ones; each opening takes the first closing
// marker after it while the text holds any closing marker of the tag.
std::string ReferenceReplaceTag(std::string_view text, std::string_view code,
                                std::string_view program) {
  if (code.empty()) return std::string(text);
  Text t{std::string(text), std::vector<bool>(text.size(), false)};
  for (Kind kind : {Kind::kAttributes, Kind::kPlain}) {
    Marker o;
    for (size_t q = Find(t, 0, code, kind, &o); q != npos; q = Find(t, q, code, kind, &o)) {
      std::string x = "<%";
      std::string attributes = t.s.substr(o.attr_begin, o.attr_end - o.attr_begin);
      if (attributes.find_first_not_of(' ') != npos) x += ptolix::CreateAttributeCode(attributes);
      size_t stop = o.end;
      Marker c;
      if (HasClosingOutside(t, code, q, o.end)) {
        size_t cq = Find(t, o.end, code, Kind::kClosing, &c);
        if (cq == npos) throw InvalidCall();
        std::string body = "%>" + t.s.substr(o.end, cq - o.end) + "<%";
        std::string p(program);
        for (size_t d = p.find("[data]"); d != npos; d = p.find("[data]", d + body.size())) {
          p.replace(d, 6, body);
        }
        x += p;
        stop = c.end;
      } else {
        x += program;
      }
      x += "%>";
      t.Replace(q, stop, x);
      q += x.size();
    }
  }
  return t.s;
}

// Splits the input into tags and template.
std::string_view ReadTags(std::string_view in, std::vector<TagProgram>* tags) {
  while (!in.empty() && tags->size() < 8) {
    size_t eol = in.find('\n');
    std::string_view line = in.substr(0, eol);
    in = eol == npos ? std::string_view() : in.substr(eol + 1);
    if (line.empty()) break;
    size_t tab = line.find('\t');
    TagProgram tag{std::string(line.substr(0, tab)),
                   tab == npos ? std::string() : std::string(line.substr(tab + 1))};
    for (size_t q; (q = tag.program.find("\\n")) != npos;) tag.program.replace(q, 2, "\n");
    tags->push_back(std::move(tag));
  }
  return in;
}

bool PlainCode(std::string_view code) {
  if (code.empty()) return false;
  for (char c : code) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The reference rescans after every replacement: its cost grows with the
  // square of the text and the number of tags, so inputs stay small.
  if (size > 1024) return -1;
  std::vector<TagProgram> tags;
  std::string_view text =
      ReadTags(std::string_view(reinterpret_cast<const char*>(data), size), &tags);

  // The reference first: where it gives up on size, the generation would
  // make as large a page, and the input is left out.
  std::optional<std::string> in_turn, reference;
  try {
    std::string r(text);
    for (const TagProgram& tag : tags) r = ReferenceReplaceTag(r, tag.code, tag.program);
    reference = std::move(r);
  } catch (const InvalidCall&) {
  } catch (const TooBig&) {
    return -1;
  }
  try {
    in_turn = ptolix::ReplaceTagsInTurn(text, tags);
  } catch (const ptolix::Failure& f) {
    Check(f.number() == 5, "only Failure 5 for a closing marker before its opening");
  }
  Check(in_turn.has_value() == reference.has_value(), "fails where the reference fails");
  if (in_turn) Check(*in_turn == *reference, "same text as the reference");

  std::optional<std::string> one_pass = ptolix::ReplaceTagsInOnePass(text, tags);
  if (one_pass) {
    Check(in_turn.has_value(), "one pass only where the pass per tag succeeds");
    Check(*one_pass == *in_turn, "one pass gives the text of the pass per tag");
  }
  std::optional<std::string> generated;
  try {
    generated = ptolix::ReplaceTags(text, tags);
  } catch (const ptolix::Failure&) {
  }
  Check(generated == in_turn, "ReplaceTags is one of the two");

  // A tag with a plain code, no closing markers and programs without
  // markers leaves none of its opening markers.
  if (generated) {
    bool programs_clean = true;
    for (const TagProgram& tag : tags)
      programs_clean = programs_clean && tag.program.find("<!--") == npos;
    for (const TagProgram& tag : tags) {
      if (!programs_clean || !PlainCode(tag.code)) continue;
      if (text.find("<!--/" + tag.code + "-->") != npos) continue;
      Check(generated->find("<!--" + tag.code + "-->") == npos, "no plain marker left");
    }
    std::string script = ptolix::ToExecuteCode(*generated);
    Check(script.size() >= generated->size() / 2, "script holds the page");
  }
  return 0;
}
