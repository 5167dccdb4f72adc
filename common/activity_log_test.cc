#include "common/activity_log.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "common/temp_folder_for_testing.h"

namespace common {
namespace {

LocalDateTime At(int hour, int minute, int second, int millisecond) {
  return LocalDateTime{2024, 5, 1, hour, minute, second, millisecond};
}

TEST(ActivityLogTest, LineFormatAndMidnightRule) {
  struct Case {
    LocalDateTime when;
    const char* line;
  } const cases[] = {
      {At(9, 30, 5, 0), "2024/05/01 9:30:05 text\r\n"},
      {At(23, 59, 59, 999), "2024/05/01 23:59:59 text\r\n"},
      {At(0, 0, 0, 0), "2024/05/01 text\r\n"},  // exactly midnight: the date stands alone
      {At(0, 0, 0, 1), "2024/05/01 0:00:00 text\r\n"},
      {At(0, 0, 1, 0), "2024/05/01 0:00:01 text\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogLine(c.when, "text"), c.line);
  EXPECT_EQ(FormatLogLine(At(1, 2, 3, 0), "a\r\nb"), "2024/05/01 1:02:03 a\r\nb\r\n");
}

TEST(ActivityLogTest, AppendsCp932LinesAndCreatesTheFile) {
  TempFolderForTesting folder;
  const std::string log = folder.path() + "Pdf.log";
  WrtLogAt(log, "開始", At(9, 30, 5, 0));
  EXPECT_EQ(folder.Read("Pdf.log"), "2024/05/01 9:30:05 \x8A\x4A\x8E\x6E\r\n");
  WrtLogAt(log, "Gr\xC3\xB6\xC3\x9F" "e", At(0, 0, 0, 0));  // characters CP932 cannot hold
  EXPECT_EQ(folder.Read("Pdf.log"),
            "2024/05/01 9:30:05 \x8A\x4A\x8E\x6E\r\n2024/05/01 Gr??e\r\n");
  WrtLog(log, "now");
  EXPECT_EQ(folder.Read("Pdf.log").rfind(" now\r\n"), folder.Read("Pdf.log").size() - 6);
}

TEST(ActivityLogTest, MissingFolderIsAnIoErrorAndNothingIsCreated) {
  TempFolderForTesting folder;
  EXPECT_THROW(WrtLog(folder.path() + "Log/Update.log", "x"), IoError);
  EXPECT_FALSE(std::filesystem::exists(folder.path() + "Log"));
}

}  // namespace
}  // namespace common
