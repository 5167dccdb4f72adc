#include "tools/tsv_table.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "common/temp_folder_for_testing.h"
#include "tools/tool_output_for_testing.h"

namespace jet {
namespace {

TEST(TsvTableTest, ToolWritesTablesFromTextFiles) {
  common::TempFolderForTesting folder;
  folder.Write("RepChk.tsv",
               "num:Long\tLine1:Text(20)\tNote:Memo\tPaid:Currency\tSeen:DateTime\tDone:YesNo\tRatio:Double\tN:Integer\r\n"
               "2\t山田\\t太郎\t\\N\t-12.5\t2026/11/05 9:30:05\tTrue\t0.5\t-7\r\n"
               "1\t\t改行\\nあり\t3\t2026-11-05\t0\t1e3\t\\N\r\n");
  folder.Write("Empty.txt", "num:Long\n");
  const std::string db = folder.path() + "out.mdb";
  const std::string tool = PROJECT_BINARY_DIR "/tools/jet-write";
  ASSERT_EQ(RunTool("'" + tool + "' '" + db + "' '" + folder.path() + "RepChk.tsv' '" + folder.path() + "Empty.txt'"), "");
  EXPECT_EQ(RunTool("mdb-tables -1 '" + db + "'"), "RepChk\nEmpty\n");
  // mdb-export shows an empty text as NULL too: it cannot tell them apart.
  EXPECT_EQ(RunTool("mdb-export -T '%Y-%m-%d %H:%M:%S' -0 NULL '" + db + "' RepChk"),
            "num,Line1,Note,Paid,Seen,Done,Ratio,N\n"
            "2,\"山田\t太郎\",NULL,-12.5000,\"2026-11-05 09:30:05\",1,0.5,-7\n"
            "1,NULL,\"改行\nあり\",3.0000,\"2026-11-05 00:00:00\",0,1000,NULL\n");
}

TEST(TsvTableTest, BadLinesNameTheirPlace) {
  struct Case {
    const char* text;
    const char* message;
  } const cases[] = {
      {"", "T: no header line"},
      {"num", "T: line 1: bad column \"num\""},
      {"num:Decimal", "T: line 1: bad column \"num:Decimal\""},
      {"num:Long\n1\t2", "T: line 2: 1 values expected, 2 found"},
      {"num:Long\nx", "T: line 2: bad value for num: \"x\""},
      {"d:DateTime\n2026/13", "T: line 2: bad value for d: \"2026/13\""},
      {"c:Currency\n1.23456", "T: line 2: bad value for c: \"1.23456\""},
      {"b:YesNo\nyes", "T: line 2: bad value for b: \"yes\""},
      {"t:Text(2)\nabc", "T: line 2: text of column 't' is longer than 2 characters"},
  };
  for (const Case& c : cases) {
    DatabaseWriter writer;
    EXPECT_EQ(AddTsvTable(&writer, "T", c.text).message, c.message) << c.text;
  }
}

}  // namespace
}  // namespace jet
