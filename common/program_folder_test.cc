#include "common/program_folder.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/temp_folder_for_testing.h"

namespace common {
namespace {

namespace fs = std::filesystem;

// A stand-in program file in install/, a copy of other bytes in copy/, a link to the program in
// link/, and a folder bin/ on the search list holding another link.
class ProgramFolderFromTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder : {"install", "copy", "link", "bin", "work"}) {
      fs::create_directory(root() + folder);
    }
    std::ofstream(self()) << "program";
    std::ofstream(root() + "copy/Kavel") << "program";  // same bytes, another file
    fs::create_symlink(self(), root() + "link/Kavel");
    fs::create_symlink(self(), root() + "bin/Kavel");
  }
  const std::string& root() const { return temp_.path(); }
  std::string self() const { return root() + "install/Kavel"; }

  TempFolderForTesting temp_;
};

TEST_F(ProgramFolderFromTest, FolderOfThePathStartedByNotOfTheLinkTarget) {
  struct Case {
    const char* exec_path;
    const char* argv0;
    const char* cwd;  // below root
    const char* path_env;
    const char* folder;  // expected, below root
  } cases[] = {
      {"link/Kavel", "ignored", "", "", "link/"},           // exec path relative to cwd
      {"../link/./Kavel", "x", "work", "", "work/../link/"},  // "." steps go, ".." stays
      {"", "Kavel", "work", "/nowhere::bin", "bin/"},        // bare argv[0] through the search list
      {"", "Kavel", "link", "/nowhere::bin", "link/"},       // empty entry means the working folder
      {"", "link/Kavel", "", "", "link/"},                   // argv[0] with a slash, no search
      {"", "C:\\Norvik\\Kavel.exe", "work", "bin", "install/"},  // nothing names us: real file
      {"copy/Kavel", "copy/Kavel", "", "bin", "install/"},  // another file is not this program
  };
  for (const Case& c : cases) {
    std::string path_env = c.path_env;
    if (path_env.find("bin") != std::string::npos) {
      path_env.replace(path_env.find("bin"), 3, root() + "bin");
    }
    EXPECT_EQ(ProgramFolderFrom(c.exec_path, c.argv0, root() + c.cwd, path_env, self()),
              root() + c.folder)
        << c.exec_path << " | " << c.argv0;
  }
}

TEST_F(ProgramFolderFromTest, ProgramStartedFromAnOpenFileFallsBackToArgv0) {
  const int fd = ::open(self().c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const std::string descriptor = "/dev/fd/" + std::to_string(fd);
  EXPECT_EQ(ProgramFolderFrom(descriptor, root() + "link/Kavel", root(), "", self()),
            root() + "link/");
  EXPECT_EQ(ProgramFolderFrom(descriptor, "Kavel", root(), "", self()), root() + "install/");
  ::close(fd);
}

TEST(ProgramFolderTest, RunningTestIsItsOwnProgramFolderAndEndsWithSlash) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_EQ(folder.front(), '/');
  // Started by its real path, not through a link: both folders are the test's own.
  EXPECT_EQ(folder, ProgramFileFolder());
}

}  // namespace
}  // namespace common
