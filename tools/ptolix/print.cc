#include "print.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "json_values.h"
#include "ptolix/value/result_array.h"

namespace ptolix::tool {

namespace {

// Terminal columns of a UTF-8 text: CJK characters take two.
size_t DisplayWidth(const std::string& s) {
  size_t width = 0;
  for (size_t i = 0; i < s.size();) {
    unsigned char c = s[i];
    int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    width += len >= 3 ? 2 : 1;
    i += len;
  }
  return width;
}

std::string Cell(const Variant& v) {
  std::string s = ToDisplay(v);
  for (auto& c : s) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
  }
  if (DisplayWidth(s) > 60) {
    size_t cut = 57;
    while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
    s = s.substr(0, cut) + "...";
  }
  return s;
}

std::string CsvField(const Variant& v) {
  std::string s = v.IsNull() ? "" : ToDisplay(v);
  if (s.find_first_of(",\"\r\n") == std::string::npos) return s;
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

void PrintValue(std::ostream& out, const Variant& value, Format format) {
  if (format == Format::kJson) {
    out << ToJson(value).dump() << '\n';
    return;
  }
  if (value.kind() != Variant::Kind::kArray) {
    if (!value.IsEmpty()) out << ToDisplay(value) << '\n';
    return;
  }
  const ResultArray& a = value.AsArray();
  if (!a.allocated()) {
    out << "(no result)\n";
    return;
  }
  std::vector<std::vector<std::string>> cells;
  for (int32_t r = 0; r <= a.DataRows(); ++r) {
    std::vector<std::string> row;
    for (int32_t c = 0; c < a.Columns(); ++c) {
      row.push_back(format == Format::kCsv ? CsvField(a.At(r, c)) : Cell(a.At(r, c)));
    }
    cells.push_back(std::move(row));
  }
  if (format == Format::kCsv) {
    for (const auto& row : cells) {
      for (size_t c = 0; c < row.size(); ++c) out << (c ? "," : "") << row[c];
      out << "\r\n";
    }
    return;
  }
  std::vector<size_t> widths(a.Columns(), 0);
  for (const auto& row : cells) {
    for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], DisplayWidth(row[c]));
  }
  for (size_t r = 0; r < cells.size(); ++r) {
    for (size_t c = 0; c < cells[r].size(); ++c) {
      out << (c ? " | " : "") << cells[r][c];
      if (c + 1 < cells[r].size()) out << std::string(widths[c] - DisplayWidth(cells[r][c]), ' ');
    }
    out << '\n';
    if (r == 0) {
      for (size_t c = 0; c < widths.size(); ++c)
        out << (c ? "-+-" : "") << std::string(widths[c], '-');
      out << '\n';
    }
  }
  out << "(" << a.DataRows() << " row" << (a.DataRows() == 1 ? "" : "s") << ")\n";
}

}  // namespace ptolix::tool
