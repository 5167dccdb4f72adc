#include "kavel/mdb_reader.h"

#include <mdbtools.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
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
// file: a copy cut short fails here rather than later with rows missing. The data pages of
// `keep` (may be null) go to *pages in usage-map order, so that its rows are walked without
// asking the map again (libmdb reads a map page for every data page it names).
bool CatalogIsWhole(const MdbDatabase& database, MdbHandle* mdb, const MdbCatalogEntry* keep,
                    std::vector<uint32_t>* pages) {
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
      if (entry == keep) pages->push_back(static_cast<uint32_t>(page));
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

// A record's head: kind and payload length, appended to *out.
void AppendRecordHead(char kind, size_t length, std::string* out) {
  out->push_back(kind);
  common::AppendLittleEndian(out, static_cast<uint32_t>(length), kRecordHeadSize - 1);
}

void WriteRecord(RowStreamOutput& output, char kind, std::string_view payload) {
  std::string head;
  AppendRecordHead(kind, payload.size(), &head);
  output.Write(head);
  output.Write(payload);
}

void WriteEnd(RowStreamOutput& output, uint64_t rows) {
  std::string count;
  common::AppendLittleEndian(&count, rows, sizeof rows);
  WriteRecord(output, kRecordEnd, count);
}

// One table delivered in num order, a row at a time: the reader's memory does not grow with the
// table, except for the key table of rows that are not stored in num order.
class TableStream {
 public:
  // Why a table could not be delivered; each has the provider's message.
  enum class Failure { kNone, kDamaged, kTableMissing, kNoSortColumn, kStop };

  // `data_pages`: the table's data pages in usage-map order, as the catalog check found them.
  TableStream(const MdbDatabase& database, MdbHandle* mdb, std::string table, std::vector<uint32_t> data_pages)
      : db_(database), mdb_(mdb), name_(std::move(table)), reader_(database, mdb), data_pages_(std::move(data_pages)) {}

  // Finds the table and its columns. Returns kNone when the rows can be written.
  Failure Open();
  // The provider's message for `failure` (not kNone).
  std::string Message(Failure failure) const;
  // The field name records and the record that ends them.
  void WriteFields(RowStreamOutput& output) const;
  // Every row's value records in delivery order and the end record. A failure on the way (a
  // page that cannot be read) returns its kind after the rows written so far.
  Failure WriteRows(RowStreamOutput& output);

 private:
  // A stored row's place and sort key, for rows that must be fetched out of stored order.
  struct SortEntry {
    uint64_t key = 0;  // the number's bits, or where its text lies in key_texts_ (offset, length)
    uint32_t page = 0;
    uint16_t row = 0;  // on its page
    bool null = false;
  };
  // A stored row's num, as sorting sees it.
  struct Key {
    bool null = false;
    double number = 0;
    std::string_view text;  // a text column's value (valid while the row is current)
  };

  // Reads `page` into libmdb's page buffer, as mdb_read_pg does, in one system call (libmdb
  // takes three; rows fetched out of stored order read a page for nearly every row).
  // The file libmdb opened is read (pread leaves its position alone).
  bool LoadPage(uint32_t page) {
    const off_t offset = static_cast<off_t>(page) * db_.page_size;
    if (mdb_->f == nullptr || mdb_->f->stream == nullptr ||
        ::pread(::fileno(mdb_->f->stream), mdb_->pg_buf, db_.page_size, offset) != static_cast<ssize_t>(db_.page_size)) {
      return false;
    }
    mdb_->cur_pg = page;  // what libmdb's own reads take for the page in the buffer
    return true;
  }
  // Walks the stored rows in stored order, as libmdb's own scan does (data pages in usage-map
  // order, rows of each page in order, deleted and unreadable rows left out), calling
  // visit(page, row, fields) with each row cracked into fields_ and its page in libmdb's page
  // buffer; visit returns a failure to stop the walk. Returns the first failure, or kNone.
  template <typename Visit>
  Failure Walk(Visit visit);
  // The num key of the row cracked into fields_; false when its bytes do not fit.
  bool ReadKey(Key* key);
  // a comes before b in delivery order.
  bool Before(const Key& a, const Key& b) const {
    if (a.null != b.null) return a.null;
    if (a.null) return false;
    if (numeric_sort_) return a.number < b.number;
    return CompareIgnoringAsciiCase(a.text, b.text) < 0;
  }
  // Pass 1: counts the rows and finds whether they are stored in delivery order already; when
  // `entries` is set, fills it (and key_texts_) with every row's key and place.
  Failure ScanKeys(bool* in_order, uint64_t* rows, std::vector<SortEntry>* entries);
  // One row's value records, from the row cracked into fields_.
  Failure WriteRow(RowStreamOutput& output);

  const MdbDatabase& db_;
  MdbHandle* mdb_;
  std::string name_;
  TableReader reader_;
  std::vector<uint32_t> data_pages_;
  std::unique_ptr<MdbTableDef, TableDefDeleter> table_;
  std::vector<std::string> field_names_;   // column names in table order
  std::vector<const MdbColumn*> columns_;  // their definitions
  std::vector<MdbField> fields_;           // the current row, cracked
  int sort_field_ = -1;                    // the num column
  bool numeric_sort_ = false;              // num sorts by number, not by text
  bool bool_sort_ = false;                 // num is a Yes/No column: never NULL
  std::string key_text_;                   // a text key's value
  std::string key_texts_;                  // every text key, for sorting out of stored order
  bool sort_by_place_ = true;              // places ascend in stored order, no NaN key
  std::string text_;                       // a value's text
  std::string batch_;                      // a row's records
};

TableStream::Failure TableStream::Open() {
  MdbCatalogEntry* entry = FindTable(mdb_, name_);
  if (entry == nullptr) return Failure::kTableMissing;
  if (entry->table_pg == 0 || entry->table_pg >= db_.page_count) return Failure::kDamaged;
  table_.reset(mdb_read_table(entry));
  if (!table_) return Failure::kDamaged;
  MdbTableDef& table = *table_;
  if (mdb_read_columns(&table) == nullptr || table.num_cols == 0 || table.columns->len != table.num_cols) {
    return Failure::kDamaged;
  }
  for (size_t i = 0; i < table.num_cols; ++i) {
    const auto* column = static_cast<const MdbColumn*>(g_ptr_array_index(table.columns, i));
    columns_.push_back(column);
    field_names_.emplace_back(column->name);
  }
  for (size_t i = 0; i < field_names_.size() && sort_field_ < 0; ++i) {
    if (EqualIgnoringAsciiCase(field_names_[i], kSortColumn)) sort_field_ = static_cast<int>(i);
  }
  if (sort_field_ < 0) return Failure::kNoSortColumn;
  const int sort_type = columns_[static_cast<size_t>(sort_field_)]->col_type;
  numeric_sort_ = IsNumericType(sort_type);
  bool_sort_ = sort_type == MDB_BOOL;
  fields_.resize(columns_.size());
  return Failure::kNone;
}

std::string TableStream::Message(Failure failure) const {
  switch (failure) {
    case Failure::kTableMissing:
      return common::FillIn(kMessageTableMissing, {name_});
    case Failure::kNoSortColumn:
      return kMessageMissingParameter;
    case Failure::kNone:
    case Failure::kDamaged:
    case Failure::kStop:
      break;
  }
  return common::FillIn(kMessageDamaged, {db_.path});
}

void TableStream::WriteFields(RowStreamOutput& output) const {
  for (const std::string& name : field_names_) WriteRecord(output, kRecordField, name);
  WriteRecord(output, kRecordRowsFollow, {});
}

template <typename Visit>
TableStream::Failure TableStream::Walk(Visit visit) {
  MdbTableDef& table = *table_;
  const uint32_t row_count_offset = mdb_->fmt->row_count_offset;
  const int columns = static_cast<int>(columns_.size());
  // The data pages as the catalog check found them in the usage map.
  for (const uint32_t page : data_pages_) {
    // A page libmdb cannot read ends its scan; the row count check then finds the rows missing.
    if (!LoadPage(page)) return Failure::kNone;
    const unsigned char* buffer = mdb_->pg_buf;
    // A page the map names wrongly is passed over, as libmdb's scan does.
    if (buffer[0] != MDB_PAGE_DATA || common::ReadLe32(buffer + 4) != table.entry->table_pg) continue;
    const uint32_t rows = common::ReadLe16(buffer + row_count_offset);
    for (uint32_t row = 0; row < rows; ++row) {
      int start = 0;
      size_t size = 0;
      if (mdb_find_row(mdb_, static_cast<int>(row), &start, &size) != 0 || size == 0) continue;
      if (start & 0x4000) continue;  // deleted
      start &= static_cast<int>(kRowOffsetMask);
      if (static_cast<size_t>(start) + size > db_.page_size) return Failure::kDamaged;
      const int cracked = mdb_crack_row(&table, start, size, fields_.data());
      if (cracked < 0) continue;  // libmdb's scan passes over a row it cannot crack
      if (cracked != columns) return Failure::kDamaged;
      if (const Failure failure = visit(page, row); failure != Failure::kNone) return failure;
    }
  }
  return Failure::kNone;
}

bool TableStream::ReadKey(Key* key) {
  const auto field = static_cast<size_t>(sort_field_);
  double number = 0;
  if (!reader_.Convert(*columns_[field], fields_[field], &key_text_, &number)) return false;
  key->null = fields_[field].is_null != 0 && !bool_sort_;
  key->number = number;
  key->text = key_text_;
  return true;
}

TableStream::Failure TableStream::ScanKeys(bool* in_order, uint64_t* rows, std::vector<SortEntry>* entries) {
  const uint64_t row_limit = db_.page_count * kMaxRowsPerPage;
  *in_order = true;
  *rows = 0;
  Key previous;
  std::string previous_text;
  const Failure failure = Walk([&](uint32_t page, uint32_t row) {
    Key key;
    if (*rows >= row_limit || !ReadKey(&key)) return Failure::kDamaged;
    if (entries != nullptr) {
      SortEntry entry;
      entry.page = page;
      entry.row = static_cast<uint16_t>(row);
      entry.null = key.null;
      if (numeric_sort_) {
        entry.key = std::bit_cast<uint64_t>(key.number);
      } else {
        if (key_texts_.size() + key.text.size() > std::numeric_limits<uint32_t>::max()) return Failure::kDamaged;
        entry.key = (uint64_t{key_texts_.size()} << 32) | key.text.size();
        key_texts_ += key.text;
      }
      if ((numeric_sort_ && std::isnan(key.number)) || (!entries->empty() && (entries->back().page > page ||
                                (entries->back().page == page && entries->back().row >= entry.row)))) {
        sort_by_place_ = false;
      }
      entries->push_back(entry);
    } else {
      // The first row out of order ends this walk: the rows are then walked again for the
      // key table.
      // A NaN orders nothing: such rows go the way of rows out of order, sorted stably.
      if ((*rows > 0 && Before(key, previous)) || (numeric_sort_ && std::isnan(key.number))) {
        *in_order = false;
        return Failure::kStop;
      }
      previous_text.assign(key.text);
      previous = key;
      previous.text = previous_text;
    }
    ++*rows;
    return Failure::kNone;
  });
  if (failure == Failure::kStop) return Failure::kNone;
  if (failure != Failure::kNone) return failure;
  // Rows that libmdb's scan passes over because it cannot read them show as a shortfall.
  if (*rows < table_->num_rows) return Failure::kDamaged;
  return Failure::kNone;
}

TableStream::Failure TableStream::WriteRow(RowStreamOutput& output) {
  batch_.clear();
  for (size_t i = 0; i < fields_.size(); ++i) {
    const MdbField& field = fields_[i];
    double number = 0;
    if (field.colnum != static_cast<int>(i) || !reader_.Convert(*columns_[i], field, &text_, &number) ||
        text_.size() > std::numeric_limits<uint32_t>::max()) {
      return Failure::kDamaged;
    }
    AppendRecordHead(kRecordValue, text_.size(), &batch_);
    batch_ += text_;
  }
  output.Write(batch_);
  return Failure::kNone;
}

TableStream::Failure TableStream::WriteRows(RowStreamOutput& output) {
  bool in_order = true;
  uint64_t rows = 0;
  if (const Failure failure = ScanKeys(&in_order, &rows, nullptr); failure != Failure::kNone) return failure;
  uint64_t written = 0;
  if (in_order) {
    // Pass 2 in stored order. The walk meets the same rows as the first unless the file changed.
    const Failure failure = Walk([&](uint32_t, uint32_t) {
      if (written++ >= rows) return Failure::kDamaged;
      return WriteRow(output);
    });
    if (failure != Failure::kNone) return failure;
  } else {
    // Only the keys and places are kept; the rows are fetched in delivery order, each page read
    // again only when the next row lies on another.
    std::vector<SortEntry> entries;
    entries.reserve(static_cast<size_t>(std::min<uint64_t>(table_->num_rows, db_.page_count * kMaxRowsPerPage)));
    if (const Failure failure = ScanKeys(&in_order, &rows, &entries); failure != Failure::kNone) return failure;
    auto text = [this](const SortEntry& entry) {
      return std::string_view(key_texts_).substr(static_cast<size_t>(entry.key >> 32), entry.key & 0xFFFFFFFFu);
    };
    auto before = [&](const SortEntry& a, const SortEntry& b) {
      if (a.null != b.null) return a.null;
      if (a.null) return false;
      if (numeric_sort_) return std::bit_cast<double>(a.key) < std::bit_cast<double>(b.key);
      return CompareIgnoringAsciiCase(text(a), text(b)) < 0;
    };
    if (sort_by_place_) {
      // Stored order is the order of the places, as it always is: equal keys ordered by place
      // keep it without the stable sort's second table. (Not with a NaN key, which orders
      // nothing: a sort may run past its ends on it.)
      std::sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
        if (before(a, b)) return true;
        if (before(b, a)) return false;
        return a.page != b.page ? a.page < b.page : a.row < b.row;
      });
    } else {
      std::stable_sort(entries.begin(), entries.end(), before);
    }
    key_texts_ = {};
    const uint32_t row_count_offset = mdb_->fmt->row_count_offset;
    uint32_t loaded = 0;  // page 0 is never a data page
    for (const SortEntry& entry : entries) {
      if (entry.page != loaded) {
        if (!LoadPage(entry.page)) return Failure::kDamaged;
        const unsigned char* buffer = mdb_->pg_buf;
        if (buffer[0] != MDB_PAGE_DATA || common::ReadLe32(buffer + 4) != table_->entry->table_pg ||
            entry.row >= common::ReadLe16(buffer + row_count_offset)) {
          return Failure::kDamaged;
        }
        loaded = entry.page;
      }
      int start = 0;
      size_t size = 0;
      if (mdb_find_row(mdb_, entry.row, &start, &size) != 0 || size == 0 || (start & 0x4000)) return Failure::kDamaged;
      start &= static_cast<int>(kRowOffsetMask);
      if (static_cast<size_t>(start) + size > db_.page_size ||
          mdb_crack_row(table_.get(), start, size, fields_.data()) != static_cast<int>(fields_.size())) {
        return Failure::kDamaged;
      }
      if (const Failure failure = WriteRow(output); failure != Failure::kNone) return failure;
    }
    written = entries.size();
  }
  if (written != rows) return Failure::kDamaged;
  WriteEnd(output, written);
  return Failure::kNone;
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
  MdbHandlePtr handle = OpenMdbHandle(database);
  if (!handle) return false;
  const MdbCatalogEntry* table_entry = rows ? FindTable(handle.get(), args[2]) : nullptr;
  std::vector<uint32_t> data_pages;
  if (!CatalogIsWhole(database, handle.get(), table_entry, &data_pages)) return false;
  WriteRecord(output, kRecordChecked, {});
  if (check) {
    WriteEnd(output, 0);
    return true;
  }
  // The caller goes on as soon as it knows the database is good, and has the field names while
  // the first pass over the rows runs.
  output.Flush();
  TableStream table(database, handle.get(), args[2], std::move(data_pages));
  TableStream::Failure failure = table.Open();
  if (failure == TableStream::Failure::kNone) {
    table.WriteFields(output);
    output.Flush();
    failure = table.WriteRows(output);
  }
  if (failure != TableStream::Failure::kNone) WriteRecord(output, kRecordError, table.Message(failure));
  return true;
}

}  // namespace kavel
