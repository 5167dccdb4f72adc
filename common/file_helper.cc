#include "common/file_helper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <memory>

namespace common {
namespace {

constexpr size_t kCopyBufferBytes = 256 * 1024;

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Closes a descriptor when it goes out of scope.
class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;
  // Closes now and reports whether the close succeeded.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;  // the descriptor owned, or -1
};

}  // namespace

int64_t TFileHelper::GetSize(const std::string& iFileName) {
  struct stat st {};
  if (iFileName.empty() || ::stat(iFileName.c_str(), &st) != 0) return -1;
  if (!S_ISREG(st.st_mode)) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) {
  return !path.empty() && ::mkdir(path.c_str(), 0777) == 0;
}

std::string TemporaryNameBeside(const std::string& target) {
  static std::atomic<unsigned long> counter{0};
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
  return folder + "." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1)) + "-" + std::to_string(ticks & 0xFFFFFF);
}

bool CopyFileAtomic(const std::string& from, const std::string& to) {
  if (from.empty() || to.empty()) return false;
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return false;
  FdCloser in_closer(in);
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) return false;

  const std::string temp = TemporaryNameBeside(to);
  const int out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) return false;
  FdCloser out_closer(out);

  bool ok = true;
  auto buffer = std::make_unique<char[]>(kCopyBufferBytes);
  for (;;) {
    const ssize_t n = ::read(in, buffer.get(), kCopyBufferBytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(out, buffer.get(), static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  // The copy keeps the source's permission bits (a program stays executable).
  ok = ok && ::fchmod(out, st.st_mode & 07777) == 0;
  ok = ok && ::fsync(out) == 0;
  ok = out_closer.Close() && ok;
  ok = ok && ::rename(temp.c_str(), to.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

}  // namespace common
