#include "kavel/mdb_reader.h"

#include <mdbtools.h>
#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "common/little_endian.h"
#include "common/text_encoding.h"
#include "common/text_format.h"
#include "kavel/mdb_database.h"
#include "kavel/mdb_texts.h"
#include "kavel/mdb_value_text.h"

namespace kavel {
namespace {

// Jet 3 text is in the code page of the machine that wrote it: the main application's is CP932.
constexpr char kJet3CharsetVariable[] = "MDB_JET3_CHARSET";
constexpr char kJet3Charset[] = "CP932";
constexpr char kCatalogTableName[] = "MSysObjects";
// A table's usage map: inline (type, first page, bitmap) or by reference to map pages.
constexpr unsigned char kInlineUsageMap = 0x00;
constexpr unsigned char kReferenceUsageMap = 0x01;
constexpr size_t kInlineUsageMapHeader = 5;
constexpr uint32_t kRowOffsetMask = 0x1FFF;  // the high bits of a row offset are flags
constexpr uint32_t kMemoHeaderSize = 12;
constexpr uint32_t kMemoInline = 0x80000000u;
constexpr uint32_t kMemoSingleRecord = 0x40000000u;
constexpr uint32_t kMemoLengthMask = 0x3FFFFFFFu;
constexpr uint8_t kDataPage = 0x01;
constexpr uint32_t kMaxRowsPerPage = 256;
constexpr uint64_t kLargestTextReserve = uint64_t{1} << 31;

// Names match without regard to ASCII case. The reader never sets a locale, so strncasecmp
// folds ASCII letters only.
bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

// Orders texts byte by byte with ASCII letters folded to lower case; a text comes before every
// longer text it starts.
int CompareIgnoringAsciiCase(std::string_view a, std::string_view b) {
  const int order = ::strncasecmp(a.data(), b.data(), std::min(a.size(), b.size()));
  if (order != 0) return order;
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename T>
T ReadAs(const unsigned char* p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  return value;
}

bool IsNumericType(int type) {
  switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case MDB_NUMERIC:
      return true;
    default:
      return false;
  }
}

// Reads one table through libmdb, checking every position libmdb hands back against the page.
class TableReader {
 public:
  TableReader(const MdbDatabase& database, MdbHandle* mdb) : db_(database), mdb_(mdb) {}

  // One field's value as text and, for numeric columns, its number for sorting. Returns false
  // when the stored bytes do not fit the page or the column.
  bool Convert(const MdbColumn& column, const MdbField& field, std::string* text, double* number) {
    *number = 0;
    if (column.col_type == MDB_BOOL) {
      // A Yes/No value lives in the null mask: "null" means No.
      *number = field.is_null ? 0 : -1;
      *text = field.is_null ? kFalseText : kTrueText;
      return true;
    }
    if (field.is_null) {
      const bool textual = column.col_type == MDB_TEXT || column.col_type == MDB_MEMO ||
                           column.col_type == MDB_BINARY || column.col_type == MDB_OLE;
      *text = textual || !IsNumericType(column.col_type) ? kNullText : kNullNumber;
      return true;
    }
    const unsigned char* value = static_cast<const unsigned char*>(field.value);
    const unsigned char* page = mdb_->pg_buf;
    if (field.siz < 0 || value < page || value + field.siz > page + db_.page_size) return false;
    const size_t size = static_cast<size_t>(field.siz);
    auto need = [&](size_t bytes) { return size >= bytes; };
    switch (column.col_type) {
      case MDB_BYTE:
        if (!need(1)) return false;
        *number = value[0];
        *text = std::to_string(value[0]);
        return true;
      case MDB_INT:
        if (!need(2)) return false;
        *number = static_cast<int16_t>(common::ReadLe16(value));
        *text = std::to_string(static_cast<int16_t>(common::ReadLe16(value)));
        return true;
      case MDB_LONGINT:
        if (!need(4)) return false;
        *number = static_cast<int32_t>(common::ReadLe32(value));
        *text = std::to_string(static_cast<int32_t>(common::ReadLe32(value)));
        return true;
      case MDB_MONEY: {
        if (!need(8)) return false;
        const int64_t amount = static_cast<int64_t>(common::ReadLe64(value));
        *number = static_cast<double>(amount) / 10000.0;
        *text = FormatCurrency(amount);
        return true;
      }
      case MDB_FLOAT:
        if (!need(4)) return false;
        *number = ReadAs<float>(value);
        *text = FormatSingle(ReadAs<float>(value));
        return true;
      case MDB_DOUBLE:
        if (!need(8)) return false;
        *number = ReadAs<double>(value);
        *text = FormatDouble(*number);
        return true;
      case MDB_DATETIME:
        if (!need(8)) return false;
        *number = ReadAs<double>(value);
        *text = FormatJetDate(*number);
        return true;
      case MDB_NUMERIC: {
        if (!need(17)) return false;
        char* decimal = mdb_numeric_to_string(mdb_, static_cast<int>(value - page), column.col_scale, column.col_prec);
        *text = decimal != nullptr ? decimal : "";
        g_free(decimal);
        *number = std::strtod(text->c_str(), nullptr);
        return true;
      }
      case MDB_TEXT:
        *text = DecodeText(std::string_view(reinterpret_cast<const char*>(value), size));
        return true;
      case MDB_MEMO: {
        std::string stored;
        if (!ReadMemo(value, size, &stored)) return false;
        *text = DecodeText(stored);
        return true;
      }
      case MDB_REPID:
        *text = FormatGuid(std::string_view(reinterpret_cast<const char*>(value), std::min<size_t>(size, 16)));
        return true;
      default:  // binary, OLE and anything newer print as nothing
        text->clear();
        return true;
    }
  }

