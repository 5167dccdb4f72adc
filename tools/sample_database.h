// The sample check-results database: the tables RepChk, Rep and RepChkList as the main
// application fills them, with invented but realistic Japanese content. Used by the demo, the
// end-to-end tests and the benchmarks.
#ifndef TOOLS_SAMPLE_DATABASE_H_
#define TOOLS_SAMPLE_DATABASE_H_

#include <string>

#include "tools/jet_writer.h"

namespace jet {

struct SampleOptions {
  // Rows per table; 0 keeps the natural sizes of the sample (a few pages per list).
  int rows = 0;
  // Write the rows in shuffled `num` order, as a reader must sort them anyway.
  bool shuffled = false;
};

// Adds RepChk, Rep and RepChkList to `writer` (`num` Long, Line1... Text, RepChkList's LINE7 and
// LINE8 in upper case as the main application names them).
Status AddSampleTables(DatabaseWriter* writer, const SampleOptions& options);

// Writes a complete sample database to `path` (replacing it).
Status WriteSampleDatabase(const std::string& path, const SampleOptions& options);

}  // namespace jet

#endif  // TOOLS_SAMPLE_DATABASE_H_
