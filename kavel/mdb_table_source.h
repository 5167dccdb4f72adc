// A row source on one table of the check-results database: "select * from <table> order by
// num". Opening it reads every row through libmdb (in a child process, see
// kavel/mdb_isolated_call.h) into memory, each value already as the text the
// reports print (kavel/mdb_value_text.h; NULLs as "" for text, "0" for numbers and dates, "False"
// for Yes/No), and sorts the rows by num: stable, numerically when num is a numeric column, as
// text otherwise, NULLs first.
#ifndef KAVEL_MDB_TABLE_SOURCE_H_
#define KAVEL_MDB_TABLE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reportengine/model/row_source.h"

namespace kavel {

class IsolatedOutput;
class MdbConnection;
struct MdbDatabase;

class MdbTableSource : public re::RowSource {
 public:
  // The source reads `table` through `connection`, which must outlive it.
  MdbTableSource(const MdbConnection& connection, std::string table);
  MdbTableSource(const MdbTableSource&) = delete;
  MdbTableSource& operator=(const MdbTableSource&) = delete;

  // Reads and sorts the rows. Returns false with the provider's message in *error when the
  // connection is closed, the table or its num column does not exist, or its pages cannot be
  // read. A second call on an open source does nothing and returns true.
  bool Open(std::string* error) override;
  bool IsOpen() const override { return open_; }
  // Forgets the rows; the next Open reads again.
  void Close();

  size_t RowCount() const override { return order_.size(); }
  int FieldIndex(std::string_view name) const override;
  std::string_view Value(size_t row, int field) const override;

  const std::string& table() const { return table_; }

 private:
  struct Cell {
    uint32_t offset = 0;  // into text_
    uint32_t length = 0;
  };

  // Runs in the child: reads and sorts the rows of table_ into the members below, or sets the
  // provider's message.
  bool ReadRows(const MdbDatabase& database, std::string* error);
  void Send(IsolatedOutput& output) const;
  // Takes the child's rows; false when the message is not whole.
  bool Receive(std::string message);

  const MdbConnection& connection_;
  std::string table_;
  bool open_ = false;
  std::vector<std::string> field_names_;  // column names in table order
  std::string text_;                      // every value's text, one after another, from text_base_
  size_t text_base_ = 0;
  std::vector<Cell> cells_;               // row-major, in the order the rows were stored
  std::vector<uint32_t> order_;           // stored row index of each delivered row
};

}  // namespace kavel

#endif  // KAVEL_MDB_TABLE_SOURCE_H_
