// Report1, Report2 and Report8: the rows of RepChk as a plain list, one 4.0 mm line per
// row, on A4 portrait with 5 mm margins (printable area 200 × 287 mm).
#include "kavel/templates/template_parts.h"
#include "kavel/templates/templates.h"

namespace kavel::templates {
namespace {

using re::BandKind;
using re::HAlign;
using re::TextObject;

constexpr re::Margins kMargins{5.0f, 5.0f, 5.0f, 5.0f};

std::string F1(std::string_view field) { return FieldText(kDBDataset1, field); }

// SysMemo1 and SysMemo2: date and time at the top right (SysMemo2 ends 2 mm beyond the
// printable area and is printed as placed).
TextObject SysMemo1() {
  return {.name = "SysMemo1",
          .rect = {153.0f, 0.0f, 21.0f, 5.0f},
          .text = kSysDate,
          .font = {kFontArial, 9}};
}
TextObject SysMemo2() {
  return {.name = "SysMemo2",
          .rect = {177.0f, 0.0f, 25.0f, 5.0f},
          .text = kSysTime,
          .font = {kFontArial, 9}};
}

// PageFooter1, the same in the three templates: the page number, centred.
re::Band PageFooter1() {
  return {.name = "PageFooter1",
          .kind = BandKind::kPageFooter,
          .height = 6.0f,
          .objects = {TextObject{.name = "SysMemo3",
                                 .rect = {86.0f, 0.0f, 25.0f, 5.0f},
                                 .text = kSysPage,
                                 .font = {kFontArial, 10},
                                 .align = HAlign::kCenter}}};
}

// Report1 and Report2 differ only in the top of Memo1 and in the data columns.
re::Template CaptionedList(const char* name, float memo1_top, std::vector<re::ReportObject> row) {
  return {.name = name,
          .page = {.margins = kMargins},
          .datasets = {kDBDataset1},
          .bands = {
              {.name = "PageHeader1",
               .kind = BandKind::kPageHeader,
               .height = 8.0f,
               .objects =
                   {
                       SysMemo1(),
                       SysMemo2(),
                       TextObject{.name = kTitleObject,
                                  .rect = {67.0f, memo1_top, 59.0f, 7.0f},
                                  .text = kSampleCaption,
                                  .font = {kFontPGothic, 18},
                                  .charset = kSjis},
                   }},
              {.name = "MasterData1",
               .kind = BandKind::kMasterData,
               .height = 4.0f,
               .dataset = kDBDataset1,
               .objects = std::move(row)},
              PageFooter1(),
          }};
}

}  // namespace

re::Template Report1() {
  return CaptionedList(kReport1, 0.5f,
                       {
                           TextObject{.name = "DBDataset1Line1",
                                      .rect = {1.0f, 0.0f, 21.0f, 4.0f},
                                      .text = F1("Line1"),
                                      .font = {kFontPGothic, 9},
                                      .charset = kSjis,
                                      .auto_width = true},
                           TextObject{.name = "DBDataset1Line2",
                                      .rect = {38.3f, 0.1f, 16.0f, 4.0f},
                                      .text = F1("Line2"),
                                      .font = {kFontPGothic, 9},
                                      .charset = kSjis},
                           TextObject{.name = "DBDataset1Line3",
                                      .rect = {55.4f, 0.1f, 144.0f, 4.0f},
                                      .text = F1("Line3"),
                                      .font = {kFontPGothic, 9},
                                      .charset = kSjis},
                       });
}

re::Template Report2() {
  return CaptionedList(kReport2, 0.0f,
                       {
                           TextObject{.name = "DBDataset1Line1",
                                      .rect = {1.0f, 0.0f, 21.0f, 4.0f},
                                      .text = F1("Line1"),
                                      .font = {kFontPGothic, 9},
                                      .charset = kSjis,
                                      .auto_width = true},
                           TextObject{.name = "DBDataset1Line2",
                                      .rect = {38.3f, 0.1f, 16.0f, 4.0f},
                                      .text = F1("Line2"),
                                      .font = {kFontPGothic, 9},
                                      .charset = kSjis},
                           TextObject{.name = "DBDataset1Line3",
                                      .rect = {55.1f, 0.1f, 110.0f, 4.0f},
                                      .text = F1("Line3"),
                                      .font = {kFontPGothic, 9},
                                      .charset = kSjis},
                           TextObject{.name = "DBDataset1Line4",
                                      .rect = {166.1f, 0.3f, 33.0f, 4.0f},
                                      .text = F1("Line4"),
                                      .font = {kFontPGothic, 9},
                                      .charset = Charset::kAnsi},
                       });
}

re::Template Report8() {
  return {.name = kReport8,
          .page = {.margins = kMargins},
          .datasets = {kDBDataset1},
          .bands = {
              {.name = "PageHeader1",
               .kind = BandKind::kPageHeader,
               .height = 14.6f,
               .objects =
                   {
                       SysMemo1(),
                       SysMemo2(),
                       TextObject{.name = kTitleObject,
                                  .rect = {67.0f, 0.5f, 67.5f, 7.0f},
                                  .text = kTitleJyoken,
                                  .font = {kFontPGothic, 18},
                                  .charset = kSjis},
                       TextObject{.name = "Memo2",
                                  .rect = {76.2f, 9.3f, 19.3f, 4.9f},
                                  .text = kHeadingCondition,
                                  .font = {kFontPGothic, 11},
                                  .charset = kSjis},
                       TextObject{.name = "Memo3",
                                  .rect = {172.8f, 9.0f, 23.3f, 4.9f},
                                  .text = kHeadingTarget,
                                  .font = {kFontPGothic, 11},
                                  .charset = kSjis},
                   }},
              // The Line3 cell reaches 0.9 mm below the band and is drawn there, not cut.
              {.name = "MasterData1",
               .kind = BandKind::kMasterData,
               .height = 4.0f,
               .dataset = kDBDataset1,
               .objects =
                   {
                       TextObject{.name = "DBDataset1Line1",
                                  .rect = {1.0f, 0.0f, 5.4f, 4.0f},
                                  .text = F1("Line1"),
                                  .font = {kFontPGothic, 9},
                                  .charset = kSjis,
                                  .auto_width = true},
                       TextObject{.name = "DBDataset1Line2",
                                  .rect = {9.0f, 0.1f, 168.1f, 4.0f},
                                  .text = F1("Line2"),
                                  .font = {kFontPGothic, 9},
                                  .charset = kSjis},
                       TextObject{.name = "DBDataset1Line3",
                                  .rect = {178.1f, 0.9f, 12.2f, 4.0f},
                                  .text = F1("Line3"),
                                  .font = {kFontPGothic, 9},
                                  .charset = kSjis},
                   }},
              PageFooter1(),
          }};
}

}  // namespace kavel::templates
