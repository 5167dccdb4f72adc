#include "common/file_helper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/texts.h"
#include "common/unique_fd.h"

namespace common {
namespace {

constexpr size_t kCopyBufferBytes = 256 * 1024;

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

namespace {

// Why a copy failed, in words for the user's log and message.
std::string CopyFailureReason(int error) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return texts::kReasonDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return texts::kReasonNoPermission;
    case ENOENT:
      return texts::kReasonMissing;
    default:
      return std::strerror(error);
  }
}

}  // namespace

bool CopyFileAtomic(const std::string& from, const std::string& to, FileKind kind,
                    std::string* error) {
  auto fail = [error](const std::string& why) {
    if (error != nullptr) *error = why;
    return false;
  };
  if (from.empty() || to.empty()) return fail(CopyFailureReason(ENOENT));
  const UniqueFd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!in.valid()) return fail(CopyFailureReason(errno));
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) return fail(CopyFailureReason(errno));
  if (!S_ISREG(st.st_mode)) return fail(CopyFailureReason(EINVAL));

  // The target that exists keeps its bits; a read-only one is not replaced at all, even though
  // a rename would only need the folder (and root could write it anyway).
  int mode = -1;
  struct stat target {};
  if (::stat(to.c_str(), &target) == 0) {
    if (S_ISDIR(target.st_mode)) return fail(CopyFailureReason(EISDIR));
    if ((target.st_mode & 0222) == 0) return fail(texts::kReasonReadOnly);
    if (::access(to.c_str(), W_OK) != 0) return fail(CopyFailureReason(errno));
    mode = static_cast<int>(target.st_mode & 07777);
  }

  PendingFile out;
  if (!out.Create(to, kind)) return fail(CopyFailureReason(out.error()));
  auto buffer = std::make_unique<char[]>(kCopyBufferBytes);
  for (;;) {
    const ssize_t n = ::read(in.get(), buffer.get(), kCopyBufferBytes);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail(CopyFailureReason(errno));
    }
    if (n == 0) break;
    if (!out.Write(std::string_view(buffer.get(), static_cast<size_t>(n)))) {
      return fail(CopyFailureReason(out.error()));
    }
  }
  if (!out.Commit(mode)) return fail(CopyFailureReason(out.error()));
  return true;
}

}  // namespace common
