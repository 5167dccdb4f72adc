#include "kavel/mdb_table_source.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <dirent.h>
#include <fstream>
#include <filesystem>

#include "common/temp_folder_for_testing.h"
#include "common/test_env.h"
#include "kavel/mdb_connection.h"
#include "tools/jet_writer.h"
#include "tools/sample_database.h"

namespace kavel {
namespace {

using jet::ColumnType;
using jet::Value;

using Rows = std::vector<std::vector<std::string>>;

// Every row the source delivers from the first, `fields` values each; *error gets the message
// of rows that break off.
Rows ReadRows(MdbTableSource& source, int fields, std::string* error = nullptr) {
  Rows rows;
  std::string message;
  for (bool row = source.First(&message); row; row = source.Next(&message)) {
    rows.emplace_back();
    for (int f = 0; f < fields; ++f) rows.back().emplace_back(source.Value(f));
  }
  if (error != nullptr) *error = message;
  return rows;
}

// The processes this one started and has not waited for yet.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream in(task.path() / "children");
    for (pid_t pid = 0; in >> pid;) children.push_back(pid);
  }
  return children;
}

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
  const Rows expected = {
      {"1", "Ｒｅｐ①", page_memo, "7", "5", "1E+20", "2026/11/05", "False"},
      {"2", "山田　太郎", long_memo, "-32768", "-12.3456", "0.30000000000000004", "2026/11/05 9:30:05", "True"},
      {"3", "", "", "0", "0", "0", "0", "False"},  // NULLs as the engine prints them
      {"4", "", "短い", "0", "0.5", "-2.5", "1899/12/29 6:00:00", "True"},
  };
  EXPECT_EQ(ReadRows(source, 8), expected);
  EXPECT_EQ(source.FieldIndex("LINE1"), 1);
  EXPECT_EQ(source.FieldIndex("line1"), 1);
  EXPECT_EQ(source.FieldIndex("Line9"), -1);
  EXPECT_TRUE(source.Open(&error));  // a second Open keeps the source open
  EXPECT_EQ(ReadRows(source, 8), expected) << "a second pass reads the rows again";
  // At the end the last row stays current.
  EXPECT_FALSE(source.Next(&error));
  EXPECT_EQ(source.Value(0), "4");
  EXPECT_EQ(error, "");
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
  EXPECT_EQ(ReadRows(rep, 2), (Rows{{"1", "e"}, {"2", "b"}, {"2", "d"}, {"10", "a"}, {"33", "c"}}));

  MdbTableSource& list = connection_.ADOQuery4();
  ASSERT_TRUE(list.Open(&error)) << error;
  EXPECT_EQ(list.FieldIndex("Line1"), 1);
  EXPECT_EQ(ReadRows(list, 2), (Rows{{"", "null"}, {"10", "10"}, {"9", "9"}, {"A", "A"}, {"b", "b"}}));
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
  const Rows rows = ReadRows(rep, 2);
  ASSERT_EQ(rows.size(), static_cast<size_t>(kRows));
  for (size_t r = 0; r < rows.size(); r += 997) {
    EXPECT_EQ(rows[r][0], std::to_string(r + 1));
    EXPECT_EQ(rows[r][1], name + std::to_string(r + 1));
  }
}

TEST_F(MdbTableSourceTest, RowsStoredOutOfOrderAreFetchedInOrderAcrossPages) {
  // Numeric num: the shuffled sample delivers exactly what the sorted one does.
  jet::SampleOptions options;
  options.rows = 3000;
  ASSERT_TRUE(jet::WriteSampleDatabase(folder_.path() + "sorted.mdb", options).ok);
  options.shuffled = true;
  ASSERT_TRUE(jet::WriteSampleDatabase(folder_.path() + "shuffled.mdb", options).ok);
  std::string error;
  ASSERT_TRUE(connection_.OpenMDB(folder_.path() + "sorted.mdb"));
  ASSERT_TRUE(connection_.ADOQuery3().Open(&error)) << error;
  const Rows sorted = ReadRows(connection_.ADOQuery3(), 12);
  ASSERT_EQ(sorted.size(), 3000u);
  ASSERT_TRUE(connection_.OpenMDB(folder_.path() + "shuffled.mdb"));
  ASSERT_TRUE(connection_.ADOQuery3().Open(&error)) << error;
  EXPECT_EQ(ReadRows(connection_.ADOQuery3(), 12), sorted);

  // Text num with many equal keys on many pages: equal keys keep their stored order.
  const char* const keys[] = {"b", "A", "10", "a", "B", "9"};
  ASSERT_TRUE(writer_.BeginTable("RepChkList", {{"NUM", ColumnType::kText, 10}, {"Line1", ColumnType::kText, 200}}).ok);
  const std::string filler(150, 'f');
  for (int i = 0; i < 1200; ++i) ASSERT_TRUE(writer_.AddRow({std::string(keys[i % 6]), filler + std::to_string(i)}).ok);
  OpenDatabase();
  ASSERT_TRUE(connection_.ADOQuery4().Open(&error)) << error;
  Rows expected;
  for (const char* key : {"10", "9", "a", "b"}) {  // ignoring case; equal keys in stored order
    for (int i = 0; i < 1200; ++i) {
      if (::strcasecmp(keys[i % 6], key) == 0) expected.push_back({keys[i % 6], filler + std::to_string(i)});
    }
  }
  EXPECT_EQ(ReadRows(connection_.ADOQuery4(), 2), expected);
}

