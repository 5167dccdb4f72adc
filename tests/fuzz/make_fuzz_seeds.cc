// make-fuzz-seeds <folder>
// Writes the seed inputs of the text and prepared-report fuzz targets, each made by the code that
// writes such files in the programs: <folder>/<target>/<name>. The database and program-file
// seeds come from jet-write, make-sample-db and the Windows test programs (scripts/fuzz.sh).
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "common/env.h"
#include "common/temp_folder_for_testing.h"
#include "common/text_encoding.h"
#include "reportengine/layout/prepared_report_file.h"

namespace {

namespace fs = std::filesystem;

void WriteSeed(const fs::path& folder, const std::string& target, const std::string& name,
               const std::string& bytes) {
  fs::create_directories(folder / target);
  std::ofstream out(folder / target / name, std::ios::binary | std::ios::trunc);
  out << bytes;
}

void WriteSettingsSeeds(const fs::path& out) {
  common::TempFolderForTesting folder;
  common::SystemEnv env(folder.path());
  // The CP932 file the programs create themselves.
  env.IFWriteIniStr("PARAM", "DBVERSION", "2.0.0.3");
  env.IFWriteIniStr("PARAM", "NOUPD", "1");
  env.IFWriteIniStr("UPD", "TIME", "2026/12/01 10:00:00");
  env.IFWriteIniStr("CALL", "STATUS", "更新中");
  WriteSeed(out, "settings", "cp932.ini", folder.Read("user.ini"));

  // A UTF-16LE file with a byte-order mark, LF line ends, comments and quotes, as an editor
  // may save it; the programs keep that encoding when they add keys.
  folder.Write("user.ini", "\xff\xfe" + common::Utf8ToUtf16Le("; 設定\n[param]\ndbversion = \"2.0.0.2\"\n\n[EXPAND]\nSTAUS=0\n"));
  env.IFWriteIniStr("PARAM", "NVKMST", "https://127.0.0.1/data/QX/");
  env.IFWriteIniStr("UPD", "Download", "1");
  WriteSeed(out, "settings", "utf16le.ini", folder.Read("user.ini"));
}

void WriteUpdateListSeeds(const fs::path& out) {
  const std::string list =
      "Norvik.exe,2.0.0.12,\"本体 プログラム\"\r\n"
      "MST.FDB,2.0.0.9\r\n"
      "Kavel.exe 1.10.0.0\r\n"
      "\"Setup.exe\",\"2.0.0.12\"\r\n"
      "\r\n"
      "single\r\n";
  WriteSeed(out, "update_list", "ulist_cp932", common::Utf8ToCp932(list));
  WriteSeed(out, "update_list", "ulist_utf8_bom", "\xef\xbb\xbf" + std::string("Norvik.exe,1.0.0.0\nMST.FDB,3.0.0.1,\n"));
  WriteSeed(out, "update_list", "ulist_cr", "MST.FDB,\"2.0.0.\"\"3\"\"\"\rNorvik.exe\t2.0.0.2,x,");
}

void WriteExpressionSeeds(const fs::path& out) {
  WriteSeed(out, "expression", "field", "患者名：[DBDataset1.\"Line1\"] 様");
  WriteSeed(out, "expression", "system", "[DATE] [TIME]  [PAGE#] ページ");
  WriteSeed(out, "expression", "odd", "[[DBDataset2.Line3]] [Unknown] [ unclosed");
}

void WritePreparedReportSeeds(const fs::path& out) {
  re::PreparedReport report;
  report.fonts.push_back({"ＭＳ ゴシック", "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", 0});
  report.fonts.push_back({"Arial", "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf", 0});
  auto title = std::make_shared<re::ShapedLine>();
  title->font = 0;
  title->size_pt = 12;
  title->text = "チェック結果一覧";
  for (uint32_t i = 0; i < 8; ++i) title->glyphs.push_back({100 + i, 3 * i, 4.2f * i, 0});
  title->width = 33.6f;
  auto number = std::make_shared<re::ShapedLine>();
  number->font = 1;
  number->size_pt = 9;
  number->text = "12";
  number->glyphs = {{21, 0, 0, 0}, {22, 1, 1.8f, 0}};
  number->width = 3.6f;
  number->scale = 0.875f;  // narrowed into its cell

  re::PreparedPage page;
  page.items.push_back(re::TextItem{title, 20, 15, {}, {20, 10, 120, 6}});
  page.items.push_back(re::TextItem{number, 180, 15, {0, 0, 128}, {175, 10, 20, 6}});
  page.items.push_back(re::LineItem{20, 18, 190, 18, 0.26f, {}, re::LineStyle::kDot});
  page.items.push_back(re::RectItem{{20, 20, 170, 8}, re::Color{230, 230, 230}, re::Color{}, 0.5f});
  report.pages.push_back(page);
  re::PreparedPage landscape;
  landscape.width = 297;
  landscape.height = 210;
  landscape.items.push_back(re::TextItem{number, 10, 10, {}, {5, 5, 30, 10}});
  report.pages.push_back(landscape);
  WriteSeed(out, "prepared_report", "two_pages.nvkp", re::SerializePreparedReport(report));
  WriteSeed(out, "prepared_report", "empty.nvkp", re::SerializePreparedReport(re::PreparedReport{}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-fuzz-seeds <folder>\n");
    return 2;
  }
  const fs::path out = argv[1];
  WriteSettingsSeeds(out);
  WriteUpdateListSeeds(out);
  WriteExpressionSeeds(out);
  WritePreparedReportSeeds(out);
  return 0;
}
