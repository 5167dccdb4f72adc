// Runs a helper program on an untrusted database file and collects its standard output, so that
// a fault in libmdb (which is not hardened against damaged files) or a read that never ends
// cannot take the program down with it. The program is started with posix_spawn, never by a
// bare fork: with a display, Qt's threads are already running, and a forked copy of a threaded
// process may deadlock in anything but the simplest calls.
#ifndef KAVEL_MDB_ISOLATED_CALL_H_
#define KAVEL_MDB_ISOLATED_CALL_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// A helper program started on the file, whose standard output is read as it comes. The program
// has `timeout_seconds` of its reader's waiting: time the reader spends elsewhere while the
// program waits for room in the pipe does not count. Destroying it kills the program if it is
// still running and always waits for it: nothing is left behind.
class IsolatedProgram {
 public:
  enum class ReadResult { kData, kEnd, kFailed };
  virtual ~IsolatedProgram() = default;
  // Reads what the program wrote next into data[0, capacity), waiting when nothing has come yet:
  // kData with *size bytes; kEnd when the program closed its output; kFailed when the read
  // failed or the time is up (the program is killed then).
  virtual ReadResult Read(char* data, size_t capacity, size_t* size) = 0;
  // After kEnd: waits, within the time left, for the program to end. True when it ended
  // normally with status 0; else it is killed and false is returned.
  virtual bool Finish() = 0;
};

// Starts `argv[0]` (a path, not looked up in PATH) with `argv`, standard input and standard
// error on /dev/null, its standard output into a pipe. Returns null when it cannot be started.
std::unique_ptr<IsolatedProgram> StartIsolated(const std::vector<std::string>& argv, int timeout_seconds);

// Runs the program to its end: true with its whole output in *output when it ended normally with
// status 0 within `timeout_seconds`; false, with *output empty, when it could not be started,
// failed, crashed, or was still running at the timeout (it is then killed).
bool RunIsolated(const std::vector<std::string>& argv, int timeout_seconds, std::string* output);

}  // namespace kavel

#endif  // KAVEL_MDB_ISOLATED_CALL_H_
