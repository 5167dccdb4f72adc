#include "tools/jet_writer.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "common/little_endian.h"
#include "common/pending_file.h"
#include "common/text_encoding.h"

namespace jet {
namespace {

constexpr uint32_t kPageSize = 4096;
// Data and long-value pages: type, 1, free space (2), owner (4), unknown (4), row count (2),
// then one 2-byte offset per row; rows fill the page from its end.
constexpr uint32_t kRowCountOffset = 12;
constexpr uint32_t kRowTableOffset = 14;
constexpr uint32_t kMaxRowsPerPage = 255;  // a row pointer holds the row number in one byte
constexpr uint32_t kMaxRowSize = kPageSize - kRowTableOffset - 2;
// A long value stored in pieces: each record starts with the pointer to the next one.
constexpr uint32_t kLongValueChunk = kMaxRowSize - 4;
constexpr uint32_t kInlineMemoMax = 64;           // memo bytes kept in the row itself
constexpr uint32_t kCompressibleMemoMax = 1024;   // longer memo texts are never compressed
constexpr uint32_t kFreeSpaceWorthListing = 64;   // data pages with less room count as full

constexpr uint8_t kPageDefinition = 0x00;
constexpr uint8_t kPageData = 0x01;
constexpr uint8_t kPageTableDefinition = 0x02;
constexpr uint8_t kPageUsageMap = 0x05;

constexpr uint8_t kJetVersion4 = 0x01;
constexpr char kEngineName[] = "Standard Jet DB";
// The definition page hides 128 bytes from 0x18 under RC4 with this fixed key.
constexpr uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
constexpr uint32_t kHeaderCipherOffset = 0x18;
constexpr uint32_t kHeaderCipherLength = 128;
constexpr uint32_t kHeaderCodePage = 0x3C;
constexpr uint32_t kHeaderSortOrder = 0x6E;
constexpr uint32_t kHeaderCreated = 0x72;
constexpr uint16_t kGeneralSortOrder = 0x0409;
constexpr uint16_t kDatabaseCodePage = 1252;

// Usage maps: an inline map (type 0) holds a start page and a bitmap; a reference map (type 1)
// points to usage-map pages, each covering a fixed run of pages.
constexpr uint32_t kInlineMapBytes = 64;
constexpr uint32_t kReferenceMapPointers = 17;
constexpr uint32_t kPagesPerMapPage = (kPageSize - 4) * 8;

// Table definition.
constexpr uint8_t kUserTable = 0x4E;
constexpr uint8_t kSystemTable = 0x53;
constexpr uint8_t kColumnFixed = 0x01;
constexpr uint8_t kColumnUpdatable = 0x02;
constexpr uint8_t kColumnCompressedUnicode = 0x01;

// Catalog.
constexpr uint32_t kCatalogTablePage = 2;
constexpr uint32_t kCatalogMapPage = 3;
constexpr uint32_t kFirstFreePage = 4;
constexpr int64_t kCatalogRoot = 0x0F000000;
constexpr int64_t kCatalogTables = 0x0F000001;
constexpr int64_t kCatalogDatabases = 0x0F000002;
constexpr int64_t kCatalogRelationships = 0x0F000003;
constexpr int64_t kObjectTable = 1;
constexpr int64_t kObjectContainer = 3;
constexpr int64_t kSystemObjectFlags = static_cast<int32_t>(0x80000002u);
constexpr size_t kMaxNameChars = 64;
constexpr size_t kMaxColumns = 255;

uint8_t TypeCode(ColumnType type) {
  switch (type) {
    case ColumnType::kYesNo: return 0x01;
    case ColumnType::kInteger: return 0x03;
    case ColumnType::kLong: return 0x04;
    case ColumnType::kCurrency: return 0x05;
    case ColumnType::kDouble: return 0x07;
    case ColumnType::kDateTime: return 0x08;
    case ColumnType::kBinary: return 0x09;
    case ColumnType::kText: return 0x0A;
    case ColumnType::kOle: return 0x0B;
    case ColumnType::kMemo: return 0x0C;
  }
  return 0;
}

// Bytes the column takes in the fixed part of a row; 0 for variable columns and Yes/No, whose
// value lives in the null mask.
uint16_t FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::kInteger: return 2;
    case ColumnType::kLong: return 4;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime: return 8;
    default: return 0;
  }
}

