#include "common/pending_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
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
        unsigned long long ticks = 0;
        if (std::from_chars(field.data(), field.data() + field.size(), ticks).ec != std::errc()) {
          break;
        }
        const double since_boot =
            static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
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
  in_place_ = false;
  fd_.Reset();  // an unnamed file vanishes with its last descriptor
  folder_fd_.Reset();
}

bool PendingFile::Create(const std::string& target, const PendingFileOptions& options) {
  Discard();
  target_ = target;
  failed_step_ = CommitStep::kNone;
  const std::string folder = FolderOf(target);
  const mode_t mode = options.kind == FileKind::kProgram ? 0777 : 0666;  // the umask applies
  folder_fd_.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder_fd_.valid()) {
    error_ = errno;
    return false;
  }
  const bool hidden = options.temporary == TemporaryName::kAlwaysHidden;
  if (!hidden) {
    fd_.Reset(::openat(folder_fd_.get(), ".", O_RDWR | O_TMPFILE | O_CLOEXEC, mode));
  }
  const bool unnamed_unsupported = !hidden && !fd_.valid() &&
      (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL || errno == ENOENT);
  if (hidden || unnamed_unsupported) {
    // No unnamed files here: a hidden name, locked at once. A sweep that finds it before the
    // lock is taken leaves it alone, because it is not older than the sweeping process.
    named_ = TemporaryNameBeside(target);
    fd_.Reset(::open(named_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd_.valid()) named_.clear();
  }
  if (!fd_.valid() && options.closed_folder == ClosedFolder::kOverwriteInPlace &&
      (errno == EACCES || errno == EPERM || errno == EROFS)) {
    // The folder refuses a new file; an existing target is still replaced, in place.
    const int folder_error = errno;
    if (::access(target.c_str(), F_OK) == 0 && OpenStaging()) {
      in_place_ = true;
      return true;
    }
    errno = folder_error;
  }
  if (!fd_.valid()) {
    error_ = errno;
    Discard();
    return false;
  }
  // Held until the file is in place or gone: a sweep never removes a file being written.
  ::flock(fd_.get(), LOCK_EX);
  return true;
}

// An unnamed file in the system's temporary folder (TMPDIR, else /tmp) for the bytes of a file
// that will overwrite its target in place.
bool PendingFile::OpenStaging() {
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string folder = tmpdir != nullptr && *tmpdir == '/' ? tmpdir : "/tmp";
  fd_.Reset(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (!fd_.valid()) {
    std::string name = folder + "/staging-XXXXXX";
    fd_.Reset(::mkostemp(name.data(), O_CLOEXEC));
    if (fd_.valid()) ::unlink(name.c_str());
  }
  return fd_.valid();
}

bool PendingFile::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_.get(), bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Copies the staged bytes over the target's contents. Room for them is reserved first, so that
// a full disk is found out before the old contents are touched.
bool PendingFile::OverwriteTarget() {
  auto fail = [&](CommitStep step, int e) {
    failed_step_ = step;
    error_ = e;
    return false;
  };
  struct stat staged {};
  if (::fstat(fd_.get(), &staged) != 0) return fail(CommitStep::kSave, errno);
  const off_t size = staged.st_size;
  UniqueFd out(::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY));
  if (!out.valid()) return fail(CommitStep::kReplace, errno);
  if (size > 0 && ::fallocate(out.get(), 0, 0, size) != 0 && errno != EOPNOTSUPP &&
      errno != ENOSYS) {
    return fail(CommitStep::kReplace, errno);
  }
  constexpr size_t kChunkBytes = 256 * 1024;
  std::string chunk(kChunkBytes, '\0');
  off_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd_.get(), chunk.data(), chunk.size(), done);
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      return fail(CommitStep::kSave, n < 0 ? errno : EIO);
    }
    ssize_t put = 0;
    while (put < n) {
      const ssize_t m = ::pwrite(out.get(), chunk.data() + put, static_cast<size_t>(n - put),
                                 done + put);
      if (m < 0 && errno == EINTR) continue;
      if (m < 0) return fail(CommitStep::kReplace, errno);
      put += m;
    }
    done += n;
  }
  if (::ftruncate(out.get(), size) != 0 || ::fsync(out.get()) != 0 || !out.Close()) {
    return fail(CommitStep::kReplace, errno);
  }
  return true;
}

bool PendingFile::Commit(int mode) {
  failed_step_ = CommitStep::kNone;
  auto fail = [&](CommitStep step, int e) {
    failed_step_ = step;
    error_ = e;
    Discard();
    return false;
  };
  if (!fd_.valid()) return fail(CommitStep::kSave, EBADF);
  if (in_place_) {
    const bool done = OverwriteTarget();
    const CommitStep step = failed_step_;
    const int e = error_;
    Discard();
    return done || fail(step, e);
  }
  if (mode >= 0 && ::fchmod(fd_.get(), static_cast<mode_t>(mode) & 07777) != 0) {
    return fail(CommitStep::kSave, errno);
  }
  if (::fsync(fd_.get()) != 0) return fail(CommitStep::kSave, errno);
  if (named_.empty()) {
    // Give the unnamed file a hidden name first: a link cannot replace an existing file, a
    // rename can. The lock stays on the file through both steps.
    const std::string named = TemporaryNameBeside(target_);
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW) != 0 &&
        ::linkat(fd_.get(), "", AT_FDCWD, named.c_str(), AT_EMPTY_PATH) != 0) {
      return fail(CommitStep::kSave, errno);
    }
    named_ = named;
  }
  if (::rename(named_.c_str(), target_.c_str()) != 0) return fail(CommitStep::kReplace, errno);
  named_.clear();
  if (::fsync(folder_fd_.get()) != 0) return fail(CommitStep::kSyncFolder, errno);
  Discard();
  return true;
}

bool SyncFolder(const std::string& folder) {
  const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return fd.valid() && ::fsync(fd.get()) == 0;
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
    const UniqueFd fd(
        ::openat(dir_fd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) continue;
    struct stat st {};
    // Only a regular file older than this process that nobody holds locked is a leftover.
    if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && Seconds(st.st_mtim) < started &&
        TryLock(fd.get())) {
      if (::unlinkat(dir_fd, name.c_str(), 0) == 0) ++removed;
    }
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
    const UniqueFd fd(::open(old_lock.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.valid() && ::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode) && TryLock(fd.get())) {
      ::unlink(old_lock.c_str());
    }
  } catch (const std::exception&) {
    // Tidying up is never worth failing a run for.
  }
}

}  // namespace common
