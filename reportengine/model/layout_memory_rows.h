// A row source held in memory: for tests, benchmarks and previews of sample data.
#ifndef REPORTENGINE_MODEL_LAYOUT_MEMORY_ROWS_H_
#define REPORTENGINE_MODEL_LAYOUT_MEMORY_ROWS_H_

#include <cctype>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "reportengine/model/ascii_case.h"
#include "reportengine/model/row_source.h"

namespace re {

class MemoryRows : public RowSource {
 public:
  MemoryRows(std::vector<std::string> fields, std::vector<std::vector<std::string>> rows)
      : fields_(std::move(fields)), rows_(std::move(rows)) {}

  // Makes Open fail with `message`, as a provider that cannot read its table would.
  void FailOpen(std::string message) { open_error_ = std::move(message); }
  // Makes Next fail with `message` after `rows` rows, as a provider whose reading breaks off.
  void FailAfter(size_t rows, std::string message) {
    fail_after_ = rows;
    fail_error_ = std::move(message);
  }
  void AddRow(std::vector<std::string> row) { rows_.push_back(std::move(row)); }
  int open_calls() const { return open_calls_; }

  bool Open(std::string* error) override {
    if (open_) return true;
    ++open_calls_;
    if (!open_error_.empty()) {
      if (error) *error = open_error_;
      return false;
    }
    open_ = true;
    return true;
  }
  bool IsOpen() const override { return open_; }
  bool First(std::string*) override {
    current_ = 0;
    return !rows_.empty();
  }
  bool Next(std::string* error) override {
    if (current_ + 1 >= fail_after_ && current_ < rows_.size()) {
      if (error) *error = fail_error_;
      current_ = rows_.size();
      return false;
    }
    if (current_ + 1 >= rows_.size()) return false;
    ++current_;
    return true;
  }
  int FieldIndex(std::string_view name) const override {
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (EqualsIgnoringAsciiCase(fields_[i], name)) return static_cast<int>(i);
    }
    return -1;
  }
  std::string_view Value(int field) const override {
    if (current_ >= rows_.size()) return {};
    const std::vector<std::string>& r = rows_[current_];
    const auto index = static_cast<size_t>(field);
    return index < r.size() ? std::string_view(r[index]) : std::string_view();
  }

 private:
  std::vector<std::string> fields_;
  std::vector<std::vector<std::string>> rows_;
  std::string open_error_;  // non-empty: Open fails with it
  bool open_ = false;
  int open_calls_ = 0;
  size_t current_ = 0;  // the current row
  size_t fail_after_ = static_cast<size_t>(-1);
  std::string fail_error_;
};

}  // namespace re

#endif  // REPORTENGINE_MODEL_LAYOUT_MEMORY_ROWS_H_
