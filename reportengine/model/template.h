// The report template model: a page with its settings, the dataset list, and bands holding text
// objects, lines and rectangles. Templates are plain data, written as designated initialisers so
// that each one reads like its layout table:
//
//   re::Template t{
//       .name = "Report1",
//       .page = {.margins = {5, 5, 5, 5}},
//       .datasets = {"DBDataset1"},
//       .bands = {
//           {.name = "PageHeader1", .kind = re::BandKind::kPageHeader, .height = 8.0f,
//            .objects = {re::TextObject{.name = "SysMemo1", .rect = {153.0f, 0.0f, 21.0f, 5.0f},
//                                       .text = "[DATE]", .font = {"Arial", 9}},
//                        re::LineObject{.name = "Line1", .top = 14.0f, .width = 200.0f}}},
//           {.name = "MasterData1", .kind = re::BandKind::kMasterData, .height = 4.0f,
//            .dataset = "DBDataset1", .objects = {...}},
//       }};
//
// Objects left out of a template's table take the text-object defaults; a text object without
// a font of its own (empty face) uses the page's default font, "Arial" 10 pt black.
// All lengths are millimetres; object positions are measured from the top-left corner of the band
// that holds them, and a band's left edge lies on the page's left margin.
#ifndef REPORTENGINE_MODEL_TEMPLATE_H_
#define REPORTENGINE_MODEL_TEMPLATE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "reportengine/model/geometry.h"
#include "reportengine/text/font_spec.h"

namespace re {

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kBlue{0, 0, 255};
inline constexpr Color kRed{255, 0, 0};
inline constexpr Color kAqua{0, 255, 255};

inline constexpr char kDefaultFontFace[] = "Arial";
inline constexpr int kDefaultFontSize = 10;

// The character set a font is selected with. It names the glyph repertoire the designer meant;
// faces are resolved by name, so it does not change which font file is used.
enum class Charset : uint8_t { kDefault, kAnsi, kShiftJis };

enum class HAlign : uint8_t { kLeft, kCenter };

// A text object (memo). Its text may hold expressions in square brackets (see expression.h).
// Defaults: transparent, no frame, top-left aligned, inset 2 px left/right and 1 px top/bottom,
// 2 px extra line spacing, word wrap at the object's width, text cut off at the object's edges.
struct TextObject {
  std::string name{};
  RectMm rect{};           // left, top, width, height within the band
  std::string text{};      // a line break ("\n", "\r\n") starts a new line
  FontSpec font{};         // face and whole points; an empty face is the page's default font
  Color color = kBlack;    // text colour
  Charset charset = Charset::kDefault;
  HAlign align = HAlign::kLeft;
  bool auto_width = false;   // width follows the text set on one line; never wraps
  bool grow_height = false;  // grows downwards to fit the wrapped text; never shrinks
  bool word_break = false;   // words too long for a line are split by hyphenation rules
  bool word_wrap = true;     // lines break at the object's width
  bool visible = true;

  // Replaces the whole text. Bracketed parts of `text` keep their meaning as expressions.
  void SetText(std::string new_text) { text = std::move(new_text); }
};

// A straight line from (left, top) to (left + width, top + height): width 0 for a vertical line,
// height 0 for a horizontal one.
struct LineObject {
  std::string name{};
  float left = 0, top = 0, width = 0, height = 0;
  float stroke_px = 1;  // at 96 dpi: 1 px is 0.26 mm, 2 px 0.53 mm
  Color color = kBlack;
  LineStyle style = LineStyle::kSolid;
  bool visible = true;
};

// A rectangle (shape) with an outline and an optional fill.
struct RectObject {
  std::string name{};
  RectMm rect{};
  std::optional<Color> fill{};      // none: transparent
  std::optional<Color> outline = kBlack;
  float stroke_px = 1;
  bool visible = true;
};

using ReportObject = std::variant<TextObject, LineObject, RectObject>;

enum class BandKind : uint8_t {
  kPageHeader,   // top of the printable area of every page
  kPageFooter,   // bottom of the printable area of every page
  kDataHeader,   // once, immediately before the first group header or row; first row's values
  kGroupHeader,  // before the first row and whenever its key differs from the previous row's
  kMasterData,   // once per row of its dataset, in row-source order
};

// A band. Group headers are nested in the order they are listed: the first one listed is the
// outermost. Objects are drawn in the order listed, later ones over earlier ones.
struct Band {
  std::string name{};
  BandKind kind = BandKind::kMasterData;
  float height = 0;
  std::string dataset{};  // kMasterData: user name of the dataset binding it prints
  std::string condition{};  // kGroupHeader: key field, e.g. DBDataset4."Line1" (no brackets)
  bool stretched = false; // printed with the height of its lowest object after growth
  std::vector<ReportObject> objects{};
};

enum class Orientation : uint8_t { kPortrait, kLandscape };

struct Margins {
  float left = 10, top = 10, right = 10, bottom = 10;
};

// Paper size is given as portrait width × height; landscape swaps them. One column.
struct PageSettings {
  float paper_width = 210, paper_height = 297;  // A4
  Orientation orientation = Orientation::kPortrait;
  Margins margins{};

  float PageWidth() const {
    return orientation == Orientation::kPortrait ? paper_width : paper_height;
  }
  float PageHeight() const {
    return orientation == Orientation::kPortrait ? paper_height : paper_width;
  }
  float PrintableWidth() const { return PageWidth() - margins.left - margins.right; }
  float PrintableHeight() const { return PageHeight() - margins.top - margins.bottom; }
};

// Buttons of the preview window, as a bit set.
enum PreviewButton : uint32_t {
  kPbPrint = 1u << 0,
  kPbLoad = 1u << 1,
  kPbSave = 1u << 2,
  kPbExport = 1u << 3,
  kPbZoom = 1u << 4,
  kPbFind = 1u << 5,
  kPbOutline = 1u << 6,
  kPbPageSetup = 1u << 7,
  kPbTools = 1u << 8,
  kPbEdit = 1u << 9,
  kPbNavigator = 1u << 10,
  kPbExportQuick = 1u << 11,
  kPbCopy = 1u << 12,
  kPbSelection = 1u << 13,
};
inline constexpr uint32_t kStandardPreviewButtons =
    kPbPrint | kPbLoad | kPbSave | kPbExport | kPbZoom | kPbFind | kPbOutline | kPbPageSetup |
    kPbTools | kPbEdit | kPbNavigator | kPbExportQuick;

// A whole template (one page design).
struct Template {
  std::string name{};                 // e.g. "Report1"
  PageSettings page{};
  std::vector<std::string> datasets{};  // user names of the dataset bindings it may use
  std::vector<Band> bands{};          // page header, data header, group headers, data, footer
  uint32_t preview_buttons = kStandardPreviewButtons;
  float preview_zoom = 1.0f;
};

// Pixels at the templates' design resolution (96 dpi) to millimetres.
inline constexpr float PxToMm(float px) { return px * 25.4f / 96.0f; }

// The object of that name anywhere in the template's bands, or nullptr.
ReportObject* FindTemplateObject(Template& t, std::string_view name);
const ReportObject* FindTemplateObject(const Template& t, std::string_view name);

}  // namespace re

#endif  // REPORTENGINE_MODEL_TEMPLATE_H_
