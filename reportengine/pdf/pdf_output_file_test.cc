#include "reportengine/pdf/pdf_output_file.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include "common/temp_folder_for_testing.h"

namespace re::pdf {
namespace {

namespace fs = std::filesystem;

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Writes `bytes` to `target` through an OutputFile; returns "" or the error text.
std::string Export(const std::string& target, const std::string& bytes) {
  OutputFile file;
  std::string error;
  if (!file.Open(target, &error)) return error.empty() ? "failed without a reason" : error;
  file.Write(bytes);
  if (!file.Commit(&error)) return error.empty() ? "failed without a reason" : error;
  return "";
}

// Runs `check` with `folder` refusing new files while files in it may still be written: for a
// user by its permission bits; for root, whom permission bits do not stop, by making the
// folder's mount read-only in a private mount namespace after giving each file its own writable
// mount. `check` returns "" or what went wrong. Returns nullopt when neither can be arranged.
std::optional<std::string> InClosedFolder(const std::string& folder,
                                          const std::function<std::string()>& check) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    if (::geteuid() == 0) {
      if (::unshare(CLONE_NEWNS) != 0 ||
          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        ::_exit(77);
      }
      for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string file = entry.path().string();
        if (::mount(file.c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0) ::_exit(77);
      }
      if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
          0) {
        ::_exit(77);
      }
    } else {
      ::chmod(folder.c_str(), 0555);
    }
    const std::string result = check();
    if (::write(fds[1], result.data(), result.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) result.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::chmod(folder.c_str(), 0755);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return result;
}

TEST(OutputFileTest, NormallyReplacesTheTargetWithANewFile) {
  common::TempFolderForTesting temp;
  const std::string target = temp.path() + "RepChk.pdf";
  std::ofstream(target) << "old contents, longer than the new ones";
  const ino_t before = Inode(target);
  EXPECT_EQ(Export(target, "%PDF new"), "");
  EXPECT_EQ(Contents(target), "%PDF new");
  EXPECT_NE(Inode(target), before);  // renamed over, not written into
}

TEST(OutputFileTest, FolderWithoutNewFilesOverwritesAWritableTargetInPlace) {
  common::TempFolderForTesting temp;
  const std::string folder = temp.path() + "program/";
  fs::create_directory(folder);
  std::ofstream(folder + "RepChk.pdf") << "old contents, longer than the new ones";
  std::ofstream(folder + "Rep.pdf") << "kept";
  ::chmod((folder + "Rep.pdf").c_str(), 0444);
  const ino_t before = Inode(folder + "RepChk.pdf");

  const auto result = InClosedFolder(folder, [&] {
    std::string problems;
    // The folder really refuses a new file (else this test would prove nothing).
    if (std::ofstream(folder + "probe")) problems += "folder still takes new files; ";
    const std::string big(3 * 1024 * 1024 + 17, 'x');  // several copy buffers
    for (const std::string& bytes : {std::string("%PDF new"), big}) {
      const std::string error = Export(folder + "RepChk.pdf", bytes);
      if (!error.empty()) problems += "export: " + error + "; ";
      if (Contents(folder + "RepChk.pdf") != bytes) problems += "contents differ; ";
    }
    const struct {
      const char* name;
      const char* error;
    } refused[] = {{"New.pdf", "Cannot create file"}, {"Rep.pdf", "File is read-only"}};
    for (const auto& r : refused) {
      const std::string error = Export(folder + r.name, "%PDF new");
      if (error.find(r.error) == std::string::npos) problems += r.name + (": " + error) + "; ";
    }
    return problems;
  });
  if (!result) GTEST_SKIP() << "neither permission bits nor private mounts can close a folder here";
  EXPECT_EQ(*result, "");
  EXPECT_EQ(Inode(folder + "RepChk.pdf"), before);
  EXPECT_EQ(Contents(folder + "Rep.pdf"), "kept");
  std::vector<std::string> entries;
  for (const auto& entry : fs::directory_iterator(folder)) {
    entries.push_back(entry.path().filename().string());
  }
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (std::vector<std::string>{"Rep.pdf", "RepChk.pdf"}));
}

}  // namespace
}  // namespace re::pdf
