// Runs a helper program on an untrusted database file and collects its standard output, so that
// a fault in libmdb (which is not hardened against damaged files) or a read that never ends
// cannot take the program down with it. The program is started with posix_spawn, never by a
// bare fork: with a display, Qt's threads are already running, and a forked copy of a threaded
// process may deadlock in anything but the simplest calls.
#ifndef KAVEL_MDB_ISOLATED_CALL_H_
#define KAVEL_MDB_ISOLATED_CALL_H_

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

// Starts `argv[0]` (a path, not looked up in PATH) with `argv`, standard input and standard
// error on /dev/null, and reads its standard output. Returns true with that output in *output
// when the program ended normally with status 0 within `timeout_seconds`; false, with *output
// empty, when it could not be started, failed, crashed, or was still running at the timeout (it
// is then killed). The program is always waited for: nothing is left behind. `expected_size`,
// when given, sees the output's first bytes and may return the size the whole will have, so that
// room is made once (0: not known).
bool RunIsolated(const std::vector<std::string>& argv, int timeout_seconds, std::string* output,
                 const std::function<size_t(std::string_view head)>& expected_size = nullptr);

}  // namespace kavel

#endif  // KAVEL_MDB_ISOLATED_CALL_H_
