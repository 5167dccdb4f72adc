#include "reportengine/pdf/pdf_output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "common/closed_folder_for_testing.h"
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

  const auto result = common::InClosedFolder(folder, [&] {
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
