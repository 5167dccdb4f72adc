// Runs work on an untrusted database file in a child process, so that a fault in libmdb (which
// is not hardened against damaged files) or a read that never ends cannot take the program down
// with it. The child's standard error, where libmdb prints its warnings, goes nowhere.
#ifndef KAVEL_MDB_ISOLATED_CALL_H_
#define KAVEL_MDB_ISOLATED_CALL_H_

#include <functional>
#include <string>
#include <string_view>

namespace kavel {

// Where the child sends its output: straight into the pipe to the parent.
class IsolatedOutput {
 public:
  virtual ~IsolatedOutput() = default;
  // Announces the total size, so the parent can make room once. Optional; call it first.
  virtual void Expect(size_t total) = 0;
  virtual void Send(std::string_view bytes) = 0;
};

// Forks; the child runs `work`, which sends its output, and ends. Returns true with that output
// in *output when the child returned true and ended normally within `timeout_seconds`; false
// when the work failed, crashed, or was stopped at the timeout (the child is then killed).
// REQUIRES: `work` touches nothing the parent needs afterwards; it runs in a copy of the process.
bool RunIsolated(const std::function<bool(IsolatedOutput& output)>& work, int timeout_seconds, std::string* output);

}  // namespace kavel

#endif  // KAVEL_MDB_ISOLATED_CALL_H_
