// The run flow with a recording stand-in for the windows: what reaches the preview, the error
// box, the progress display and the fatal message, and which template gets the caption.
#include "kavel/run_flow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/program_folder.h"
#include "common/temp_folder_for_testing.h"
#include "reportengine/layout/report.h"
#include "tools/jet_writer.h"

namespace kavel {
namespace {

class FakeUi : public RunUi, public re::ExportProgress {
 public:
  void ShowError(const std::string& caption, const std::string& text) override {
    errors.push_back(caption + "|" + text);
  }
  re::ExportProgress* ExportProgress() override { return this; }
  void Preview(re::Report& report) override {
    const re::TextObject* title = report.FindObject("Memo1");
    previews.push_back(report.name() + "|" + (title ? title->text : ""));
  }
  void ShowFatal(const std::string& text) override { fatal.push_back(text); }

  void Started(int page_count) override { pages_announced = page_count; }
  void PageWritten(int page_number) override { last_page_written = page_number; }
  void Finished() override { ++finished; }

  std::vector<std::string> errors, previews, fatal;
  int pages_announced = 0, last_page_written = 0, finished = 0;
};

// A program folder with a Data.Rpt holding the three tables (each one row), or only RepChk.
class RunFlowTest : public ::testing::Test {
 protected:
  void SetUp() override { common::OverrideProgramFolderForTesting(folder_.path()); }
  void TearDown() override { common::OverrideProgramFolderForTesting(""); }

  void WriteDatabase(bool all_tables = true) {
    jet::DatabaseWriter writer;
    auto table = [&](const std::string& name, int fields, const char* prefix) {
      std::vector<jet::Column> columns{{"num", jet::ColumnType::kLong}};
      std::vector<jet::Value> row{int64_t{1}};
      for (int i = 1; i <= fields; ++i) {
        columns.push_back({prefix + std::to_string(i), jet::ColumnType::kText, 50});
        row.emplace_back(std::string("v") + std::to_string(i));
      }
      ASSERT_TRUE(writer.BeginTable(name, columns));
      ASSERT_TRUE(writer.AddRow(row));
      ASSERT_TRUE(writer.EndTable());
    };
    table("RepChk", 4, "Line");
    if (all_tables) {
      table("Rep", 11, "Line");
      table("RepChkList", 8, "LINE");
    }
    ASSERT_TRUE(writer.WriteFile(folder_.path() + "Data.Rpt"));
  }

  void Run(const std::vector<std::string>& args) {
    RunFlow flow(ui_);
    flow.FormCreate(args);
    flow.FormShow();
    Report3_title_ = flow.FindReport("Report3")->FindObject("Memo1")->text;
    Report7_title_ = flow.FindReport("Report7")->FindObject("Memo1")->text;
  }

  bool Exists(const std::string& name) const {
    return std::filesystem::exists(folder_.path() + name);
  }

  common::TempFolderForTesting folder_;
  FakeUi ui_;
  std::string Report3_title_, Report7_title_;
};

TEST(RunParameters, MissingArgumentsAreEmptyAndExtraOnesIgnored) {
  FakeUi ui;
  RunFlow flow(ui);
  flow.FormCreate({"caption", "db"});
  EXPECT_EQ(flow.parameters().gstNgt, "caption");
  EXPECT_EQ(flow.parameters().gstFile, "db");
  EXPECT_EQ(flow.parameters().gstKbn, "");
  EXPECT_EQ(flow.parameters().gstShort, "");
  flow.FormCreate({" a ", "", " 5", "1 ", "extra"});
  EXPECT_EQ(flow.parameters().gstNgt, " a ");  // never trimmed as data
  EXPECT_EQ(flow.parameters().gstKbn, " 5");
  EXPECT_EQ(flow.parameters().gstShort, "1 ");
}

TEST(RunParameters, KindIsComparedAfterTrimmingBlanksAndControls) {
  struct Case {
    std::string kind;
    const char* file;  // nullptr: no entry
  } cases[] = {{"1", "RepChk.pdf"}, {" 7 ", "RepChkList.pdf"}, {"\t10\r\n", "RepJyoken.pdf"},
               {"07", nullptr},     {"1 0", nullptr},          {"", nullptr},
               {"11", nullptr},     {"５", nullptr}};
  for (const Case& c : cases) {
    const KindAction* action = FindKindAction(TrimBlanks(c.kind));
    if (c.file == nullptr) {
      EXPECT_EQ(action, nullptr) << c.kind;
    } else {
      ASSERT_NE(action, nullptr) << c.kind;
      EXPECT_STREQ(action->file, c.file);
    }
  }
}

// Preview kinds show their template with the caption and write nothing.
TEST_F(RunFlowTest, PreviewKindsShowTheirTemplateWithTheCaption) {
  WriteDatabase();
  Run({"見出し", "", "2"});
  Run({"見出し", "", "4"});
  Run({"見出し", "", "6", "1"});
  EXPECT_EQ(ui_.previews, (std::vector<std::string>{
                              "Report1|見出し", "Report2|見出し", "Report3|見出し"}));
  EXPECT_FALSE(Exists("user.ini"));
  EXPECT_TRUE(ui_.errors.empty());
}

// Kind 5 with the variant prints Report7 and leaves Report3 as stored; the export reports
// its pages to the progress display.
TEST_F(RunFlowTest, VariantPutsTheCaptionIntoReport7Only) {
  WriteDatabase();
  Run({"見出し", "", "5", "1"});
  EXPECT_EQ(Report7_title_, "見出し");
  EXPECT_EQ(Report3_title_, "平成２７年１０月社保");
  EXPECT_TRUE(Exists("Rep.pdf"));
  EXPECT_EQ(ui_.pages_announced, 1);
  EXPECT_EQ(ui_.last_page_written, 1);
  EXPECT_EQ(ui_.finished, 1);

  Run({"別", "", "5"});
  EXPECT_EQ(Report3_title_, "別");
  EXPECT_EQ(Report7_title_, "平成２７年１０月社保");
}

// A missing table: the engine's error box, no export, no flag.
TEST_F(RunFlowTest, PreparationErrorsAreShownAndNothingIsExported) {
  WriteDatabase(/*all_tables=*/false);
  Run({"c", "", "9"});
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_TRUE(ui_.errors[0].starts_with("Error|The following error(s) have occured:\n"))
      << ui_.errors[0];
  EXPECT_FALSE(Exists("RepChkList3.pdf"));
  EXPECT_FALSE(Exists("user.ini"));
  EXPECT_EQ(ui_.pages_announced, 0);
}

// Pdf.log that cannot be written stops the run with a message instead of an exception.
TEST_F(RunFlowTest, UnwritableLogStopsTheRunWithAMessage) {
  WriteDatabase();
  std::filesystem::create_directory(folder_.path() + "Pdf.log");
  EXPECT_NO_THROW(Run({"c", "", "1"}));
  ASSERT_EQ(ui_.fatal.size(), 1u);
  EXPECT_NE(ui_.fatal[0].find("Pdf.log"), std::string::npos) << ui_.fatal[0];
  EXPECT_FALSE(Exists("RepChk.pdf"));
}

}  // namespace
}  // namespace kavel
