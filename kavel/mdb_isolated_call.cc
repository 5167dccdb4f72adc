#include "kavel/mdb_isolated_call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace kavel {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;

// Child side: run the work, send its output, end without running the parent's exit handlers.
[[noreturn]] void RunChild(const std::function<bool(std::string*)>& work, int write_fd) {
  const int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd >= 0) ::dup2(null_fd, STDERR_FILENO);
  std::string output;
  const bool ok = work(&output);
  size_t sent = 0;
  while (ok && sent < output.size()) {
    const ssize_t n = ::write(write_fd, output.data() + sent, output.size() - sent);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ::_exit(kExitFailed);
    sent += static_cast<size_t>(n);
  }
  ::_exit(ok ? kExitDone : kExitFailed);
}

}  // namespace

bool RunIsolated(const std::function<bool(std::string* output)>& work, int timeout_seconds, std::string* output) {
  output->clear();
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (child == 0) {
    ::close(fds[0]);
    RunChild(work, fds[1]);
  }
  ::close(fds[1]);

  // Read until the child closes its end, or the time is up.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  bool complete = false;
  char buffer[65536];
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd poll_fd{fds[0], POLLIN, 0};
    const int ready = ::poll(&poll_fd, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    if (n == 0) {
      complete = true;
      break;
    }
    output->append(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  if (!complete) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const bool ok = complete && WIFEXITED(status) && WEXITSTATUS(status) == kExitDone;
  if (!ok) output->clear();
  return ok;
}

}  // namespace kavel
