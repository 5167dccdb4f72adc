#include "tools/sample_database.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "common/temp_folder_for_testing.h"
#include "tools/tool_output_for_testing.h"

namespace jet {
namespace {

size_t Lines(const std::string& text) {
  size_t n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

TEST(SampleDatabaseTest, MakerWritesTheThreeTables) {
  common::TempFolderForTesting folder;
  const std::string maker = PROJECT_BINARY_DIR "/tools/make-sample-db";
  const std::string path = folder.path() + "Data.Rpt";
  ASSERT_EQ(std::system(("'" + maker + "' '" + path + "'").c_str()), 0);
  EXPECT_EQ(RunTool("mdb-tables -1 '" + path + "'"), "RepChk\nRep\nRepChkList\n");
  EXPECT_EQ(RunTool("mdb-export '" + path + "' RepChk").rfind("num,Line1,Line2,Line3,Line4\n1,", 0), 0u);
  EXPECT_EQ(RunTool("mdb-export '" + path + "' Rep | head -1"),
            "num,Line1,Line2,Line3,Line4,Line5,Line6,Line7,Line8,Line9,Line10,Line11\n");
  EXPECT_EQ(RunTool("mdb-export '" + path + "' RepChkList | head -1"), "num,LINE1,LINE2,LINE3,LINE4,LINE5,LINE6,LINE7,LINE8\n");

  ASSERT_EQ(std::system(("'" + maker + "' '" + path + "' --rows 1234 --shuffled").c_str()), 0);
  for (const char* table : {"RepChk", "Rep", "RepChkList"}) {
    EXPECT_EQ(Lines(RunTool("mdb-export '" + path + "' " + table)), 1235u) << table;
  }
  EXPECT_NE(std::system(("'" + maker + "' --rows x '" + path + "' 2>/dev/null").c_str()), 0);
  EXPECT_NE(std::system(("'" + maker + "' 2>/dev/null").c_str()), 0);
}

}  // namespace
}  // namespace jet
