#include "kavel/windows_path.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "common/temp_folder_for_testing.h"

namespace kavel {
namespace {

namespace fs = std::filesystem;

// A prefix as Wine lays it out: dosdevices/c: -> ../drive_c, and d: -> a folder outside.
class WindowsPathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(prefix() + "/dosdevices");
    fs::create_directories(prefix() + "/drive_c/Norvik/Sub");
    fs::create_directories(temp_.path() + "other/Дата");
    fs::create_directories(prefix() + "/drive_c/ＮＯＲＶＩＫ");
    fs::create_symlink("../drive_c", prefix() + "/dosdevices/c:");
    fs::create_symlink(temp_.path() + "other", prefix() + "/dosdevices/d:");
    std::ofstream(prefix() + "/drive_c/Norvik/Data.Rpt") << "x";
  }
  std::string prefix() const { return temp_.path() + "prefix"; }

  common::TempFolderForTesting temp_;
};

TEST_F(WindowsPathTest, MapsThroughTheDriveLinksWithoutRegardToCase) {
  const std::string c = prefix() + "/dosdevices/c:/";
  const struct {
    const char* given;
    std::optional<std::string> mapped;
  } cases[] = {
      {R"(C:\Norvik\Data.Rpt)", c + "Norvik/Data.Rpt"},
      {R"(c:/NORVIK/data.rpt)", c + "Norvik/Data.Rpt"},
      {R"(C:\\Norvik\.\Sub\..\Data.Rpt)", c + "Norvik/Data.Rpt"},
      {R"(C:\..\Norvik\Data.Rpt)", c + "Norvik/Data.Rpt"},  // never above the drive
      {R"(C:\ｎｏｒｖｉｋ\)", c + "ＮＯＲＶＩＫ"},
      {R"(D:\дата)", prefix() + "/dosdevices/d:/Дата"},
      {R"(C:\Norvik\Missing.Rpt)", c + "Norvik/Missing.Rpt"},  // fails later, as a missing file
      {R"(E:\Norvik\Data.Rpt)", std::nullopt},                // no such drive
      {R"(\\server\share\Data.Rpt)", std::nullopt},
      {R"(\\?\C:\Norvik\Data.Rpt)", std::nullopt},
      {R"(\\.\C:\Norvik\Data.Rpt)", std::nullopt},
      {"/tmp/Data.Rpt", "/tmp/Data.Rpt"},
      {"//tmp/Data.Rpt", "//tmp/Data.Rpt"},
      {"Data.Rpt", "Data.Rpt"},
      {"C:Data.Rpt", "C:Data.Rpt"},  // relative to a drive's current folder: not ours to guess
      {R"(/tmp/C:\x)", R"(/tmp/C:\x)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MapWindowsPath(c.given, prefix()), c.mapped) << c.given;
  }
}

TEST(WinePrefixTest, FromWineprefixElseTheHomeFolder) {
  const char* saved_prefix = std::getenv("WINEPREFIX");
  const std::string keep_prefix = saved_prefix ? saved_prefix : "";
  const char* saved_home = std::getenv("HOME");
  const std::string keep_home = saved_home ? saved_home : "";

  ::setenv("WINEPREFIX", "/srv/wine/", 1);
  EXPECT_EQ(WinePrefix(), "/srv/wine");
  ::setenv("WINEPREFIX", "", 1);
  ::setenv("HOME", "/home/clinic", 1);
  EXPECT_EQ(WinePrefix(), "/home/clinic/.wine");

  if (saved_prefix) ::setenv("WINEPREFIX", keep_prefix.c_str(), 1); else ::unsetenv("WINEPREFIX");
  if (saved_home) ::setenv("HOME", keep_home.c_str(), 1); else ::unsetenv("HOME");
}

}  // namespace
}  // namespace kavel
