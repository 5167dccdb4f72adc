#include "common/test_env.h"

#include <gtest/gtest.h>

#include "common/text_encoding.h"

namespace common {
namespace {

TEST(TestEnvTest, WorksInItsOwnFolderWithTheClockItIsGiven) {
  std::string folder;
  {
    TestEnv env;
    folder = env.ProgramFolder();
    ASSERT_EQ(folder, env.folder().path());
    ASSERT_EQ(folder.back(), '/');

    env.IFWriteIniStr("PARAM", "Pdf1", "1");
    EXPECT_EQ(env.IFReadIniStr("param", "PDF1", "0"), "1");
    EXPECT_EQ(env.IFReadIniStr("PARAM", "Pdf2", "0"), "0");

    env.set_now({2025, 1, 2, 7, 8, 9, 0});
    env.WrtLog(folder + "Pdf.log", "年月:令和");
    EXPECT_EQ(Cp932ToUtf8(env.folder().Read("Pdf.log")), "2025/01/02 7:08:09 年月:令和\r\n");

    env.set_available_disk_space(123);
    EXPECT_EQ(env.AvailableDiskSpace("/"), 123u);
    env.set_available_disk_space(std::nullopt);
    EXPECT_GT(env.AvailableDiskSpace(folder), 0u);
  }
  EXPECT_FALSE(std::filesystem::exists(folder));
}

}  // namespace
}  // namespace common
