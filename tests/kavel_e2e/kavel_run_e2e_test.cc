// Kavel end to end: the real program in a throw-away program folder, without a display, on
// databases from our Jet writer; the results read back through user.ini, Pdf.log and the PDF
// tools (poppler, qpdf).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tests/kavel_e2e/e2e_support.h"

namespace kavel_e2e {
namespace {

namespace fs = std::filesystem;

const std::string kCaption = "令和８年１１月社保";

std::vector<Table> SmallTables() { return {RepChkTable(3), RepTable(3), RepChkListTable(3)}; }

struct KindCase {
  std::vector<std::string> kind_and_variant;
  std::string file;
  std::string flag;
  bool logs_pdf_name;
  bool shows_caption;  // the caption is the list's title
};

// Each export kind: its file, its flag, its log lines.
TEST(KavelRun, EveryExportKindWritesItsFileFlagAndLogLines) {
  const KindCase cases[] = {
      {.kind_and_variant = {"1"}, .file = "RepChk.pdf", .flag = "PDF", .logs_pdf_name = false,
       .shows_caption = true},
      {.kind_and_variant = {"3"}, .file = "RepChk2.pdf", .flag = "PDF2", .logs_pdf_name = false,
       .shows_caption = true},
      {.kind_and_variant = {"5"}, .file = "Rep.pdf", .flag = "PDF3", .logs_pdf_name = true,
       .shows_caption = true},
      {.kind_and_variant = {"5", "1"}, .file = "Rep.pdf", .flag = "PDF3", .logs_pdf_name = true,
       .shows_caption = true},
      {.kind_and_variant = {"7"}, .file = "RepChkList.pdf", .flag = "PDF4", .logs_pdf_name = true,
       .shows_caption = false},
      {.kind_and_variant = {"8"}, .file = "RepChkList2.pdf", .flag = "PDF4",
       .logs_pdf_name = true, .shows_caption = false},
      {.kind_and_variant = {"9"}, .file = "RepChkList3.pdf", .flag = "PDF6",
       .logs_pdf_name = true, .shows_caption = false},
      {.kind_and_variant = {"10"}, .file = "RepJyoken.pdf", .flag = "PDF8",
       .logs_pdf_name = false, .shows_caption = false},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE("kind " + c.kind_and_variant[0] + " variant " +
                 (c.kind_and_variant.size() > 1 ? c.kind_and_variant[1] : ""));
    ProgramFolder folder;
    WriteDatabase(folder.File("Data.Rpt"), SmallTables());
    std::vector<std::string> args{kCaption, ""};
    args.insert(args.end(), c.kind_and_variant.begin(), c.kind_and_variant.end());

    ProcessResult run = folder.Run(args);

    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.err, "");
    const std::string pdf = folder.File(c.file);
    ASSERT_TRUE(fs::exists(pdf));
    EXPECT_TRUE(QpdfCheck(pdf));
    auto info = PdfInfo(pdf);
    EXPECT_EQ(info["PDF version"], "1.7");
    EXPECT_EQ(info["Author"], "ベルタンZAVO");
    EXPECT_EQ(info["Encrypted"], "no");
    for (const PdfFont& font : PdfFonts(pdf)) {
      EXPECT_TRUE(font.embedded && font.subset && font.to_unicode) << font.name;
    }
    EXPECT_EQ(folder.ParamFlags(), (std::map<std::string, std::string>{{c.flag, "1"}}));
    std::vector<std::string> log{"年月:" + kCaption, "DBsource:" + folder.File("Data.Rpt")};
    if (c.logs_pdf_name) log.push_back("pdf名:" + pdf);
    EXPECT_EQ(folder.LogTexts(), log);
    std::string text = PageText(PdfWords(pdf).at(0));
    EXPECT_EQ(text.find(kCaption) != std::string::npos, c.shows_caption) << text;
    EXPECT_EQ(text.find("平成２７年１０月社保"), std::string::npos) << text;
    // No temporary file of the export stays behind.
    std::vector<std::string> entries{"Data.Rpt", "Kavel", "Pdf.log", c.file, "user.ini"};
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(folder.Entries(), entries);
  }
}

// Runs that end without output: the log has its two lines, nothing else changes.
TEST(KavelRun, RunsThatSelectNothingWriteOnlyTheTwoLogLines) {
  struct Case {
    std::vector<std::string> args;
    bool database;
  } cases[] = {
      {{kCaption, "", "07"}, true},
      {{kCaption, "", "11"}, true},
      {{kCaption, "", ""}, true},
      {{kCaption}, true},
      {{kCaption, "", "1"}, false},  // no database
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.size() > 2 ? "kind '" + c.args[2] + "'" : "no kind");
    ProgramFolder folder;
    if (c.database) WriteDatabase(folder.File("Data.Rpt"), SmallTables());
    ProcessResult run = folder.Run(c.args);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(folder.LogTexts(), (std::vector<std::string>{
                                     "年月:" + kCaption, "DBsource:" + folder.File("Data.Rpt")}));
    EXPECT_FALSE(folder.Exists("user.ini"));
    EXPECT_FALSE(folder.Exists("RepChk.pdf"));
  }
}

