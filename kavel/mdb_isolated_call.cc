#include "kavel/mdb_isolated_call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>

#include "common/unique_fd.h"

extern char** environ;

namespace kavel {
namespace {

// An announced size beyond this is not believed.
constexpr size_t kLargestReservation = size_t{1} << 32;

// posix_spawn's attributes and file actions, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = ::posix_spawnattr_init(&attributes_) == 0;
    actions_ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (ok_) ::posix_spawnattr_destroy(&attributes_);
    if (actions_ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Standard output into `write_fd`, standard input and error on /dev/null; every signal at its
  // default and none blocked, whatever the calling thread had set up.
  bool Prepare(int write_fd) {
    if (!ok_ || !actions_ok_) return false;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    return ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
           ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
           ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0 &&
           // The pipe first: a caller started with its standard input or error closed may have
           // got the pipe on that number.
           ::posix_spawn_file_actions_adddup2(&actions_, write_fd, STDOUT_FILENO) == 0 &&
           ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
           ::posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0;
  }
  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
  bool actions_ok_ = false;
};

// Reads `fd` (non-blocking) into *output until its writer closes it or the deadline passes.
// Returns true when the end came in time.
bool ReadUntilEnd(int fd, std::chrono::steady_clock::time_point deadline, std::string* output,
                  const std::function<size_t(std::string_view)>& expected_size) {
  char buffer[65536];
  bool sized = !expected_size;
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      output->append(buffer, static_cast<size_t>(n));
      if (!sized) {
        sized = true;
        const size_t total = expected_size(*output);
        if (total <= kLargestReservation) output->reserve(total);
      }
      continue;
    }
    if (n == 0) return true;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd poll_fd{fd, POLLIN, 0};
    if (::poll(&poll_fd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
  }
}

// Waits for `child` to end until the deadline. Returns true with its status when it ended.
bool WaitUntil(pid_t child, std::chrono::steady_clock::time_point deadline, int* status) {
  for (;;) {
    const pid_t waited = ::waitpid(child, status, WNOHANG);
    if (waited == child) return true;
    if (waited < 0 && errno != EINTR) return false;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    // It has closed its output, so it is ending: a short nap is enough.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace

bool RunIsolated(const std::vector<std::string>& argv, int timeout_seconds, std::string* output,
                 const std::function<size_t(std::string_view head)>& expected_size) {
  output->clear();
  if (argv.empty()) return false;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  common::UniqueFd read_end(fds[0]);
  common::UniqueFd write_end(fds[1]);
  const int read_fd = read_end.get();

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  SpawnSetup setup;
  pid_t child = -1;
  const bool started = setup.Prepare(write_end.get()) &&
                       ::posix_spawn(&child, args[0], setup.actions(), setup.attributes(), args.data(), environ) == 0;
  write_end.Reset();  // the child holds the only writing end now: its exit ends the output
  if (!started) return false;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  const bool complete = ::fcntl(read_fd, F_SETFL, O_NONBLOCK) == 0 && ReadUntilEnd(read_fd, deadline, output, expected_size);
  read_end.Reset();
  int status = 0;
  const bool ended = complete && WaitUntil(child, deadline, &status);
  // Still running: past its time, or it closed its output and went on. Either way it is hung.
  if (!ended) {
    ::kill(child, SIGKILL);
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
  }
  const bool ok = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) output->clear();
  return ok;
}

}  // namespace kavel
