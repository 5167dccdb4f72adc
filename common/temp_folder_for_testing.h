// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes out of scope. For tests only.
#ifndef COMMON_TEMP_FOLDER_FOR_TESTING_H_
#define COMMON_TEMP_FOLDER_FOR_TESTING_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace common {

class TempFolderForTesting {
 public:
  TempFolderForTesting() {
    std::string pattern = (std::filesystem::temp_directory_path() / "common-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
  }
  ~TempFolderForTesting() {
    std::error_code ec;
    // Make read-only leftovers of a test removable again.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempFolderForTesting(const TempFolderForTesting&) = delete;
  TempFolderForTesting& operator=(const TempFolderForTesting&) = delete;

  // The folder, with a trailing "/".
  const std::string& path() const { return path_; }

  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream out(path_ + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path_ + name);
  }

  std::string Read(const std::string& name) const {
    std::ifstream in(path_ + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::string path_;  // ends with "/"
};

// The names of the entries of `folder`, hidden ones included.
inline std::set<std::string> FileNamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

}  // namespace common

#endif  // COMMON_TEMP_FOLDER_FOR_TESTING_H_
