#include "site/page_code.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "ptolix/frame/system.h"
#include "ptolix/value/errors.h"
#include "value/failure.h"
#include "value/sql_text.h"

namespace ptolix {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kMarkerEnd = "-->";
constexpr size_t npos = std::string_view::npos;

// Position of the next "<!--" at or after `from`. Looks for the "!", which
// HTML seldom has, rather than the frequent "<".
size_t FindCommentStart(std::string_view s, size_t from) {
  while (from + 4 <= s.size()) {
    const void* hit = std::memchr(s.data() + from + 1, '!', s.size() - from - 1);
    if (hit == nullptr) return npos;
    size_t q = static_cast<const char*>(hit) - s.data();
    if (s[q - 1] == '<' && q + 2 < s.size() && s[q + 1] == '-' && s[q + 2] == '-') return q - 1;
    from = q;
  }
  return npos;
}

void AppendReplacingAll(std::string& out, std::string_view s, std::string_view from,
                        std::string_view to) {
  size_t start = 0;
  for (size_t q; (q = s.find(from, start)) != npos; start = q + from.size()) {
    out.append(s, start, q - start);
    out.append(to);
  }
  out.append(s, start);
}

// An opening marker: [begin, end) is the marker, [attr_begin, attr_end) its
// attribute text (empty for a plain marker).
struct Opening {
  size_t begin, end, attr_begin, attr_end;
};
// A closing marker [begin, end).
struct Closing {
  size_t begin, end;
  bool consumed = false;
};
// One replacement: [begin, end) of the text becomes `text`.
struct Edit {
  size_t begin, end;
  std::string text;
};

struct Markers {
  std::vector<Opening> with_attributes;
  std::vector<Opening> plain;
  std::vector<Closing> closings;
};

Markers FindMarkers(std::string_view s, std::string_view code) {
  Markers m;
  const size_t len = code.size();
  for (size_t q = FindCommentStart(s, 0); q != npos; q = FindCommentStart(s, q + 4)) {
    size_t after = q + 4;
    if (s.compare(after, len, code) == 0) {
      size_t tail = after + len;
      if (s.compare(tail, kMarkerEnd.size(), kMarkerEnd) == 0) {
        m.plain.push_back({q, tail + kMarkerEnd.size(), tail, tail});
      } else if (tail < s.size() && s[tail] == ' ') {
        size_t e = s.find(kMarkerEnd, tail + 1);
        // Without "-->" it is no marker and stays as it stands.
        if (e != npos) m.with_attributes.push_back({q, e + kMarkerEnd.size(), tail + 1, e});
      }
    } else if (after < s.size() && s[after] == '/' && s.compare(after + 1, len, code) == 0 &&
               s.compare(after + 1 + len, kMarkerEnd.size(), kMarkerEnd) == 0) {
      m.closings.push_back({q, after + 1 + len + kMarkerEnd.size()});
    }
  }
  return m;
}

bool IsBlank(std::string_view s) { return s.find_first_not_of(' ') == npos; }

// Replaces the given openings of one tag, left to right, each with its body
// when the text has closing markers. Openings inside an earlier replacement
// (in a body) are skipped; the scan never looks at what it inserted.
std::vector<Edit> ReplaceOpenings(std::string_view s, const std::vector<Opening>& openings,
                                  std::vector<Closing>& closings, std::string_view code,
                                  std::string_view program) {
  std::vector<Edit> edits;
  size_t open_closings = 0;
  for (const Closing& c : closings) open_closings += c.consumed ? 0 : 1;
  size_t next_closing = 0;
  size_t resume = 0;
  for (const Opening& o : openings) {
    if (o.begin < resume) continue;
    std::string x = "<%";
    std::string_view attributes = s.substr(o.attr_begin, o.attr_end - o.attr_begin);
    if (!IsBlank(attributes)) x += CreateAttributeCode(attributes);
    size_t stop = o.end;
    // A closing marker inside this marker's attribute text is part of that
    // text: it closes nothing, and goes with the marker.
    for (; next_closing < closings.size() && closings[next_closing].begin < o.end; ++next_closing) {
      Closing& c = closings[next_closing];
      if (!c.consumed && c.begin >= o.begin) {
        c.consumed = true;
        --open_closings;
      }
    }
    if (open_closings > 0) {
      while (next_closing < closings.size() && closings[next_closing].consumed) ++next_closing;
      if (next_closing == closings.size()) {
        throw InvalidCall("closing marker <!--/" + std::string(code) + "--> before its opening");
      }
      Closing& c = closings[next_closing];
      c.consumed = true;
      --open_closings;
      std::string body = "%>";
      body.append(s, o.end, c.begin - o.end);
      body += "<%";
      AppendReplacingAll(x, program, "[data]", body);
      stop = c.end;
    } else {
      x += program;
    }
    x += "%>";
    edits.push_back({o.begin, stop, std::move(x)});
    resume = stop;
  }
  return edits;
}

std::string ApplyEdits(std::string_view s, const std::vector<Edit>& edits) {
  size_t size = s.size();
  for (const Edit& e : edits) size += e.text.size() - (e.end - e.begin);
  std::string out;
  out.reserve(size);
  size_t copied = 0;
  for (const Edit& e : edits) {
    out.append(s, copied, e.begin - copied);
    out += e.text;
    copied = e.end;
  }
  out.append(s, copied);
  return out;
}

// Where position `pos` of the text before `edits` lies after them; npos
// when an edit replaced it. `cursor` and `shift` carry the walk over edits
// for ascending positions.
size_t MapPosition(size_t pos, const std::vector<Edit>& edits, size_t& cursor,
                   std::ptrdiff_t& shift) {
  while (cursor < edits.size() && edits[cursor].end <= pos) {
    shift += static_cast<std::ptrdiff_t>(edits[cursor].text.size()) -
             static_cast<std::ptrdiff_t>(edits[cursor].end - edits[cursor].begin);
    ++cursor;
  }
  if (cursor < edits.size() && edits[cursor].begin <= pos) return npos;
  return static_cast<size_t>(static_cast<std::ptrdiff_t>(pos) + shift);
}

}  // namespace