TEST_F(MdbTableSourceTest, OneReaderChecksTheDatabaseAndDeliversTheFirstSourcesRows) {
  jet::SampleOptions options;
  options.rows = 50;
  const std::string path = folder_.path() + "Data.Rpt";
  ASSERT_TRUE(jet::WriteSampleDatabase(path, options).ok);
  ASSERT_TRUE(connection_.OpenMDB("", &connection_.ADOQuery3()));
  // The reader started by OpenMDB has the file open: the rows come although the file is gone,
  // while a source that starts a reader of its own finds nothing to read.
  ASSERT_TRUE(std::filesystem::remove(path));
  std::string error;
  ASSERT_TRUE(connection_.ADOQuery3().Open(&error)) << error;
  EXPECT_EQ(ReadRows(connection_.ADOQuery3(), 12, &error).size(), 50u);
  EXPECT_EQ(error, "");
  EXPECT_FALSE(connection_.ADOQuery1().Open(&error));
  EXPECT_EQ(error, "Unrecognized database format '" + path + "'.");
  EXPECT_TRUE(Children().empty());
}

TEST_F(MdbTableSourceTest, AReaderStartedAheadServesOnlyTheSameSourceOfTheSameFile) {
  const std::string path = folder_.path() + "Data.Rpt";
  const auto write_rows = [&](int rows) {
    jet::SampleOptions options;
    options.rows = rows;
    // Written beside and renamed over, as a new file in the database's place.
    ASSERT_TRUE(jet::WriteSampleDatabase(path + ".new", options).ok);
    std::filesystem::rename(path + ".new", path);
  };
  enum class Then { kSameArguments, kOtherSource, kFileReplaced, kFileRemoved };
  struct Case {
    const char* name;
    Then then;
    bool reader_taken;
    size_t rows;  // in Rep, or 0 when OpenMDB fails
  } const cases[] = {
      {"same source, same file", Then::kSameArguments, true, 50},
      {"another source", Then::kOtherSource, false, 50},
      {"another file in its place", Then::kFileReplaced, false, 30},
      {"file gone", Then::kFileRemoved, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    write_rows(50);
    connection_.StartReaderAhead("", connection_.ADOQuery3());
    const std::vector<pid_t> ahead = Children();
    ASSERT_EQ(ahead.size(), 1u);
    MdbTableSource* first = &connection_.ADOQuery3();
    if (c.then == Then::kOtherSource) first = &connection_.ADOQuery1();
    if (c.then == Then::kFileReplaced) write_rows(30);
    if (c.then == Then::kFileRemoved) {
      ASSERT_TRUE(std::filesystem::remove(path));
    }

    ASSERT_EQ(connection_.OpenMDB("", first), c.rows > 0);
    const std::vector<pid_t> after = Children();
    EXPECT_EQ(!after.empty() && after == ahead, c.reader_taken);
    if (c.rows > 0) {
      std::string error;
      ASSERT_TRUE(connection_.ADOQuery3().Open(&error)) << error;
      EXPECT_EQ(ReadRows(connection_.ADOQuery3(), 1, &error).size(), c.rows);
      EXPECT_EQ(error, "");
    }
    connection_.Close();
    EXPECT_TRUE(Children().empty());
  }
}

TEST_F(MdbTableSourceTest, AReaderStoppedMidStreamIsADamagedFile) {
  jet::SampleOptions options;
  options.rows = 20000;  // more than the pipe holds
  const std::string path = folder_.path() + "Data.Rpt";
  ASSERT_TRUE(jet::WriteSampleDatabase(path, options).ok);
  ASSERT_TRUE(connection_.OpenMDB("", &connection_.ADOQuery3()));
  MdbTableSource& rep = connection_.ADOQuery3();
  std::string error;
  ASSERT_TRUE(rep.Open(&error)) << error;
  ASSERT_TRUE(rep.First(&error)) << error;
  EXPECT_EQ(rep.Value(0), "1");
  const std::vector<pid_t> readers = Children();
  ASSERT_EQ(readers.size(), 1u);
  ASSERT_EQ(::kill(readers[0], SIGKILL), 0);
  size_t rows = 1;
  while (rep.Next(&error)) ++rows;
  EXPECT_LT(rows, 20000u);
  EXPECT_EQ(error, "Unrecognized database format '" + path + "'.");
  EXPECT_EQ(rep.Value(0), "") << "no row is current after the break";
  EXPECT_TRUE(Children().empty());
  // A new pass starts a new reader.
  error.clear();
  EXPECT_EQ(ReadRows(rep, 1, &error).size(), 20000u);
  EXPECT_EQ(error, "");
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
  error.clear();
  EXPECT_FALSE(connection_.ADOQuery3().First(&error));
  EXPECT_EQ(error, "");
  EXPECT_EQ(connection_.ADOQuery3().FieldIndex("LINE1"), 1);

  connection_.Close();
  EXPECT_FALSE(connection_.ADOQuery3().IsOpen());
  EXPECT_FALSE(connection_.ADOQuery3().Open(&error));
  EXPECT_EQ(error, "Operation is not allowed when the object is closed.");
}

}  // namespace
}  // namespace kavel
