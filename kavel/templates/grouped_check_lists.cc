// Report4 and Report6: the rows of RepChkList as check lists grouped by headings, on A4
// portrait with 10 mm margins (printable area 190 × 277 mm). The title block comes from the
// first row's LINE7 and LINE8; there is no page header.
#include <string_view>

#include "kavel/templates/template_parts.h"
#include "kavel/templates/templates.h"

namespace kavel::templates {
namespace {

using re::BandKind;
using re::LineObject;
using re::RectObject;
using re::TextObject;

constexpr re::Margins kMargins{10.0f, 10.0f, 10.0f, 10.0f};
constexpr uint32_t kCheckListButtons = re::kStandardPreviewButtons | re::kPbCopy | re::kPbSelection;

std::string F4(std::string_view field) { return FieldText(kDBDataset4, field); }

// The page number, in the page's default font.
re::Band PageFooter1(float left, float top, float width) {
  return {.name = "PageFooter1",
          .kind = BandKind::kPageFooter,
          .height = 6.0f,
          .objects = {
              TextObject{.name = "SysMemo1", .rect = {left, top, width, 5.0f}, .text = kSysPage}}};
}

}  // namespace

re::Template Report4() {
  return {.name = kReport4,
          .page = {.margins = kMargins},
          .datasets = {kDBDataset4},
          .bands =
              {
                  {.name = "Header1",
                   .kind = BandKind::kDataHeader,
                   .height = 13.0f,
                   .objects =
                       {
                           TextObject{.name = "DBDataset4LINE7",
                                      .rect = {33.9f, -0.1f, 73.0f, 7.0f},
                                      .text = F4("LINE7"),
                                      .font = {kFontPGothic, 18},
                                      .charset = kSjis,
                                      .auto_width = true},
                           TextObject{.name = "DBDataset4LINE8",
                                      .rect = {140.9f, 7.6f, 47.0f, 5.0f},
                                      .text = F4("LINE8"),
                                      .font = {kFontPGothic, 12},
                                      .charset = kSjis},
                       }},
                  // Heading per Line1: two blue bars 1.0 mm apart and a blue underline from 6.5 mm
                  // to 188.5 mm.
                  {.name = "GroupHeader1",
                   .kind = BandKind::kGroupHeader,
                   .height = 10.0f,
                   .condition = FieldKey(kDBDataset4, "Line1"),
                   .objects =
                       {
                           TextObject{.name = "DBDataset4Line1",
                                      .rect = {10.0f, 0.2f, 170.0f, 6.0f},
                                      .text = F4("Line1"),
                                      .font = {kFontGothic, 16},
                                      .charset = kSjis},
                           LineObject{.name = "Line1",
                                      .left = 7.0f,
                                      .top = 0.0f,
                                      .height = 7.0f,
                                      .stroke_px = 2,
                                      .color = re::kBlue},
                           LineObject{.name = "Line2",
                                      .left = 6.5f,
                                      .top = 7.4f,
                                      .width = 182.0f,
                                      .stroke_px = 1,
                                      .color = re::kBlue},
                           LineObject{.name = "Line3",
                                      .left = 8.0f,
                                      .top = 0.0f,
                                      .height = 7.0f,
                                      .stroke_px = 2,
                                      .color = re::kBlue},
                       }},
                  // Boxed sub-heading per Line2; the Line4 text stands inside the Line2 cell's
                  // span.
                  {.name = "GroupHeader2",
                   .kind = BandKind::kGroupHeader,
                   .height = 9.0f,
                   .condition = FieldKey(kDBDataset4, "Line2"),
                   .objects =
                       {
                           TextObject{.name = "DBDataset4Line2",
                                      .rect = {13.0f, 0.5f, 165.0f, 6.0f},
                                      .text = F4("Line2"),
                                      .font = {kFontGothic, 12},
                                      .color = re::kBlue,
                                      .charset = kSjis},
                           TextObject{.name = "DBDataset4Line4",
                                      .rect = {82.0f, 0.5f, 56.0f, 6.0f},
                                      .text = F4("Line4"),
                                      .font = {kFontGothic, 12},
                                      .color = re::kBlue,
                                      .charset = kSjis},
                           RectObject{.name = "Shape1", .rect = {10.0f, 0.0f, 170.0f, 7.0f}},
                       }},
                  // One entry per row: check box, the Line3 text as tall as it needs, a dotted line
                  // under it. Printed height: 7.9 mm plus the growth of the Line3 cell.
                  {.name = "MasterData1",
                   .kind = BandKind::kMasterData,
                   .height = 11.5f,
                   .dataset = kDBDataset4,
                   .stretched = true,
                   .objects =
                       {
                           TextObject{.name = "DBDataset4Line3",
                                      .rect = {18.4f, 1.1f, 161.0f, 5.0f},
                                      .text = F4("Line3"),
                                      .font = {kFontPMincho, 11},
                                      .charset = kSjis,
                                      .grow_height = true},
                           RectObject{.name = "Shape2", .rect = {13.4f, 2.1f, 3.0f, 3.0f}},
                           LineObject{.name = "Line4",
                                      .left = 19.3f,
                                      .top = 7.9f,
                                      .width = 160.0f,
                                      .stroke_px = 1,
                                      .style = re::LineStyle::kDot},
                       }},
                  PageFooter1(86.0f, 1.0f, 15.0f),
              },
          .preview_buttons = kCheckListButtons};
}

re::Template Report6() {
  return {.name = kReport6,
          .page = {.margins = kMargins},
          .datasets = {kDBDataset4},
          .bands =
              {
                  // Title block: two boxed column headings sharing their edge at 97.0 mm.
                  {.name = "Header1",
                   .kind = BandKind::kDataHeader,
                   .height = 26.6f,
                   .objects =
                       {
                           RectObject{.name = "Shape1", .rect = {1.0f, 11.6f, 96.0f, 13.0f}},
                           RectObject{.name = "Shape2", .rect = {97.0f, 11.6f, 92.0f, 13.0f}},
                           TextObject{.name = "Memo1",
                                      .rect = {11.9f, 13.9f, 77.1f, 8.7f},
                                      .text = kHeadingTreatment,
                                      .font = {kFontPGothic, 18},
                                      .charset = kSjis},
                           TextObject{.name = "Memo2",
                                      .rect = {113.4f, 14.2f, 49.6f, 7.6f},
                                      .text = kHeadingReceiptText,
                                      .font = {kFontPGothic, 18},
                                      .charset = kSjis},
                           TextObject{.name = "DBDataset4LINE7",
                                      .rect = {36.2f, -0.2f, 68.3f, 7.0f},
                                      .text = F4("LINE7"),
                                      .font = {kFontPGothic, 18},
                                      .charset = kSjis,
                                      .auto_width = true},
                           TextObject{.name = "DBDataset4LINE8",
                                      .rect = {139.8f, 6.1f, 47.0f, 5.0f},
                                      .text = F4("LINE8"),
                                      .font = {kFontPGothic, 12},
                                      .charset = kSjis},
                       }},
                  // Heading per Line1 on an aqua bar; the bar is drawn first.
                  {.name = "GroupHeader1",
                   .kind = BandKind::kGroupHeader,
                   .height = 8.0f,
                   .condition = FieldKey(kDBDataset4, "Line1"),
                   .objects =
                       {
                           RectObject{.name = "Shape3",
                                      .rect = {1.0f, 0.0f, 188.0f, 8.0f},
                                      .fill = re::kAqua},
                           TextObject{.name = "DBDataset4Line1",
                                      .rect = {2.4f, 1.0f, 7.0f, 5.0f},
                                      .text = F4("Line1"),
                                      .font = {kFontGothic, 12},
                                      .charset = kSjis},
                           TextObject{.name = "DBDataset4Line2",
                                      .rect = {10.3f, 1.0f, 35.1f, 5.0f},
                                      .text = F4("Line2"),
                                      .font = {kFontGothic, 12},
                                      .color = re::kRed,
                                      .charset = kSjis},
                           TextObject{.name = "DBDataset4Line3",
                                      .rect = {47.4f, 1.0f, 137.7f, 5.0f},
                                      .text = F4("Line3"),
                                      .font = {kFontGothic, 12},
                                      .charset = kSjis},
                       }},
                  // Line4 and Line5 side by side, Line6 in blue below them, pushed down by the
                  // larger
                  // growth of the two. Printed height: 11.0 mm plus growth.
                  {.name = "MasterData1",
                   .kind = BandKind::kMasterData,
                   .height = 13.0f,
                   .dataset = kDBDataset4,
                   .stretched = true,
                   .objects =
                       {
                           TextObject{.name = "DBDataset4Line4",
                                      .rect = {1.9f, 0.7f, 89.8f, 5.0f},
                                      .text = F4("Line4"),
                                      .font = {kFontMincho, 11},
                                      .charset = kSjis,
                                      .grow_height = true,
                                      .word_break = true},
                           TextObject{.name = "DBDataset4Line5",
                                      .rect = {98.7f, 1.0f, 89.0f, 5.0f},
                                      .text = F4("Line5"),
                                      .font = {kFontMincho, 11},
                                      .charset = kSjis,
                                      .grow_height = true,
                                      .word_break = true},
                           TextObject{.name = "DBDataset4Line6",
                                      .rect = {5.0f, 6.0f, 182.0f, 5.0f},
                                      .text = F4("Line6"),
                                      .font = {kFontMincho, 11},
                                      .color = re::kBlue,
                                      .charset = kSjis,
                                      .grow_height = true},
                       }},
                  PageFooter1(89.4f, 0.9f, 16.5f),
              },
          .preview_buttons = kCheckListButtons};
}

}  // namespace kavel::templates
