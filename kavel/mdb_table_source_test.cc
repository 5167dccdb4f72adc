#include "kavel/mdb_table_source.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "common/temp_folder_for_testing.h"
#include "common/test_env.h"
#include "kavel/mdb_connection.h"
#include "tools/jet_writer.h"

namespace kavel {
namespace {

using jet::ColumnType;
using jet::Value;

// Writes one database into a fresh program folder and opens it.
class MdbTableSourceTest : public ::testing::Test {
 protected:
  void OpenDatabase() {
    ASSERT_TRUE(writer_.WriteFile(folder_.path() + "Data.Rpt").ok);
    ASSERT_TRUE(connection_.OpenMDB(""));
  }

  common::TestEnv env_;  // the program folder that holds Data.Rpt
  const common::TempFolderForTesting& folder_ = env_.folder();
  jet::DatabaseWriter writer_;
  MdbConnection connection_{env_};
};

TEST_F(MdbTableSourceTest, EveryColumnTypeReadsBackAsDisplayText) {
  const std::string long_memo = std::string(3000, 'x') + "山" + std::string(9000, 'y') + "end";  // three pages
  const std::string page_memo = std::string(1500, 'm') + "終";  // one long-value record
  ASSERT_TRUE(writer_.BeginTable("RepChk", {{"num", ColumnType::kLong},
                                            {"Line1", ColumnType::kText, 50},
                                            {"Memo", ColumnType::kMemo},
                                            {"Short", ColumnType::kInteger},
                                            {"Amount", ColumnType::kCurrency},
                                            {"Ratio", ColumnType::kDouble},
                                            {"When", ColumnType::kDateTime},
                                            {"Done", ColumnType::kYesNo}})
                  .ok);
  ASSERT_TRUE(writer_
                  .AddRow({int64_t{2}, std::string("山田　太郎"), long_memo, int64_t{-32768}, jet::Currency{-123456},
                           0.1 + 0.2, common::LocalDateTime{2026, 11, 5, 9, 30, 5, 0}, true})
                  .ok);
  ASSERT_TRUE(writer_
                  .AddRow({int64_t{1}, std::string("Ｒｅｐ①"), page_memo, int64_t{7}, int64_t{5}, 1e20,
                           common::LocalDateTime{2026, 11, 5, 0, 0, 0, 0}, false})
                  .ok);
  ASSERT_TRUE(writer_.AddRow({int64_t{3}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}, Value{}}).ok);
  ASSERT_TRUE(writer_.AddRow({int64_t{4}, std::string(), std::string("短い"), int64_t{0}, 0.5, -2.5,
                              common::LocalDateTime{1899, 12, 29, 6, 0, 0, 0}, true})
                  .ok);
  OpenDatabase();

