#include "common/activity_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/text_encoding.h"
#include "common/unique_fd.h"

namespace common {
namespace {

constexpr char kLineEnd[] = "\r\n";

[[noreturn]] void ThrowIoError(const std::string& path, int error) {
  throw IoError(path + ": " + std::strerror(error));
}

}  // namespace

std::string FormatLogLine(const LocalDateTime& when, std::string_view text) {
  std::string line = FormatDateTime(when);
  line += ' ';
  line += text;
  line += kLineEnd;
  return line;
}

void WrtLogAt(const std::string& pstFile, std::string_view pstLog, const LocalDateTime& when) {
  const std::string bytes = Utf8ToCp932(FormatLogLine(when, pstLog));
  // O_APPEND makes the whole line one append, so lines of several processes never interleave.
  UniqueFd fd(
      ::open(pstFile.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666));
  if (!fd.valid()) ThrowIoError(pstFile, errno);
  size_t done = 0;
  int write_error = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      write_error = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  const int close_error = fd.Close() ? 0 : errno;
  if (write_error != 0) ThrowIoError(pstFile, write_error);
  if (close_error != 0) ThrowIoError(pstFile, close_error);
}

void WrtLog(const std::string& pstFile, std::string_view pstLog) {
  WrtLogAt(pstFile, pstLog, Now());
}

}  // namespace common
