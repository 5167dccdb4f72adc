#include "kavel/mdb_isolated_call.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>

namespace kavel {
namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;

// The child's output: a size announcement (kind byte 'S' + 8 bytes) or data ('D' + 8-byte length
// + bytes), written straight to the pipe.
constexpr char kFrameSize = 'S';
constexpr char kFrameData = 'D';

class PipeOutput : public IsolatedOutput {
 public:
  explicit PipeOutput(int fd) : fd_(fd) {}
  void Expect(size_t total) override { Frame(kFrameSize, total, {}); }
  void Send(std::string_view bytes) override { Frame(kFrameData, bytes.size(), bytes); }
  bool ok() const { return ok_; }

 private:
  void Frame(char kind, uint64_t number, std::string_view bytes) {
    char head[9];
    head[0] = kind;
    std::memcpy(head + 1, &number, sizeof number);
    Write(std::string_view(head, sizeof head));
    Write(bytes);
  }
  void Write(std::string_view bytes) {
    while (ok_ && !bytes.empty()) {
      const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok_ = false;
        break;
      }
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  int fd_;
  bool ok_ = true;
};

// Child side: run the work, end without running the parent's exit handlers.
[[noreturn]] void RunChild(const std::function<bool(IsolatedOutput&)>& work, int write_fd) {
  const int null_fd = ::open("/dev/null", O_WRONLY);
  if (null_fd >= 0) ::dup2(null_fd, STDERR_FILENO);
  PipeOutput output(write_fd);
  const bool ok = work(output) && output.ok();
  ::_exit(ok ? kExitDone : kExitFailed);
}

// Parent side: unpacks the frames as they arrive.
class FrameReader {
 public:
  explicit FrameReader(std::string* output) : output_(output) {}
  void Take(const char* data, size_t size) {
    while (size > 0 && ok_) {
      if (remaining_ == 0) {  // a frame head
        const size_t n = std::min(size, sizeof head_ - head_used_);
        std::memcpy(head_ + head_used_, data, n);
        head_used_ += n;
        data += n;
        size -= n;
        if (head_used_ < sizeof head_) return;
        head_used_ = 0;
        uint64_t number;
        std::memcpy(&number, head_ + 1, sizeof number);
        if (head_[0] == kFrameSize) {
          if (number <= kLargestAnnouncement) output_->reserve(static_cast<size_t>(number));
        } else if (head_[0] == kFrameData) {
          remaining_ = number;
        } else {
          ok_ = false;
        }
        continue;
      }
      const size_t n = static_cast<size_t>(std::min<uint64_t>(size, remaining_));
      output_->append(data, n);
      remaining_ -= n;
      data += n;
      size -= n;
    }
  }
  bool whole() const { return ok_ && remaining_ == 0 && head_used_ == 0; }

 private:
  static constexpr uint64_t kLargestAnnouncement = uint64_t{1} << 32;
  std::string* output_;
  char head_[9];
  size_t head_used_ = 0;
  uint64_t remaining_ = 0;
  bool ok_ = true;
};

}  // namespace

bool RunIsolated(const std::function<bool(IsolatedOutput& output)>& work, int timeout_seconds, std::string* output) {
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
  FrameReader frames(output);
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
    frames.Take(buffer, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  if (!complete) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  const bool ok = complete && frames.whole() && WIFEXITED(status) && WEXITSTATUS(status) == kExitDone;
  if (!ok) output->clear();
  return ok;
}

}  // namespace kavel
