#include "tolvan/update_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "tests/support/program_folder_override_for_testing.h"
#include "common/settings.h"
#include "common/temp_folder_for_testing.h"
#include "common/text_encoding.h"

namespace tolvan {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

TEST(SplitListRecordTest, SplitsLikeCommaText) {
  const struct {
    const char* line;
    std::vector<std::string> fields;
  } cases[] = {
      {"MST.FDB,1.0.0.3", {"MST.FDB", "1.0.0.3"}},
      {"Norvik.exe, 2.0.0.3", {"Norvik.exe", "2.0.0.3"}},          // blank after comma skipped
      {"Norvik.exe,2.0 .0.3", {"Norvik.exe", "2.0", ".0.3"}},      // blank inside splits
      {"  Norvik.exe\t2.0.0.3  ", {"Norvik.exe", "2.0.0.3"}},
      {"", {}},
      {" \t ", {}},
      {"a,", {"a", ""}},                                             // trailing comma: empty field
      {"a, ", {"a"}},
      {"a,,b", {"a", "", "b"}},
      {"\"Norvik.exe\",\"2.0 0\"", {"Norvik.exe", "2.0 0"}},
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"\"a,b\" c", {"a,b", "c"}},
      {"\"open", {"open"}},
      {"a\0b,c", {"a"}},
  };
  for (const auto& c : cases) {
    EXPECT_THAT(SplitListRecord(c.line), ElementsAreArray(c.fields)) << c.line;
  }
  EXPECT_THAT(SplitListRecord(std::string_view("a\0b,c", 5)), ElementsAre("a"));
}

TEST(ReadListLinesTest, EndsLinesAtAnyBreakAndDecodesCp932) {
  EXPECT_THAT(ReadListLines("a\r\nb\rc\nd"), ElementsAre("a", "b", "c", "d"));
  EXPECT_THAT(ReadListLines("a\r\n\r\n"), ElementsAre("a", ""));
  EXPECT_THAT(ReadListLines(common::Utf8ToCp932("マスター,1\r\n")), ElementsAre("マスター,1"));
  EXPECT_THAT(ReadListLines("\xEF\xBB\xBFMST.FDB,1\r\n"), ElementsAre("MST.FDB,1"));
  EXPECT_THAT(ReadListLines(""), IsEmpty());
}

TEST(IsPlainFileNameTest, RejectsNamesLeavingTheFolder) {
  EXPECT_TRUE(IsPlainFileName("Norvik.exe"));
  EXPECT_TRUE(IsPlainFileName("a.b.c"));
  EXPECT_FALSE(IsPlainFileName(""));
  EXPECT_FALSE(IsPlainFileName("../Norvik.exe"));
  EXPECT_FALSE(IsPlainFileName("/etc/passwd"));
  EXPECT_FALSE(IsPlainFileName("sub\\Norvik.exe"));
  EXPECT_FALSE(IsPlainFileName(".."));
}

// A program folder (inside a parent folder) with DownLoad/ and Log/.
class UListChkTest : public ::testing::Test {
 protected:
  UListChkTest() {
    std::filesystem::create_directories(program_ + "DownLoad");
    std::filesystem::create_directories(program_ + "Log");
    common::OverrideProgramFolderForTesting(program_);
  }
  ~UListChkTest() override { common::OverrideProgramFolderForTesting(""); }

  void Install(const std::string& name, const std::string& fixture) {
    std::filesystem::copy_file(std::string(TOLVAN_PE_DIR) + fixture, program_ + name,
                               std::filesystem::copy_options::overwrite_existing);
  }
  void WriteList(const std::string& bytes) { root_.Write("pf/DownLoad/UList", bytes); }
  ListDecision Check(const std::string& setup_ver = "") {
    return UListChk(program_ + "DownLoad/", log_, setup_ver);
  }
  // The log's texts without their time stamps.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> texts;
    std::istringstream in(common::Cp932ToUtf8(root_.Read("pf/Log/Update.log")));
    static const std::regex stamp(R"(^\d{4}/\d{2}/\d{2}( \d{1,2}:\d{2}:\d{2})? )");
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      texts.push_back(std::regex_replace(line, stamp, ""));
    }
    return texts;
  }

  common::TempFolderForTesting root_;
  const std::string program_ = root_.path() + "pf/";
  const std::string log_ = program_ + "Log/Update.log";
};

TEST_F(UListChkTest, MissingListGivesNothingAndSaysSo) {
  const ListDecision d = Check("kept");
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.gstSetupVer, "kept");
  EXPECT_THAT(LogTexts(), ElementsAre(program_ + "DownLoad/UListなし"));
}

TEST_F(UListChkTest, EmptyListLogsOnlyStartAndEnd) {
  WriteList("");
  EXPECT_EQ(Check().result, 0);
  EXPECT_THAT(LogTexts(), ElementsAre("UListチェック開始", "UListチェック終了"));
}

