// Linked before kavel_db into mdb_in_process_fuzzer: runs the database work in the fuzzing
// process itself instead of a child, so that the sanitizers and the coverage counters see the
// row-source code and everything libmdb hands it, and no input pays for a fork. A fault found
// this way that lies inside libmdb is one the child process of the programs contains; one in
// our code is a fault to fix.
#include <string>

#include "kavel/mdb_isolated_call.h"

namespace kavel {
namespace {

class InProcessOutput : public IsolatedOutput {
 public:
  explicit InProcessOutput(std::string* output) : output_(output) {}
  void Expect(size_t total) override { output_->reserve(total); }
  void Send(std::string_view bytes) override { output_->append(bytes); }

 private:
  std::string* output_;
};

}  // namespace

// The same declaration as the child-process version, so that a change of one is a link error
// here rather than a silent fall-back to forking.
bool RunIsolated(const std::function<bool(IsolatedOutput& output)>& work, int /*timeout_seconds*/,
                 std::string* output) {
  output->clear();
  InProcessOutput sink(output);
  const bool ok = work(sink);
  if (!ok) output->clear();
  return ok;
}

}  // namespace kavel
