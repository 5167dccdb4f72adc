#include "common/pending_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <ctime>
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "common/closed_folder_for_testing.h"
#include "common/settings.h"
#include "common/temp_folder_for_testing.h"

namespace common {
namespace {

void WriteBytes(int fd, const std::string& bytes) {
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

void MakeOld(const std::string& path) {
  const utimbuf long_ago{std::time(nullptr) - 3600, std::time(nullptr) - 3600};
  ASSERT_EQ(::utime(path.c_str(), &long_ago), 0);
}

// While written the file has no name in the folder; it appears whole under the target's name,
// and a file dropped or never committed leaves nothing.
TEST(PendingFileTest, FileHasNoNameUntilCommitted) {
  TempFolderForTesting folder;
  folder.Write("MST.FDB", "old");
  {
    PendingFile file;
    ASSERT_TRUE(file.Create(folder.path() + "MST.FDB", FileKind::kData));
    WriteBytes(file.fd(), "new");
    EXPECT_EQ(FileNamesIn(folder.path()), std::set<std::string>{"MST.FDB"});
    EXPECT_EQ(folder.Read("MST.FDB"), "old");
    ASSERT_TRUE(file.Commit());
  }
  EXPECT_EQ(folder.Read("MST.FDB"), "new");
  {
    PendingFile file;
    ASSERT_TRUE(file.Create(folder.path() + "MST.FDB", FileKind::kData));
    WriteBytes(file.fd(), "dropped");
  }
  EXPECT_EQ(folder.Read("MST.FDB"), "new");
  EXPECT_EQ(FileNamesIn(folder.path()), std::set<std::string>{"MST.FDB"});

  PendingFile nowhere;
  EXPECT_FALSE(nowhere.Create(folder.path() + "missing/MST.FDB", FileKind::kData));
  EXPECT_NE(nowhere.error(), 0);
}

// A writer killed at any moment of many writes of a large file leaves only the old or the new
// file: nothing beside it.
TEST(PendingFileTest, KilledWriterLeavesNothingBehind) {
  TempFolderForTesting folder;
  const std::string target = folder.path() + "MST.FDB";
  folder.Write("MST.FDB", "old");
  const std::string block(1 << 20, 'N');
  for (int delay_us : {0, 500, 2000, 5000, 10000, 20000}) {
    SCOPED_TRACE(delay_us);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(ready[0]);
      if (::write(ready[1], "r", 1) != 1) ::_exit(2);
      for (;;) {
        PendingFile file;
        if (!file.Create(target, FileKind::kData)) ::_exit(1);
        for (int i = 0; i < 8; ++i) {
          if (::write(file.fd(), block.data(), block.size()) < 0) ::_exit(1);
        }
        if (!file.Commit()) ::_exit(1);
      }
    }
    ::close(ready[1]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
    ::usleep(static_cast<useconds_t>(delay_us));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    // Only in the instant between naming the finished file and renaming it over the target
    // can a hidden name remain, for the next run's sweep.
    std::set<std::string> names = FileNamesIn(folder.path());
    EXPECT_EQ(names.erase("MST.FDB"), 1u);
    for (const std::string& name : names) EXPECT_TRUE(IsTemporaryName(name)) << name;
    EXPECT_LE(names.size(), 1u);
    const auto size = std::filesystem::file_size(target);
    EXPECT_TRUE(size == 3 || size == 8 * block.size()) << size;
  }
}

// Where a file system has no unnamed files, the file has a hidden name of the fixed pattern
// while written, locked, so a sweep leaves it alone however old it looks; a writer killed
// meanwhile leaves it for the sweep of a later run, and a dropped file takes it along.
TEST(PendingFileTest, HiddenNameWhereUnnamedFilesAreMissing) {
  TempFolderForTesting folder;
  const std::string dir = folder.path();
  folder.Write("user.ini", "old");
  const PendingFileOptions hidden{FileKind::kData, TemporaryName::kAlwaysHidden};
  {
    PendingFile file;
    ASSERT_TRUE(file.Create(dir + "user.ini", hidden));
    WriteBytes(file.fd(), "new");
    std::set<std::string> names = FileNamesIn(dir);
    ASSERT_EQ(names.size(), 2u);
    const std::string hidden = *names.begin();
    EXPECT_TRUE(IsTemporaryName(hidden)) << hidden;
    MakeOld(dir + hidden);
    EXPECT_EQ(RemoveStaleTemporaries(dir), 0);  // locked: being written
    ASSERT_TRUE(file.Commit());
  }
  EXPECT_EQ(FileNamesIn(dir), std::set<std::string>{"user.ini"});
  EXPECT_EQ(folder.Read("user.ini"), "new");
  {
    PendingFile dropped;
    ASSERT_TRUE(dropped.Create(dir + "user.ini", hidden));
  }
  EXPECT_EQ(FileNamesIn(dir), std::set<std::string>{"user.ini"});

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    PendingFile file;
    if (!file.Create(dir + "user.ini", hidden)) ::_exit(1);
    ::raise(SIGKILL);
  }
  ::waitpid(child, nullptr, 0);
  std::set<std::string> names = FileNamesIn(dir);
  ASSERT_EQ(names.size(), 2u);
  const std::string leftover = *names.begin();
  EXPECT_TRUE(IsTemporaryName(leftover)) << leftover;
  // Not older than this process yet: only a later run takes it away.
  EXPECT_EQ(RemoveStaleTemporaries(dir), 0);
  MakeOld(dir + leftover);
  EXPECT_EQ(RemoveStaleTemporaries(dir), 1);
  EXPECT_EQ(FileNamesIn(dir), std::set<std::string>{"user.ini"});
  EXPECT_EQ(folder.Read("user.ini"), "new");
}

// A folder that takes no new file: by default nothing can be written there; a writer that asks
// for it overwrites an existing target in place (same file, whole new content, nothing left
// beside it), and still cannot make a new one.
TEST(PendingFileTest, ClosedFolderFailsOrOverwritesInPlaceAsAsked) {
  TempFolderForTesting folder;
  const std::string dir = folder.path() + "closed/";
  std::filesystem::create_directory(dir);
  {
    std::ofstream(dir + "RepChk.pdf") << "old contents, longer than the new ones";
  }
  struct stat old_st {};
  ASSERT_EQ(::stat((dir + "RepChk.pdf").c_str(), &old_st), 0);
  const auto result = InClosedFolder(dir, [&] {
    std::string problems;
    auto write = [&](const std::string& name, ClosedFolder closed, const std::string& bytes) {
      PendingFile file;
      PendingFileOptions options;
      options.closed_folder = closed;
      if (!file.Create(dir + name, options)) return std::string("create failed");
      if (!file.in_place()) return std::string("not in place");
      if (!file.Write(bytes) || !file.Commit()) return std::string("commit failed");
      return std::string();
    };
    if (write("RepChk.pdf", ClosedFolder::kFail, "x") != "create failed") {
      problems += "wrote without being asked to; ";
    }
    const std::string big(3 * 256 * 1024 + 17, 'n');  // several copy chunks
    for (const std::string& bytes : {std::string("new"), big}) {
      if (!write("RepChk.pdf", ClosedFolder::kOverwriteInPlace, bytes).empty()) {
        problems += "in-place write failed; ";
      }
      if (folder.Read("closed/RepChk.pdf") != bytes) problems += "content differs; ";
    }
    if (write("New.pdf", ClosedFolder::kOverwriteInPlace, "x") != "create failed") {
      problems += "made a new file; ";
    }
    return problems;
  });
  if (!result) GTEST_SKIP() << "neither permission bits nor private mounts can close a folder here";
  EXPECT_EQ(*result, "");
  struct stat new_st {};
  ASSERT_EQ(::stat((dir + "RepChk.pdf").c_str(), &new_st), 0);
  EXPECT_EQ(new_st.st_ino, old_st.st_ino);
  EXPECT_EQ(FileNamesIn(dir), std::set<std::string>{"RepChk.pdf"});
}

// What a sweep removes: leftovers of the fixed pattern (also of earlier versions) that are
// older than the sweeping process and not locked by a live writer; nothing else.
TEST(PendingFileTest, SweepRemovesOnlyStaleTemporaries) {
  TempFolderForTesting folder;
  const std::string dir = folder.path();
  struct Case {
    const char* name;
    bool old;
    bool locked;  // a live process holds it
    bool removed;
  } const cases[] = {
      {".MST.FDB.tmp-4242-0", true, false, true},
      {".user.ini.tmp-17-3-1234567", true, false, true},  // earlier versions' pattern
      {".Norvik.exe.tmp-99-1", true, true, false},         // being written
      {".MST.FDB.tmp-4243-0", false, false, false},        // newer than this process
      {"MST.FDB", true, false, false},
      {".MST.FDB.previous", true, false, false},
      {".MST.FDB.tmp-", true, false, false},
      {".MST.FDB.tmp-12x", true, false, false},
      {"notes.tmp-1-1", true, false, false},
  };
  int lock_fd = -1;
  for (const Case& c : cases) {
    folder.Write(c.name, "x");
    if (c.old) MakeOld(dir + c.name);
    if (c.locked) lock_fd = ::open((dir + c.name).c_str(), O_RDONLY);
  }
  // The lock is held by another process, as a live writer would.
  int held[2];
  ASSERT_EQ(::pipe(held), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    ::close(held[0]);
    const int fd = ::open((dir + ".Norvik.exe.tmp-99-1").c_str(), O_RDONLY);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(held[1], "l", 1) != 1) ::_exit(1);
    ::pause();
    ::_exit(0);
  }
  ::close(held[1]);
  char c;
  ASSERT_EQ(::read(held[0], &c, 1), 1);
  ::close(lock_fd);