TEST(KavelRun, KindIsTrimmedAndMoreArgumentsAreIgnored) {
  ProgramFolder folder;
  WriteDatabase(folder.File("Data.Rpt"), SmallTables());
  EXPECT_EQ(folder.Run({kCaption, "", " 7 ", "", "extra", "more"}).exit_code, 0);
  EXPECT_TRUE(folder.Exists("RepChkList.pdf"));
  EXPECT_EQ(folder.ParamFlags()["PDF4"], "1");
}

// Kinds 7 and 8 print the same template; 8 has its own file and shares the flag of 7. Flags of
// earlier runs stay.
TEST(KavelRun, Kind8SharesTemplateAndFlagOfKind7) {
  ProgramFolder folder;
  WriteDatabase(folder.File("Data.Rpt"), SmallTables());
  folder.Run({kCaption, "", "1"});
  folder.Run({kCaption, "", "8"});
  EXPECT_TRUE(folder.Exists("RepChkList2.pdf"));
  EXPECT_FALSE(folder.Exists("RepChkList.pdf"));
  EXPECT_EQ(folder.ParamFlags(),
            (std::map<std::string, std::string>{{"PDF", "1"}, {"PDF4", "1"}}));
  folder.Run({kCaption, "", "7"});
  auto seven = PdfWords(folder.File("RepChkList.pdf"));
  auto eight = PdfWords(folder.File("RepChkList2.pdf"));
  ASSERT_EQ(seven.size(), eight.size());
  for (size_t p = 0; p < seven.size(); ++p) EXPECT_EQ(PageText(seven[p]), PageText(eight[p]));
}

// Argument 2 names the database to read, while the log names Data.Rpt; an empty argument reads
// Data.Rpt in the program folder.
TEST(KavelRun, SecondArgumentSelectsTheDatabase) {
  ProgramFolder folder;
  Table other = RepChkTable(1);
  other.rows[0][1] = "OTHER-DB";
  const std::string other_path = folder.File("other folder/other.mdb");
  fs::create_directory(folder.File("other folder"));
  WriteDatabase(other_path, {other});

  folder.Run({kCaption, other_path, "1"});
  EXPECT_NE(PageText(PdfWords(folder.File("RepChk.pdf")).at(0)).find("OTHER-DB"),
            std::string::npos);
  EXPECT_EQ(folder.LogTexts().at(1), "DBsource:" + folder.File("Data.Rpt"));

  WriteDatabase(folder.File("Data.Rpt"), {RepChkTable(1)});
  folder.Run({kCaption, "", "1"});
  EXPECT_NE(PageText(PdfWords(folder.File("RepChk.pdf")).at(0)).find("A1"), std::string::npos);
}

