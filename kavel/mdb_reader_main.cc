// kavel-mdb-reader: reads the check-results database for Kavel and writes the row stream to
// standard output (kavel/mdb_reader.h).
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "kavel/mdb_reader.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr size_t kBufferSize = 1 << 16;

// Standard output in 64 KiB writes, and at each Flush (when Kavel waits for what came so far).
// A closed pipe (Kavel gave up) ends the program through SIGPIPE, as it should: nobody reads any
// more.
class StandardOutput : public kavel::RowStreamOutput {
 public:
  StandardOutput() { buffer_.reserve(kBufferSize); }
  void Write(std::string_view bytes) override {
    if (buffer_.size() + bytes.size() > kBufferSize) Flush();
    if (bytes.size() >= kBufferSize) {
      WriteAll(bytes);
    } else {
      buffer_.append(bytes);
    }
  }
  void Flush() override {
    WriteAll(buffer_);
    buffer_.clear();
  }
  // Writes what is left; false when the output failed.
  bool Finish() {
    Flush();
    return ok_;
  }

 private:
  void WriteAll(std::string_view bytes) {
    while (ok_ && !bytes.empty()) {
      const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok_ = false;
        break;
      }
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  std::string buffer_;
  bool ok_ = true;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  StandardOutput output;
  const bool done = kavel::RunMdbReader(args, output);
  // Ends at once: what libmdb left allocated is the kernel's to free, and a leak checker in a
  // sanitizer build must not turn a whole stream into a failure. (The in-process fuzz target
  // runs the same work under the leak checker.)
  ::_exit(output.Finish() && done ? kExitDone : kExitFailed);
}
