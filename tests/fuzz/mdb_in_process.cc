// Linked before kavel_db into mdb_in_process_fuzzer: runs the database reader's work in the
// fuzzing process itself instead of starting the reader program, so that the sanitizers and the
// coverage counters see the reader's code and everything libmdb hands it, and no input pays for
// a process start. A fault found this way that lies inside libmdb is one the reader program
// contains for the programs; one in our code is a fault to fix.
#include <algorithm>
#include <cstring>
#include <memory>
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

// The reader's whole output, made at the start and handed out as the program's would be.
class InProcessProgram : public IsolatedProgram {
 public:
  explicit InProcessProgram(const std::vector<std::string>& argv) {
    StringOutput sink(&output_);
    ok_ = RunMdbReader(std::vector<std::string>(argv.begin() + 1, argv.end()), sink);
  }
  ReadResult Read(char* data, size_t capacity, size_t* size) override {
    *size = std::min(capacity, output_.size() - taken_);
    if (*size == 0) return ReadResult::kEnd;
    std::memcpy(data, output_.data() + taken_, *size);
    taken_ += *size;
    return ReadResult::kData;
  }
  bool Finish() override { return ok_; }

 private:
  std::string output_;
  size_t taken_ = 0;
  bool ok_ = false;
};

}  // namespace

// The same declarations as the program-starting versions, so that a change of one is a link
// error here rather than a silent fall-back to starting the reader. argv: the reader, then its
// command.
std::unique_ptr<IsolatedProgram> StartIsolated(const std::vector<std::string>& argv, int /*timeout_seconds*/) {
  if (argv.empty()) return nullptr;
  return std::make_unique<InProcessProgram>(argv);
}

bool RunIsolated(const std::vector<std::string>& argv, int timeout_seconds, std::string* output) {
  output->clear();
  std::unique_ptr<IsolatedProgram> program = StartIsolated(argv, timeout_seconds);
  if (!program) return false;
  char buffer[4096];
  size_t size = 0;
  while (program->Read(buffer, sizeof buffer, &size) == IsolatedProgram::ReadResult::kData) output->append(buffer, size);
  const bool ok = program->Finish();
  if (!ok) output->clear();
  return ok;
}

}  // namespace kavel
