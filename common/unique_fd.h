// A file descriptor with one owner, closed when the owner goes away, so that no early return
// can leak it. Moving hands the descriptor on; copying is not possible.
#ifndef COMMON_UNIQUE_FD_H_
#define COMMON_UNIQUE_FD_H_

#include <unistd.h>

namespace common {

class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes ownership of `fd`; a negative value means none.
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives up ownership without closing; returns the descriptor (or -1).
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

  // Closes the descriptor held, if any, and takes `fd` instead.
  void Reset(int fd = -1) {
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
  }

  // Closes now and says whether the close succeeded (a delayed write error shows up here).
  // True when nothing was held.
  bool Close() {
    const int fd = Release();
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_ = -1;  // the descriptor owned, or -1
};

}  // namespace common

#endif  // COMMON_UNIQUE_FD_H_