std::string ReplaceTag(std::string_view text, std::string_view code, std::string_view program) {
  if (code.empty()) return std::string(text);
  Markers m = FindMarkers(text, code);
  if (m.with_attributes.empty() && m.plain.empty()) return std::string(text);

  // Markers with attribute text first, then the plain ones in what is left.
  std::string first;
  std::string_view current = text;
  if (!m.with_attributes.empty()) {
    std::vector<Edit> edits = ReplaceOpenings(text, m.with_attributes, m.closings, code, program);
    first = ApplyEdits(text, edits);
    current = first;
    // Move the plain openings and the closings left into the new text.
    std::vector<Opening> plain;
    size_t cursor = 0;
    std::ptrdiff_t shift = 0;
    std::vector<Closing> closings;
    size_t pi = 0, ci = 0;
    while (pi < m.plain.size() || ci < m.closings.size()) {
      bool take_plain = ci == m.closings.size() ||
                        (pi < m.plain.size() && m.plain[pi].begin < m.closings[ci].begin);
      if (take_plain) {
        const Opening& o = m.plain[pi++];
        size_t at = MapPosition(o.begin, edits, cursor, shift);
        size_t end = at + (o.end - o.begin);
        if (at != npos) plain.push_back({at, end, end, end});
      } else {
        const Closing& c = m.closings[ci++];
        if (c.consumed) continue;
        size_t at = MapPosition(c.begin, edits, cursor, shift);
        if (at != npos) closings.push_back({at, at + (c.end - c.begin)});
      }
    }
    m.plain = std::move(plain);
    m.closings = std::move(closings);
  }
  if (m.plain.empty()) return first;
  std::vector<Edit> edits = ReplaceOpenings(current, m.plain, m.closings, code, program);
  return ApplyEdits(current, edits);
}

std::string CreateAttributeCode(std::string_view attributes) {
  std::string out;
  out.reserve(attributes.size() * 2 + 3);
  for (char c : attributes) {
    if (c == '&') {
      out += '"';
      out += kCrLf;
    } else if (c == '=') {
      out += "=\"";
    } else {
      out += c;
    }
  }
  out += '"';
  out += kCrLf;
  return out;
}

