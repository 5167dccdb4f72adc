// Check-results databases as the main application leaves them, or damaged: open the file and
// read every row of the three tables, every column a report may print.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/env.h"
#include "kavel/mdb_connection.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

std::vector<std::string> ColumnNames() {
  std::vector<std::string> names = {"num", "NoSuchColumn"};
  for (int i = 1; i <= 12; ++i) names.push_back("Line" + std::to_string(i));
  return names;
}

void ReadAll(kavel::MdbTableSource& source) {
  static const std::vector<std::string> names = ColumnNames();
  std::string error;
  if (!source.Open(&error)) {
    FUZZ_CHECK(!source.IsOpen());
    return;
  }
  std::vector<int> fields;
  for (const std::string& name : names) {
    const int index = source.FieldIndex(name);
    if (index >= 0) fields.push_back(index);
  }
  size_t total = 0;
  for (bool row = source.First(&error); row; row = source.Next(&error)) {
    for (const int field : fields) total += source.Value(field).size();
  }
  (void)total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& scratch = fuzz::Scratch();
  common::SystemEnv env(scratch.path());
  scratch.Write("Data.Rpt", fuzz::Bytes(data, size));
  // OpenMDB logs every call; keep the log from growing over millions of runs.
  scratch.Write("Pdf.log", "");

  kavel::MdbConnection connection(env);
  if (!connection.OpenMDB(scratch.path() + "Data.Rpt")) return 0;
  ReadAll(connection.ADOQuery1());
  ReadAll(connection.ADOQuery3());
  ReadAll(connection.ADOQuery4());
  return 0;
}
