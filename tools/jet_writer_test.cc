#include "tools/jet_writer.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_folder_for_testing.h"
#include "tools/tool_output_for_testing.h"

namespace jet {
namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

std::string Export(const std::string& path, const std::string& table) {
  return RunTool("mdb-export -T '%Y-%m-%d %H:%M:%S' -0 NULL " + Quoted(path) + " " + Quoted(table));
}

TEST(JetWriterTest, MdbtoolsReadEveryTypeAndNull) {
  common::TempFolderForTesting folder;
  const std::string path = folder.path() + "types.mdb";
  const std::string three_pages = std::string(4000, 'a') + "途中" + std::string(6000, 'b') + "終";
  const std::string one_record = std::string(700, 'c') + "メモ";
  DatabaseWriter writer;
  ASSERT_TRUE(writer
                  .BeginTable("型", {{"num", ColumnType::kLong},
                                     {"Text", ColumnType::kText, 10},
                                     {"Memo", ColumnType::kMemo},
                                     {"Int", ColumnType::kInteger},
                                     {"Money", ColumnType::kCurrency},
                                     {"Dbl", ColumnType::kDouble},
                                     {"Date", ColumnType::kDateTime},
                                     {"YesNo", ColumnType::kYesNo}})
                  .ok);
  ASSERT_TRUE(writer
                  .AddRow({int64_t{1}, std::string("山田　太郎まであと五"), three_pages, int64_t{-32768},
                           Currency{-123456}, 1.5, common::LocalDateTime{2026, 11, 5, 9, 30, 5, 0}, true})
                  .ok);
  ASSERT_TRUE(writer.AddRow({int64_t{2}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}}).ok);
  ASSERT_TRUE(writer
                  .AddRow({int64_t{-3}, std::string("café \"q\""), one_record, int64_t{32767}, int64_t{5}, -2.0,
                           common::LocalDateTime{1999, 12, 31, 0, 0, 0, 0}, false})
                  .ok);
  // Texts that must not be taken for compressed text, and ones that cannot be compressed.
  ASSERT_TRUE(writer
                  .AddRow({int64_t{4}, std::string("\xEF\xBB\xBF" "bom"), std::string("Āé"), int64_t{0}, 0.25, 0.0,
                           common::LocalDateTime{2000, 2, 29, 23, 59, 59, 0}, true})
                  .ok);
  ASSERT_TRUE(writer.EndTable().ok);
  ASSERT_TRUE(writer.BeginTable("Empty", {{"num", ColumnType::kLong}}).ok);
  ASSERT_TRUE(writer.WriteFile(path).ok);

  EXPECT_EQ(RunTool("mdb-ver " + Quoted(path)), "JET4\n");
  EXPECT_EQ(RunTool("mdb-tables -1 " + Quoted(path)), "型\nEmpty\n");
  const std::string schema = RunTool("mdb-schema " + Quoted(path));
  for (const char* column : {"[num]\t\t\tLong Integer", "[Text]\t\t\tText (10)", "[Memo]\t\t\tMemo/Hyperlink",
                             "[Int]\t\t\tInteger", "[Money]\t\t\tCurrency", "[Dbl]\t\t\tDouble",
                             "[Date]\t\t\tDateTime", "[YesNo]\t\t\tBoolean"}) {
    EXPECT_NE(schema.find(column), std::string::npos) << column << "\n" << schema;
  }
  EXPECT_EQ(Export(path, "型"),
            "num,Text,Memo,Int,Money,Dbl,Date,YesNo\n"
            "1,\"山田　太郎まであと五\",\"" + three_pages + "\",-32768,-12.3456,1.5,\"2026-11-05 09:30:05\",1\n"
            "2,NULL,NULL,NULL,NULL,NULL,NULL,0\n"
            "-3,\"café \"\"q\"\"\",\"" + one_record + "\",32767,5.0000,-2,\"1999-12-31 00:00:00\",0\n"
            "4,\"\xEF\xBB\xBF" "bom\",\"Āé\",0,0.2500,0,\"2000-02-29 23:59:59\",1\n");
  EXPECT_EQ(Export(path, "Empty"), "num\n");
}

