#include "common/file_helper.h"

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "common/disk_space.h"
#include "common/temp_folder_for_testing.h"

namespace common {
namespace {

std::set<std::string> Names(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// A sparse file of `size` bytes: takes no room, so sizes beyond 4 GiB cost nothing.
void MakeSparseFile(const std::string& path, int64_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, size), 0);
  ::close(fd);
}

TEST(FileHelperTest, GetSizeAndExistence) {
  TempFolderForTesting folder;
  const std::string dir = folder.path();
  MakeSparseFile(dir + "big", 78000001);
  MakeSparseFile(dir + "huge", (int64_t{5} << 30) + 3);
  folder.Write("empty", "");
  std::filesystem::create_directory(dir + "sub");
  std::filesystem::create_symlink(dir + "big", dir + "link");

  struct Case {
    std::string name;
    int64_t size;
    bool file, directory;
  } const cases[] = {
      {"big", 78000001, true, false},
      {"huge", (int64_t{5} << 30) + 3, true, false},
      {"empty", 0, true, false},
      {"link", 78000001, true, false},
      {"sub", -1, false, true},
      {"missing", -1, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TFileHelper::GetSize(dir + c.name), c.size) << c.name;
    EXPECT_EQ(FileExists(dir + c.name), c.file) << c.name;
    EXPECT_EQ(DirectoryExists(dir + c.name), c.directory) << c.name;
  }
  EXPECT_EQ(TFileHelper::GetSize(""), -1);
}

TEST(FileHelperTest, CreateDirMakesOneLevel) {
  TempFolderForTesting folder;
  EXPECT_TRUE(CreateDir(folder.path() + "BKData/"));
  EXPECT_TRUE(DirectoryExists(folder.path() + "BKData"));
  EXPECT_FALSE(CreateDir(folder.path() + "BKData"));        // exists already
  EXPECT_FALSE(CreateDir(folder.path() + "a/b"));           // two levels
  EXPECT_FALSE(DirectoryExists(folder.path() + "a"));
}

TEST(FileHelperTest, CopyFileAtomicReplacesOrLeavesTargetUntouched) {
  TempFolderForTesting folder;
  const std::string dir = folder.path();
  folder.Write("src", "new contents");
  ASSERT_EQ(::chmod((dir + "src").c_str(), 0755), 0);
  folder.Write("dst", "old");

  EXPECT_TRUE(CopyFileAtomic(dir + "src", dir + "dst"));
  EXPECT_EQ(folder.Read("dst"), "new contents");
  EXPECT_EQ(std::filesystem::status(dir + "dst").permissions(),
            std::filesystem::status(dir + "src").permissions());
  EXPECT_TRUE(CopyFileAtomic(dir + "src", dir + "fresh"));
  EXPECT_EQ(folder.Read("fresh"), "new contents");

  std::filesystem::create_directory(dir + "sub");
  struct Case {
    const char* name;
    std::string from, to;
  } const failures[] = {
      {"missing source", dir + "missing", dir + "dst"},
      {"empty source name", "", dir + "dst"},
      {"source is a folder", dir + "sub", dir + "dst"},
      {"target folder missing", dir + "src", dir + "nowhere/dst"},
      {"target is a folder", dir + "src", dir + "sub"},
  };
  for (const auto& c : failures) EXPECT_FALSE(CopyFileAtomic(c.from, c.to)) << c.name;
  EXPECT_EQ(folder.Read("dst"), "new contents");
  EXPECT_EQ(Names(dir), (std::set<std::string>{"src", "dst", "fresh", "sub"}));  // no temporaries
  EXPECT_TRUE(std::filesystem::is_empty(dir + "sub"));
}

TEST(FileHelperTest, TemporaryNamesAreBesideAndUnique) {
  const std::string a = TemporaryNameBeside("/x/y/user.ini");
  const std::string b = TemporaryNameBeside("/x/y/user.ini");
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind("/x/y/", 0), 0u);
  EXPECT_EQ(a.find('/', 5), std::string::npos);
}

TEST(DiskSpaceTest, FreeSpaceOfAFolder) {
  TempFolderForTesting folder;
  const TDiskSpace space = GetDiskSpace(folder.path());
  EXPECT_EQ(space.Directory, folder.path());
  EXPECT_GT(space.TotalSpace, 0);
  EXPECT_LE(space.FreeAvailable, space.TotalFree);
  EXPECT_LE(space.TotalFree, space.TotalSpace);
  EXPECT_EQ(GetAvailableDiskSpace(folder.path()), static_cast<uint64_t>(GetDiskSpace(folder.path()).FreeAvailable));

  const TDiskSpace missing = GetDiskSpace(folder.path() + "missing/");
  EXPECT_EQ(missing.Directory, folder.path() + "missing/");
  EXPECT_EQ(missing.FreeAvailable, 0);
  EXPECT_EQ(missing.TotalSpace, 0);
  EXPECT_EQ(missing.TotalFree, 0);
}

}  // namespace
}  // namespace common
