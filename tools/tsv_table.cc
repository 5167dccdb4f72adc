#include "tools/tsv_table.h"

#include <charconv>
#include <cstdlib>
#include <vector>

namespace jet {
namespace {

constexpr std::string_view kNull = "\\N";

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t', start)) {
    parts.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  parts.push_back(line.substr(start));
  return parts;
}

std::string Unescape(std::string_view field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out.push_back(field[i]);
      continue;
    }
    const char next = field[++i];
    out.push_back(next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next);
  }
  return out;
}

bool ParseInt(std::string_view text, int64_t* value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), *value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size() && !text.empty();
}

bool ParseColumn(std::string_view spec, Column* column) {
  const size_t colon = spec.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  column->name = std::string(spec.substr(0, colon));
  const std::string_view type = spec.substr(colon + 1);
  struct Named {
    std::string_view name;
    ColumnType type;
  } static constexpr kTypes[] = {{"Long", ColumnType::kLong},         {"Integer", ColumnType::kInteger},
                                 {"Double", ColumnType::kDouble},     {"Currency", ColumnType::kCurrency},
                                 {"DateTime", ColumnType::kDateTime}, {"YesNo", ColumnType::kYesNo},
                                 {"Memo", ColumnType::kMemo},         {"Text", ColumnType::kText}};
  for (const Named& named : kTypes) {
    if (type == named.name) {
      column->type = named.type;
      return true;
    }
  }
  int64_t length = 0;
  if (type.size() > 6 && type.substr(0, 5) == "Text(" && type.back() == ')' &&
      ParseInt(type.substr(5, type.size() - 6), &length)) {
    column->type = ColumnType::kText;
    column->max_chars = static_cast<int>(length);
    return true;
  }
  return false;
}

bool ParseDate(std::string_view text, common::LocalDateTime* t) {
  int values[6] = {0, 0, 0, 0, 0, 0};
  const char separators[6] = {0, '/', '/', ' ', ':', ':'};
  size_t at = 0;
  int parsed = 0;
  for (int i = 0; i < 6 && at < text.size(); ++i) {
    if (i > 0) {
      const char sep = text[at];
      const bool ok = sep == separators[i] || (i <= 2 && sep == '-');
      if (!ok) return false;
      ++at;
    }
    const auto result = std::from_chars(text.data() + at, text.data() + text.size(), values[i]);
    if (result.ec != std::errc()) return false;
    at = static_cast<size_t>(result.ptr - text.data());
    parsed = i + 1;
  }
  if (at != text.size() || (parsed != 3 && parsed != 5 && parsed != 6)) return false;
  *t = common::LocalDateTime{values[0], values[1], values[2], values[3], values[4], values[5], 0};
  return t->hour < 24 && t->minute < 60 && t->second < 60;
}

// A decimal amount as ten-thousandths, exactly.
bool ParseCurrency(std::string_view text, Currency* amount) {
  const bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  const size_t dot = text.find('.');
  const std::string_view whole = text.substr(0, dot);
  std::string fraction(dot == std::string_view::npos ? "" : text.substr(dot + 1));
  if (fraction.size() > 4 || (whole.empty() && fraction.empty())) return false;
  fraction.resize(4, '0');
  int64_t units = 0, parts = 0;
  if ((!whole.empty() && !ParseInt(whole, &units)) || !ParseInt(fraction, &parts) || units < 0 || parts < 0) return false;
  if (units > (INT64_MAX - parts) / 10000) return false;
  amount->ten_thousandths = (units * 10000 + parts) * (negative ? -1 : 1);
  return true;
}

bool ParseValue(const Column& column, std::string_view field, Value* value) {
  if (field == kNull) {
    *value = std::monostate{};
    return true;
  }
  const std::string text = Unescape(field);
  switch (column.type) {
    case ColumnType::kLong:
    case ColumnType::kInteger: {
      int64_t n = 0;
      if (!ParseInt(text, &n)) return false;
      *value = n;
      return true;
    }
    case ColumnType::kDouble: {
      char* end = nullptr;
      const double d = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0') return false;
      *value = d;
      return true;
    }
    case ColumnType::kCurrency: {
      Currency amount;
      if (!ParseCurrency(text, &amount)) return false;
      *value = amount;
      return true;
    }
    case ColumnType::kDateTime: {
      common::LocalDateTime t;
      if (!ParseDate(text, &t)) return false;
      *value = t;
      return true;
    }
    case ColumnType::kYesNo:
      if (text != "True" && text != "False" && text != "1" && text != "0") return false;
      *value = text == "True" || text == "1";
      return true;
    case ColumnType::kText:
    case ColumnType::kMemo:
      *value = text;
      return true;
    case ColumnType::kBinary:
    case ColumnType::kOle:
      return false;
  }
  return false;
}

}  // namespace

Status AddTsvTable(DatabaseWriter* writer, const std::string& name, std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  if (lines.empty()) return Status{false, name + ": no header line"};
  std::vector<Column> columns;
  for (std::string_view spec : SplitTabs(lines[0])) {
    Column column;
    if (!ParseColumn(spec, &column)) return Status{false, name + ": line 1: bad column \"" + std::string(spec) + "\""};
    columns.push_back(column);
  }
  Status status = writer->BeginTable(name, columns);
  if (!status) return Status{false, name + ": " + status.message};
  for (size_t i = 1; i < lines.size(); ++i) {
    const std::string where = name + ": line " + std::to_string(i + 1) + ": ";
    const std::vector<std::string_view> fields = SplitTabs(lines[i]);
    if (fields.size() != columns.size()) {
      return Status{false, where + std::to_string(columns.size()) + " values expected, " +
                               std::to_string(fields.size()) + " found"};
    }
    std::vector<Value> row(columns.size());
    for (size_t c = 0; c < columns.size(); ++c) {
      if (!ParseValue(columns[c], fields[c], &row[c])) {
        return Status{false, where + "bad value for " + columns[c].name + ": \"" + std::string(fields[c]) + "\""};
      }
    }
    status = writer->AddRow(row);
    if (!status) return Status{false, where + status.message};
  }
  status = writer->EndTable();
  return status ? status : Status{false, name + ": " + status.message};
}

}  // namespace jet
