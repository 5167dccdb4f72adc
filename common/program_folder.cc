#include "common/program_folder.h"

#include <sys/auxv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace common {
namespace {

std::string WithTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

std::string Absolute(const std::string& path, const std::string& cwd) {
  if (path.empty() || path.front() == '/') return path;
  return WithTrailingSlash(cwd) + path;
}

// True when `path` names the running program file (the same file, through any links).
bool IsSelf(const std::string& path, const std::string& self) {
  struct stat a {}, b {};
  return !path.empty() && ::stat(path.c_str(), &a) == 0 && ::stat(self.c_str(), &b) == 0 &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The folder part of an absolute path, without "." steps and doubled slashes. ".." steps stay:
// taken out textually they would skip a link in the folder part that the kernel follows.
std::string FolderOf(const std::string& absolute_path) {
  std::string folder = "/";
  const std::string parent = absolute_path.substr(0, absolute_path.rfind('/') + 1);
  size_t begin = 0;
  while (begin < parent.size()) {
    size_t end = parent.find('/', begin);
    const std::string step = parent.substr(begin, end - begin);
    if (!step.empty() && step != ".") folder += step + "/";
    begin = end + 1;
  }
  return folder;
}

// argv[0] as exec received it; the first entry of /proc/self/cmdline.
std::string StartArgv0() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string first;
  std::getline(in, first, '\0');
  return first;
}

std::string StartCwd() {
  std::error_code ec;
  std::filesystem::path cwd = std::filesystem::current_path(ec);
  return ec ? std::string("/") : cwd.string();
}

std::string SelfPath() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : exe.string();
}

// Taken once, as early as possible: a relative start path means the working folder at start,
// and the programs may change their working folder later.
const std::string& StartFolder() {
  static const std::string folder = [] {
    const char* exec_path = reinterpret_cast<const char*>(::getauxval(AT_EXECFN));
    const char* path_env = std::getenv("PATH");
    return ProgramFolderFrom(exec_path != nullptr ? exec_path : "", StartArgv0(), StartCwd(),
                             path_env != nullptr ? path_env : "", SelfPath());
  }();
  return folder;
}

// Computes the start folder before main() runs, while the working folder is still the one the
// program was started in.
[[maybe_unused]] const std::string& start_folder_at_load = StartFolder();

}  // namespace

std::string ProgramFolderFrom(const std::string& exec_path, const std::string& argv0,
                              const std::string& cwd, const std::string& path_env,
                              const std::string& self) {
  const std::string exec_absolute = Absolute(exec_path, cwd);
  // A program started from an open file (fexecve) has a descriptor's name, not a folder.
  const bool through_descriptor =
      exec_absolute.starts_with("/dev/fd/") || exec_absolute.starts_with("/proc/");
  if (!through_descriptor && IsSelf(exec_absolute, self)) return FolderOf(exec_absolute);

  if (argv0.find('/') != std::string::npos) {
    const std::string absolute = Absolute(argv0, cwd);
    if (IsSelf(absolute, self)) return FolderOf(absolute);
  } else if (!argv0.empty()) {
    // A bare name was looked up in PATH by whoever started us; an empty entry means ".".
    size_t begin = 0;
    while (begin <= path_env.size()) {
      size_t end = path_env.find(':', begin);
      if (end == std::string::npos) end = path_env.size();
      const std::string entry = path_env.substr(begin, end - begin);
      const std::string candidate =
          Absolute(WithTrailingSlash(entry.empty() ? "." : entry) + argv0, cwd);
      if (IsSelf(candidate, self)) return FolderOf(candidate);
      begin = end + 1;
    }
  }
  if (self.empty()) return WithTrailingSlash(cwd);
  return FolderOf(self);
}

std::string ProgramFolder() { return StartFolder(); }

std::string ProgramFileFolder() {
  const std::string self = SelfPath();
  return self.empty() ? std::string("./") : FolderOf(self);
}

}  // namespace common
