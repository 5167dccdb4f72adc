#include "common/file_helper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "common/disk_space.h"
#include "common/temp_folder_for_testing.h"

namespace common {
namespace {

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
  folder.Write("dst", "old");

  EXPECT_TRUE(CopyFileAtomic(dir + "src", dir + "dst"));
  EXPECT_EQ(folder.Read("dst"), "new contents");
  EXPECT_TRUE(CopyFileAtomic(dir + "src", dir + "fresh"));
  EXPECT_EQ(folder.Read("fresh"), "new contents");

  std::filesystem::create_directory(dir + "sub");
  struct Case {
    const char* name;
    std::string from, to;
    const char* reason;
  } const failures[] = {
      {"missing source", dir + "missing", dir + "dst", "ファイルがありません"},
      {"empty source name", "", dir + "dst", "ファイルがありません"},
      {"source is a folder", dir + "sub", dir + "dst", nullptr},
      {"target folder missing", dir + "src", dir + "nowhere/dst", "ファイルがありません"},
      {"target is a folder", dir + "src", dir + "sub", nullptr},
  };
  for (const auto& c : failures) {
    std::string why;
    EXPECT_FALSE(CopyFileAtomic(c.from, c.to, FileKind::kData, &why)) << c.name;
    EXPECT_FALSE(why.empty()) << c.name;
    if (c.reason != nullptr) {
      EXPECT_EQ(why, c.reason) << c.name;
    }
  }
  EXPECT_EQ(folder.Read("dst"), "new contents");
  EXPECT_EQ(FileNamesIn(dir), (std::set<std::string>{"src", "dst", "fresh", "sub"}));  // no temporaries
  EXPECT_TRUE(std::filesystem::is_empty(dir + "sub"));
}

// A replaced file keeps its own permission bits (an installed program stays executable, a
// database stays what it was); a new one gets the usual bits of its kind under the umask.
TEST(FileHelperTest, CopyFileAtomicPermissionBits) {
  TempFolderForTesting folder;
  const std::string dir = folder.path();
  folder.Write("src", "new");
  ::chmod((dir + "src").c_str(), 0600);  // the download's bits do not matter
  const mode_t saved_umask = ::umask(027);
  struct Case {
    const char* name;
    int before;  // the target's bits, or -1 when there is none
    FileKind kind;
    mode_t after;
  } const cases[] = {
      {"installed program keeps 0755", 0755, FileKind::kProgram, 0755},
      {"installed program keeps 0750", 0750, FileKind::kProgram, 0750},
      {"database keeps 0664", 0664, FileKind::kData, 0664},
      {"new program", -1, FileKind::kProgram, 0750},
      {"new data file", -1, FileKind::kData, 0640},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir + "dst");
    if (c.before >= 0) {
      folder.Write("dst", "old");
      ::chmod((dir + "dst").c_str(), static_cast<mode_t>(c.before));
    }
    ASSERT_TRUE(CopyFileAtomic(dir + "src", dir + "dst", c.kind));
    struct stat st {};
    ASSERT_EQ(::stat((dir + "dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.after);
    EXPECT_EQ(folder.Read("dst"), "new");
  }
  ::umask(saved_umask);
}

// The platform's copy refuses a read-only target, although a rename would only need the
// folder: for root a file without write bits counts as read-only; a user who may not write
// the file may not replace it either. Checked as root and as the unprivileged "nobody".
TEST(FileHelperTest, CopyFileAtomicRefusesATargetWithoutWritePermission) {
  TempFolderForTesting folder;
  const std::string dir = folder.path();
  ::chmod(dir.c_str(), 0777);  // the folder itself is writable for everyone
  folder.Write("src", "new");
  ::chmod((dir + "src").c_str(), 0644);
  struct Case {
    const char* name;
    bool as_nobody;
    mode_t target_mode;
    const char* reason;
  } const cases[] = {
      {"0444 as this user", false, 0444, "読み取り専用のファイルです"},
      {"0444 as nobody", true, 0444, "読み取り専用のファイルです"},
      {"another user's 0644 as nobody", true, 0644, "書き込みの権限がありません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.as_nobody && ::geteuid() != 0) continue;  // only root can become nobody
    folder.Write("dst", "old");
    ::chmod((dir + "dst").c_str(), c.target_mode);
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(pipe_fds[0]);
      if (c.as_nobody && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
      std::string why;
      const bool copied = CopyFileAtomic(dir + "src", dir + "dst", FileKind::kData, &why);
      if (::write(pipe_fds[1], why.data(), why.size()) < 0) ::_exit(4);
      ::_exit(copied ? 1 : 0);
    }
    ::close(pipe_fds[1]);
    std::string why;
    char buffer[256];
    for (ssize_t n; (n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0;) why.append(buffer, n);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "copied anyway";
    EXPECT_EQ(why, c.reason);
    EXPECT_EQ(folder.Read("dst"), "old");
    struct stat st {};
    ASSERT_EQ(::stat((dir + "dst").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, c.target_mode);
    EXPECT_EQ(FileNamesIn(dir), (std::set<std::string>{"src", "dst"}));
    std::filesystem::remove(dir + "dst");
  }
}

TEST(DiskSpaceTest, FreeSpaceOfAFolder) {
  TempFolderForTesting folder;
  const TDiskSpace space = GetDiskSpace(folder.path());
  EXPECT_EQ(space.Directory, folder.path());
  EXPECT_GT(space.TotalSpace, 0);
  EXPECT_LE(space.FreeAvailable, space.TotalFree);
  EXPECT_LE(space.TotalFree, space.TotalSpace);
  // Both ask the same file system; tests running beside this one write meanwhile, so the two
  // figures agree to within what those may have written, not to the byte.
  const uint64_t available = GetAvailableDiskSpace(folder.path());
  const auto asked_again = static_cast<uint64_t>(GetDiskSpace(folder.path()).FreeAvailable);
  constexpr uint64_t kWrittenMeanwhile = uint64_t{1} << 30;
  EXPECT_LE(available > asked_again ? available - asked_again : asked_again - available,
            kWrittenMeanwhile);

  const TDiskSpace missing = GetDiskSpace(folder.path() + "missing/");
  EXPECT_EQ(missing.Directory, folder.path() + "missing/");
  EXPECT_EQ(missing.FreeAvailable, 0);
  EXPECT_EQ(missing.TotalSpace, 0);
  EXPECT_EQ(missing.TotalFree, 0);
}

}  // namespace
}  // namespace common
