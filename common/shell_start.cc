#include "common/shell_start.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <vector>

#include "common/unique_fd.h"

// Programs are started the way the Windows shell starts them: detached, in a session of their
// own, never waited for, and without leaving a zombie behind. The started process is a
// grandchild: the child in between exits at once and is reaped here, so the program is adopted
// by init. A pipe whose write end closes on exec tells whether the exec itself succeeded: end of
// file means it did, an errno value means it did not.
//
// pkexec refuses to work for a process whose parent has gone ("dead parents"), and checks the
// authorisation against that parent; so for it the detached process stays as its parent until
// it ends.

namespace common {
namespace {

constexpr char kOpener[] = "xdg-open";
constexpr char kElevator[] = "pkexec";
constexpr char kWindowsLoader[] = "wine";

// The full path of `name` on PATH, or empty.
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string rest = path != nullptr ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find(':', start);
    if (end == std::string::npos) end = rest.size();
    std::string candidate = end > start ? rest.substr(start, end - start) : std::string(".");
    candidate += '/';
    candidate += name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
}

bool StartDetachedProgram(const std::vector<std::string>& args, bool keep_parent);

// How a program file can be started here.
enum class ProgramType {
  kNone,     // missing, unreadable, not a regular file, or nothing that can run it
  kNative,   // executable for this system (the exec bit set): run directly
  kWindows,  // a Windows program (PE): run by wine
};

// A Windows program file: "MZ", and at the offset in its header "PE\0\0".
bool IsWindowsProgram(int fd) {
  unsigned char dos[64];
  if (::pread(fd, dos, sizeof dos, 0) != static_cast<ssize_t>(sizeof dos)) return false;
  if (dos[0] != 'M' || dos[1] != 'Z') return false;
  const uint32_t pe_offset = static_cast<uint32_t>(dos[60]) | (static_cast<uint32_t>(dos[61]) << 8) |
                             (static_cast<uint32_t>(dos[62]) << 16) |
                             (static_cast<uint32_t>(dos[63]) << 24);
  unsigned char signature[4];
  if (::pread(fd, signature, sizeof signature, static_cast<off_t>(pe_offset)) != 4) return false;
  return signature[0] == 'P' && signature[1] == 'E' && signature[2] == 0 && signature[3] == 0;
}

ProgramType TypeOf(const std::string& path) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd.valid()) return ProgramType::kNone;
  struct stat st {};
  ProgramType type = ProgramType::kNone;
  if (::fstat(fd.get(), &st) == 0 && S_ISREG(st.st_mode)) {
    if (IsWindowsProgram(fd.get())) {
      type = ProgramType::kWindows;
    } else if ((st.st_mode & 0111) != 0 && ::access(path.c_str(), X_OK) == 0) {
      type = ProgramType::kNative;
    }
  }
  return type;
}

// A web address (or another URL) rather than a file.
bool IsUrl(const std::string& target) {
  const size_t colon = target.find("://");
  if (colon == std::string::npos || colon == 0) return false;
  for (size_t i = 0; i < colon; ++i) {
    const char c = target[i];
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                    (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
    if (!ok) return false;
  }
  return true;
}

// Starts a Windows program under wine, found on PATH, with our environment (WINEPREFIX
// included). False when there is no wine.
bool StartWindowsProgram(const std::string& path) {
  const std::string loader = FindOnPath(kWindowsLoader);
  if (loader.empty()) return false;
  return StartDetachedProgram({loader, path}, false);
}

// Only async-signal-safe calls from here on: the caller may have threads.
void WriteErrno(int fd, int error) {
  while (::write(fd, &error, sizeof error) < 0 && errno == EINTR) {
  }
}

// In the process that is about to exec: default signal handling, nothing blocked, no terminal
// input, and every inherited descriptor closed on exec.
void PrepareForExec() {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  UniqueFd null(::open("/dev/null", O_RDONLY));
  if (null.get() == STDIN_FILENO) null.Release();  // it already is the input
  if (null.valid()) ::dup2(null.get(), STDIN_FILENO);
#ifdef CLOSE_RANGE_CLOEXEC
  ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
#endif
}

[[noreturn]] void ExecOrReport(const char* path, char* const argv[], int report_fd) {
  PrepareForExec();
  ::execv(path, argv);
  WriteErrno(report_fd, errno);
  ::_exit(127);
}

// Starts `argv` (argv[0] a full path) detached. With `keep_parent`, a process of the new session
// stays as the program's parent until the program ends. Returns whether the exec succeeded.
bool StartDetachedProgram(const std::vector<std::string>& args, bool keep_parent) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const char* path = args.front().c_str();

  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return false;
  UniqueFd read_end(report[0]);
  UniqueFd write_end(report[1]);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    read_end.Reset();
    ::setsid();
    const pid_t detached = ::fork();
    if (detached < 0) {
      WriteErrno(report[1], errno);
      ::_exit(1);
    }
    if (detached > 0) ::_exit(0);  // the program's process is adopted by init
    if (!keep_parent) ExecOrReport(path, argv.data(), report[1]);
    const pid_t program = ::fork();
    if (program < 0) {
      WriteErrno(report[1], errno);
      ::_exit(1);
    }
    if (program == 0) ExecOrReport(path, argv.data(), report[1]);
    write_end.Reset();
    int status = 0;
    while (::waitpid(program, &status, 0) < 0 && errno == EINTR) {
    }
    ::_exit(0);
  }

  write_end.Reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t n;
  while ((n = ::read(read_end.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  return n == 0;
}

}  // namespace

bool ShellOpen(const std::string& target) {
  if (target.empty()) return false;
  if (IsUrl(target)) {
    const std::string opener = FindOnPath(kOpener);
    return !opener.empty() && StartDetachedProgram({opener, target}, false);
  }
  switch (TypeOf(target)) {
    case ProgramType::kWindows:
      return StartWindowsProgram(target);
    case ProgramType::kNative:
      return StartDetachedProgram({target}, false);
    case ProgramType::kNone:
      break;
  }
  return false;
}

bool ShellRunAs(const std::string& program) {
  if (program.empty()) return false;
  switch (TypeOf(program)) {
    case ProgramType::kWindows:
      // Wine has no elevation of its own: the installer runs like any Windows program.
      return StartWindowsProgram(program);
    case ProgramType::kNative: {
      const std::string elevator = FindOnPath(kElevator);
      return !elevator.empty() && StartDetachedProgram({elevator, program}, true);
    }
    case ProgramType::kNone:
      break;
  }
  return false;
}

}  // namespace common
