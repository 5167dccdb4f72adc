// A row source on one table of the check-results database: "select * from <table> order by
// num". Opening it starts the database reader (kavel/mdb_reader.h) on the table, or takes over
// the one the connection started for it, and reads the reader's row stream as the engine asks
// for rows: the reader has already sorted the rows and turned every value into the text the
// reports print; the source keeps only the current row and what has come after it in the pipe.
#ifndef KAVEL_MDB_TABLE_SOURCE_H_
#define KAVEL_MDB_TABLE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kavel/mdb_isolated_call.h"
#include "reportengine/model/row_source.h"

namespace kavel {

class MdbConnection;

class MdbTableSource : public re::RowSource {
 public:
  // The source reads `table` through `connection`, which must outlive it.
  MdbTableSource(const MdbConnection& connection, std::string table);
  ~MdbTableSource() override;
  MdbTableSource(const MdbTableSource&) = delete;
  MdbTableSource& operator=(const MdbTableSource&) = delete;

  // Gets the field names, the rows ready to follow. Returns false with the provider's message in
  // *error when the connection is closed, the table or its num column does not exist, or its
  // pages cannot be read (the reader failed, crashed or stalled). A second call on an open
  // source does nothing and returns true.
  bool Open(std::string* error) override;
  bool IsOpen() const override { return open_; }
  // Forgets the rows and stops a reader still running; the next Open reads again.
  void Close();

  // First starts the reader again when rows have been read since Open. The provider's message
  // when the rows break off: the reader's own (damaged pages), or for a reader that crashed,
  // stalled or wrote nonsense, that of a damaged file.
  bool First(std::string* error) override;
  bool Next(std::string* error) override;
  int FieldIndex(std::string_view name) const override;
  std::string_view Value(int field) const override;

  const std::string& table() const { return table_; }

  // For the connection: a reader it started on this table, whose stream has been read up to
  // the check record (`rest` is what came after it). The next Open takes it over instead of
  // starting one.
  void TakeReader(std::unique_ptr<IsolatedProgram> reader, std::string rest);

 private:
  enum class StreamResult { kDone, kEnd, kProviderError, kBroken };

  // Starts the reader unless one was handed over, and reads the field names into *fields.
  StreamResult StartStream(std::vector<std::string>* fields, std::string* error);
  // Reads the next row into values_: kDone, or kEnd after a whole stream.
  StreamResult ReadRow(std::string* error);
  // Makes at least `count` bytes from begin_ on available; false at the stream's end or when the
  // reader failed (*broken set then too).
  bool Have(size_t count, bool* broken);
  // Makes the whole record whose head lies `at` bytes after begin_ available and gives its kind
  // and payload length; false when the stream breaks off before its end or the length is not
  // believable.
  bool RecordAt(size_t at, char* kind, size_t* length);
  // Drops the reader and what was read of its stream (the buffer's room is kept).
  void ForgetStream();
  // Sets *error for `result` and stops reading: no row is current any more.
  bool Fail(StreamResult result, std::string* error);

  const MdbConnection& connection_;
  std::string table_;
  bool open_ = false;
  std::string path_;                      // the database, for the damaged-file message
  int timeout_seconds_ = 0;               // the reader's time
  std::vector<std::string> field_names_;  // column names in table order
  std::unique_ptr<IsolatedProgram> reader_;
  bool handed_over_ = false;              // reader_ came from the connection, checked
  // The stream as read: bytes [begin_, end_) of buffer_ are not taken yet; the current row's
  // values lie just before begin_ until the source moves on.
  std::vector<char> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  std::vector<std::string_view> values_;  // the current row, or empty
  std::vector<std::string> kept_;         // its values, when the buffer had to move under them
  bool values_kept_ = false;              // values_ point into kept_
  std::vector<std::pair<size_t, size_t>> cells_;  // the row coming in: its values' places
  uint64_t rows_read_ = 0;                // since the stream started
  bool at_end_ = false;                   // the end record was read
};

}  // namespace kavel

#endif  // KAVEL_MDB_TABLE_SOURCE_H_
