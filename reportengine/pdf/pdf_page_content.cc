#include "reportengine/pdf/pdf_page_content.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "reportengine/pdf/pdf_syntax.h"
#include "reportengine/pdf/pdf_texts.h"

namespace re::pdf {
namespace {

// Ink lying this close outside a clip rectangle is invisible, so the clip can be left out.
constexpr float kClipToleranceMm = 0.01f;

// The graphics state the stream has set so far, so that no operator repeats a value in force.
struct State {
  std::optional<Color> fill;
  std::optional<Color> stroke;
  float line_width = -1;
  bool dotted = false;
  int font = -1;
  float size = 0;
  float scale = 1;  // horizontal scaling of text (Tz), as a fraction
};

class ContentBuilder {
 public:
  ContentBuilder(const PreparedPage& page, FontSet* fonts, std::string* out,
                 std::vector<int>* fonts_used)
      : height_pt_(PageHeightPt(page)), fonts_(fonts), out_(out), fonts_used_(fonts_used) {}

  bool Add(const TextItem& item, std::string* error);
  void Add(const LineItem& item);
  void Add(const RectItem& item);
  void Finish() { EndText(); }

 private:
  double X(float mm) const { return mm * kPointsPerMm; }
  double Y(float mm) const { return height_pt_ - mm * kPointsPerMm; }
  void Num(double value) {
    AppendNumber(out_, value);
    out_->push_back(' ');
  }
  void SetColor(const Color& color, bool stroke);
  void SetLineWidth(float width_mm);
  void SetDotted(bool dotted, float width_mm);
  void AppendGlyphCode(uint32_t glyph);
  void AppendRun(const TextItem& item, Font* font);
  void BeginText();
  void EndText();
  static long long Hundredths(double pt) { return std::llround(pt * 100); }
  bool InkInside(const TextItem& item, Font* font) const;

