// Linked before kavel_db into mdb_in_process_fuzzer: runs the database work in the fuzzing
// process itself instead of a child, so that the sanitizers and the coverage counters see the
// row-source code and libmdb. A fault found this way that lies inside libmdb is one the child
// process of the programs contains; one in our code is a fault to fix.
#include <string>

#include "kavel/mdb_isolated_call.h"

namespace kavel {

bool RunIsolated(const std::function<bool(std::string* output)>& work, int /*timeout_seconds*/,
                 std::string* output) {
  output->clear();
  const bool ok = work(output);
  if (!ok) output->clear();
  return ok;
}

}  // namespace kavel
