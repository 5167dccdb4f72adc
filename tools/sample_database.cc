#include "tools/sample_database.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string_view>
#include <vector>

namespace jet {
namespace {

constexpr int kRepChkRows = 120;
constexpr int kRepRows = 150;
constexpr int kRepChkListRows = 60;
constexpr uint32_t kSeed = 20261105;

constexpr std::string_view kFamilyNames[] = {"山田", "佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "中村",
                                             "小林", "加藤", "吉田", "山本", "松本", "井上", "木村", "斎藤"};
constexpr std::string_view kGivenNames[] = {"太郎", "花子", "一郎", "美咲", "健太", "由美", "翔太", "恵子",
                                            "大輔", "直子", "誠", "陽子", "拓也", "千尋", "修", "和子"};
constexpr std::string_view kDiseases[] = {
    "高血圧症", "２型糖尿病", "脂質異常症", "急性上気道炎", "慢性胃炎", "逆流性食道炎", "気管支喘息",
    "アレルギー性鼻炎", "変形性膝関節症", "腰痛症", "不眠症", "骨粗鬆症", "慢性腎臓病（ステージ３）",
    "ロキソプロフェンナトリウム錠６０ｍｇ", "アムロジピンＯＤ錠５ｍｇ「トーワ」", "メトホルミン塩酸塩錠２５０ｍｇＭＴ",
    "急性気管支炎の疑い", "頸椎症性神経根症"};
constexpr std::string_view kConditions[] = {"病名漏れ", "適応外", "併用注意", "算定回数超", "投与日数超", "重複投与"};
constexpr std::string_view kOutcomes[] = {"", "", "", "治ゆ", "中止", "転医", "死亡"};
constexpr std::string_view kCheckKinds[] = {"エラー", "警告", "確認"};
constexpr std::string_view kCheckMessages[] = {
    "傷病名に対応する検査の算定がありません。",
    "投与日数が上限（１４日）を超えています。",
    "初診料と再診料が同一日に算定されています。",
    "特定疾患療養管理料の対象病名がありません。",
    "同一成分の薬剤が重複して処方されています。",
    "検体検査判断料の算定回数が月の上限を超えています。",
    "長期収載品の選定療養に該当する可能性があります。確認してください。",
    "外来管理加算は処置と同一日に算定できません。"};
constexpr std::string_view kDepartments[] = {"内科", "外科", "整形外科", "小児科", "皮膚科", "眼科"};
constexpr std::string_view kGroups[] = {"初・再診料", "医学管理等", "在宅医療", "投薬", "注射", "処置", "検査", "画像診断"};
constexpr std::string_view kSubGroups[] = {"算定要件", "併算定", "回数制限", "病名"};
constexpr std::string_view kListEntries[] = {
    "同一日に複数の診療科を受診した場合、２科目の再診料は所定点数の１００分の５０で算定する。",
    "特定疾患療養管理料は、主病として厚生労働大臣が定める疾患を有する患者に算定する。",
    "処方日数が１４日を超える新薬の投与はできない（薬価基準収載から１年以内）。",
    "検体検査判断料は、区分ごとに月１回に限り算定する。",
    "外来管理加算は、処置、リハビリテーション等を行った場合には算定できない。",
    "在宅自己注射指導管理料の算定患者に対する注射薬の処方について、適応病名を確認する。",
    "画像診断の電子画像管理加算は、フィルムを使用した場合には算定できない。"};

// Each row draws from its own small generator seeded by num, so a row's content does not depend
// on the order the rows are written in.
using RowRandom = std::minstd_rand;

template <size_t N>
std::string Pick(RowRandom& rng, const std::string_view (&items)[N]) {
  return std::string(items[std::uniform_int_distribution<size_t>(0, N - 1)(rng)]);
}

std::string ChartNumber(RowRandom& rng, int i) {
  // Most chart numbers are short; some clinics use long ones, which print smaller.
  const int digits = (i % 7 == 3) ? 10 : 6;
  std::string s;
  for (int d = 0; d < digits; ++d) s.push_back(static_cast<char>('0' + std::uniform_int_distribution<int>(0, 9)(rng)));
  return s;
}

std::string Date(RowRandom& rng) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "R%02d.%02d.%02d", std::uniform_int_distribution<int>(1, 8)(rng),
                std::uniform_int_distribution<int>(1, 12)(rng), std::uniform_int_distribution<int>(1, 28)(rng));
  return buffer;
}