bool IsFixed(ColumnType type) {
  return type == ColumnType::kYesNo || FixedSize(type) > 0;
}

bool IsText(ColumnType type) { return type == ColumnType::kText || type == ColumnType::kMemo; }

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

void Append16(std::string* s, uint32_t v) { common::AppendLittleEndian(s, v, 2); }
void Append32(std::string* s, uint32_t v) { common::AppendLittleEndian(s, v, 4); }
void Append64(std::string* s, uint64_t v) { common::AppendLittleEndian(s, v, 8); }
void AppendDouble(std::string* s, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  Append64(s, bits);
}

std::u16string ToUtf16(const std::string& utf8) {
  const std::string bytes = common::Utf8ToUtf16Le(utf8);
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = common::ReadLe16(bytes.data() + 2 * i);
  }
  return out;
}

// Jet 4 text as stored: UCS-2 little endian, or, when every character is in U+0001..U+00FF, the
// compressed form (FF FE, then one byte per character). A UCS-2 text that would itself begin with
// FF FE (a leading U+FEFF) is written as compressed form switched at once to UCS-2 so readers do not
// take it for compressed text.
std::string StoreText(const std::u16string& text, bool may_compress) {
  std::string out;
  const bool narrow = !text.empty() && std::all_of(text.begin(), text.end(),
                                                   [](char16_t c) { return c >= 0x01 && c <= 0xFF; });
  if (may_compress && narrow && text.size() > 2) {
    out.reserve(text.size() + 2);
    out += "\xFF\xFE";
    for (char16_t c : text) out.push_back(static_cast<char>(c));
    return out;
  }
  out.reserve(text.size() * 2 + 3);
  if (!text.empty() && text[0] == 0xFEFF) out += std::string("\xFF\xFE\x00", 3);
  for (char16_t c : text) Append16(&out, c);
  return out;
}

// RC4, used by Jet to veil part of the definition page.
void Rc4(const uint8_t* key, size_t key_len, uint8_t* data, size_t len) {
  uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key_len]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (size_t n = 0, i = 0, j = 0; n < len; ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    data[n] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

Status Fail(std::string message) { return Status{false, std::move(message)}; }

// Jet compares object names without regard to ASCII case; the tools never set a locale.
bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

// Writes a row into a data-type page (data or long value). Returns the row number, or -1 when the
// page has no room for it.
int PutRecord(uint8_t* page, const std::string& record) {
  const uint32_t rows = common::ReadLe16(page + kRowCountOffset);
  const uint32_t free_space = common::ReadLe16(page + 2);
  if (rows >= kMaxRowsPerPage || record.size() + 2 > free_space) return -1;
  const uint32_t end = rows == 0 ? kPageSize : (common::ReadLe16(page + kRowTableOffset + 2 * (rows - 1)) & 0x1FFF);
  const uint32_t start = end - static_cast<uint32_t>(record.size());
  std::memcpy(page + start, record.data(), record.size());
  Put16(page + kRowTableOffset + 2 * rows, start);
  Put16(page + kRowCountOffset, rows + 1);
  Put16(page + 2, free_space - static_cast<uint32_t>(record.size()) - 2);
  return static_cast<int>(rows);
}

void InitRecordPage(uint8_t* page, const char owner[4]) {
  std::memset(page, 0, kPageSize);
  page[0] = kPageData;
  page[1] = 0x01;
  Put16(page + 2, kPageSize - kRowTableOffset);
  std::memcpy(page + 4, owner, 4);
}

}  // namespace

double ToJetDate(const common::LocalDateTime& t) {
  const int64_t days = DaysFromCivil(t.year, static_cast<unsigned>(t.month), static_cast<unsigned>(t.day)) -
                       DaysFromCivil(1899, 12, 30);
  const double fraction =
      (t.hour * 3600.0 + t.minute * 60.0 + t.second + t.millisecond / 1000.0) / 86400.0;
  return days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
}

