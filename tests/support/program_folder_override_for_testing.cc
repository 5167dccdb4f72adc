#include "tests/support/program_folder_override_for_testing.h"

#include <filesystem>
#include <mutex>
#include <system_error>

namespace common {
namespace {

std::mutex folder_mutex;
std::string folder_override;  // empty: the running test program's folder

}  // namespace

std::string ProgramFolder() {
  std::lock_guard<std::mutex> lock(folder_mutex);
  if (!folder_override.empty()) return folder_override;
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("./") : self.parent_path().string() + "/";
}

void OverrideProgramFolderForTesting(const std::string& folder) {
  std::lock_guard<std::mutex> lock(folder_mutex);
  folder_override = folder;
  if (!folder_override.empty() && folder_override.back() != '/') folder_override += '/';
}

}  // namespace common