namespace {

// The next '"' or CR at or after `from`.
size_t FindQuoteOrCr(std::string_view s, size_t from) {
  for (size_t i = from; i < s.size(); ++i) {
    if (s[i] == '"' || s[i] == '\r') return i;
  }
  return npos;
}

void AppendSegmentCode(std::string& out, std::string_view segment, bool is_script) {
  if (is_script) {
    out += kCrLf;
    out += segment;
    out += kCrLf;
    return;
  }
  out += "Response.Write \"";
  size_t start = 0;
  for (size_t q; (q = FindQuoteOrCr(segment, start)) != npos;) {
    out.append(segment, start, q - start);
    if (segment[q] == '"') {
      out += "\"\"";
      start = q + 1;
    } else if (q + 1 < segment.size() && segment[q + 1] == '\n') {
      out += "\" & vbCrLf\r\nResponse.Write \"";
      start = q + 2;
    } else {
      out += '\r';  // a lone CR stays inside the string
      start = q + 1;
    }
  }
  out.append(segment, start);
  out += '"';
}

}  // namespace

std::string CreateSegmentCode(std::string_view segment, bool is_script) {
  std::string out;
  AppendSegmentCode(out, segment, is_script);
  return out;
}

std::string_view GetMarker(bool inside) { return inside ? "%>" : "<%"; }

std::string ToExecuteCode(std::string_view source) {
  size_t end = source.find("<%");
  if (end == npos) return CreateSegmentCode(source, false);
  std::string out;
  out.reserve(2 * source.size() + 64);  // pages are touched only when written
  bool inside = false;
  size_t start = 0;
  while (start < source.size()) {
    std::string_view segment = end > start ? source.substr(start, end - start) : std::string_view();
    AppendSegmentCode(out, segment, inside);
    inside = !inside;
    start = end + 2;
    size_t q = start <= source.size() ? source.find(GetMarker(inside), start) : npos;
    end = q != npos ? q : source.size();
  }
  return out;
}

std::string JoinSitePath(std::string_view head, std::string_view tail) {
  auto separator = [](char c) { return c == '/' || c == '\\'; };
  if (head.empty()) return std::string(tail);
  if (tail.empty()) return std::string(head);
  std::string out(head);
  if (!separator(head.back()) && !separator(tail.front())) out += '/';
  out += tail;
  return out;
}

namespace {

// The file at `path` below `root`, read whole; throws FileNotFound for a
// path outside the root or a file that cannot be read.
std::string ReadBelow(const std::string& root, std::string_view path) {
  namespace fs = std::filesystem;
  std::string relative(path);
  for (char& c : relative) {
    if (c == '\\') c = '/';
  }
  // Stored names may start with a separator; they are still below the root.
  fs::path base = fs::weakly_canonical(fs::path(root));
  fs::path full = fs::weakly_canonical(fs::path(JoinSitePath(root, relative)));
  auto [base_end, full_at] = std::mismatch(base.begin(), base.end(), full.begin(), full.end());
  bool below = base_end == base.end() || (std::next(base_end) == base.end() && base_end->empty());
  if (!below) throw FileNotFound(relative);
  std::error_code ec;
  if (!fs::is_regular_file(full, ec)) throw FileNotFound(relative);
  std::ifstream in(full, std::ios::binary);
  if (!in) throw FileNotFound(relative);
  std::string content(fs::file_size(full, ec), '\0');
  if (ec) throw FileNotFound(relative);
  in.read(content.data(), static_cast<std::streamsize>(content.size()));
  content.resize(static_cast<size_t>(in.gcount()));
  if (in.bad()) throw FileNotFound(relative);
  return content;
}

}  // namespace

std::string ReadSiteFile(std::string_view path, const std::shared_ptr<db::Connection>& connection,
                         std::string& errors) noexcept {
  return Guarded<std::string>(errors, [&]() -> std::string {
    std::string root = SystemParameter(connection, "SITE_PHYSICAL_ROOT").value_or("");
    if (root.empty()) {
      SetError(errors, "取系统参数'SITE_PHYSICAL_ROOT'错。");
      return "";
    }
    try {
      return ReadBelow(root, path);
    } catch (const Failure&) {
      throw;
    } catch (const std::exception&) {
      // A path the file system cannot resolve is a file that is not there.
      throw Failure(err::kFileNotFound, "File not found: " + std::string(path));
    }
  });
}

}  // namespace ptolix