struct DatabaseWriter::TableState {
  struct ColumnLayout {
    Column column;
    uint16_t number = 0;        // position in the table, also its bit in the null mask
    uint16_t var_index = 0;     // variable columns: slot in the row's offset table
    uint16_t fixed_offset = 0;  // fixed columns: offset in the fixed part of the row
  };
  std::string name;
  bool system = false;
  std::vector<ColumnLayout> columns;
  uint16_t var_columns = 0;
  uint16_t fixed_bytes = 0;
  uint32_t tdef_page = 0;
  uint32_t map_page = 0;
  uint32_t data_page = 0;           // page being filled, 0 for none
  std::vector<uint32_t> data_pages;
  uint32_t rows = 0;
};

DatabaseWriter::DatabaseWriter() : file_(kFirstFreePage * kPageSize, '\0'), created_(common::Now()) {}
DatabaseWriter::~DatabaseWriter() = default;

uint32_t DatabaseWriter::NewPage() {
  const uint32_t page = static_cast<uint32_t>(file_.size() / kPageSize);
  file_.resize(file_.size() + kPageSize, '\0');
  return page;
}

uint8_t* DatabaseWriter::Page(uint32_t page) {
  return reinterpret_cast<uint8_t*>(file_.data()) + static_cast<size_t>(page) * kPageSize;
}

Status DatabaseWriter::BeginTable(const std::string& name, const std::vector<Column>& columns) {
  if (spent_) return Fail("the database is already complete");
  if (open_) return Fail("table '" + open_->name + "' is still open");
  if (name.empty() || ToUtf16(name).size() > kMaxNameChars) return Fail("invalid table name '" + name + "'");
  if (SameNameIgnoringCase(name, "MSysObjects")) return Fail("table name '" + name + "' is reserved");
  for (const CatalogEntry& t : tables_) {
    if (SameNameIgnoringCase(t.name, name)) return Fail("duplicate table '" + name + "'");
  }
  if (columns.empty() || columns.size() > kMaxColumns) return Fail("table '" + name + "' needs 1 to 255 columns");
  auto table = std::make_unique<TableState>();
  table->name = name;
  for (size_t i = 0; i < columns.size(); ++i) {
    const Column& c = columns[i];
    if (c.name.empty() || ToUtf16(c.name).size() > kMaxNameChars) return Fail("invalid column name '" + c.name + "'");
    for (size_t j = 0; j < i; ++j) {
      if (SameNameIgnoringCase(columns[j].name, c.name)) return Fail("duplicate column '" + c.name + "'");
    }
    if (c.type == ColumnType::kText && (c.max_chars < 1 || c.max_chars > 255)) {
      return Fail("text column '" + c.name + "' must hold 1 to 255 characters");
    }
    TableState::ColumnLayout layout;
    layout.column = c;
    layout.number = static_cast<uint16_t>(i);
    if (IsFixed(c.type)) {
      layout.fixed_offset = table->fixed_bytes;
      table->fixed_bytes = static_cast<uint16_t>(table->fixed_bytes + FixedSize(c.type));
    } else {
      layout.var_index = table->var_columns++;
    }
    table->columns.push_back(layout);
  }
  table->tdef_page = NewPage();
  table->map_page = NewPage();
  open_ = std::move(table);
  return {};
}

std::string DatabaseWriter::EncodeMemo(const std::string& stored) {
  std::string field;
  const uint32_t length = static_cast<uint32_t>(stored.size());
  if (length <= kInlineMemoMax) {
    Append32(&field, length | 0x80000000u);
    Append32(&field, 0);
    Append32(&field, 0);
    field += stored;
    return field;
  }
  const char kLongValueOwner[4] = {'L', 'V', 'A', 'L'};
  if (length <= kMaxRowSize) {
    // One record; it shares a long-value page with others where it fits.
    int row = lval_page_ ? PutRecord(Page(lval_page_), stored) : -1;
    if (row < 0) {
      lval_page_ = NewPage();
      InitRecordPage(Page(lval_page_), kLongValueOwner);
      row = PutRecord(Page(lval_page_), stored);
    }
    Append32(&field, length | 0x40000000u);
    Append32(&field, (lval_page_ << 8) | static_cast<uint32_t>(row));
    Append32(&field, 0);
    return field;
  }
  // A chain of records, one per fresh page, each pointing to the next.
  const uint32_t pieces = (length + kLongValueChunk - 1) / kLongValueChunk;
  const uint32_t first = static_cast<uint32_t>(file_.size() / kPageSize);
  for (uint32_t i = 0; i < pieces; ++i) {
    const uint32_t page = NewPage();
    InitRecordPage(Page(page), kLongValueOwner);
    std::string record;
    Append32(&record, i + 1 < pieces ? ((page + 1) << 8) : 0);
    record.append(stored, static_cast<size_t>(i) * kLongValueChunk, kLongValueChunk);
    PutRecord(Page(page), record);
    lval_page_ = page;
  }
  Append32(&field, length);
  Append32(&field, first << 8);
  Append32(&field, 0);
  return field;
}