 private:
  std::string DecodeText(std::string_view stored) const {
    return db_.jet4 ? DecodeJet4Text(stored) : common::Cp932ToUtf8(stored);
  }

  // One record of a long-value page, by its page/row pointer.
  bool ReadRecord(uint32_t pointer, std::string* record) {
    const uint32_t page_number = pointer >> 8;
    const uint32_t row = pointer & 0xFF;
    if (page_number == 0 || page_number >= db_.page_count) return false;
    if (mdb_read_alt_pg(mdb_, page_number) != static_cast<ssize_t>(db_.page_size)) return false;
    const unsigned char* page = mdb_->alt_pg_buf;
    const uint32_t row_count_offset = mdb_->fmt->row_count_offset;
    if (page[0] != kDataPage || row >= common::ReadLe16(page + row_count_offset)) return false;
    const uint32_t start = common::ReadLe16(page + row_count_offset + 2 + 2 * row) & kRowOffsetMask;
    const uint32_t end = row == 0 ? db_.page_size : common::ReadLe16(page + row_count_offset + 2 * row) & kRowOffsetMask;
    if (start >= end || end > db_.page_size) return false;
    record->assign(reinterpret_cast<const char*>(page + start), end - start);
    return true;
  }

  bool ReadMemo(const unsigned char* value, size_t size, std::string* stored) {
    if (size < kMemoHeaderSize) return false;
    const uint32_t header = common::ReadLe32(value);
    const uint32_t length = header & kMemoLengthMask;
    if (length > db_.page_count * db_.page_size) return false;
    if (header & kMemoInline) {
      if (kMemoHeaderSize + length > size) return false;
      stored->assign(reinterpret_cast<const char*>(value + kMemoHeaderSize), length);
      return true;
    }
    uint32_t pointer = common::ReadLe32(value + 4);
    if (header & kMemoSingleRecord) {
      if (!ReadRecord(pointer, stored) || stored->size() < length) return false;
      stored->resize(length);
      return true;
    }
    // A chain of records, each starting with the pointer to the next. A chain longer than the
    // file has pages is a loop.
    stored->clear();
    std::string record;
    for (uint64_t hops = 0; stored->size() < length; ++hops) {
      if (pointer == 0 || hops >= db_.page_count || !ReadRecord(pointer, &record) || record.size() < 4) return false;
      pointer = common::ReadLe32(reinterpret_cast<const unsigned char*>(record.data()));
      stored->append(record, 4);
    }
    stored->resize(length);
    return true;
  }

