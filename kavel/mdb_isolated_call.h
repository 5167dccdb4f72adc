// Runs work on an untrusted database file in a child process, so that a fault in libmdb (which
// is not hardened against damaged files) or a read that never ends cannot take the program down
// with it. The child's standard error, where libmdb prints its warnings, goes nowhere.
#ifndef KAVEL_MDB_ISOLATED_CALL_H_
#define KAVEL_MDB_ISOLATED_CALL_H_

#include <functional>
#include <string>

namespace kavel {

// Forks; the child runs `work`, which fills its output text, and ends. Returns true with that
// text in *output when the child returned true and ended normally within `timeout_seconds`;
// false when the work failed, crashed, or was stopped at the timeout (the child is then killed).
// REQUIRES: `work` touches nothing the parent needs afterwards; it runs in a copy of the process.
bool RunIsolated(const std::function<bool(std::string* output)>& work, int timeout_seconds, std::string* output);

}  // namespace kavel

#endif  // KAVEL_MDB_ISOLATED_CALL_H_