Status DatabaseWriter::EncodeRow(const TableState& table, const std::vector<Value>& values, std::string* row) {
  if (values.size() != table.columns.size()) {
    return Fail("table '" + table.name + "' has " + std::to_string(table.columns.size()) + " columns, the row " +
                std::to_string(values.size()) + " values");
  }
  const size_t columns = table.columns.size();
  std::string fixed(table.fixed_bytes, '\0');
  std::string var_data;
  std::vector<uint16_t> var_offsets(table.var_columns, 0);
  std::string null_mask((columns + 7) / 8, '\0');
  const size_t data_start = 2 + fixed.size();

  for (size_t i = 0; i < columns; ++i) {
    const auto& layout = table.columns[i];
    const Column& column = layout.column;
    const Value& value = values[i];
    auto mismatch = [&]() { return Fail("value of column '" + column.name + "' does not fit its type"); };
    if (!IsFixed(column.type)) var_offsets[layout.var_index] = static_cast<uint16_t>(data_start + var_data.size());
    if (std::holds_alternative<std::monostate>(value)) continue;  // NULL: mask bit stays 0

    std::string bytes;
    switch (column.type) {
      case ColumnType::kYesNo: {
        const bool* b = std::get_if<bool>(&value);
        if (!b) return mismatch();
        if (*b) null_mask[layout.number / 8] |= static_cast<char>(1 << (layout.number % 8));
        continue;
      }
      case ColumnType::kInteger:
      case ColumnType::kLong: {
        const int64_t* n = std::get_if<int64_t>(&value);
        const int64_t limit = column.type == ColumnType::kInteger ? 32767 : std::numeric_limits<int32_t>::max();
        if (!n || *n > limit || *n < -limit - 1) return mismatch();
        if (column.type == ColumnType::kInteger) {
          Append16(&bytes, static_cast<uint16_t>(*n));
        } else {
          Append32(&bytes, static_cast<uint32_t>(*n));
        }
        break;
      }
      case ColumnType::kCurrency: {
        int64_t amount;
        if (const Currency* c = std::get_if<Currency>(&value)) {
          amount = c->ten_thousandths;
        } else if (const int64_t* n = std::get_if<int64_t>(&value)) {
          if (*n > std::numeric_limits<int64_t>::max() / 10000 || *n < std::numeric_limits<int64_t>::min() / 10000) {
            return mismatch();
          }
          amount = *n * 10000;
        } else if (const double* d = std::get_if<double>(&value)) {
          if (!std::isfinite(*d) || std::fabs(*d) > 9.2e14) return mismatch();
          amount = std::llround(*d * 10000.0);
        } else {
          return mismatch();
        }
        Append64(&bytes, static_cast<uint64_t>(amount));
        break;
      }
      case ColumnType::kDouble: {
        if (const double* d = std::get_if<double>(&value)) {
          AppendDouble(&bytes, *d);
        } else if (const int64_t* n = std::get_if<int64_t>(&value)) {
          AppendDouble(&bytes, static_cast<double>(*n));
        } else {
          return mismatch();
        }
        break;
      }
      case ColumnType::kDateTime: {
        const common::LocalDateTime* t = std::get_if<common::LocalDateTime>(&value);
        if (!t || t->month < 1 || t->month > 12 || t->day < 1 || t->day > 31 || t->year < 100 || t->year > 9999) {
          return mismatch();
        }
        AppendDouble(&bytes, ToJetDate(*t));
        break;
      }
      case ColumnType::kText:
      case ColumnType::kMemo: {
        const std::string* s = std::get_if<std::string>(&value);
        if (!s) return mismatch();
        const std::u16string text = ToUtf16(*s);
        if (column.type == ColumnType::kText) {
          if (text.size() > static_cast<size_t>(column.max_chars)) {
            return Fail("text of column '" + column.name + "' is longer than " + std::to_string(column.max_chars) +
                        " characters");
          }
          bytes = StoreText(text, true);
        } else {
          if (text.size() * 2 > 0x3FFFFFFF) return mismatch();
          bytes = EncodeMemo(StoreText(text, text.size() <= kCompressibleMemoMax));
        }
        break;
      }
      case ColumnType::kBinary:
      case ColumnType::kOle:
        return mismatch();
    }
    null_mask[layout.number / 8] |= static_cast<char>(1 << (layout.number % 8));
    if (IsFixed(column.type)) {
      fixed.replace(layout.fixed_offset, bytes.size(), bytes);
    } else {
      var_data += bytes;
    }
  }

  row->clear();
  Append16(row, static_cast<uint32_t>(columns));
  *row += fixed;
  *row += var_data;
  if (table.var_columns > 0) {
    const size_t eod = row->size();
    Append16(row, static_cast<uint32_t>(eod));
    for (size_t i = var_offsets.size(); i-- > 0;) Append16(row, var_offsets[i]);
    Append16(row, table.var_columns);
  }
  *row += null_mask;
  if (row->size() > kMaxRowSize) return Fail("row of table '" + table.name + "' is larger than a page");
  return {};
}

