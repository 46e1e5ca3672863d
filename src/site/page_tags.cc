// Applying a page's tags to its template: in turn, one pass per tag, or in
// one pass over the text when the markers nest cleanly.
#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "site/page_code.h"

namespace ptolix {

std::string ReplaceTagsInTurn(std::string_view text, const std::vector<TagProgram>& tags) {
  std::string out(text);
  for (const TagProgram& tag : tags) out = ReplaceTag(out, tag.code, tag.program);
  return out;
}

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr std::string_view kMarkerEnd = "-->";

enum class Kind { kPlain, kAttributes, kClosing };

// A marker of one of the tags: [begin, end) with the attribute text
// [attr_begin, attr_end) of an opening marker.
struct Marker {
  Kind kind;
  int tag;
  size_t begin, end, attr_begin, attr_end;
};

// Thrown (and caught below) when the template needs the pass per tag.
struct NotClean {};

class OnePass {
 public:
  OnePass(std::string_view text, const std::vector<TagProgram>& tags) : text_(text), tags_(tags) {}

  std::string Run() {
    bool programs_with_markers = false;
    for (int i = 0; i < static_cast<int>(tags_.size()); ++i) {
      programs_with_markers = programs_with_markers || tags_[i].program.find("<!--") != npos;
      std::string_view code = tags_[i].code;
      if (code.empty()) continue;
      if (code.find(' ') != npos || code.find("--") != npos || code.front() == '/')
        throw NotClean();
      rows_[code].push_back(i);  // ascending
    }
    // A code holding "%" could form a marker across the "<%" or "%>" around
    // an inserted program.
    if (programs_with_markers) {
      for (const auto& [code, rows] : rows_) {
        if (code.find('%') != npos) throw NotClean();
      }
    }
    FindMarkers();
    // A tag with closing markers must use one kind of opening marker: in turn,
    // markers with attribute text go first and take the closing markers first.
    std::vector<int> kinds(tags_.size(), 0);
    for (const Marker& m : markers_) kinds[m.tag] |= 1 << static_cast<int>(m.kind);
    for (int k : kinds) {
      if ((k & 4) && (k & 1) && (k & 2)) throw NotClean();
    }
    // The next closing marker of the same tag, for each marker.
    next_closing_.assign(markers_.size(), npos);
    std::vector<size_t> last(tags_.size(), npos);
    for (size_t i = markers_.size(); i-- > 0;) {
      next_closing_[i] = last[markers_[i].tag];
      if (markers_[i].kind == Kind::kClosing) last[markers_[i].tag] = i;
    }
    has_closing_.assign(tags_.size(), false);
    for (const Marker& m : markers_)
      has_closing_[m.tag] = has_closing_[m.tag] || m.kind == Kind::kClosing;
    if (programs_with_markers) ExpandPrograms();

    std::string out;
    out.reserve(text_.size() + text_.size() / 2);
    std::vector<int> enclosing;
    Emit(0, text_.size(), 0, markers_.size(), enclosing, out);
    return out;
  }

 private:
  void FindMarkers() {
    const std::string_view s = text_;
    for (size_t q = s.find("<!--"); q != npos; q = s.find("<!--", q + 4)) {
      size_t after = q + 4;
      if (after < s.size() && s[after] == '/') {
        size_t e = s.find(kMarkerEnd, after + 1);
        if (e == npos) continue;
        if (int tag = Lookup(s.substr(after + 1, e - after - 1)); tag >= 0) {
          markers_.push_back({Kind::kClosing, tag, q, e + 3, e, e});
        }
        continue;
      }
      size_t blank = s.find(' ', after);
      size_t e = s.find(kMarkerEnd, after);
      if (e == npos) continue;
      if (blank < e) {
        if (int tag = Lookup(s.substr(after, blank - after)); tag >= 0) {
          markers_.push_back({Kind::kAttributes, tag, q, e + 3, blank + 1, e});
        }
      } else if (int tag = Lookup(s.substr(after, e - after)); tag >= 0) {
        markers_.push_back({Kind::kPlain, tag, q, e + 3, e, e});
      }
    }
  }

  // The tag a marker of `code` calls for once the tags up to `after` have
  // been applied: the first row after it with that code, or -1.
  int Lookup(std::string_view code, int after = -1) const {
    auto it = rows_.find(code);
    if (it == rows_.end()) return -1;
    auto row = std::upper_bound(it->second.begin(), it->second.end(), after);
    return row == it->second.end() ? -1 : *row;
  }