  const MdbDatabase& db_;
  MdbHandle* mdb_;
};

struct TableDefDeleter {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};


struct MdbHandleCloser {
  void operator()(MdbHandle* mdb) const { mdb_close(mdb); }
};
using MdbHandlePtr = std::unique_ptr<MdbHandle, MdbHandleCloser>;

// Opens `database` read-only with its catalog of tables read, or returns null.
MdbHandlePtr OpenMdbHandle(const MdbDatabase& database) {
  // The reader is a process of its own with one thread: setting its environment is safe.
  if (!database.jet4) ::setenv(kJet3CharsetVariable, kJet3Charset, 0);
  MdbHandlePtr handle(mdb_open(database.path.c_str(), MDB_NOFLAGS));
  if (handle && mdb_read_catalog(handle.get(), MDB_TABLE) == nullptr) handle.reset();
  return handle;
}

// The catalog must list itself, and every table's definition and data pages must lie inside the
// file: a copy cut short fails here rather than later with rows missing.
bool CatalogIsWhole(const MdbDatabase& database) {
  MdbHandlePtr handle = OpenMdbHandle(database);
  if (!handle) return false;
  MdbHandle* mdb = handle.get();
  bool has_catalog_table = false;
  for (guint i = 0; i < mdb->catalog->len; ++i) {
    auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (entry->object_type != MDB_TABLE) continue;
    if (std::strcmp(entry->object_name, kCatalogTableName) == 0) has_catalog_table = true;
    if (entry->table_pg == 0 || entry->table_pg >= database.page_count) return false;
    MdbTableDef* table = mdb_read_table(entry);
    if (table == nullptr) return false;
    bool whole = table->usage_map != nullptr && table->map_sz >= 1 &&
                 (table->usage_map[0] == kInlineUsageMap ? table->map_sz >= kInlineUsageMapHeader
                                                        : table->usage_map[0] == kReferenceUsageMap);
    gint32 page = 0;
    for (uint64_t steps = 0; whole; ++steps) {
      page = mdb_map_find_next(mdb, table->usage_map, static_cast<unsigned int>(table->map_sz), static_cast<guint32>(page));
      if (page <= 0) break;
      whole = static_cast<uint64_t>(page) < database.page_count && steps < database.page_count;
    }
    mdb_free_tabledef(table);
    if (!whole || page < 0) return false;
  }
  return has_catalog_table;
}

// The table of that name (ignoring ASCII case) in the catalog, or null.
MdbCatalogEntry* FindTable(MdbHandle* mdb, std::string_view name) {
  for (guint i = 0; mdb->catalog != nullptr && i < mdb->catalog->len; ++i) {
    auto* candidate = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (candidate->object_type == MDB_TABLE && EqualIgnoringAsciiCase(candidate->object_name, name)) {
      return candidate;
    }
  }
  return nullptr;
}

// How many data pages the table's usage map lists (at most the file's page count).
uint64_t CountDataPages(const MdbDatabase& database, MdbHandle* mdb, const MdbTableDef& table) {
  uint64_t data_pages = 0;
  for (gint32 page = 0; data_pages < database.page_count;) {
    page = mdb_map_find_next(mdb, table.usage_map, static_cast<unsigned int>(table.map_sz), static_cast<guint32>(page));
    if (page <= 0) break;
    ++data_pages;
  }
  return data_pages;
}

// One table read whole and sorted: every value's text one after another, the cells that point
// into it, and the delivery order.
class TableRows {
 public:
  // Why a table could not be delivered; each has the provider's message.
  enum class Failure { kNone, kDamaged, kTableMissing, kNoSortColumn };

  explicit TableRows(std::string table) : table_(std::move(table)) {}

  // Reads and sorts the rows. Returns kNone when they are ready to write.
  Failure Read(const MdbDatabase& database);
  // The provider's message for `failure` (not kNone).
  std::string Message(Failure failure, const MdbDatabase& database) const;
  // The stream's field and value records and its end, in delivery order.
  void Write(RowStreamOutput& output) const;

 private:
  struct Cell {
    uint32_t offset = 0;  // into text_
    uint32_t length = 0;
  };
  // A stored row's sort key: whether num is NULL, and its number (numeric columns; a text
  // column sorts by the cell's text).
  struct Key {
    bool null = false;
    double number = 0;
  };

  // The phases of Read, in order, on the table's definition.
  Failure ReadColumns(MdbTableDef& table);
  void ReserveRoom(const MdbDatabase& database, MdbHandle* mdb, const MdbTableDef& table);
  Failure ReadStoredRows(const MdbDatabase& database, MdbHandle* mdb, MdbTableDef& table);
  void SortRows();

  int FieldIndex(std::string_view name) const {
    for (size_t i = 0; i < field_names_.size(); ++i) {
      if (EqualIgnoringAsciiCase(field_names_[i], name)) return static_cast<int>(i);
    }
    return -1;
  }