  MdbTableSource& source = connection_.ADOQuery1();
  std::string error;
  ASSERT_TRUE(source.Open(&error)) << error;
  ASSERT_EQ(source.RowCount(), 4u);
  const std::vector<std::vector<std::string>> expected = {
      {"1", "Ｒｅｐ①", page_memo, "7", "5", "1E+20", "2026/11/05", "False"},
      {"2", "山田　太郎", long_memo, "-32768", "-12.3456", "0.30000000000000004", "2026/11/05 9:30:05", "True"},
      {"3", "", "", "0", "0", "0", "0", "False"},  // NULLs as the engine prints them
      {"4", "", "短い", "0", "0.5", "-2.5", "1899/12/29 6:00:00", "True"},
  };
  for (size_t r = 0; r < expected.size(); ++r) {
    for (size_t f = 0; f < expected[r].size(); ++f) {
      EXPECT_EQ(source.Value(r, static_cast<int>(f)), expected[r][f]) << "row " << r << " field " << f;
    }
  }
  EXPECT_EQ(source.FieldIndex("LINE1"), 1);
  EXPECT_EQ(source.FieldIndex("line1"), 1);
  EXPECT_EQ(source.FieldIndex("Line9"), -1);
  EXPECT_TRUE(source.Open(&error));  // a second Open keeps the rows
  EXPECT_EQ(source.RowCount(), 4u);
}

TEST_F(MdbTableSourceTest, RowsComeInNumOrderWhateverTheStoredOrder) {
  // Numeric num sorts by value, stable for equal values; text num sorts as text; NULL first.
  ASSERT_TRUE(writer_.BeginTable("Rep", {{"num", ColumnType::kLong}, {"Line1", ColumnType::kText, 20}}).ok);
  const std::pair<int64_t, const char*> stored[] = {{10, "a"}, {2, "b"}, {33, "c"}, {2, "d"}, {1, "e"}};
  for (const auto& [num, line] : stored) ASSERT_TRUE(writer_.AddRow({num, std::string(line)}).ok);
  ASSERT_TRUE(writer_.EndTable().ok);
  ASSERT_TRUE(writer_.BeginTable("RepChkList", {{"NUM", ColumnType::kText, 10}, {"LINE1", ColumnType::kText, 20}}).ok);
  for (const char* num : {"10", "9", "b", "A"}) ASSERT_TRUE(writer_.AddRow({std::string(num), std::string(num)}).ok);
  ASSERT_TRUE(writer_.AddRow({Value{}, std::string("null")}).ok);
  OpenDatabase();

  std::string error;
  MdbTableSource& rep = connection_.ADOQuery3();
  ASSERT_TRUE(rep.Open(&error)) << error;
  std::vector<std::string> delivered;
  for (size_t r = 0; r < rep.RowCount(); ++r) delivered.push_back(std::string(rep.Value(r, 0)) + std::string(rep.Value(r, 1)));
  EXPECT_EQ(delivered, (std::vector<std::string>{"1e", "2b", "2d", "10a", "33c"}));

  MdbTableSource& list = connection_.ADOQuery4();
  ASSERT_TRUE(list.Open(&error)) << error;
  std::vector<std::string> lines;
  for (size_t r = 0; r < list.RowCount(); ++r) lines.emplace_back(list.Value(r, list.FieldIndex("Line1")));
  EXPECT_EQ(lines, (std::vector<std::string>{"null", "10", "9", "A", "b"}));
}

TEST_F(MdbTableSourceTest, ManyPagesOfJapaneseRowsInNumOrder) {
  // Enough rows for the table's pages to need a usage map on pages of their own.
  constexpr int kRows = 6000;
  ASSERT_TRUE(writer_.BeginTable("Rep", {{"num", ColumnType::kLong}, {"Line1", ColumnType::kText, 255}}).ok);
  std::string name;
  for (int i = 0; i < 80; ++i) name += "傷病名";
  for (int i = kRows; i > 0; --i) ASSERT_TRUE(writer_.AddRow({int64_t{i}, name + std::to_string(i)}).ok);
  OpenDatabase();
  std::string error;
  MdbTableSource& rep = connection_.ADOQuery3();
  ASSERT_TRUE(rep.Open(&error)) << error;
  ASSERT_EQ(rep.RowCount(), static_cast<size_t>(kRows));
  for (size_t r = 0; r < rep.RowCount(); r += 997) {
    EXPECT_EQ(rep.Value(r, 0), std::to_string(r + 1));
    EXPECT_EQ(rep.Value(r, 1), name + std::to_string(r + 1));
  }
}

TEST_F(MdbTableSourceTest, MissingTablesAndColumnsAreProviderErrors) {
  ASSERT_TRUE(writer_.BeginTable("RepChk", {{"Line1", ColumnType::kText, 10}}).ok);  // no num
  ASSERT_TRUE(writer_.AddRow({std::string("a")}).ok);
  ASSERT_TRUE(writer_.EndTable().ok);
  ASSERT_TRUE(writer_.BeginTable("rep", {{"num", ColumnType::kLong}, {"Line1", ColumnType::kText, 10}}).ok);
  OpenDatabase();

  std::string error;
  EXPECT_FALSE(connection_.ADOQuery1().Open(&error));
  EXPECT_EQ(error, "No value given for one or more required parameters.");
  EXPECT_FALSE(connection_.ADOQuery1().IsOpen());
  EXPECT_FALSE(connection_.ADOQuery4().Open(&error));
  EXPECT_EQ(error,
            "The Microsoft Jet database engine cannot find the input table or query 'RepChkList'.  Make sure it "
            "exists and that its name is spelled correctly.");
  // Table names match without regard to case; an empty table has no rows.
  ASSERT_TRUE(connection_.ADOQuery3().Open(&error)) << error;
  EXPECT_EQ(connection_.ADOQuery3().RowCount(), 0u);
  EXPECT_EQ(connection_.ADOQuery3().FieldIndex("LINE1"), 1);

  connection_.Close();
  EXPECT_FALSE(connection_.ADOQuery3().IsOpen());
  EXPECT_FALSE(connection_.ADOQuery3().Open(&error));
  EXPECT_EQ(error, "Operation is not allowed when the object is closed.");
}

}  // namespace
}  // namespace kavel