TEST(JetWriterTest, HundredThousandRowsOverManyPages) {
  common::TempFolderForTesting folder;
  const std::string path = folder.path() + "big.mdb";
  constexpr int kRows = 100000;
  DatabaseWriter writer;
  ASSERT_TRUE(writer.BeginTable("Rep", {{"num", ColumnType::kLong}, {"Line1", ColumnType::kText, 30}}).ok);
  for (int i = 1; i <= kRows; ++i) {
    ASSERT_TRUE(writer.AddRow({int64_t{i}, "患者" + std::to_string(i)}).ok);
  }
  ASSERT_TRUE(writer.EndTable().ok);
  ASSERT_TRUE(writer.BeginTable("After", {{"num", ColumnType::kLong}}).ok);
  ASSERT_TRUE(writer.AddRow({int64_t{7}}).ok);
  ASSERT_TRUE(writer.WriteFile(path).ok);

  const std::string csv = Export(path, "Rep");
  size_t lines = 0;
  for (char c : csv) lines += c == '\n';
  EXPECT_EQ(lines, static_cast<size_t>(kRows) + 1);
  EXPECT_EQ(csv.rfind("num,Line1\n1,\"患者1\"\n2,", 0), 0u);
  EXPECT_NE(csv.find("\n100000,\"患者100000\"\n"), std::string::npos);
  EXPECT_EQ(Export(path, "After"), "num\n7\n");
}

TEST(JetWriterTest, RefusesWhatTheFormatCannotHold) {
  DatabaseWriter writer;
  EXPECT_FALSE(writer.AddRow({int64_t{1}}).ok);  // no table open
  EXPECT_FALSE(writer.BeginTable("", {{"num", ColumnType::kLong}}).ok);
  EXPECT_FALSE(writer.BeginTable("MSysObjects", {{"num", ColumnType::kLong}}).ok);
  EXPECT_FALSE(writer.BeginTable("T", {}).ok);
  EXPECT_FALSE(writer.BeginTable("T", {{"a", ColumnType::kLong}, {"A", ColumnType::kLong}}).ok);
  EXPECT_FALSE(writer.BeginTable("T", {{"a", ColumnType::kText, 0}}).ok);
  EXPECT_FALSE(writer.BeginTable("T", {{"a", ColumnType::kText, 256}}).ok);
  ASSERT_TRUE(writer.BeginTable("T", {{"i", ColumnType::kInteger}, {"t", ColumnType::kText, 3}, {"b", ColumnType::kYesNo}}).ok);
  EXPECT_FALSE(writer.BeginTable("U", {{"a", ColumnType::kLong}}).ok);  // T still open

  struct Case {
    const char* what;
    std::vector<Value> row;
  } const cases[] = {
      {"too few values", {int64_t{1}}},
      {"Integer above range", {int64_t{32768}, Value{}, false}},
      {"Integer below range", {int64_t{-32769}, Value{}, false}},
      {"text for a number", {std::string("1"), Value{}, false}},
      {"text longer than the column", {Value{}, std::string("山田太郎"), false}},
      {"number for text", {Value{}, int64_t{1}, false}},
      {"number for Yes/No", {Value{}, Value{}, int64_t{1}}},
  };
  for (const Case& c : cases) EXPECT_FALSE(writer.AddRow(c.row).ok) << c.what;
  EXPECT_TRUE(writer.AddRow({int64_t{-32768}, std::string("山田太"), true}).ok);
  EXPECT_TRUE(writer.EndTable().ok);
  EXPECT_FALSE(writer.BeginTable("t", {{"a", ColumnType::kLong}}).ok);  // names ignore case

  DatabaseWriter wide;
  std::vector<Column> columns;
  for (int i = 0; i < 20; ++i) columns.push_back({"c" + std::to_string(i), ColumnType::kText, 255});
  ASSERT_TRUE(wide.BeginTable("Wide", columns).ok);
  std::string japanese;
  for (int i = 0; i < 85; ++i) japanese += "山田太";
  EXPECT_TRUE(wide.AddRow(std::vector<Value>(20, Value{std::string(150, 'x')})).ok);  // compressed: fits
  const Status too_big = wide.AddRow(std::vector<Value>(20, Value{japanese}));         // 20 x 510 bytes
  EXPECT_FALSE(too_big.ok);
  EXPECT_NE(too_big.message.find("larger than a page"), std::string::npos);
}

TEST(JetWriterTest, WriteFileReplacesTheFileWhole) {
  common::TempFolderForTesting folder;
  folder.Write("Data.Rpt", "old contents");
  DatabaseWriter writer;
  ASSERT_TRUE(writer.BeginTable("RepChk", {{"num", ColumnType::kLong}}).ok);
  ASSERT_TRUE(writer.WriteFile(folder.path() + "Data.Rpt").ok);
  EXPECT_EQ(RunTool("mdb-tables -1 " + Quoted(folder.path() + "Data.Rpt")), "RepChk\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), std::filesystem::directory_iterator()), 1);
  EXPECT_FALSE(writer.WriteFile(folder.path() + "again.mdb").ok);  // spent

  DatabaseWriter nowhere;
  const Status status = nowhere.WriteFile(folder.path() + "no such folder/Data.Rpt");
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("no such folder"), std::string::npos);
}

}  // namespace
}  // namespace jet
