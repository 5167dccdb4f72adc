#include "common/settings.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "common/pending_file.h"
#include "common/ini_text.h"
#include "common/program_folder.h"
#include "common/text_format.h"
#include "common/texts.h"
#include "common/unique_fd.h"

namespace common {
namespace {

using texts::kSettingsFileName;
using texts::kSettingsWriteError;
constexpr auto kLockWaitLimit = std::chrono::seconds(10);

enum class ReadResult { kOk, kMissing, kFailed };

ReadResult ReadWholeFile(const std::string& path, std::string& out) {
  // Non-blocking, so that a FIFO in user.ini's place cannot hold a read up.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return errno == ENOENT ? ReadResult::kMissing : ReadResult::kFailed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return ReadResult::kFailed;
  out.clear();
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadResult::kFailed;
    }
    if (n == 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return ReadResult::kOk;
}

// Writable as Windows sees it: also a file or folder without any write permission bit counts as
// read-only when the caller is privileged enough to ignore the bits.
bool IsWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & 0222) != 0 && ::access(path.c_str(), W_OK) == 0;
}

// An exclusive advisory lock on the folder of user.ini itself, held for one read-modify-write.
// Locking the folder leaves no lock file for users to wonder about.
class IniLock {
 public:
  explicit IniLock(const std::string& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (!fd_.valid()) return;
    const auto deadline = std::chrono::steady_clock::now() + kLockWaitLimit;
    auto pause = std::chrono::microseconds(200);
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
      if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() > deadline) {
        fd_.Reset();
        return;
      }
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::microseconds(2000));
    }
  }
  bool held() const { return fd_.valid(); }

 private:
  UniqueFd fd_;  // the folder, locked (closing releases the lock), or none
};

bool WriteFileReplacing(const std::string& target, const std::string& bytes, mode_t mode) {
  PendingFile file;
  return file.Create(target, FileKind::kData) && file.Write(bytes) &&
         file.Commit(mode != 0 ? static_cast<int>(mode & 07777) : -1);
}

// The fallback for a folder that takes no new file: the existing file's bytes are replaced
// where they are. A reader may see the file half written for that moment; the lock still keeps
// writers apart.
bool OverwriteInPlace(const std::string& target, const std::string& bytes) {
  UniqueFd fd(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat st {};
  bool ok = ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode);
  size_t done = 0;
  while (ok && done < bytes.size()) {
    const ssize_t n = ::pwrite(fd.get(), bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ok && ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd.get()) == 0;
  return fd.Close() && ok;
}

bool WriteIniValue(const std::string& ini_path, std::string_view section, std::string_view key,
                   std::string_view value) {
  // A user.ini that is a symbolic link stays one: the file it points at is replaced.
  std::string target = ini_path;
  struct stat lst {};
  if (::lstat(ini_path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
    char* resolved = ::realpath(ini_path.c_str(), nullptr);
    if (resolved == nullptr) return false;
    target = resolved;
    std::free(resolved);
  }
  // A folder that takes no new file can still hold a writable user.ini; it is then rewritten
  // in place, as the platform's profile functions do.
  const bool folder_takes_new_files = IsWritable(FolderOf(target));

  IniLock lock(FolderOf(ini_path));
  if (!lock.held()) return false;

  std::string bytes;
  mode_t mode = 0;
  switch (ReadWholeFile(target, bytes)) {
    case ReadResult::kFailed:
      return false;
    case ReadResult::kMissing:
      if (!folder_takes_new_files) return false;
      bytes.clear();
      break;
    case ReadResult::kOk: {
      if (!IsWritable(target)) return false;
      struct stat st {};
      if (::stat(target.c_str(), &st) != 0) return false;
      mode = st.st_mode;
      break;
    }
  }
  const std::string updated = ini_text::WriteValue(bytes, section, key, value);
  if (folder_takes_new_files) return WriteFileReplacing(target, updated, mode);
  return OverwriteInPlace(target, updated);
}

}  // namespace

std::string ReadIniStrIn(const std::string& folder, std::string_view pMKey, std::string_view pSKey,
                         std::string_view pDef) {
  try {
    std::string bytes;
    if (ReadWholeFile(folder + kSettingsFileName, bytes) != ReadResult::kOk) {
      return std::string(pDef);
    }
    std::optional<std::string> value = ini_text::ReadValue(bytes, pMKey, pSKey);
    return value ? std::move(*value) : std::string(pDef);
  } catch (const std::exception&) {
    return std::string(pDef);
  }
}

void WriteIniStrIn(const std::string& folder, std::string_view pMKey, std::string_view pSKey,
                   std::string_view pPara) {
  const std::string path = folder + kSettingsFileName;
  bool ok = false;
  try {
    ok = WriteIniValue(path, pMKey, pSKey, pPara);
  } catch (const std::exception&) {
    ok = false;
  }
  if (!ok) throw SettingsWriteError(FillIn(kSettingsWriteError, {path}));
}

std::string IFReadIniStr(std::string_view pMKey, std::string_view pSKey, std::string_view pDef) {
  return ReadIniStrIn(ProgramFolder(), pMKey, pSKey, pDef);
}

void IFWriteIniStr(std::string_view pMKey, std::string_view pSKey, std::string_view pPara) {
  WriteIniStrIn(ProgramFolder(), pMKey, pSKey, pPara);
}

}  // namespace common