void DatabaseWriter::AppendRow(TableState* table, const std::string& row) {
  if (table->data_page == 0 || PutRecord(Page(table->data_page), row) < 0) {
    table->data_page = NewPage();
    char owner[4];
    Put32(reinterpret_cast<uint8_t*>(owner), table->tdef_page);
    InitRecordPage(Page(table->data_page), owner);
    table->data_pages.push_back(table->data_page);
    PutRecord(Page(table->data_page), row);
  }
  ++table->rows;
}

Status DatabaseWriter::AddRow(const std::vector<Value>& values) {
  if (!open_) return Fail("no table is open");
  std::string row;
  Status status = EncodeRow(*open_, values, &row);
  if (!status) return status;
  AppendRow(open_.get(), row);
  return {};
}

Status DatabaseWriter::BuildUsageMap(const std::vector<uint32_t>& pages, std::string* row) {
  row->clear();
  const uint32_t first = pages.empty() ? 0 : pages.front();
  const uint32_t span = pages.empty() ? 0 : pages.back() - first;
  if (span < (kInlineMapBytes * 8)) {
    row->push_back('\0');
    Append32(row, first);
    std::string bits(kInlineMapBytes, '\0');
    for (uint32_t p : pages) bits[(p - first) / 8] |= static_cast<char>(1 << ((p - first) % 8));
    *row += bits;
    return {};
  }
  std::vector<uint32_t> map_pages(kReferenceMapPointers, 0);
  for (uint32_t p : pages) {
    const uint32_t index = p / kPagesPerMapPage;
    if (index >= kReferenceMapPointers) return Fail("database too large");
    if (map_pages[index] == 0) {
      map_pages[index] = NewPage();
      uint8_t* map = Page(map_pages[index]);
      map[0] = kPageUsageMap;
      map[1] = 0x01;
    }
    const uint32_t bit = p % kPagesPerMapPage;
    Page(map_pages[index])[4 + bit / 8] |= static_cast<uint8_t>(1 << (bit % 8));
  }
  row->push_back('\x01');
  for (uint32_t m : map_pages) Append32(row, m);
  return {};
}

