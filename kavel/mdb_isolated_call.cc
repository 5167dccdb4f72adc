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

// The pipe holds this much, so that the program reads ahead while its reader is busy elsewhere.
constexpr int kPipeSize = 1 << 20;

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

  // Standard output into `write_fd`, standard input and error on /dev/null, every other
  // descriptor closed; every signal at its
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
           ::posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0) == 0 &&
           // Nothing else of the caller's: the program may outlive what the caller closes (a
           // descriptor that holds a lock, say) while its rows are still being read.
           ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
  }
  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
  bool ok_ = false;
  bool actions_ok_ = false;
};

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

class SpawnedProgram : public IsolatedProgram {
 public:
  SpawnedProgram(pid_t child, common::UniqueFd output, int timeout_seconds)
      : child_(child), output_(std::move(output)), time_left_(std::chrono::seconds(timeout_seconds)) {}
  ~SpawnedProgram() override { Stop(); }

  ReadResult Read(char* data, size_t capacity, size_t* size) override {
    *size = 0;
    if (!output_.valid()) return ReadResult::kFailed;
    for (;;) {
      const ssize_t n = ::read(output_.get(), data, capacity);
      if (n > 0) {
        *size = static_cast<size_t>(n);
        return ReadResult::kData;
      }
      if (n == 0) return ReadResult::kEnd;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) break;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(time_left_);
      if (left.count() <= 0) break;
      pollfd poll_fd{output_.get(), POLLIN, 0};
      const auto start = std::chrono::steady_clock::now();
      const int polled = ::poll(&poll_fd, 1, static_cast<int>(left.count()));
      time_left_ -= std::chrono::steady_clock::now() - start;
      if (polled < 0 && errno != EINTR) break;
    }
    Stop();
    return ReadResult::kFailed;
  }

  bool Finish() override {
    if (child_ < 0) return false;
    output_.Reset();
    int status = 0;
    const bool ended = WaitUntil(child_, std::chrono::steady_clock::now() + time_left_, &status);
    if (!ended) {
      Stop();
      return false;
    }
    child_ = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  // Still running: past its time, or it closed its output and went on, or nobody reads any more.
  void Stop() {
    output_.Reset();
    if (child_ < 0) return;
    ::kill(child_, SIGKILL);
    int status = 0;
    while (::waitpid(child_, &status, 0) < 0 && errno == EINTR) {
    }
    child_ = -1;
  }

  pid_t child_;
  common::UniqueFd output_;
  std::chrono::steady_clock::duration time_left_;
};

}  // namespace

std::unique_ptr<IsolatedProgram> StartIsolated(const std::vector<std::string>& argv, int timeout_seconds) {
  if (argv.empty()) return nullptr;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return nullptr;
  common::UniqueFd read_end(fds[0]);
  common::UniqueFd write_end(fds[1]);
  if (::fcntl(read_end.get(), F_SETFL, O_NONBLOCK) != 0) return nullptr;
  // Larger than the default where the system allows; the default works too.
  (void)::fcntl(read_end.get(), F_SETPIPE_SZ, kPipeSize);

  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  SpawnSetup setup;
  pid_t child = -1;
  const bool started = setup.Prepare(write_end.get()) &&
                       ::posix_spawn(&child, args[0], setup.actions(), setup.attributes(), args.data(), environ) == 0;
  write_end.Reset();  // the child holds the only writing end now: its exit ends the output
  if (!started) return nullptr;
  return std::make_unique<SpawnedProgram>(child, std::move(read_end), timeout_seconds);
}

bool RunIsolated(const std::vector<std::string>& argv, int timeout_seconds, std::string* output) {
  output->clear();
  std::unique_ptr<IsolatedProgram> program = StartIsolated(argv, timeout_seconds);
  if (!program) return false;
  char buffer[65536];
  for (;;) {
    size_t size = 0;
    const IsolatedProgram::ReadResult result = program->Read(buffer, sizeof buffer, &size);
    if (result == IsolatedProgram::ReadResult::kData) {
      output->append(buffer, size);
      continue;
    }
    if (result == IsolatedProgram::ReadResult::kEnd && program->Finish()) return true;
    output->clear();
    return false;
  }
}

}  // namespace kavel
