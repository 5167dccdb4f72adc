// A row source on one table of the check-results database: "select * from <table> order by
// num". Opening it starts the database reader (kavel/mdb_reader.h) on the table and keeps its
// row stream in memory: the reader has already sorted the rows and turned every value into the
// text the reports print; the source only checks and indexes the stream.
#ifndef KAVEL_MDB_TABLE_SOURCE_H_
#define KAVEL_MDB_TABLE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reportengine/model/row_source.h"

namespace kavel {

class MdbConnection;

class MdbTableSource : public re::RowSource {
 public:
  // The source reads `table` through `connection`, which must outlive it.
  MdbTableSource(const MdbConnection& connection, std::string table);
  MdbTableSource(const MdbTableSource&) = delete;
  MdbTableSource& operator=(const MdbTableSource&) = delete;

  // Reads the rows in num order. Returns false with the provider's message in *error when the
  // connection is closed, the table or its num column does not exist, or its pages cannot be
  // read (the reader failed, crashed or stalled). A second call on an open source does nothing
  // and returns true.
  bool Open(std::string* error) override;
  bool IsOpen() const override { return open_; }
  // Forgets the rows; the next Open reads again.
  void Close();

  size_t RowCount() const override { return row_count_; }
  int FieldIndex(std::string_view name) const override;
  std::string_view Value(size_t row, int field) const override;

  const std::string& table() const { return table_; }

 private:
  enum class StreamResult { kRows, kProviderError, kBroken };
  // Indexes the reader's stream into the members below, or sets *error to the provider's
  // message it carries; kBroken when it is not a whole stream.
  StreamResult Parse(std::string stream, std::string* error);

  const MdbConnection& connection_;
  std::string table_;
  bool open_ = false;
  std::vector<std::string> field_names_;  // column names in table order
  std::string stream_;                    // the reader's output, where the values' texts stay
  // Where each row's first value record starts in stream_, in delivery order; a row's values
  // follow one another in field order, so a field is found by stepping over the ones before it.
  std::vector<uint32_t> row_starts_;
  size_t values_ = 0;                     // value records seen while parsing
  size_t row_count_ = 0;
};

}  // namespace kavel

#endif  // KAVEL_MDB_TABLE_SOURCE_H_
