// Kavel's seven layouts as the printed PDF shows them: page capacities, what repeats on later
// pages, empty tables, the chart-number rule and the grouping of the check lists. Positions are
// read with pdftotext -bbox, in millimetres from the page's top-left corner.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <string>
#include <vector>

#include "tests/kavel_e2e/e2e_support.h"

namespace kavel_e2e {
namespace {

const std::string kCaption = "令和８年１１月社保";
constexpr double kTolerance = 0.3;  // mm

// One run of one kind on `tables`; returns the pages of the PDF it wrote.
std::vector<PageWords> Print(const std::vector<Table>& tables, const std::string& kind,
                             const std::string& file, const std::string& caption = kCaption) {
  ProgramFolder folder;
  WriteDatabase(folder.File("Data.Rpt"), tables);
  ProcessResult run = folder.Run({caption, "", kind});
  EXPECT_EQ(run.err, "");
  if (!folder.Exists(file)) {
    ADD_FAILURE() << file << " not written";
    return {};
  }
  return PdfWords(folder.File(file));
}

bool HasDate(const PageWords& page) {
  static const std::regex kDate(R"(\d{4}/\d{2}/\d{2})");
  static const std::regex kTime(R"(\d{1,2}:\d{2}:\d{2})");
  bool date = false, time = false;
  for (const Word& w : page) {
    date |= std::regex_match(w.text, kDate);
    time |= std::regex_match(w.text, kTime);
  }
  return date && time;
}

// The page-number word: the lowest word on the page.
std::string PageNumber(const PageWords& page) {
  const Word* lowest = nullptr;
  for (const Word& w : page) {
    if (lowest == nullptr || w.top > lowest->top) lowest = &w;
  }
  return lowest == nullptr ? "" : lowest->text;
}

Table RepChkListRows(const std::vector<std::vector<std::string>>& rows) {
  Table t = RepChkListTable(0);
  int num = 0;
  for (const auto& row : rows) {
    std::vector<std::optional<std::string>> values{std::to_string(++num)};
    for (size_t c = 0; c < 8; ++c) values.push_back(c < row.size() ? row[c] : std::string());
    t.rows.push_back(std::move(values));
  }
  return t;
}

// One list-shaped layout: rows per full page, the pitch of a row, where the first cell's text
// starts, and a text that the page header repeats.
struct ListCase {
  std::string kind, file;
  int rows_per_page;
  double pitch;          // mm between rows
  double second_left;    // left edge of the second column's text (cell left + 0.5 mm inset)
  std::string second_prefix;
  std::string header_text;  // printed on every page
};

TEST(KavelLayout, ListPagesHoldTheirRowsAndRepeatTheHeader) {
  const ListCase cases[] = {
      {.kind = "1", .file = "RepChk.pdf", .rows_per_page = 68, .pitch = 4.0,
       .second_left = 5 + 38.3 + 0.5, .second_prefix = "L2-", .header_text = kCaption},
      {.kind = "3", .file = "RepChk2.pdf", .rows_per_page = 68, .pitch = 4.0,
       .second_left = 5 + 38.3 + 0.5, .second_prefix = "L2-", .header_text = kCaption},
      {.kind = "10", .file = "RepJyoken.pdf", .rows_per_page = 66, .pitch = 4.0,
       .second_left = 5 + 9.0 + 0.5, .second_prefix = "L2-", .header_text = "条件内容"},
      {.kind = "5", .file = "Rep.pdf", .rows_per_page = 44, .pitch = 6.0,
       .second_left = 5 + 21.9 + 0.5, .second_prefix = "C2-", .header_text = "患者氏名"},
  };
  for (const ListCase& c : cases) {
    SCOPED_TRACE("kind " + c.kind);
    const int n = c.rows_per_page;
    Table table = c.kind == "5" ? RepTable(n + 1) : RepChkTable(n + 1);
    std::vector<Table> tables{table};
    auto pages = Print(tables, c.kind, c.file);
    ASSERT_EQ(pages.size(), 2u);

    const std::string first_prefix = c.kind == "5" ? "K" : "A";
    const std::string last = first_prefix + std::to_string(n);
    auto row1 = FindWord(pages[0], first_prefix + "1");
    auto row2 = FindWord(pages[0], first_prefix + "2");
    auto row_n = FindWord(pages[0], last);
    ASSERT_TRUE(row1 && row2 && row_n);
    EXPECT_NEAR(row2->top - row1->top, c.pitch, 0.05);
    EXPECT_NEAR(row_n->top - row1->top, c.pitch * (n - 1), 0.1);
    auto second = FindWord(pages[0], c.second_prefix + "1");
    ASSERT_TRUE(second);
    EXPECT_NEAR(second->left, c.second_left, kTolerance);
    EXPECT_EQ(CountWordsStartingWith(pages[0], c.second_prefix), n);

    // Page 2: the header again, then the one remaining row where page 1's first row stood.
    auto first_on_2 = FindWord(pages[1], first_prefix + std::to_string(n + 1));
    ASSERT_TRUE(first_on_2);
    EXPECT_NEAR(first_on_2->top, row1->top, 0.05);
    EXPECT_EQ(CountWordsStartingWith(pages[1], c.second_prefix), 1);
    for (const auto& page : pages) {
      EXPECT_NE(PageText(page).find(c.header_text), std::string::npos) << PageText(page);
      EXPECT_TRUE(HasDate(page));
    }
    EXPECT_EQ(PageNumber(pages[0]), "1");
    EXPECT_EQ(PageNumber(pages[1]), "2");
  }
}

TEST(KavelLayout, Report8KeepsItsTitleAndAnEmptyCaptionGivesNoTitle) {
  auto jyoken = Print({RepChkTable(1)}, "10", "RepJyoken.pdf", "");
  ASSERT_EQ(jyoken.size(), 1u);
  EXPECT_NE(PageText(jyoken[0]).find("レセプト抽出条件リスト"), std::string::npos);
  auto list = Print({RepChkTable(1)}, "1", "RepChk.pdf", "");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(PageText(list[0]).find("平成"), std::string::npos);
  EXPECT_TRUE(HasDate(list[0]));
}

// An empty table gives one page: the page header where the layout has one, and the number 1.
TEST(KavelLayout, EmptyTablesGiveOnePageWithHeaderAndNumber) {
  struct Case {
    std::string kind, file;
    std::vector<std::string> texts;  // what the page holds besides the page number
    bool date;
  } cases[] = {
      {"1", "RepChk.pdf", {kCaption}, true},
      {"10", "RepJyoken.pdf", {"レセプト抽出条件リスト", "条件内容", "対象/非対象"}, true},
      {"5", "Rep.pdf", {kCaption, "患者氏名", "転帰日"}, true},
      {"7", "RepChkList.pdf", {}, false},
      {"9", "RepChkList3.pdf", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("kind " + c.kind);
    auto pages = Print({RepChkTable(0), RepTable(0), RepChkListTable(0)}, c.kind, c.file);
    ASSERT_EQ(pages.size(), 1u);
    std::string text = PageText(pages[0]);
    for (const std::string& t : c.texts) EXPECT_NE(text.find(t), std::string::npos) << text;
    EXPECT_EQ(HasDate(pages[0]), c.date) << text;
    EXPECT_EQ(PageNumber(pages[0]), "1");
    if (!c.date) {
      EXPECT_EQ(text, "1");
    }
  }
}

// Chart numbers of 8 characters or more print at 7 pt instead of 10 pt, decided per row; kind
// "5" with the variant prints the same.
TEST(KavelLayout, ChartNumberRuleSetsTheSizePerRow) {
  for (const std::vector<std::string>& kind : {std::vector<std::string>{"5"}, {"5", "1"}}) {
    SCOPED_TRACE(kind.size() == 2 ? "Report7" : "Report3");
    Table rep = RepTable(4);
    rep.rows[0][1] = "1234567";
    rep.rows[1][1] = "12345678";
    rep.rows[2][1] = "123";
    rep.rows[3][1] = std::nullopt;
    ProgramFolder folder;
    WriteDatabase(folder.File("Data.Rpt"), {rep});
    std::vector<std::string> args{kCaption, ""};
    args.insert(args.end(), kind.begin(), kind.end());
    folder.Run(args);
    auto pages = PdfWords(folder.File("Rep.pdf"));
    ASSERT_EQ(pages.size(), 1u);
    auto seven = FindWord(pages[0], "1234567");
    auto eight = FindWord(pages[0], "12345678");
    auto three = FindWord(pages[0], "123");
    ASSERT_TRUE(seven && eight && three);
    double h7 = seven->bottom - seven->top, h8 = eight->bottom - eight->top,
           h3 = three->bottom - three->top;
    EXPECT_NEAR(h8 / h7, 0.7, 0.05);
    EXPECT_NEAR(h3, h7, 0.05);
    EXPECT_NE(PageText(pages[0]).find(kCaption), std::string::npos);
    // The row with the empty chart number is still printed.
    EXPECT_TRUE(FindWord(pages[0], "C2-4"));
  }
}

int Count(const PageWords& page, const std::string& text) {
  int n = 0;
  for (const Word& w : page) n += w.text == text ? 1 : 0;
  return n;
}

// Headings follow the row order: a new heading whenever the key differs from the previous row's,
// the inner heading again whenever the outer one changes.
TEST(KavelLayout, GroupHeadingsFollowTheRowOrder) {
  struct Case {
    std::string name;
    std::vector<std::vector<std::string>> rows;  // Line1, Line2, Line3
    std::vector<std::pair<std::string, int>> counts;
  } cases[] = {
      {"same outer, two inner", {{"GA", "SX", "E1"}, {"GA", "SY", "E2"}},
       {{"GA", 1}, {"SX", 1}, {"SY", 1}}},
      {"outer changes, inner equal", {{"GA", "SX", "E1"}, {"GB", "SX", "E2"}},
       {{"GA", 1}, {"GB", 1}, {"SX", 2}}},
      {"A, B, A", {{"GA", "SX", "E1"}, {"GB", "SX", "E2"}, {"GA", "SX", "E3"}},
       {{"GA", 2}, {"GB", 1}, {"SX", 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto pages = Print({RepChkListRows(c.rows)}, "7", "RepChkList.pdf");
    ASSERT_EQ(pages.size(), 1u);
    for (const auto& [text, n] : c.counts) EXPECT_EQ(Count(pages[0], text), n) << text;
    // Report6 groups by Line1 only.
    auto six = Print({RepChkListRows(c.rows)}, "9", "RepChkList3.pdf");
    ASSERT_EQ(six.size(), 1u);
    EXPECT_EQ(Count(six[0], "GA"), c.counts[0].second);
  }
}

// The title block of the check lists: LINE7 and LINE8 of the first row, on the first page only;
// later pages start directly with the next entry.
TEST(KavelLayout, CheckListTitleBlockOnlyOnFirstPage) {
  struct Case {
    std::string kind, file;
    int rows_on_first_page;  // one heading, then entries of one line each
    double pitch;
  } cases[] = {{"7", "RepChkList.pdf", 30, 7.9}, {"9", "RepChkList3.pdf", 21, 11.0}};
  for (const Case& c : cases) {
    SCOPED_TRACE("kind " + c.kind);
    std::vector<std::vector<std::string>> rows;
    for (int i = 1; i <= c.rows_on_first_page + 1; ++i) {
      std::string n = std::to_string(i);
      rows.push_back({"GA", "SX", "E" + n, "F" + n, "H" + n, "B" + n,
                      i == 1 ? "TITLEONE" : "TITLETWO", i == 1 ? "SUBONE" : "SUBTWO"});
    }
    auto pages = Print({RepChkListRows(rows)}, c.kind, c.file);
    ASSERT_EQ(pages.size(), 2u);
    std::string first = PageText(pages[0]), second = PageText(pages[1]);
    EXPECT_NE(first.find("TITLEONE"), std::string::npos);
    EXPECT_NE(first.find("SUBONE"), std::string::npos);
    EXPECT_EQ(first.find("TITLETWO"), std::string::npos);
    EXPECT_EQ(second.find("TITLE"), std::string::npos);
    EXPECT_EQ(second.find("GA"), std::string::npos);  // headings are not repeated
    const std::string entry = c.kind == "7" ? "E" : "F";
    auto e1 = FindWord(pages[0], entry + "1");
    auto e2 = FindWord(pages[0], entry + "2");
    ASSERT_TRUE(e1 && e2);
    EXPECT_NEAR(e2->top - e1->top, c.pitch, 0.05);
    EXPECT_TRUE(FindWord(pages[0], entry + std::to_string(c.rows_on_first_page)));
    auto moved = FindWord(pages[1], entry + std::to_string(c.rows_on_first_page + 1));
    ASSERT_TRUE(moved);
    EXPECT_LT(moved->top, 10.0 + 3.0);  // at the top of the printable area
    if (c.kind == "9") {
      EXPECT_NE(first.find("項番・区分・診療行為名称"), std::string::npos) << first;
      EXPECT_EQ(second.find("レセプト表示文言"), std::string::npos);
    }
    EXPECT_EQ(PageNumber(pages[1]), "2");
  }
}

// A text of several lines makes its entry taller and pushes what lies below it down.
TEST(KavelLayout, GrowingTextsPushTheRestDown) {
  {  // Report4: three lines of Line3; the next entry starts two line heights lower
    auto pages = Print({RepChkListRows({{"GA", "SX", "E1a\r\nE1b\r\nE1c"}, {"GA", "SX", "E2"}})},
                       "7", "RepChkList.pdf");
    ASSERT_EQ(pages.size(), 1u);
    auto a = FindWord(pages[0], "E1a"), b = FindWord(pages[0], "E1b"),
         c = FindWord(pages[0], "E1c"), next = FindWord(pages[0], "E2");
    ASSERT_TRUE(a && b && c && next);
    double line = b->top - a->top;
    EXPECT_NEAR(c->top - b->top, line, 0.05);
    EXPECT_NEAR(next->top - a->top, 7.9 + 2 * line, 0.2);
  }
  {  // Report6: a long Line4 and a short Line5; Line6 starts below the end of Line4
    auto pages = Print({RepChkListRows({{"GA", "x", "y", "F1a\r\nF1b\r\nF1c", "H1", "B1"}})}, "9",
                       "RepChkList3.pdf");
    ASSERT_EQ(pages.size(), 1u);
    auto a = FindWord(pages[0], "F1a"), c = FindWord(pages[0], "F1c"),
         h = FindWord(pages[0], "H1"), blue = FindWord(pages[0], "B1");
    ASSERT_TRUE(a && c && h && blue);
    EXPECT_NEAR(h->top - a->top, 0.3, 0.1);  // Line5's cell starts 0.3 mm lower
    EXPECT_GT(blue->top, c->bottom);
  }
}

// The horizontal scalings (Tz, percent) a PDF's pages use, read from its uncompressed form.
std::vector<double> TextScalings(const std::string& pdf) {
  const std::string plain = pdf + ".qdf";
  ProcessResult run =
      RunProcess({"/usr/bin/qpdf", "--qdf", "--object-streams=disable", pdf, plain});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  static const std::regex kTz(R"(([0-9.]+) Tz\b)");
  const std::string content = ReadFile(plain);
  std::vector<double> scalings;
  for (auto it = std::sregex_iterator(content.begin(), content.end(), kTz);
       it != std::sregex_iterator(); ++it) {
    scalings.push_back(std::stod((*it)[1].str()));
  }
  return scalings;
}

// Texts a little too wide for a cell that cannot grow are narrowed into it instead of losing
// characters: pdftotext finds each whole, inside its cell, on the cell's first line.
TEST(KavelLayout, TooWideTextsAreNarrowedIntoTheirCells) {
  struct Case {
    std::string name, kind, file;
    Table table;
    std::vector<std::string> words;  // the text as pdftotext splits it at its spaces
    double cell_left, cell_right;    // page mm
    double cell_top, cell_bottom;    // page mm; 0, 0: the row's position, taken from `beside`
    std::string beside;              // a word on the same line of the same row
  };
  Table name = RepTable(1);
  name.rows[0][2] = "患者9989 太郎";
  const Case cases[] = {
      {.name = "chart-number heading", .kind = "5", .file = "Rep.pdf", .table = RepTable(1),
       .words = {"カルテ番号"}, .cell_left = 5.5, .cell_right = 21.5, .cell_top = 13.5,
       .cell_bottom = 17.5, .beside = ""},
      {.name = "treatment heading", .kind = "9", .file = "RepChkList3.pdf",
       .table = RepChkListRows({{"GA", "x", "y"}}), .words = {"項番・区分・診療行為名称等"},
       .cell_left = 21.9, .cell_right = 99.0, .cell_top = 23.9, .cell_bottom = 32.6,
       .beside = ""},
      {.name = "group heading of three characters in 7.0 mm", .kind = "9",
       .file = "RepChkList3.pdf", .table = RepChkListRows({{"A01", "x", "GROUPTEXT"}}),
       .words = {"A01"}, .cell_left = 12.4, .cell_right = 19.4, .cell_top = 0, .cell_bottom = 0,
       .beside = "GROUPTEXT"},
      {.name = "patient name", .kind = "5", .file = "Rep.pdf", .table = name,
       .words = {"患者9989", "太郎"}, .cell_left = 26.9, .cell_right = 47.9, .cell_top = 0,
       .cell_bottom = 0, .beside = "C3-1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ProgramFolder folder;
    WriteDatabase(folder.File("Data.Rpt"), {c.table});
    folder.Run({kCaption, "", c.kind});
    ASSERT_TRUE(folder.Exists(c.file));
    auto pages = PdfWords(folder.File(c.file));
    ASSERT_FALSE(pages.empty());
    double top = c.cell_top, bottom = c.cell_bottom;
    if (!c.beside.empty()) {
      auto beside = FindWord(pages[0], c.beside);
      ASSERT_TRUE(beside);
      top = beside->top - 0.1;
      bottom = beside->bottom + 0.1;
    }
    for (const std::string& text : c.words) {
      auto word = FindWord(pages[0], text);
      ASSERT_TRUE(word) << text << " in " << PageText(pages[0]);
      EXPECT_EQ(word->text, text);
      EXPECT_GE(word->left, c.cell_left - 0.05) << text;
      EXPECT_LE(word->right, c.cell_right + 0.05) << text;
      EXPECT_GE(word->top, top - 0.05) << text;
      EXPECT_LE(word->bottom, bottom + 0.05) << text;
    }
    const std::vector<double> scalings = TextScalings(folder.File(c.file));
    ASSERT_FALSE(scalings.empty());
    for (double tz : scalings) {
      EXPECT_GE(tz, 70.0);
      EXPECT_LE(tz, 100.0);
    }
  }
}

// A text that fits is never narrowed; one that would need narrowing below 70 % is cut off at its
// cell as before and keeps its width.
TEST(KavelLayout, FittingTextsKeepTheirWidthAndFarTooWideOnesAreCut) {
  {
    ProgramFolder folder;
    WriteDatabase(folder.File("Data.Rpt"), {RepChkListRows({{"GA", "SX", "E1", "", "", "",
                                                             "TITLE", "SUB"}})});
    folder.Run({kCaption, "", "7"});
    ASSERT_TRUE(folder.Exists("RepChkList.pdf"));
    EXPECT_TRUE(TextScalings(folder.File("RepChkList.pdf")).empty());
  }
  Table wide = RepTable(1), plain = RepTable(1);
  wide.rows[0][2] = "患者9989 太郎太郎太郎太郎太郎";
  plain.rows[0][2] = "患者9989";
  auto wide_pages = Print({wide}, "5", "Rep.pdf");
  auto plain_pages = Print({plain}, "5", "Rep.pdf");
  ASSERT_EQ(wide_pages.size(), 1u);
  ASSERT_EQ(plain_pages.size(), 1u);
  auto cut = FindWord(wide_pages[0], "患者9989");
  auto whole = FindWord(plain_pages[0], "患者9989");
  ASSERT_TRUE(cut && whole);
  EXPECT_NEAR(cut->right - cut->left, whole->right - whole->left, 0.05);
  EXPECT_FALSE(FindWord(wide_pages[0], "太郎"));

  // A date in the 14 mm 転帰日 cell at 10 pt would need 62 % of its width: cut as before.
  Table date = RepTable(1);
  date.rows[0][10] = "2024/06/01";
  auto date_pages = Print({date}, "5", "Rep.pdf");
  ASSERT_EQ(date_pages.size(), 1u);
  auto first_line = FindWord(date_pages[0], "2024/0");
  ASSERT_TRUE(first_line);
  EXPECT_EQ(first_line->text, "2024/0");
}

}  // namespace
}  // namespace kavel_e2e