Status DatabaseWriter::CloseTable(TableState* table, std::vector<std::string>* map_rows) {
  // Usage maps: the pages the table owns, and those of them still worth inserting into.
  std::vector<uint32_t> with_room;
  for (uint32_t p : table->data_pages) {
    if (common::ReadLe16(Page(p) + 2) >= kFreeSpaceWorthListing) with_room.push_back(p);
  }
  std::string owned_map, free_map;
  Status status = BuildUsageMap(table->data_pages, &owned_map);
  if (status) status = BuildUsageMap(with_room, &free_map);
  if (!status) return status;
  map_rows->push_back(owned_map);
  map_rows->push_back(free_map);
  const uint32_t owned_row = static_cast<uint32_t>(map_rows->size() - 2);

  std::string def;
  def.push_back(static_cast<char>(kPageTableDefinition));
  def.push_back('\x01');
  Append16(&def, 0);  // free space, set below
  Append32(&def, 0);  // next definition page: none
  Append32(&def, 0);  // definition length, set below
  Append32(&def, 0);
  Append32(&def, table->rows);
  Append32(&def, 0);   // next autonumber
  def.push_back('\x01');
  def.append(3, '\0');
  Append32(&def, 0);
  def.append(8, '\0');
  def.push_back(static_cast<char>(table->system ? kSystemTable : kUserTable));
  const uint32_t columns = static_cast<uint32_t>(table->columns.size());
  Append16(&def, columns);               // columns a row may have
  Append16(&def, table->var_columns);
  Append16(&def, columns);
  Append32(&def, 0);                     // logical indexes
  Append32(&def, 0);                     // index entries
  Append32(&def, (table->map_page << 8) | owned_row);
  Append32(&def, (table->map_page << 8) | (owned_row + 1));
  for (const auto& c : table->columns) {
    const ColumnType type = c.column.type;
    def.push_back(static_cast<char>(TypeCode(type)));
    Append32(&def, 0);
    Append16(&def, c.number);
    Append16(&def, IsFixed(type) ? 0 : c.var_index);
    Append16(&def, c.number);
    Append16(&def, IsText(type) ? kGeneralSortOrder : 0);
    Append16(&def, 0);
    def.push_back(static_cast<char>((IsFixed(type) ? kColumnFixed : 0) | kColumnUpdatable));
    def.push_back(static_cast<char>(IsText(type) ? kColumnCompressedUnicode : 0));
    Append32(&def, 0);
    Append16(&def, IsFixed(type) ? c.fixed_offset : 0);
    uint32_t length = FixedSize(type);
    if (type == ColumnType::kYesNo) length = 1;
    if (type == ColumnType::kText) length = static_cast<uint32_t>(c.column.max_chars) * 2;
    if (type == ColumnType::kBinary) length = 255;
    Append16(&def, length);
  }
  for (const auto& c : table->columns) {
    const std::u16string name = ToUtf16(c.column.name);
    Append16(&def, static_cast<uint32_t>(name.size() * 2));
    for (char16_t ch : name) Append16(&def, ch);
  }
  Append16(&def, 0xFFFF);  // no per-column usage maps follow
  if (def.size() > kPageSize) return Fail("definition of table '" + table->name + "' is larger than a page");
  uint8_t* page = Page(table->tdef_page);
  std::memcpy(page, def.data(), def.size());
  Put16(page + 2, kPageSize - static_cast<uint32_t>(def.size()) - 8);
  Put32(page + 8, static_cast<uint32_t>(def.size()));
  return {};
}

Status DatabaseWriter::EndTable() {
  if (!open_) return Fail("no table is open");
  std::vector<std::string> map_rows;
  Status status = CloseTable(open_.get(), &map_rows);
  if (!status) return status;
  uint8_t* map_page = Page(open_->map_page);
  InitRecordPage(map_page, "\0\0\0\0");
  for (const std::string& r : map_rows) PutRecord(map_page, r);
  tables_.push_back({open_->name, open_->tdef_page});
  open_.reset();
  return {};
}