  std::string table_;
  std::vector<std::string> field_names_;  // column names in table order
  std::vector<const MdbColumn*> columns_; // their definitions, while reading
  int sort_field_ = -1;                   // the num column
  bool numeric_sort_ = false;             // num sorts by number, not by text
  std::vector<Key> keys_;                 // per stored row, while reading
  std::string text_;                      // every value's text, one after another
  std::vector<Cell> cells_;               // row-major, in the order the rows were stored
  std::vector<uint32_t> order_;           // stored row index of each delivered row
};

// A record's head: kind and payload length, appended to *out.
void AppendRecordHead(char kind, size_t length, std::string* out) {
  const auto n = static_cast<uint32_t>(length);
  const char head[kRecordHeadSize] = {kind, static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                                      static_cast<char>((n >> 16) & 0xFF), static_cast<char>(n >> 24)};
  out->append(head, sizeof head);
}

void AppendNumber(uint64_t number, std::string* out) {
  for (int i = 0; i < 8; ++i) out->push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
}

void WriteRecord(RowStreamOutput& output, char kind, std::string_view payload) {
  std::string head;
  AppendRecordHead(kind, payload.size(), &head);
  output.Write(head);
  output.Write(payload);
}

void WriteEnd(RowStreamOutput& output, uint64_t rows) {
  std::string count;
  AppendNumber(rows, &count);
  WriteRecord(output, kRecordEnd, count);
}

void TableRows::Write(RowStreamOutput& output) const {
  const size_t columns = field_names_.size();
  // The whole stream's size first, so that Kavel makes room for it once.
  uint64_t total = kRowStreamSignature.size() + kRecordHeadSize + kRecordSizePayload + order_.size() * columns * kRecordHeadSize +
                   text_.size() + kRecordHeadSize + 8;
  for (const std::string& name : field_names_) total += kRecordHeadSize + name.size();
  std::string size;
  AppendNumber(total, &size);
  AppendNumber(order_.size(), &size);
  WriteRecord(output, kRecordSize, size);
  for (const std::string& name : field_names_) WriteRecord(output, kRecordField, name);
  std::string batch;  // a row's records at a time, so that the output sees few, larger writes
  for (const uint32_t row : order_) {
    batch.clear();
    for (size_t field = 0; field < columns; ++field) {
      const Cell& cell = cells_[static_cast<size_t>(row) * columns + field];
      AppendRecordHead(kRecordValue, cell.length, &batch);
      batch.append(text_, cell.offset, cell.length);
    }
    output.Write(batch);
  }
  WriteEnd(output, order_.size());
}

TableRows::Failure TableRows::Read(const MdbDatabase& database) {
  MdbHandlePtr handle = OpenMdbHandle(database);
  if (!handle) return Failure::kDamaged;
  MdbHandle* mdb = handle.get();
  MdbCatalogEntry* entry = FindTable(mdb, table_);
  if (entry == nullptr) return Failure::kTableMissing;
  if (entry->table_pg == 0 || entry->table_pg >= database.page_count) return Failure::kDamaged;
  std::unique_ptr<MdbTableDef, TableDefDeleter> table(mdb_read_table(entry));
  if (!table) return Failure::kDamaged;
  if (const Failure failure = ReadColumns(*table); failure != Failure::kNone) return failure;
  ReserveRoom(database, mdb, *table);
  if (const Failure failure = ReadStoredRows(database, mdb, *table); failure != Failure::kNone) {
    return failure;
  }
  SortRows();
  return Failure::kNone;
}

std::string TableRows::Message(Failure failure, const MdbDatabase& database) const {
  switch (failure) {
    case Failure::kTableMissing:
      return common::FillIn(kMessageTableMissing, {table_});
    case Failure::kNoSortColumn:
      return kMessageMissingParameter;
    case Failure::kNone:
    case Failure::kDamaged:
      break;
  }
  return common::FillIn(kMessageDamaged, {database.path});
}

TableRows::Failure TableRows::ReadColumns(MdbTableDef& table) {
  if (mdb_read_columns(&table) == nullptr || table.num_cols == 0 ||
      table.columns->len != table.num_cols) {
    return Failure::kDamaged;
  }
  for (size_t i = 0; i < table.num_cols; ++i) {
    const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table.columns, i));
    columns_.push_back(column);
    field_names_.emplace_back(column->name);
  }
  sort_field_ = FieldIndex(kSortColumn);
  if (sort_field_ < 0) return Failure::kNoSortColumn;
  numeric_sort_ = IsNumericType(columns_[static_cast<size_t>(sort_field_)]->col_type);
  return Failure::kNone;
}