  // The text a tag inserts: its program with the markers of later tags
  // replaced, as their own passes will replace them (the pass of a tag never
  // rescans what it inserted, so its own and earlier tags' markers stay).
  // Filled from the last tag back, so a program's later tags are ready when
  // it is expanded; a program whose markers would pair with text outside it
  // (a closing marker, a tag with a body, an unfinished marker) needs the
  // pass per tag.
  void ExpandPrograms() {
    // A closing marker in a program could pair with an opening inserted by
    // another; only a closing marker of a tag already applied is inert.
    expanded_.assign(tags_.size(), std::nullopt);
    for (int k = static_cast<int>(tags_.size()); k-- > 0;) {
      const std::string& s = tags_[k].program;
      if (s.find("<!--") == npos) continue;
      if (has_closing_[k]) throw NotClean();
      std::string out;
      size_t copied = 0;
      for (size_t q = s.find("<!--"); q != npos; q = s.find("<!--", q)) {
        size_t after = q + 4;
        size_t e = s.find(kMarkerEnd, after);
        if (e == npos) throw NotClean();
        if (after < s.size() && s[after] == '/') {
          if (Lookup(s.substr(after + 1, e - after - 1), k) >= 0) throw NotClean();
          q = after;
          continue;
        }
        size_t blank = s.find(' ', after);
        bool attributes = blank < e;
        int tag = Lookup(s.substr(after, (attributes ? blank : e) - after), k);
        if (tag < 0) {
          q = after;
          continue;
        }
        // Closing markers of the template belong to the code's first row;
        // a closing marker in a program fails that program's expansion.
        if (has_closing_[Lookup(tags_[tag].code)]) throw NotClean();
        std::string_view attribute_text =
            attributes ? std::string_view(s).substr(blank + 1, e - blank - 1) : "";
        if (attribute_text.find("<!--") != npos) throw NotClean();
        out.append(s, copied, q - copied);
        out += "<%";
        if (attribute_text.find_first_not_of(' ') != npos)
          out += CreateAttributeCode(attribute_text);
        out += Program(tag);
        out += "%>";
        copied = e + kMarkerEnd.size();
        q = copied;
      }
      out.append(s, copied);
      expanded_[k] = std::move(out);
    }
  }

  const std::string& Program(int tag) const {
    return expanded_.empty() || !expanded_[tag] ? tags_[tag].program : *expanded_[tag];
  }

  // Appends [from, to) of the text with its markers replaced; markers
  // [first, last) are those inside it. `enclosing` holds the tags whose
  // bodies the range lies in.
  void Emit(size_t from, size_t to, size_t first, size_t last, std::vector<int>& enclosing,
            std::string& out) {
    size_t copied = from;
    for (size_t i = first; i < last;) {
      const Marker& m = markers_[i];
      if (m.kind == Kind::kClosing) throw NotClean();  // a closing marker without its opening
      if (std::find(enclosing.begin(), enclosing.end(), m.tag) != enclosing.end()) throw NotClean();
      std::string_view attributes = text_.substr(m.attr_begin, m.attr_end - m.attr_begin);
      if (attributes.find("<!--") != npos) throw NotClean();
      out.append(text_, copied, m.begin - copied);
      out += "<%";
      if (attributes.find_first_not_of(' ') != npos) out += CreateAttributeCode(attributes);
      const std::string& program = Program(m.tag);
      if (has_closing_[m.tag]) {
        size_t c = next_closing_[i];
        if (c == npos || c >= last) throw NotClean();  // the body would cross a boundary
        std::string body = "%>";
        enclosing.push_back(m.tag);
        Emit(m.end, markers_[c].begin, i + 1, c, enclosing, body);
        enclosing.pop_back();
        body += "<%";
        size_t start = 0;
        for (size_t q; (q = program.find("[data]", start)) != npos; start = q + 6) {
          out.append(program, start, q - start);
          out += body;
        }
        out.append(program, start);
        copied = markers_[c].end;
        i = c + 1;
      } else {
        out += program;
        copied = m.end;
        ++i;
      }
      out += "%>";
    }
    out.append(text_, copied, to - copied);
  }

  std::string_view text_;
  const std::vector<TagProgram>& tags_;
  std::unordered_map<std::string_view, std::vector<int>> rows_;  // rows of each code
  std::vector<std::optional<std::string>> expanded_;
  std::vector<Marker> markers_;
  std::vector<size_t> next_closing_;
  std::vector<bool> has_closing_;
};

}  // namespace

std::optional<std::string> ReplaceTagsInOnePass(std::string_view text,
                                                const std::vector<TagProgram>& tags) {
  try {
    return OnePass(text, tags).Run();
  } catch (const NotClean&) {
    return std::nullopt;
  }
}

std::string ReplaceTags(std::string_view text, const std::vector<TagProgram>& tags) {
  if (auto out = ReplaceTagsInOnePass(text, tags)) return *std::move(out);
  return ReplaceTagsInTurn(text, tags);
}

}  // namespace ptolix
