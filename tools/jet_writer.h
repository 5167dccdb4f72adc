// A writer of Jet 4 database files (the Access 2000 ".mdb" format), for the sample databases, the
// tests and the benchmarks. It writes a new, compact file with a system catalog and any number of
// tables; it never opens or changes an existing database.
//
// What the files hold: a database definition page, the global usage map, the catalog table
// MSysObjects, and per table its definition page, a page with its two usage maps (pages owned,
// pages with free space), its data pages and the long-value pages of its memo values. There are
// no indexes, queries, relationships or properties. Text is UCS-2 (compressed where Jet 4 allows
// it), so any Unicode text round-trips.
//
// Usage:
//   jet::DatabaseWriter writer;
//   writer.BeginTable("Rep", {{"num", jet::ColumnType::kLong}, {"Line1", jet::ColumnType::kText, 50}});
//   writer.AddRow({int64_t{1}, std::string("山田")});
//   writer.EndTable();
//   writer.WriteFile("/tmp/Data.Rpt");
// Every call returns a Status. A refused row or table adds nothing (long-value pages already
// written for a refused row stay in the file, unused), so the writer can go on.
#ifndef TOOLS_JET_WRITER_H_
#define TOOLS_JET_WRITER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "common/regional_format.h"

namespace jet {

enum class ColumnType {
  kYesNo,     // Boolean, stored in the row's null mask; NULL is written as No
  kInteger,   // 16-bit signed
  kLong,      // 32-bit signed
  kCurrency,  // 64-bit signed, in ten-thousandths
  kDouble,    // IEEE double
  kDateTime,  // days since 1899-12-30 as a double
  kText,      // up to max_chars UTF-16 code units (1..255)
  kMemo,      // long text; longer values go to long-value pages
  kBinary,    // short binary (as in the catalog); only NULL can be written
  kOle,       // long binary (as in the catalog); only NULL can be written
};

struct Column {
  std::string name;
  ColumnType type = ColumnType::kText;
  int max_chars = 255;  // kText only
};

// A currency amount in ten-thousandths (12.34 is {123400}).
struct Currency {
  int64_t ten_thousandths = 0;
};

// A cell value. monostate is NULL. Integers go to kInteger/kLong/kCurrency (whole units) and
// kDouble; doubles to kDouble/kCurrency; text (UTF-8) to kText/kMemo; bool to kYesNo; a date
// to kDateTime; Currency to kCurrency.
using Value = std::variant<std::monostate, bool, int64_t, double, std::string, common::LocalDateTime, Currency>;

struct Status {
  bool ok = true;
  std::string message;  // set when !ok
  explicit operator bool() const { return ok; }
};

// The serial a Jet date/time column stores for `t` (days since 1899-12-30; before that day the
// fraction counts forward from the day, as Jet does).
double ToJetDate(const common::LocalDateTime& t);

class DatabaseWriter {
 public:
  DatabaseWriter();
  ~DatabaseWriter();
  DatabaseWriter(const DatabaseWriter&) = delete;
  DatabaseWriter& operator=(const DatabaseWriter&) = delete;

  // Starts a table. Fails on an empty, duplicate (without regard to case) or over-long name, on
  // no or duplicate columns, more than 255 columns, or a text length outside 1..255.
  // REQUIRES: no table is open.
  Status BeginTable(const std::string& name, const std::vector<Column>& columns);

  // Appends one row to the open table; `values` has one entry per column. Fails when a value
  // does not fit its column (wrong kind, out of range, text longer than the column, a row larger
  // than a page) or when no table is open.
  Status AddRow(const std::vector<Value>& values);

  // Completes the open table.
  Status EndTable();

  // Completes the catalog and writes the file: to a temporary name in the same folder, then
  // renamed over `path`. Ends an open table first. The writer is spent afterwards.
  Status WriteFile(const std::string& path);

  // The complete file image, as WriteFile would write it (for tests). The writer is spent.
  Status Finish(std::string* image);

 private:
  struct TableState;
  struct CatalogEntry {
    std::string name;
    uint32_t tdef_page = 0;
  };

  uint32_t NewPage();
  uint8_t* Page(uint32_t page);
  Status EncodeRow(const TableState& table, const std::vector<Value>& values, std::string* row);
  std::string EncodeMemo(const std::string& stored_text);
  void AppendRow(TableState* table, const std::string& row);
  Status CloseTable(TableState* table, std::vector<std::string>* map_rows);
  Status BuildUsageMap(const std::vector<uint32_t>& pages, std::string* row);

  std::string file_;                      // the image, one 4096-byte page after another
  std::vector<CatalogEntry> tables_;      // user tables in creation order
  std::unique_ptr<TableState> open_;      // the table being written
  uint32_t lval_page_ = 0;                // the long-value page being filled, 0 for none
  bool spent_ = false;                    // Finish has run
  common::LocalDateTime created_;         // creation time of every object
};

}  // namespace jet

#endif  // TOOLS_JET_WRITER_H_