TEST_F(UListChkTest, ComparesEachPresentFileWithItsInstalledVersion) {
  const struct {
    const char* name;
    const char* list;
    const char* installed_fixture;  // copied as Norvik.exe; nullptr: no Norvik.exe
    const char* dbversion;          // [PARAM] DBVERSION; nullptr: no MST.FDB installed
    int32_t result, pkbn, mkbn;
    const char* setup_ver;
    std::vector<std::string> log;
  } cases[] = {
      {"newer program", "Norvik.exe, 2.0.0.3\r\n", "v2.0.0.2.exe", nullptr, 1, 1, 0, "2.0.0.3",
       {"Norvik.exe 最新バージョン=2.0.0.3 ローカルバージョン=2.0.0.2"}},
      {"equal program", "Norvik.exe,2.0.0.2\r\n", "v2.0.0.2.exe", nullptr, 0, 0, 0, "2.0.0.2",
       {"Norvik.exe 最新バージョン=2.0.0.2 ローカルバージョン=2.0.0.2"}},
      {"last group widened", "Norvik.exe,2.0.0.12\r\n", "v2.0.0.9.exe", nullptr, 1, 1, 0,
       "2.0.0.12", {"Norvik.exe 最新バージョン=2.0.0.12 ローカルバージョン=2.0.0.9"}},
      {"1.10 outranks 2.0", "Norvik.exe,2.0.0.0\r\n", "v1.10.0.0.exe", nullptr, 0, 0, 0, "2.0.0.0",
       {"Norvik.exe 最新バージョン=2.0.0.0 ローカルバージョン=1.10.0.0"}},
      {"no version resource", "Norvik.exe,0.0.0.1\r\n", "noversion.exe", nullptr, 1, 1, 0,
       "0.0.0.1", {"Norvik.exe 最新バージョン=0.0.0.1 ローカルバージョン="}},
      {"program absent", "Norvik.exe,2.0.0.2\r\n", nullptr, nullptr, 0, 0, 0, "2.0.0.2", {}},
      {"blank splits version", "Norvik.exe,2.0 .0.3\r\n", "v2.0.0.2.exe", nullptr, 0, 0, 0, "2.0",
       {"Norvik.exe 最新バージョン=2.0 ローカルバージョン=2.0.0.2"}},
      {"newer master", "MST.FDB,1.0.0.3\r\n", nullptr, "1.0.0.2", 1, 0, 1, "",
       {"MST.FDB 最新バージョン=1.0.0.3 ローカルバージョン=1.0.0.2"}},
      {"master absent", "MST.FDB,1.0.0.3\r\n", nullptr, nullptr, 0, 0, 0, "", {}},
      {"master installed version kept untrimmed in the log", "MST.FDB,1.0.0.3",
       nullptr, "\" 1.0.0.3 \"", 0, 0, 0, "",
       {"MST.FDB 最新バージョン=1.0.0.3 ローカルバージョン= 1.0.0.3 "}},
      {"both, last Norvik record counts",
       "MST.FDB,1.0.0.3\r\nNorvik.exe,2.0.0.3\r\n\r\nNorvik.exe,2.0.0.4\r\n", "v2.0.0.2.exe",
       "1.0.0.2", 1, 1, 1, "2.0.0.4",
       {"MST.FDB 最新バージョン=1.0.0.3 ローカルバージョン=1.0.0.2",
        "Norvik.exe 最新バージョン=2.0.0.3 ローカルバージョン=2.0.0.2",
        "Norvik.exe 最新バージョン=2.0.0.4 ローカルバージョン=2.0.0.2"}},
      {"names compared exactly", "norvik.exe,9.9.9.9\r\nmst.fdb,9.9.9.9\r\n", "v2.0.0.2.exe",
       "1.0.0.2", 0, 0, 0, "", {}},
      {"one-field record ignored", "Norvik.exe\r\n", "v2.0.0.2.exe", nullptr, 0, 0, 0, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(program_ + "Norvik.exe");
    std::filesystem::remove(program_ + "MST.FDB");
    std::filesystem::remove(log_);
    if (c.installed_fixture != nullptr) Install("Norvik.exe", c.installed_fixture);
    if (c.dbversion != nullptr) {
      root_.Write("pf/MST.FDB", "db");
      root_.Write("pf/user.ini", std::string("[PARAM]\r\nDBVERSION=") + c.dbversion + "\r\n");
    }
    WriteList(c.list);
    const ListDecision d = Check();
    EXPECT_EQ(d.result, c.result);
    EXPECT_EQ(d.pinPKbn, c.pkbn);
    EXPECT_EQ(d.pinMKbn, c.mkbn);
    EXPECT_EQ(d.gstSetupVer, c.setup_ver);
    std::vector<std::string> log = {"UListチェック開始"};
    log.insert(log.end(), c.log.begin(), c.log.end());
    log.push_back("UListチェック終了");
    EXPECT_THAT(LogTexts(), ElementsAreArray(log));
  }
}

TEST_F(UListChkTest, NamesLeavingTheProgramFolderTakeNoPart) {
  // Files that these names would reach do exist outside the program folder.
  std::filesystem::copy_file(std::string(TOLVAN_PE_DIR) + "v1.0.0.0.exe", root_.path() + "Old.exe");
  std::filesystem::create_directories(program_ + "sub");
  Install("sub/Old.exe", "v1.0.0.0.exe");
  WriteList("../Old.exe,9.9.9.9\r\n" + root_.path() + "Old.exe,9.9.9.9\r\nsub\\Old.exe,9.9.9.9\r\n"
            "sub/Old.exe,9.9.9.9\r\n");
  const ListDecision d = Check();
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.pinPKbn, 0);
  EXPECT_THAT(LogTexts(), ElementsAre("UListチェック開始", "UListチェック終了"));
}

}  // namespace
}  // namespace tolvan