  // Pretend the newer leftover was made after this process started.
  const utimbuf future{std::time(nullptr) + 60, std::time(nullptr) + 60};
  ASSERT_EQ(::utime((dir + ".MST.FDB.tmp-4243-0").c_str(), &future), 0);

  EXPECT_EQ(RemoveStaleTemporaries(dir), 2);
  ::kill(holder, SIGKILL);
  ::waitpid(holder, nullptr, 0);
  for (const Case& c : cases) {
    EXPECT_EQ(!std::filesystem::exists(dir + c.name), c.removed) << c.name;
  }
  // Once its writer is gone, the locked one is a leftover too.
  EXPECT_EQ(RemoveStaleTemporaries(dir), 1);
}

// Both programs sweep the program folder and its replacement folders at start, and take the
// lock file of earlier versions away.
TEST(PendingFileTest, ProgramFolderSweepCoversItsFolders) {
  TempFolderForTesting folder;
  const std::string dir = folder.path();
  for (const char* sub : {"DownLoad", "BKData", "BKData/PGM", "Log"}) {
    std::filesystem::create_directories(dir + sub);
  }
  const std::set<std::string> leftovers = {
      ".MST.FDB.tmp-1-0", "DownLoad/.MST.FDB.tmp-1-1", "BKData/.NV2024-05-01093005.FDB.tmp-1-2",
      "BKData/PGM/.Norvik_2.0.0.2.tmp-1-3", "user.ini.lock"};
  for (const std::string& name : leftovers) {
    folder.Write(name, "x");
    MakeOld(dir + name);
  }
  folder.Write("Log/.Update.log.tmp-1-4", "not ours to touch");
  MakeOld(dir + "Log/.Update.log.tmp-1-4");
  RemoveStaleTemporariesOfProgramFolder(dir);
  for (const std::string& name : leftovers) EXPECT_FALSE(std::filesystem::exists(dir + name)) << name;
  EXPECT_TRUE(std::filesystem::exists(dir + "Log/.Update.log.tmp-1-4"));
}

}  // namespace
}  // namespace common