// Room for the rows at once. The texts: the table's data pages bound its stored bytes, and UTF-8
// takes at most half as much again as UTF-16. Untouched room costs no memory.
void TableRows::ReserveRoom(const MdbDatabase& database, MdbHandle* mdb, const MdbTableDef& table) {
  const uint64_t row_limit = database.page_count * kMaxRowsPerPage;
  const size_t rows = static_cast<size_t>(std::min<uint64_t>(table.num_rows, row_limit));
  cells_.reserve(rows * columns_.size());
  const uint64_t data_pages = CountDataPages(database, mdb, table);
  text_.reserve(static_cast<size_t>(std::min<uint64_t>(data_pages * database.page_size * 3 / 2, kLargestTextReserve)));
  keys_.reserve(rows);
}

TableRows::Failure TableRows::ReadStoredRows(const MdbDatabase& database, MdbHandle* mdb, MdbTableDef& table) {
  const size_t columns = columns_.size();
  const uint64_t row_limit = database.page_count * kMaxRowsPerPage;
  const bool bool_sort = columns_[static_cast<size_t>(sort_field_)]->col_type == MDB_BOOL;
  TableReader reader(database, mdb);
  std::vector<MdbField> fields(columns);
  std::string text;
  mdb_rewind_table(&table);
  while (mdb_fetch_row(&table)) {
    if (keys_.size() >= row_limit || table.cur_row == 0) return Failure::kDamaged;
    int start = 0;
    size_t size = 0;
    if (mdb_find_row(mdb, static_cast<int>(table.cur_row - 1), &start, &size) != 0) return Failure::kDamaged;
    start &= static_cast<int>(kRowOffsetMask);
    if (size == 0 || static_cast<size_t>(start) + size > database.page_size) return Failure::kDamaged;
    if (mdb_crack_row(&table, start, size, fields.data()) != static_cast<int>(columns)) return Failure::kDamaged;
    const size_t row_start = cells_.size();
    cells_.resize(row_start + columns);
    Key key;
    for (const MdbField& field : fields) {
      if (field.colnum < 0 || static_cast<size_t>(field.colnum) >= columns) return Failure::kDamaged;
      double number = 0;
      if (!reader.Convert(*columns_[static_cast<size_t>(field.colnum)], field, &text, &number)) return Failure::kDamaged;
      if (text_.size() + text.size() > std::numeric_limits<uint32_t>::max()) return Failure::kDamaged;
      cells_[row_start + static_cast<size_t>(field.colnum)] =
          Cell{static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(text.size())};
      text_ += text;
      if (field.colnum == sort_field_) key = Key{field.is_null != 0 && !bool_sort, number};
    }
    keys_.push_back(key);
  }
  // Rows that libmdb skipped because it could not read them show as a shortfall.
  if (keys_.size() < table.num_rows) return Failure::kDamaged;
  return Failure::kNone;
}

void TableRows::SortRows() {
  order_.resize(keys_.size());
  for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<uint32_t>(i);
  const size_t stride = columns_.size();
  const size_t sort_field = static_cast<size_t>(sort_field_);
  std::stable_sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) {
    if (keys_[a].null != keys_[b].null) return keys_[a].null;
    if (keys_[a].null) return false;
    if (numeric_sort_) return keys_[a].number < keys_[b].number;
    const Cell& ca = cells_[a * stride + sort_field];
    const Cell& cb = cells_[b * stride + sort_field];
    return CompareIgnoringAsciiCase(std::string_view(text_).substr(ca.offset, ca.length),
                                    std::string_view(text_).substr(cb.offset, cb.length)) < 0;
  });
  keys_ = {};
}

}  // namespace

bool RunMdbReader(const std::vector<std::string>& args, RowStreamOutput& output) {
  const bool check = args.size() == 2 && args[0] == kMdbReaderCheck;
  const bool rows = args.size() == 3 && args[0] == kMdbReaderRows;
  if (!check && !rows) return false;
  MdbDatabase database;
  if (!LooksLikeJetFile(args[1], &database)) return false;
  database.path = args[1];
  output.Write(kRowStreamSignature);
  if (check) {
    if (!CatalogIsWhole(database)) return false;
    WriteEnd(output, 0);
    return true;
  }
  TableRows table(args[2]);
  if (const TableRows::Failure failure = table.Read(database); failure == TableRows::Failure::kNone) {
    table.Write(output);
  } else {
    WriteRecord(output, kRecordError, table.Message(failure, database));
  }
  return true;
}

}  // namespace kavel
