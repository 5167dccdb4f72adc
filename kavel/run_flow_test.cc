// The run flow with a recording stand-in for the windows (what reaches the preview, the error
// box, the progress display and the fatal message, and which template gets the caption) in a
// test context: a temporary program folder and a clock that stands still, so that Pdf.log can be
// compared line by line.
#include "kavel/run_flow.h"
#include "common/trim.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "common/temp_folder_for_testing.h"
#include "common/test_env.h"
#include "common/text_encoding.h"
#include "reportengine/layout/report.h"
#include "tools/jet_writer.h"
#include "tools/sample_database.h"

namespace kavel {
namespace {

class FakeUi : public RunUi, public re::ExportProgress {
 public:
  void ShowError(const std::string& caption, const std::string& text) override {
    errors.push_back(caption + "|" + text);
  }
  re::ExportProgress* ExportProgress() override {
    if (before_export) before_export();
    return with_progress ? this : nullptr;
  }
  void Preview(re::Report& report) override {
    const re::TextObject* title = report.FindObject("Memo1");
    previews.push_back(report.name() + "|" + (title ? title->text : ""));
  }
  void ShowNote(const std::string& text) override { notes.push_back(text); }
  void ShowFatal(const std::string& text) override { fatal.push_back(text); }

  void Started(int page_count) override { pages_announced = page_count; }
  void PageWritten(int page_number) override { last_page_written = page_number; }
  void Finished() override { ++finished; }

  std::function<void()> before_export;  // runs as the export starts
  bool with_progress = true;            // else each page goes to the file as it is laid out
  std::vector<std::string> errors, previews, notes, fatal;
  int pages_announced = 0, last_page_written = 0, finished = 0;
};

// A program folder with a Data.Rpt holding the three tables (each one row), or only RepChk.
class RunFlowTest : public ::testing::Test {
 protected:
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
    RunFlow flow(env_, ui_);
    flow.FormCreate(args);
    flow.FormShow();
    Report3_title_ = flow.FindReport("Report3")->FindObject("Memo1")->text;
    Report7_title_ = flow.FindReport("Report7")->FindObject("Memo1")->text;
  }

  bool Exists(const std::string& name) const {
    return std::filesystem::exists(folder_.path() + name);
  }

  // Pdf.log's lines, UTF-8, with their line ends.
  std::string Log() const { return common::Cp932ToUtf8(folder_.Read("Pdf.log")); }

  common::TestEnv env_;  // the program folder, user.ini, Pdf.log and a clock that stands still
  const common::TempFolderForTesting& folder_ = env_.folder();
  FakeUi ui_;
  std::string Report3_title_, Report7_title_;
};

TEST(RunParameters, MissingArgumentsAreEmptyAndExtraOnesIgnored) {
  common::TestEnv env;
  FakeUi ui;
  RunFlow flow(env, ui);
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
    const KindAction* action = FindKindAction(common::Trim(c.kind));
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

// Exports reach the outside world only through the run's context: Pdf.log, user.ini and the
// PDF files in its program folder, the log's time stamps and the date the list prints from its
// clock.
TEST_F(RunFlowTest, ExportsLogFlagAndWriteInTheContextsFolderAtItsTime) {
  WriteDatabase();
  const std::string folder = folder_.path();
  Run({"見出し", "", "1"});
  EXPECT_EQ(env_.clock_reads(), 3);  // two log lines, one preparation
  env_.set_now({2025, 1, 2, 3, 4, 5, 0});
  Run({"別", "", "5"});
  EXPECT_EQ(env_.clock_reads(), 7);  // three log lines, one preparation
  EXPECT_EQ(Log(), "2024/05/01 9:30:05 年月:見出し\r\n"
                   "2024/05/01 9:30:05 DBsource:" + folder + "Data.Rpt\r\n"
                   "2025/01/02 3:04:05 年月:別\r\n"
                   "2025/01/02 3:04:05 DBsource:" + folder + "Data.Rpt\r\n"
                   "2025/01/02 3:04:05 pdf名:" + folder + "Rep.pdf\r\n");
  EXPECT_EQ(folder_.Read("user.ini"), "[PARAM]\r\nPDF=1\r\nPDF3=1\r\n");
  EXPECT_TRUE(Exists("RepChk.pdf"));
  EXPECT_TRUE(Exists("Rep.pdf"));
  EXPECT_TRUE(ui_.notes.empty());
  EXPECT_TRUE(ui_.fatal.empty());
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

// The database reader dies while the list is being laid out: the provider's message in the
// engine's error box, the earlier list left as it was, no flag; whether the pages go to the file
// one by one or the report is prepared first.
TEST_F(RunFlowTest, ReaderStoppedMidStreamFailsTheExportAndKeepsTheOldFile) {
  jet::SampleOptions options;
  options.rows = 20000;  // more than the pipe holds: the reader is still at work
  ASSERT_TRUE(jet::WriteSampleDatabase(folder_.path() + "Data.Rpt", options).ok);
  folder_.Write("Rep.pdf", "the earlier list");
  // The one reader of the run was started by OpenMDB; it is stopped as the export starts.
  ui_.before_export = [] {
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
      std::ifstream in(task.path() / "children");
      for (pid_t pid = 0; in >> pid;) ::kill(pid, SIGKILL);
    }
  };
  for (const bool with_progress : {false, true}) {
    SCOPED_TRACE(with_progress ? "prepared first" : "page by page");
    ui_.with_progress = with_progress;
    ui_.errors.clear();
    Run({"c", "", "5"});
    ASSERT_EQ(ui_.errors.size(), 1u);
    EXPECT_EQ(ui_.errors[0], "Error|The following error(s) have occured:\nUnrecognized database format '" +
                                 folder_.path() + "Data.Rpt'.");
    EXPECT_EQ(folder_.Read("Rep.pdf"), "the earlier list");
    EXPECT_FALSE(Exists("user.ini"));
  }
}

// Pdf.log that cannot be written stops the run with a message instead of an exception.
TEST_F(RunFlowTest, UnwritableLogStopsTheRunWithAMessage) {
  WriteDatabase();
  std::filesystem::create_directory(folder_.path() + "Pdf.log");
  EXPECT_NO_THROW(Run({"c", "", "1"}));
  ASSERT_EQ(ui_.fatal.size(), 1u);
  EXPECT_TRUE(ui_.fatal[0].starts_with("処理を中止しました: ")) << ui_.fatal[0];
  EXPECT_NE(ui_.fatal[0].find(folder_.path() + "Pdf.log"), std::string::npos) << ui_.fatal[0];
  EXPECT_FALSE(Exists("RepChk.pdf"));
}

}  // namespace
}  // namespace kavel
