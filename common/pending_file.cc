#include "common/pending_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <fstream>
#include <sstream>

#include "common/texts.h"

namespace common {
namespace {

constexpr char kTemporaryMark[] = ".tmp-";
std::atomic<bool> named_for_testing{false};

std::string NameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

double Seconds(const timespec& t) { return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9; }

// When this process started, in seconds since 1970, to the clock tick: the kernel counts the
// start in ticks since boot, which is turned into wall-clock time through the two clocks.
double ProcessStartTime() {
  static const double start = [] {
    timespec real {}, boot {};
    ::clock_gettime(CLOCK_REALTIME, &real);
    ::clock_gettime(CLOCK_BOOTTIME, &boot);
    std::ifstream stat_file("/proc/self/stat");
    std::string all((std::istreambuf_iterator<char>(stat_file)), std::istreambuf_iterator<char>());
    // The command name may hold blanks and parentheses: fields count from the last ")".
    const size_t close = all.rfind(')');
    if (close == std::string::npos || close + 2 > all.size()) return Seconds(real);
    std::istringstream fields(all.substr(close + 2));
    std::string field;
    // After the name, the state is field 3; the start time is field 22.
    for (int i = 3; i <= 22 && fields >> field; ++i) {
      if (i == 22) {
        char* end = nullptr;
        const double ticks = std::strtod(field.c_str(), &end);
        if (end == field.c_str()) break;
        const double since_boot = ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
        return Seconds(real) - (Seconds(boot) - since_boot);
      }
    }
    // Without the start time, the time of this first call; a live writer's lock still protects
    // its file.
    return Seconds(real);
  }();
  return start;
}

// Locks `fd` for writing without waiting; true when this process now holds the lock.
bool TryLock(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

std::string TemporaryNameBeside(const std::string& target) {
  static std::atomic<unsigned long> counter{0};
  return FolderOf(target) + "." + NameOf(target) + kTemporaryMark + std::to_string(::getpid()) +
         "-" + std::to_string(counter.fetch_add(1));
}

bool IsTemporaryName(const std::string& name) {
  if (name.size() < 2 || name[0] != '.') return false;
  const size_t mark = name.rfind(kTemporaryMark);
  if (mark == std::string::npos || mark < 2) return false;
  const std::string tail = name.substr(mark + std::strlen(kTemporaryMark));
  if (tail.empty() || tail.front() == '-') return false;
  for (char c : tail) {
    if ((c < '0' || c > '9') && c != '-') return false;
  }
  return true;
}

PendingFile::~PendingFile() { Discard(); }

void PendingFile::Discard() {
  if (!named_.empty()) ::unlink(named_.c_str());
  named_.clear();
  if (fd_ >= 0) ::close(fd_);  // an unnamed file vanishes with its last descriptor
  fd_ = -1;
  if (folder_fd_ >= 0) ::close(folder_fd_);
  folder_fd_ = -1;
}

bool PendingFile::Create(const std::string& target, FileKind kind) {
  Discard();
  target_ = target;
  const std::string folder = FolderOf(target);
  const mode_t mode = kind == FileKind::kProgram ? 0777 : 0666;  // the umask applies
  folder_fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder_fd_ < 0) {
    error_ = errno;
    return false;
  }
  fd_ = named_for_testing ? -1 : ::openat(folder_fd_, ".", O_RDWR | O_TMPFILE | O_CLOEXEC, mode);
  if (named_for_testing ||
      (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT))) {
    // No unnamed files here: a hidden name, locked at once. A sweep that finds it before the
    // lock is taken leaves it alone, because it is not older than the sweeping process.
    named_ = TemporaryNameBeside(target);
    fd_ = ::open(named_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd_ < 0) named_.clear();
  }
  if (fd_ < 0) {
    error_ = errno;
    Discard();
    return false;
  }
  // Held until the file is in place or gone: a sweep never removes a file being written.
  ::flock(fd_, LOCK_EX);
  return true;
}

bool PendingFile::Commit(int mode) {
  auto fail = [&](int e) {
    error_ = e;
    Discard();
    return false;
  };
  if (fd_ < 0) return fail(EBADF);
  if (mode >= 0 && ::fchmod(fd_, static_cast<mode_t>(mode) & 07777) != 0) return fail(errno);
  if (::fsync(fd_) != 0) return fail(errno);
  if (named_.empty()) {
    // Give the unnamed file a hidden name first: a link cannot replace an existing file, a
    // rename can. The lock stays on the file through both steps.
    const std::string named = TemporaryNameBeside(target_);
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
        ::linkat(fd_, "", AT_FDCWD, named.c_str(), AT_EMPTY_PATH) != 0) {
      return fail(errno);
    }
    named_ = named;
  }
  if (::rename(named_.c_str(), target_.c_str()) != 0) return fail(errno);
  named_.clear();
  const bool synced = ::fsync(folder_fd_) == 0;
  const int sync_error = errno;
  Discard();
  if (!synced) {
    error_ = sync_error;
    return false;
  }
  return true;
}

void UseNamedTemporariesForTesting(bool named) { named_for_testing = named; }

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

int RemoveStaleTemporaries(const std::string& folder) {
  int removed = 0;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  const int dir_fd = ::dirfd(dir);
  const double started = ProcessStartTime();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!IsTemporaryName(name)) continue;
    const int fd = ::openat(dir_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    // Only a regular file older than this process that nobody holds locked is a leftover.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Seconds(st.st_mtim) < started &&
        TryLock(fd)) {
      if (::unlinkat(dir_fd, name.c_str(), 0) == 0) ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  return removed;
}

void RemoveStaleTemporariesOfProgramFolder(const std::string& folder) {
  try {
    for (const char* sub : {"", texts::kDownloadFolderName, texts::kDefaultBackupFolder,
                            texts::kDefaultProgramBackupFolder}) {
      RemoveStaleTemporaries(folder + sub);
    }
    // Earlier versions locked user.ini through this file and left it behind.
    const std::string old_lock = folder + texts::kSettingsFileName + texts::kOldSettingsLockSuffix;
    const int fd = ::open(old_lock.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
      struct stat st {};
      if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && TryLock(fd)) ::unlink(old_lock.c_str());
      ::close(fd);
    }
  } catch (const std::exception&) {
    // Tidying up is never worth failing a run for.
  }
}

}  // namespace common
