#include "reportengine/pdf/pdf_output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/file_helper.h"
#include "reportengine/pdf/pdf_texts.h"

namespace re::pdf {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Reason(int error_number) { return std::strerror(error_number); }

// An existing target must be a regular file that its owner may write: a file marked read-only
// is one the user wants kept, even where the rename would be allowed (as for root).
bool CheckTarget(const std::string& target, std::string* error) {
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;
    *error = kErrCannotCreate + target + ": " + Reason(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = kErrNotAFile + target;
    return false;
  }
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0) {
    *error = kErrReadOnly + target;
    return false;
  }
  return true;
}

}  // namespace

OutputFile::OutputFile() { buffer_.reserve(kWriteBufferBytes); }

OutputFile::~OutputFile() { Abandon(); }

bool OutputFile::Open(const std::string& target, std::string* error) {
  Abandon();
  error_.clear();
  buffer_.clear();
  offset_ = written_ = 0;
  target_ = target;
  if (target.empty()) {
    *error = kErrNoFileName;
    return false;
  }
  in_place_ = false;
  if (!CheckTarget(target, error)) return false;
  const std::string folder = FolderOf(target);
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    temp_name_ = common::TemporaryNameBeside(target);
    fd_ = ::open(temp_name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0) temp_name_.clear();
  }
  if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    // The folder refuses a new file; an existing target that may be written (CheckTarget said
    // so) is still replaced, as the user expects of a file that is "replaced without asking".
    const int folder_error = errno;
    if (::access(target.c_str(), F_OK) == 0 && OpenStaging()) {
      in_place_ = true;
      return true;
    }
    errno = folder_error;
  }
  if (fd_ < 0) {
    *error = kErrCannotCreate + target + ": " + Reason(errno);
    return false;
  }
  return true;
}

// An unnamed file in the system's temporary folder (TMPDIR, else /tmp) for the bytes of an
// export that will overwrite its target in place.
bool OutputFile::OpenStaging() {
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string folder = tmpdir != nullptr && *tmpdir == '/' ? tmpdir : "/tmp";
  fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    std::string name = folder + "/pdf-staging-XXXXXX";
    fd_ = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd_ >= 0) ::unlink(name.c_str());
  }
  return fd_ >= 0;
}

// Copies the staged bytes over the target's contents. Room for them is reserved first, so that
// a full disk is found out before the old contents are touched.
void OutputFile::OverwriteTarget() {
  const int out = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (out < 0) {
    Fail(kErrCannotReplace, errno);
    return;
  }
  if (written_ > 0 && ::fallocate(out, 0, 0, static_cast<off_t>(written_)) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS) {
    Fail(kErrCannotReplace, errno);
    ::close(out);
    return;
  }
  std::string chunk(kWriteBufferBytes, '\0');
  uint64_t done = 0;
  while (!failed() && done < written_) {
    const ssize_t n = ::pread(fd_, chunk.data(), chunk.size(), static_cast<off_t>(done));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      Fail(kErrCannotWrite, n < 0 ? errno : EIO);
      break;
    }
    ssize_t put = 0;
    while (!failed() && put < n) {
      const ssize_t m = ::pwrite(out, chunk.data() + put, static_cast<size_t>(n - put),
                                 static_cast<off_t>(done + put));
      if (m < 0 && errno == EINTR) continue;
      if (m < 0) Fail(kErrCannotReplace, errno);
      else put += m;
    }
    done += static_cast<uint64_t>(n);
  }
  if (!failed() && ::ftruncate(out, static_cast<off_t>(written_)) != 0) {
    Fail(kErrCannotReplace, errno);
  }
  if (!failed() && ::fsync(out) != 0) Fail(kErrCannotReplace, errno);
  if (::close(out) != 0) Fail(kErrCannotReplace, errno);
}

void OutputFile::Write(std::string_view bytes) {
  offset_ += bytes.size();
  if (failed()) return;
  buffer_.append(bytes);
  if (buffer_.size() >= kWriteBufferBytes) Flush();
}

void OutputFile::Fail(const std::string& what, int error_number) {
  if (!failed()) error_ = what + target_ + ": " + Reason(error_number);
}

void OutputFile::Flush() {
  if (failed() || fd_ < 0) {
    buffer_.clear();
    return;
  }
  size_t done = 0;
  while (done < buffer_.size()) {
    size_t chunk = buffer_.size() - done;
    if (written_ + chunk > fail_after_) {
      chunk = fail_after_ > written_ ? static_cast<size_t>(fail_after_ - written_) : 0;
      if (chunk == 0) {
        Fail(kErrCannotWrite, ENOSPC);
        break;
      }
    }
    const ssize_t n = ::write(fd_, buffer_.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(kErrCannotWrite, errno);
      break;
    }
    done += static_cast<size_t>(n);
    written_ += static_cast<uint64_t>(n);
  }
  buffer_.clear();
}

bool OutputFile::Commit(std::string* error) {
  Flush();
  if (in_place_) {
    // The user may have marked the old file read-only while the pages were written.
    std::string target_error;
    if (!failed() && !CheckTarget(target_, &target_error)) error_ = target_error;
    if (!failed()) OverwriteTarget();
    Abandon();
    if (failed()) *error = error_;
    return !failed();
  }
  if (!failed() && ::fsync(fd_) != 0) Fail(kErrCannotWrite, errno);
  if (!failed() && temp_name_.empty()) {
    // The file gets its temporary name only now, so the window in which a killed process
    // could leave it behind is this step and the rename.
    temp_name_ = common::TemporaryNameBeside(target_);
    if (::linkat(fd_, "", AT_FDCWD, temp_name_.c_str(), AT_EMPTY_PATH) != 0) {
      const std::string self = "/proc/self/fd/" + std::to_string(fd_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp_name_.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        Fail(kErrCannotWrite, errno);
        temp_name_.clear();
      }
    }
  }
  if (!failed()) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail(kErrCannotWrite, errno);
  }
  // The user may have marked the old file read-only while the pages were written.
  std::string target_error;
  if (!failed() && !CheckTarget(target_, &target_error)) error_ = target_error;
  if (!failed() && ::rename(temp_name_.c_str(), target_.c_str()) != 0) {
    Fail(kErrCannotReplace, errno);
  }
  if (failed()) {
    *error = error_;
    Abandon();
    return false;
  }
  temp_name_.clear();
  // Makes the new directory entry durable as well; a failure here loses nothing already written.
  const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

void OutputFile::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_name_.empty()) {
    ::unlink(temp_name_.c_str());
    temp_name_.clear();
  }
  buffer_.clear();
}

}  // namespace re::pdf
