// Linked before kavel_db into mdb_in_process_fuzzer: runs the database reader's work in the
// fuzzing process itself instead of starting the reader program, so that the sanitizers and the
// coverage counters see the reader's code and everything libmdb hands it, and no input pays for
// a process start. A fault found this way that lies inside libmdb is one the reader program
// contains for the programs; one in our code is a fault to fix.
#include <string>
#include <string_view>
#include <vector>

#include "kavel/mdb_isolated_call.h"
#include "kavel/mdb_reader.h"

namespace kavel {
namespace {

class StringOutput : public RowStreamOutput {
 public:
  explicit StringOutput(std::string* output) : output_(output) {}
  void Write(std::string_view bytes) override { output_->append(bytes); }

 private:
  std::string* output_;
};

}  // namespace

// The same declaration as the program-starting version, so that a change of one is a link error
// here rather than a silent fall-back to starting the reader. argv: the reader, then its command.
bool RunIsolated(const std::vector<std::string>& argv, int /*timeout_seconds*/, std::string* output,
                 const std::function<size_t(std::string_view head)>& /*expected_size*/) {
  output->clear();
  if (argv.empty()) return false;
  StringOutput sink(output);
  const bool ok = RunMdbReader(std::vector<std::string>(argv.begin() + 1, argv.end()), sink);
  if (!ok) output->clear();
  return ok;
}

}  // namespace kavel