Status DatabaseWriter::Finish(std::string* image) {
  if (spent_) return Fail("the database is already complete");
  if (open_) {
    Status status = EndTable();
    if (!status) return status;
  }
  spent_ = true;

  // The catalog, MSysObjects, with the columns Access gives it.
  TableState catalog;
  catalog.name = "MSysObjects";
  catalog.system = true;
  catalog.tdef_page = kCatalogTablePage;
  catalog.map_page = kCatalogMapPage;
  const std::vector<Column> catalog_columns = {
      {"Id", ColumnType::kLong},           {"ParentId", ColumnType::kLong},
      {"Name", ColumnType::kText, 255},    {"Type", ColumnType::kInteger},
      {"DateCreate", ColumnType::kDateTime}, {"DateUpdate", ColumnType::kDateTime},
      {"Owner", ColumnType::kBinary},      {"Flags", ColumnType::kLong},
      {"Database", ColumnType::kMemo},     {"Connect", ColumnType::kMemo},
      {"ForeignName", ColumnType::kText, 255}, {"RmtInfoShort", ColumnType::kBinary},
      {"RmtInfoLong", ColumnType::kOle},   {"Lv", ColumnType::kOle},
      {"LvProp", ColumnType::kOle},        {"LvModule", ColumnType::kOle},
      {"LvExtra", ColumnType::kOle},
  };
  for (size_t i = 0; i < catalog_columns.size(); ++i) {
    TableState::ColumnLayout layout;
    layout.column = catalog_columns[i];
    layout.number = static_cast<uint16_t>(i);
    if (IsFixed(layout.column.type)) {
      layout.fixed_offset = catalog.fixed_bytes;
      catalog.fixed_bytes = static_cast<uint16_t>(catalog.fixed_bytes + FixedSize(layout.column.type));
    } else {
      layout.var_index = catalog.var_columns++;
    }
    catalog.columns.push_back(layout);
  }
  auto object = [&](int64_t id, int64_t parent, const std::string& name, int64_t type, int64_t flags) {
    std::vector<Value> row(catalog_columns.size());
    row[0] = id;
    row[1] = parent;
    row[2] = name;
    row[3] = type;
    row[4] = created_;
    row[5] = created_;
    row[7] = flags;
    return row;
  };
  std::vector<std::vector<Value>> objects = {
      object(kCatalogTables, kCatalogRoot, "Tables", kObjectContainer, 0),
      object(kCatalogDatabases, kCatalogRoot, "Databases", kObjectContainer, 0),
      object(kCatalogRelationships, kCatalogRoot, "Relationships", kObjectContainer, 0),
      object(kCatalogTablePage, kCatalogTables, "MSysObjects", kObjectTable, kSystemObjectFlags),
  };
  for (const CatalogEntry& t : tables_) objects.push_back(object(t.tdef_page, kCatalogTables, t.name, kObjectTable, 0));
  for (const auto& values : objects) {
    std::string row;
    Status status = EncodeRow(catalog, values, &row);
    if (!status) return status;
    AppendRow(&catalog, row);
  }
  std::vector<std::string> map_rows;
  Status status = CloseTable(&catalog, &map_rows);
  if (!status) return status;
  uint8_t* map_page = Page(kCatalogMapPage);
  InitRecordPage(map_page, "\0\0\0\0");
  for (const std::string& r : map_rows) PutRecord(map_page, r);

  // Page 1: the global usage map of free pages; a freshly written file has none.
  uint8_t* global = Page(1);
  InitRecordPage(global, "\0\0\0\0");
  std::string global_map(1, '\0');
  Append32(&global_map, 0);
  global_map.append(kInlineMapBytes, '\0');
  PutRecord(global, global_map);

  // Page 0: the database definition.
  uint8_t* head = Page(0);
  head[0] = kPageDefinition;
  head[1] = 0x01;
  std::memcpy(head + 4, kEngineName, sizeof kEngineName);
  head[0x14] = kJetVersion4;
  Put16(head + kHeaderCodePage, kDatabaseCodePage);
  Put16(head + kHeaderSortOrder, kGeneralSortOrder);
  // Creation time 0: the password mask derived from it is then zero, so the empty password
  // reads back as empty.
  std::memset(head + kHeaderCreated, 0, 8);
  Rc4(kHeaderKey, sizeof kHeaderKey, head + kHeaderCipherOffset, kHeaderCipherLength);

  *image = std::move(file_);
  file_.clear();
  return {};
}

Status DatabaseWriter::WriteFile(const std::string& path) {
  std::string image;
  Status status = Finish(&image);
  if (!status) return status;
  common::PendingFile file;
  if (!file.Create(path, common::FileKind::kData)) {
    return Fail("cannot create a file beside " + path + ": " + std::strerror(file.error()));
  }
  if (!file.Write(image) || !file.Commit(0644)) {
    return Fail("cannot write " + path + ": " + std::strerror(file.error()));
  }
  return {};
}

}  // namespace jet