  double height_pt_;
  FontSet* fonts_;
  std::string* out_;
  std::vector<int>* fonts_used_;
  State state_;
  bool in_text_ = false;           // between BT and ET
  long long line_x_ = 0, line_y_ = 0;  // start of the current text line, hundredths of a point
};

void ContentBuilder::SetColor(const Color& color, bool stroke) {
  std::optional<Color>& current = stroke ? state_.stroke : state_.fill;
  if (current == color) return;
  current = color;
  if (color.r == color.g && color.g == color.b) {
    AppendFraction(out_, color.r / 255.0);
    out_->append(stroke ? " G\n" : " g\n");
    return;
  }
  AppendFraction(out_, color.r / 255.0);
  out_->push_back(' ');
  AppendFraction(out_, color.g / 255.0);
  out_->push_back(' ');
  AppendFraction(out_, color.b / 255.0);
  out_->append(stroke ? " RG\n" : " rg\n");
}

void ContentBuilder::SetLineWidth(float width_mm) {
  if (state_.line_width == width_mm) return;
  state_.line_width = width_mm;
  Num(X(width_mm));
  out_->append("w\n");
}

void ContentBuilder::SetDotted(bool dotted, float width_mm) {
  if (!dotted) {
    if (state_.dotted) out_->append("[]0 d\n");
    state_.dotted = false;
    return;
  }
  // Dots as long as the line is wide, with gaps of the same length; set again for every dotted
  // line because the pattern scales with its width.
  out_->push_back('[');
  AppendNumber(out_, std::max(X(width_mm), 0.5));
  out_->append("]0 d\n");
  state_.dotted = true;
}

// The two bytes of a glyph code inside a literal string, escaped as AppendLiteralStringBytes
// escapes them, in one append (a page has thousands of glyphs).
void ContentBuilder::AppendGlyphCode(uint32_t glyph) {
  char bytes[4];
  size_t n = 0;
  for (const char c : {static_cast<char>((glyph >> 8) & 0xFF), static_cast<char>(glyph & 0xFF)}) {
    switch (c) {
      case '(':
      case ')':
      case '\\':
        bytes[n++] = '\\';
        bytes[n++] = c;
        break;
      case '\r':
        bytes[n++] = '\\';
        bytes[n++] = 'r';
        break;
      case '\n':
        bytes[n++] = '\\';
        bytes[n++] = 'n';
        break;
      default:
        bytes[n++] = c;
    }
  }
  out_->append(bytes, n);
}

bool ContentBuilder::InkInside(const TextItem& item, Font* font) const {
  const ShapedLine& line = *item.line;
  const float unit = line.size_pt / 1000.0f / static_cast<float>(kPointsPerMm);  // mm per unit
  const float x_unit = unit * line.scale;  // a narrowed line's glyphs are narrower
  const RectMm& clip = item.clip;
  for (const Glyph& g : line.glyphs) {
    const InkBox& ink = font->Ink(g.id);
    if (ink.empty) continue;
    const float gx = item.x + g.x;
    const float gy = item.y + g.y;
    if (gx + ink.x_min * x_unit < clip.left - kClipToleranceMm ||
        gx + ink.x_max * x_unit > clip.left + clip.width + kClipToleranceMm ||
        gy - ink.y_max * unit < clip.top - kClipToleranceMm ||
        gy - ink.y_min * unit > clip.top + clip.height + kClipToleranceMm) {
      return false;
    }
  }
  return true;
}

// Writes the glyphs with the advances of /W and, where the prepared position differs from
// where the reader's pen would be, a TJ adjustment in thousandths of the font size.
void ContentBuilder::AppendRun(const TextItem& item, Font* font) {
  const ShapedLine& line = *item.line;
  const std::vector<Glyph>& glyphs = line.glyphs;
  const bool baseline_only =
      std::all_of(glyphs.begin(), glyphs.end(), [](const Glyph& g) { return g.y == 0; });
  if (!baseline_only) {
    // Marks off the baseline: each glyph gets its own text matrix.
    for (const Glyph& g : glyphs) {
      const long long x = Hundredths(X(item.x + g.x));
      const long long y = Hundredths(Y(item.y + g.y));
      out_->append("1 0 0 1 ");
      Num(x / 100.0);
      Num(y / 100.0);
      out_->append("Tm(");
      AppendGlyphCode(g.id);
      out_->append(")Tj\n");
      line_x_ = x;
      line_y_ = y;
    }
    return;
  }
  // Moves are relative to the previous line's start, both in whole hundredths of a point so
  // that no rounding error builds up along a page.
  const long long x = Hundredths(X(item.x + glyphs.front().x));
  const long long y = Hundredths(Y(item.y));
  Num((x - line_x_) / 100.0);
  Num((y - line_y_) / 100.0);
  out_->append("Td");
  line_x_ = x;
  line_y_ = y;
  const size_t start = out_->size();
  out_->append("[(");
  // Adjustments are in the font's own units, which horizontal scaling narrows like the glyphs.
  const double units_per_mm = 1000.0 * kPointsPerMm / line.size_pt / line.scale;
  double pen = 0;  // reader's pen in thousandths of the size from the first glyph
  bool adjusted = false;
  for (size_t i = 0; i < glyphs.size(); ++i) {
    if (i > 0) {
      const double target = (glyphs[i].x - glyphs.front().x) * units_per_mm;
      const long long shift = std::llround(target - pen);
      if (shift != 0) {
        out_->push_back(')');
        AppendInt(out_, -shift);
        out_->push_back('(');
        pen += static_cast<double>(shift);
        adjusted = true;
      }
    }
    AppendGlyphCode(glyphs[i].id);
    pen += font->Width(glyphs[i].id);
  }
  if (adjusted) {
    out_->append(")]TJ\n");
  } else {
    out_->erase(start, 1);  // a plain string needs no array
    out_->append(")Tj\n");
  }
}

void ContentBuilder::BeginText() {
  if (in_text_) return;
  out_->append("BT\n");
  in_text_ = true;
  line_x_ = line_y_ = 0;  // BT starts at the identity matrix
}

void ContentBuilder::EndText() {
  if (!in_text_) return;
  out_->append("ET\n");
  in_text_ = false;
}

bool ContentBuilder::Add(const TextItem& item, std::string* error) {
  // Nothing to draw; a zero size would also make glyph positions meaningless.
  if (item.line == nullptr || item.line->glyphs.empty() || !(item.line->size_pt > 0) ||
      !(item.line->scale > 0)) {
    return true;
  }
  const ShapedLine& line = *item.line;
  Font* font = fonts_->Get(line.font, error);
  if (font == nullptr) return false;
  font->Note(line);
  if (std::find(fonts_used_->begin(), fonts_used_->end(), line.font) == fonts_used_->end()) {
    fonts_used_->push_back(line.font);
  }

  const RectMm& clip = item.clip;
  const bool clip_given = clip.width > 0 && clip.height > 0;
  const bool clipped = clip_given && !InkInside(item, font);
  const State saved = state_;
  if (clipped) {
    // A clip path cannot be set inside a text object.
    EndText();
    out_->append("q ");
    Num(X(clip.left));
    Num(Y(clip.top + clip.height));
    Num(X(clip.width));
    Num(X(clip.height));
    out_->append("re W n\n");
  }
  SetColor(item.color, false);
  BeginText();
  if (state_.font != line.font || state_.size != line.size_pt) {
    state_.font = line.font;
    state_.size = line.size_pt;
    out_->append("/F");
    AppendInt(out_, line.font);
    out_->push_back(' ');
    Num(line.size_pt);
    out_->append("Tf\n");
  }
  if (state_.scale != line.scale) {
    state_.scale = line.scale;
    Num(line.scale * 100.0);
    out_->append("Tz\n");
  }
  AppendRun(item, font);
  if (clipped) {
    EndText();
    out_->append("Q\n");
    state_ = saved;
  }
  return true;
}

void ContentBuilder::Add(const LineItem& item) {
  EndText();
  SetColor(item.color, true);
  SetLineWidth(item.width);
  SetDotted(item.style == LineStyle::kDot, item.width);
  Num(X(item.x1));
  Num(Y(item.y1));
  out_->append("m ");
  Num(X(item.x2));
  Num(Y(item.y2));
  out_->append("l S\n");
}

void ContentBuilder::Add(const RectItem& item) {
  if (!item.fill && !item.outline) return;
  EndText();
  if (item.fill) SetColor(*item.fill, false);
  if (item.outline) {
    SetColor(*item.outline, true);
    SetLineWidth(item.outline_width);
    SetDotted(false, item.outline_width);
  }
  Num(X(item.rect.left));
  Num(Y(item.rect.top + item.rect.height));
  Num(X(item.rect.width));
  Num(X(item.rect.height));
  out_->append(item.fill && item.outline ? "re B\n" : item.fill ? "re f\n" : "re S\n");
}

}  // namespace

double PageWidthPt(const PreparedPage& page) { return page.width * kPointsPerMm; }
double PageHeightPt(const PreparedPage& page) { return page.height * kPointsPerMm; }

bool BuildPageContent(const PreparedPage& page, FontSet* fonts, std::string* content,
                      std::vector<int>* fonts_used, std::string* error) {
  content->clear();
  fonts_used->clear();
  ContentBuilder builder(page, fonts, content, fonts_used);
  for (const PageItem& item : page.items) {
    if (const auto* text = std::get_if<TextItem>(&item)) {
      if (!builder.Add(*text, error)) return false;
    } else if (const auto* line = std::get_if<LineItem>(&item)) {
      builder.Add(*line);
    } else {
      builder.Add(std::get<RectItem>(item));
    }
  }
  builder.Finish();
  return true;
}

}  // namespace re::pdf
