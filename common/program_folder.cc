#include "common/program_folder.h"

#include <mutex>
#include <system_error>
#include <filesystem>

namespace common {
namespace {

std::mutex override_mutex;
std::string override_folder;  // set by tests only; empty means "use the executable's folder"

std::string WithTrailingSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace

std::string ProgramFolder() {
  {
    std::lock_guard<std::mutex> lock(override_mutex);
    if (!override_folder.empty()) return override_folder;
  }
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return WithTrailingSlash(exe.parent_path().string());
}

void OverrideProgramFolderForTesting(const std::string& folder) {
  std::lock_guard<std::mutex> lock(override_mutex);
  override_folder = folder.empty() ? std::string() : WithTrailingSlash(folder);
}

}  // namespace common
