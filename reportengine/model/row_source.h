// What the report engine reads rows from. The engine knows nothing about databases: a row source
// hands it a table of display texts, and tests feed one from memory.
#ifndef REPORTENGINE_MODEL_ROW_SOURCE_H_
#define REPORTENGINE_MODEL_ROW_SOURCE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace re {

class RowSource {
 public:
  virtual ~RowSource() = default;

  // Reads every row, in the order they are to be printed. Called by the engine the first time a
  // template that uses the source is prepared; a second call on an open source does nothing.
  // Returns false, with the provider's message in *error, when the rows cannot be read.
  virtual bool Open(std::string* error) = 0;
  virtual bool IsOpen() const = 0;

  // REQUIRES: Open() succeeded.
  virtual size_t RowCount() const = 0;
  // Index of the field named `name` (ASCII letters without regard to case), or -1.
  virtual int FieldIndex(std::string_view name) const = 0;
  // The field's value in `row` as display text, NULLs already converted ("" for text, "0" for
  // numbers, "False" for logical columns). Valid until the source is destroyed.
  virtual std::string_view Value(size_t row, int field) const = 0;
};

// A row source offered to templates under its user name (the name expressions use, such as
// "DBDataset1"). The binding does not own the source.
struct DatasetBinding {
  std::string user_name;
  RowSource* source = nullptr;
};

}  // namespace re

#endif  // REPORTENGINE_MODEL_ROW_SOURCE_H_
