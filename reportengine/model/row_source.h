// What the report engine reads rows from. The engine knows nothing about databases: a row source
// hands it rows of display texts, one after another, and tests feed one from memory.
#ifndef REPORTENGINE_MODEL_ROW_SOURCE_H_
#define REPORTENGINE_MODEL_ROW_SOURCE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace re {

class RowSource {
 public:
  virtual ~RowSource() = default;

  // Makes the source ready: its fields known, its rows ready to be read in the order they are to
  // be printed. Called by the engine the first time a template that uses the source is prepared;
  // a second call on an open source does nothing. Returns false, with the provider's message in
  // *error, when the rows cannot be read.
  virtual bool Open(std::string* error) = 0;
  virtual bool IsOpen() const = 0;

  // The rows are read forward, one current row at a time, as a preparation prints them; each
  // preparation starts again with First. REQUIRES: Open() succeeded.
  //
  // Goes to the first row. Returns false when there is none: the source is empty, or its rows
  // cannot be read (*error then holds the provider's message; it is left alone otherwise).
  virtual bool First(std::string* error) = 0;
  // Goes to the row after the current one. Returns false at the end (the last row stays
  // current), or when the rows cannot be read further (*error holds the provider's message;
  // no row is current any more and every value reads as "").
  virtual bool Next(std::string* error) = 0;
  // Index of the field named `name` (ASCII letters without regard to case), or -1.
  virtual int FieldIndex(std::string_view name) const = 0;
  // The field's value in the current row as display text, NULLs already converted ("" for
  // text, "0" for numbers, "False" for logical columns). Valid until the source moves on.
  virtual std::string_view Value(int field) const = 0;
};

// A row source offered to templates under its user name (the name expressions use, such as
// "DBDataset1"). The binding does not own the source.
struct DatasetBinding {
  std::string user_name;
  RowSource* source = nullptr;
};

}  // namespace re

#endif  // REPORTENGINE_MODEL_ROW_SOURCE_H_