TEST(KavelRun, PreviewWithoutDisplaySaysSoAndEnds) {
  ProgramFolder folder;
  WriteDatabase(folder.File("Data.Rpt"), SmallTables());
  ProcessResult run = folder.Run({kCaption, "", "2"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("DISPLAY"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_FALSE(folder.Exists("user.ini"));
}

// A preparation that reports errors is not exported, and no flag claims a fresh list.
TEST(KavelRun, PreparationErrorsLeaveOldFileAndNoFlag) {
  ProgramFolder folder;
  WriteDatabase(folder.File("Data.Rpt"), {RepChkTable(2)});  // no table Rep
  const std::string old_bytes = "%PDF-1.7 old list";
  {
    std::ofstream(folder.File("Rep.pdf"), std::ios::binary) << old_bytes;
  }
  ProcessResult run = folder.Run({kCaption, "", "5"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("Error"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("The following error(s) have occured:"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(folder.File("Rep.pdf")), old_bytes);
  EXPECT_FALSE(folder.Exists("user.ini"));
  EXPECT_EQ(folder.LogTexts().back(), "pdf名:" + folder.File("Rep.pdf"));
}

// An output that cannot be replaced: the export fails, the old one stays, no flag.
TEST(KavelRun, OutputThatCannotBeReplacedKeepsOldAndSetsNoFlag) {
  ProgramFolder folder;
  WriteDatabase(folder.File("Data.Rpt"), SmallTables());
  // A folder in the file's place cannot be renamed over, even by root.
  fs::create_directory(folder.File("RepChk.pdf"));
  {
    std::ofstream(folder.File("RepChk.pdf/keep"), std::ios::binary) << "old";
  }
  ProcessResult run = folder.Run({kCaption, "", "1"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_NE(run.err.find("The following error(s) have occured:"), std::string::npos) << run.err;
  EXPECT_EQ(ReadFile(folder.File("RepChk.pdf/keep")), "old");
  EXPECT_FALSE(folder.Exists("user.ini"));
  // No temporary file of the failed export stays behind.
  EXPECT_EQ(folder.Entries(),
            (std::vector<std::string>{"Data.Rpt", "Kavel", "Pdf.log", "RepChk.pdf"}));
}

// Pdf.log or user.ini that cannot be written end the run with a message, never a crash.
TEST(KavelRun, UnwritableLogOrSettingsEndTheRunWithAMessage) {
  {
    ProgramFolder folder;
    WriteDatabase(folder.File("Data.Rpt"), SmallTables());
    fs::create_directory(folder.File("Pdf.log"));
    ProcessResult run = folder.Run({kCaption, "", "1"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.err.find("Pdf.log"), std::string::npos) << run.err;
    EXPECT_FALSE(folder.Exists("RepChk.pdf"));
  }
  {
    ProgramFolder folder;
    WriteDatabase(folder.File("Data.Rpt"), SmallTables());
    fs::create_directory(folder.File("user.ini"));
    ProcessResult run = folder.Run({kCaption, "", "1"});
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.err.find("user.ini に書き込めません"), std::string::npos) << run.err;
    EXPECT_TRUE(folder.Exists("RepChk.pdf"));
  }
}

// The text libraries are loaded when a report first needs them. HarfBuzz that lacks its functions
// ends the export with a message naming it and the loader's reason, never a crash: no file, no
// flag. fontconfig and libhyphen in the same state do not matter to a report whose faces are at
// their packages' places and that hyphenates nothing, as it never loads them.
TEST(KavelRun, TextLibrariesAreLoadedWhenNeededAndOneThatCannotBeSaysSo) {
  struct Case {
    const char* folder;
    bool exported;
  };
  for (const Case& c : {Case{NO_HARFBUZZ_FOLDER, false}, Case{NO_FONTCONFIG_HYPHEN_FOLDER, true}}) {
    SCOPED_TRACE(c.folder);
    ProgramFolder folder;
    WriteDatabase(folder.File("Data.Rpt"), SmallTables());
    ProcessResult run =
        folder.RunWith({std::string("LD_LIBRARY_PATH=") + c.folder}, {kCaption, "", "5"});
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_EQ(folder.Exists("Rep.pdf"), c.exported);
    EXPECT_EQ(folder.ParamFlags().empty(), !c.exported);
    if (c.exported) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_NE(run.err.find("ライブラリ libharfbuzz.so.0 を読み込めません: "), std::string::npos)
          << run.err;
      EXPECT_NE(run.err.find("undefined symbol: hb_"), std::string::npos) << run.err;
    }
  }
}

}  // namespace
}  // namespace kavel_e2e