std::vector<int64_t> Numbers(int count, bool shuffled, std::mt19937& rng) {
  std::vector<int64_t> numbers(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) numbers[static_cast<size_t>(i)] = i + 1;
  if (shuffled) std::shuffle(numbers.begin(), numbers.end(), rng);
  return numbers;
}

std::vector<Column> TextColumns(std::initializer_list<const char*> names, int chars) {
  std::vector<Column> columns = {{"num", ColumnType::kLong}};
  for (const char* n : names) columns.push_back({n, ColumnType::kText, chars});
  return columns;
}

Status AddRepChk(DatabaseWriter* writer, int rows, bool shuffled, std::mt19937& rng) {
  Status status = writer->BeginTable("RepChk", TextColumns({"Line1", "Line2", "Line3", "Line4"}, 255));
  for (int64_t num : Numbers(rows, shuffled, rng)) {
    if (!status) return status;
    RowRandom row_rng(kSeed + static_cast<uint32_t>(num));
    const std::string patient = ChartNumber(row_rng, static_cast<int>(num));
    status = writer->AddRow({num, patient, Pick(row_rng, kCheckKinds), Pick(row_rng, kFamilyNames) + " " +
                             Pick(row_rng, kGivenNames) + "：" + Pick(row_rng, kCheckMessages),
                             Pick(row_rng, kDepartments)});
  }
  if (!status) return status;
  return writer->EndTable();
}

Status AddRep(DatabaseWriter* writer, int rows, bool shuffled, std::mt19937& rng) {
  Status status = writer->BeginTable(
      "Rep", TextColumns({"Line1", "Line2", "Line3", "Line4", "Line5", "Line6", "Line7", "Line8", "Line9", "Line10",
                          "Line11"},
                         255));
  for (int64_t num : Numbers(rows, shuffled, rng)) {
    if (!status) return status;
    RowRandom row_rng(kSeed * 3 + static_cast<uint32_t>(num));
    const std::string outcome = Pick(row_rng, kOutcomes);
    status = writer->AddRow({num, ChartNumber(row_rng, static_cast<int>(num)),
                             Pick(row_rng, kFamilyNames) + "　" + Pick(row_rng, kGivenNames), Pick(row_rng, kConditions),
                             Pick(row_rng, kDiseases), Date(row_rng), num % 5 == 0 ? "主" : "",
                             num % 4 == 0 ? "再" : "", num % 9 == 0 ? "特" : "", num % 6 == 0 ? "疑" : "",
                             outcome.empty() ? std::string() : Date(row_rng), outcome});
  }
  if (!status) return status;
  return writer->EndTable();
}

Status AddRepChkList(DatabaseWriter* writer, int rows, bool shuffled, std::mt19937& rng) {
  Status status = writer->BeginTable(
      "RepChkList", TextColumns({"LINE1", "LINE2", "LINE3", "LINE4", "LINE5", "LINE6", "LINE7", "LINE8"}, 255));
  // Rows of one group follow one another in num order: group and sub-group follow from num.
  const int per_group = 8;
  for (int64_t num : Numbers(rows, shuffled, rng)) {
    if (!status) return status;
    RowRandom row_rng(kSeed * 7 + static_cast<uint32_t>(num));
    const int64_t index = num - 1;
    const std::string group = std::string(kGroups[(index / per_group) % std::size(kGroups)]);
    const std::string sub_group = std::string(kSubGroups[(index / 2) % std::size(kSubGroups)]);
    const std::string entry = Pick(row_rng, kListEntries);
    status = writer->AddRow({num, group, sub_group, entry, "対象：" + Pick(row_rng, kDepartments),
                             "「" + Pick(row_rng, kDiseases) + "」の記載を確認", "レセプトに「" + Pick(row_rng, kConditions) + "」と表示されます。",
                             "レセプトチェックリスト", "令和８年１１月診療分"});
  }
  if (!status) return status;
  return writer->EndTable();
}

}  // namespace

Status AddSampleTables(DatabaseWriter* writer, const SampleOptions& options) {
  std::mt19937 rng(kSeed);
  Status status = AddRepChk(writer, options.rows > 0 ? options.rows : kRepChkRows, options.shuffled, rng);
  if (status) status = AddRep(writer, options.rows > 0 ? options.rows : kRepRows, options.shuffled, rng);
  if (status) status = AddRepChkList(writer, options.rows > 0 ? options.rows : kRepChkListRows, options.shuffled, rng);
  return status;
}

Status WriteSampleDatabase(const std::string& path, const SampleOptions& options) {
  DatabaseWriter writer;
  Status status = AddSampleTables(&writer, options);
  if (!status) return status;
  return writer.WriteFile(path);
}

}  // namespace jet
