// Report3 and Report7: the rows of Rep as a list of eleven columns under a fixed row of
// headings, one 6.0 mm line per row, on A4 portrait with 5 mm margins. The two templates are
// the same design; the main application picks Report7 with the variant switch.
#include <string_view>

#include "kavel/templates/template_parts.h"
#include "kavel/templates/templates.h"

namespace kavel::templates {
namespace {

using re::BandKind;
using re::HAlign;
using re::TextObject;

constexpr char kChartNumberCell[] = "DBDataset3Line1";

std::string F3(std::string_view field) { return FieldText(kDBDataset3, field); }

re::Template PatientList(const char* name) {
  return {.name = name,
          .page = {.margins = {5.0f, 5.0f, 5.0f, 5.0f}},
          .datasets = {kDBDataset3},
          .bands = {
              {.name = "PageHeader1",
               .kind = BandKind::kPageHeader,
               .height = 15.0f,
               .objects =
                   {
                       TextObject{.name = kTitleObject,
                                  .rect = {49.0f, 0.0f, 104.0f, 7.0f},
                                  .text = kSampleCaption,
                                  .font = {kFontPGothic, 18},
                                  .charset = kSjis},
                       TextObject{.name = "SysMemo1",
                                  .rect = {154.0f, 0.0f, 21.0f, 5.0f},
                                  .text = kSysDate,
                                  .font = {kFontArial, 9}},
                       TextObject{.name = "SysMemo2",
                                  .rect = {177.0f, 0.0f, 25.0f, 5.0f},
                                  .text = kSysTime,
                                  .font = {kFontArial, 9}},
                       TextObject{.name = "Memo2",
                                  .rect = {0.5f, 8.5f, 16.0f, 4.0f},
                                  .text = kHeadingChartNumber,
                                  .font = {kFontPGothic, 9},
                                  .charset = kSjis},
                       TextObject{.name = "Memo3",
                                  .rect = {21.9f, 8.5f, 16.0f, 4.0f},
                                  .text = kHeadingPatientName,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "Memo4",
                                  .rect = {44.0f, 8.6f, 9.0f, 4.0f},
                                  .text = kHeadingRequirement,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "Memo6",
                                  .rect = {59.5f, 8.6f, 4.0f, 4.0f},
                                  .text = kHeadingRe,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "Memo5",
                                  .rect = {65.5f, 8.5f, 5.0f, 4.0f},
                                  .text = kHeadingToku,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "Memo7",
                                  .rect = {78.9f, 8.5f, 24.0f, 4.0f},
                                  .text = kHeadingDiseaseName,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "Memo9",
                                  .rect = {142.9f, 8.6f, 28.0f, 4.0f},
                                  .text = kHeadingStartDate,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "Memo8",
                                  .rect = {176.3f, 8.5f, 8.0f, 4.0f},
                                  .text = kHeadingOutcome,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "Memo10",
                                  .rect = {186.9f, 8.5f, 12.0f, 4.0f},
                                  .text = kHeadingOutcomeDate,
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       // The rule under the headings, across the whole printable width.
                       re::LineObject{.name = "Line1", .left = 0.0f, .top = 14.0f, .width = 200.0f},
                   }},
              {.name = "MasterData1",
               .kind = BandKind::kMasterData,
               .height = 6.0f,
               .dataset = kDBDataset3,
               .objects =
                   {
                       // Font size set per row by ChartNumberRule.
                       TextObject{.name = kChartNumberCell,
                                  .rect = {0.5f, 0.0f, 17.0f, 4.0f},
                                  .text = F3("Line1"),
                                  .font = {kFontPGothic, kChartNumberPoints},
                                  .charset = kSjis,
                                  .auto_width = true},
                       TextObject{.name = "DBDataset3Line2",
                                  .rect = {21.9f, 0.0f, 21.0f, 4.0f},
                                  .text = F3("Line2"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "DBDataset3Line3",
                                  .rect = {42.9f, 0.0f, 14.0f, 4.0f},
                                  .text = F3("Line3"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "DBDataset3Line7",
                                  .rect = {58.5f, 0.0f, 5.0f, 5.0f},
                                  .text = F3("Line7"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis,
                                  .align = HAlign::kCenter},
                       TextObject{.name = "DBDataset3Line8",
                                  .rect = {64.7f, 0.0f, 4.0f, 5.0f},
                                  .text = F3("Line8"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis,
                                  .align = HAlign::kCenter},
                       TextObject{.name = "DBDataset3Line6",
                                  .rect = {70.7f, 0.0f, 5.0f, 5.0f},
                                  .text = F3("Line6"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis,
                                  .align = HAlign::kCenter},
                       TextObject{.name = "DBDataset3Line4",
                                  .rect = {78.0f, 0.0f, 64.0f, 5.0f},
                                  .text = F3("Line4"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis,
                                  .auto_width = true},
                       TextObject{.name = "DBDataset3Line5",
                                  .rect = {142.9f, 0.0f, 25.0f, 5.0f},
                                  .text = F3("Line5"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                       TextObject{.name = "DBDataset3Line9",
                                  .rect = {168.0f, 0.0f, 6.0f, 5.0f},
                                  .text = F3("Line9"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis,
                                  .align = HAlign::kCenter},
                       TextObject{.name = "DBDataset3Line11",
                                  .rect = {175.7f, 0.0f, 9.0f, 5.0f},
                                  .text = F3("Line11"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis,
                                  .align = HAlign::kCenter},
                       TextObject{.name = "DBDataset3Line10",
                                  .rect = {185.2f, 0.0f, 14.0f, 5.0f},
                                  .text = F3("Line10"),
                                  .font = {kFontPGothic, 10},
                                  .charset = kSjis},
                   }},
              {.name = "PageFooter1",
               .kind = BandKind::kPageFooter,
               .height = 6.0f,
               .objects = {TextObject{.name = "SysMemo3",
                                      .rect = {86.0f, 0.0f, 25.0f, 5.0f},
                                      .text = kSysPage,
                                      .font = {kFontArial, 10},
                                      .align = HAlign::kCenter}}},
          }};
}

// Length of a UTF-8 text in UTF-16 units.
int Utf16Length(std::string_view utf8) {
  int units = 0;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    size_t len = c < 0x80           ? 1
                 : (c >> 5) == 0x6  ? 2
                 : (c >> 4) == 0xE  ? 3
                 : (c >> 3) == 0x1E ? 4
                                    : 1;
    units += len == 4 ? 2 : 1;
    i += len;
  }
  return units;
}

}  // namespace

re::Template Report3() { return PatientList(kReport3); }
re::Template Report7() { return PatientList(kReport7); }

re::RowOverrides ChartNumberRule(const re::RowFields& row) {
  const int size = Utf16Length(row.Value("Line1")) >= kChartNumberLongLength
                       ? kChartNumberLongPoints
                       : kChartNumberPoints;
  return {{.object = kChartNumberCell, .font_size_pt = size}};
}

}  // namespace kavel::templates
