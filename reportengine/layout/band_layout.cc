#include "reportengine/layout/band_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "reportengine/model/ascii_case.h"
#include "reportengine/model/report_texts.h"
#include "reportengine/text/text_constants.h"

namespace re {
namespace {

std::string FieldRefText(const FieldRef& ref) { return ref.binding + ".\"" + ref.field + "\""; }

// Horizontal extents overlap; a zero-width object (a vertical line) overlaps what spans it.
bool OverlapsHorizontally(float a_left, float a_right, float b_left, float b_right) {
  const float lo = std::max(a_left, b_left);
  const float hi = std::min(a_right, b_right);
  if (lo < hi) return true;
  return lo == hi && (a_left == a_right || b_left == b_right);
}

const float kInsetX = PxToMm(kTextInsetXPx);
const float kInsetY = PxToMm(kTextInsetYPx);

// How many lines of text a box `height` high shows whole (at least one: a box lower than one
// line still shows what it can of it). Counting stops at `lines`, the most a text needs.
size_t ShownLines(const FontMetrics& metrics, float height, size_t lines) {
  size_t shown = 1;
  while (shown < lines &&
         kInsetY + metrics.TextHeight(static_cast<int>(shown)) + metrics.cell_height_mm <=
             height + kDesignRoundingMm) {
    ++shown;
  }
  return shown;
}

// The override for the object named `name`, or null.
const TextOverride* OverrideFor(const RowOverrides& overrides, std::string_view name) {
  for (const TextOverride& candidate : overrides) {
    if (EqualsIgnoringAsciiCase(candidate.object, name)) return &candidate;
  }
  return nullptr;
}

}  // namespace

int DatasetTable::Find(std::string_view name) const {
  for (size_t i = 0; i < datasets_.size(); ++i) {
    if (EqualsIgnoringAsciiCase(datasets_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

int DatasetTable::Add(BoundDataset dataset) {
  datasets_.push_back(std::move(dataset));
  return static_cast<int>(datasets_.size() - 1);
}

ResolvedField ResolveField(const FieldRef& ref, std::string_view owner,
                           const DatasetTable& datasets, ErrorList& errors) {
  ResolvedField resolved;
  const int index = datasets.Find(ref.binding);
  if (index < 0) {
    errors.Add(std::string(kDatasetNotFound) + std::string(owner) + ": " + ref.binding);
    return resolved;
  }
  const BoundDataset& dataset = datasets.at(index);
  // A listed binding that is not registered or cannot be opened is reported once, by name.
  if (dataset.source == nullptr || !dataset.open) return resolved;
  const int field = dataset.source->FieldIndex(ref.field);
  if (field < 0) {
    errors.Add(std::string(kFieldNotFound) + std::string(owner) + ": " + FieldRefText(ref));
    return resolved;
  }
  resolved.dataset = index;
  resolved.field = field;
  return resolved;
}

std::string_view FieldValue(const ResolvedField& field, const DatasetTable& datasets) {
  if (field.dataset < 0) return {};
  const BoundDataset& dataset = datasets.at(field.dataset);
  if (dataset.current_row == kNoRow) return {};
  return dataset.source->Value(field.field);
}

CompiledBand::CompiledBand(const Band& band, const DatasetTable& datasets, ErrorList& errors)
    : band_(&band), texts_(band.objects.size()), placed_(band.objects.size()) {
  for (size_t i = 0; i < band.objects.size(); ++i) {
    const auto* object = std::get_if<TextObject>(&band.objects[i]);
    if (object == nullptr) continue;
    for (TextPart& part : ParseText(object->text)) {
      Part compiled;
      compiled.kind = part.kind;
      switch (part.kind) {
        case TextPart::Kind::kVerbatim:
          compiled.text = std::move(part.text);
          break;
        case TextPart::Kind::kField:
          compiled.field = ResolveField(part.field, object->name, datasets, errors);
          break;
        case TextPart::Kind::kPageNumber:
          uses_page_number_ = true;
          break;
        case TextPart::Kind::kUnknown:
          errors.Add(std::string(kUnknownExpression) + object->name + ": " + part.text);
          break;
        case TextPart::Kind::kDate:
        case TextPart::Kind::kTime:
          break;
      }
      texts_[i].parts.push_back(std::move(compiled));
    }
  }
}

std::string_view CompiledBand::Evaluate(const Text& text, const DatasetTable& datasets,
                                        const EvalContext& context) {
  // Most cells are one field or one fixed text: no copy for those.
  if (text.parts.size() == 1) {
    const Part& only = text.parts.front();
    if (only.kind == TextPart::Kind::kField) return FieldValue(only.field, datasets);
    if (only.kind == TextPart::Kind::kVerbatim) return only.text;
  }
  scratch_.clear();
  for (const Part& part : text.parts) {
    switch (part.kind) {
      case TextPart::Kind::kVerbatim:
        scratch_ += part.text;
        break;
      case TextPart::Kind::kField:
        scratch_ += FieldValue(part.field, datasets);
        break;
      case TextPart::Kind::kDate:
        scratch_ += context.date;
        break;
      case TextPart::Kind::kTime:
        scratch_ += context.time;
        break;
      case TextPart::Kind::kPageNumber:
        scratch_ += std::to_string(context.page_number);
        break;
      case TextPart::Kind::kUnknown:
        break;
    }
  }
  return scratch_;
}

void CompiledBand::SetText(const TextObject& object, const FontSpec& spec,
                           std::string_view text, float room, LayoutCache& cache,
                           std::shared_ptr<const ShapedLine>& line, Placed& p) {
  // Most cells hold one line that fits: nothing to break.
  if (text.find_first_of("\r\n") == std::string_view::npos) {
    line = cache.shaper().Shape(spec, text);
    if (!line || line->width <= room + text::kWidthToleranceMm) return;
    line = nullptr;
  }
  p.block = &cache.Block(spec, text, room, object.word_break);
  // A text that cannot grow and needs more lines than its box shows would lose what is cut
  // off: it is narrowed to fit if it can be.
  const bool wraps = object.word_wrap && !object.auto_width;
  if (wraps && !object.grow_height && p.line_count() > 1) {
    const size_t shown = ShownLines(*p.metrics, p.height, p.line_count());
    if (p.line_count() > shown) p.block = &cache.Fitted(spec, text, room, object.word_break, shown);
  }
}

void CompiledBand::SetTextMemoised(const TextObject& object, const FontSpec& spec,
                                   std::string_view text, float room, LayoutCache& cache,
                                   Text& compiled, Placed& p) {
  if (text.empty()) return;  // no lines to draw
  std::vector<Memo>& memo = compiled.memo;
  if (memo.empty()) memo.resize(kFirstMemoSlots);
  // Only between layouts: no line of this object is pointed to now.
  if (memo.size() < kMemoSlots && compiled.memo_misses > kMissesBeforeGrowing) {
    memo.clear();
    memo.resize(kMemoSlots);
  }
  Memo& slot = memo[std::hash<std::string_view>()(text) & (memo.size() - 1)];
  if ((slot.line || (slot.block && slot.generation == cache.generation())) &&
      slot.size_pt == spec.size_pt && slot.text == text && slot.face == spec.name) {
    if (slot.line) {
      p.single = &slot.line;
    } else {
      p.block = slot.block;
    }
    return;
  }
  if (memo.size() < kMemoSlots) ++compiled.memo_misses;
  std::shared_ptr<const ShapedLine> line;
  SetText(object, spec, text, room, cache, line, p);
  if (!line && !p.block) return;  // the face cannot be used: nothing to draw or keep
  slot.text.assign(text);
  slot.face.assign(spec.name);
  slot.size_pt = spec.size_pt;
  slot.line = std::move(line);
  slot.block = p.block;
  slot.generation = cache.generation();
  if (slot.line) p.single = &slot.line;
}

float CompiledBand::LayOut(float x, float y, const DatasetTable& datasets,
                           const EvalContext& context, LayoutCache& cache,
                           std::vector<PageItem>& items, const RowOverrides& overrides) {
  const Growth growth = SizeObjects(datasets, context, cache, overrides);
  if (growth == Growth::kSome) MoveBelowGrown();
  const Extent drawn = Draw(x, y, items);
  if (band_->stretched && drawn.any_visible) return drawn.lowest;
  return band_->height;
}

CompiledBand::Growth CompiledBand::SizeObjects(const DatasetTable& datasets,
                                               const EvalContext& context, LayoutCache& cache,
                                               const RowOverrides& overrides) {
  const std::vector<ReportObject>& objects = band_->objects;
  Growth growth = Growth::kNone;
  for (size_t i = 0; i < objects.size(); ++i) {
    Placed& p = placed_[i];
    p = Placed{};
    const ReportObject& object = objects[i];
    if (const auto* t = std::get_if<TextObject>(&object)) {
      p.left = t->rect.left;
      p.top = t->rect.top;
      p.width = t->rect.width;
      p.height = t->rect.height;
      if (!t->visible) continue;
      const TextOverride* row_override = OverrideFor(overrides, t->name);
      if (SizeText(*t, row_override, texts_[i], datasets, context, cache, p) == Growth::kSome) {
        growth = Growth::kSome;
      }
    } else if (const auto* l = std::get_if<LineObject>(&object)) {
      p.left = std::min(l->left, l->left + l->width);
      p.top = std::min(l->top, l->top + l->height);
      p.width = std::abs(l->width);
      p.height = std::abs(l->height);
    } else if (const auto* r = std::get_if<RectObject>(&object)) {
      p.left = r->rect.left;
      p.top = r->rect.top;
      p.width = r->rect.width;
      p.height = r->rect.height;
    }
  }
  return growth;
}

const FontSpec& CompiledBand::FontOf(const TextObject& object, const TextOverride* row_override) {
  const bool own_face = !object.font.name.empty();
  if (row_override != nullptr && row_override->font_size_pt) {
    row_font_.name = own_face ? object.font.name : default_font_.name;
    row_font_.size_pt = *row_override->font_size_pt;
    return row_font_;
  }
  if (own_face) return object.font;
  default_font_.size_pt = object.font.size_pt;
  return default_font_;
}

const FontMetrics& CompiledBand::MetricsFor(const FontSpec& spec, LayoutCache& cache,
                                            Text& compiled) {
  if (compiled.metrics == nullptr || compiled.metrics_size != spec.size_pt ||
      compiled.metrics_face != spec.name) {
    compiled.metrics = &cache.Metrics(spec);
    compiled.metrics_size = spec.size_pt;
    compiled.metrics_face = spec.name;
  }
  return *compiled.metrics;
}

CompiledBand::Growth CompiledBand::SizeText(const TextObject& object,
                                            const TextOverride* row_override, Text& compiled,
                                            const DatasetTable& datasets,
                                            const EvalContext& context, LayoutCache& cache,
                                            Placed& p) {
  const FontSpec& spec = FontOf(object, row_override);
  const std::string_view text = Evaluate(compiled, datasets, context);
  const bool wraps = object.word_wrap && !object.auto_width;
  const float room = wraps ? std::max(0.0f, p.width - 2 * kInsetX) : kNoWrap;
  p.metrics = &MetricsFor(spec, cache, compiled);
  SetTextMemoised(object, spec, text, room, cache, compiled, p);
  if (object.auto_width) FitWidthToLines(object.align, p);
  return object.grow_height ? GrowToLines(p) : Growth::kNone;
}

void CompiledBand::FitWidthToLines(HAlign align, Placed& p) {
  float widest = 0;
  for (size_t k = 0; k < p.line_count(); ++k) {
    if (p.lines()[k]) widest = std::max(widest, p.lines()[k]->width);
  }
  const float width = widest + 2 * kInsetX;
  if (align == HAlign::kCenter) p.left += (p.width - width) / 2;
  p.width = width;
}

CompiledBand::Growth CompiledBand::GrowToLines(Placed& p) {
  // An empty text still takes one line.
  const int lines = std::max<int>(1, static_cast<int>(p.line_count()));
  const float needed = p.metrics->TextHeight(lines) + 2 * kInsetY;
  if (needed <= p.height + kDesignRoundingMm) return Growth::kNone;
  p.growth = needed - p.height;
  p.height = needed;
  return Growth::kSome;
}

// An object lying below several grown or moved objects moves by the largest of their pushes, so
// a chain of growing cells stacks up.
void CompiledBand::MoveBelowGrown() {
  std::vector<size_t> order(placed_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return placed_[a].top < placed_[b].top; });
  for (size_t oi = 0; oi < order.size(); ++oi) {
    Placed& below = placed_[order[oi]];
    for (size_t ai = 0; ai < oi; ++ai) {
      const Placed& above = placed_[order[ai]];
      const float push = above.shift + above.growth;
      if (push <= 0) continue;
      const float above_design_bottom = above.top + above.height - above.growth;
      if (below.top + kPositionToleranceMm < above_design_bottom) continue;
      if (!OverlapsHorizontally(above.left, above.left + above.width, below.left,
                                below.left + below.width)) {
        continue;
      }
      below.shift = std::max(below.shift, push);
    }
  }
}

CompiledBand::Extent CompiledBand::Draw(float x, float y, std::vector<PageItem>& items) const {
  const std::vector<ReportObject>& objects = band_->objects;
  Extent extent;
  for (size_t i = 0; i < objects.size(); ++i) {
    const Placed& p = placed_[i];
    const ReportObject& object = objects[i];
    if (const auto* t = std::get_if<TextObject>(&object)) {
      if (!t->visible) continue;
      DrawText(*t, p, x, y, items);
    } else if (const auto* l = std::get_if<LineObject>(&object)) {
      if (!l->visible) continue;
      DrawLine(*l, p, x, y, items);
    } else if (const auto* r = std::get_if<RectObject>(&object)) {
      if (!r->visible) continue;
      DrawRect(*r, p, x, y, items);
    }
    extent.any_visible = true;
    extent.lowest = std::max(extent.lowest, p.top + p.shift + p.height);
  }
  return extent;
}

void CompiledBand::DrawText(const TextObject& object, const Placed& p, float x, float y,
                            std::vector<PageItem>& items) {
  const RectMm box{x + p.left, y + p.top + p.shift, p.width, p.height};
  const float clip_bottom = box.top + box.height;
  const float inner_width = p.width - 2 * kInsetX;
  float line_top = box.top + kInsetY;
  const std::shared_ptr<const ShapedLine>* lines = p.lines();
  for (size_t k = 0; k < p.line_count(); ++k) {
    const std::shared_ptr<const ShapedLine>& line = lines[k];
    if (line_top >= clip_bottom) break;
    if (line && !line->glyphs.empty()) {
      TextItem item;
      item.x = box.left + kInsetX;
      if (object.align == HAlign::kCenter) item.x += (inner_width - line->width) / 2;
      item.y = line_top + p.metrics->ascent_mm;
      item.line = line;
      item.color = object.color;
      item.clip = box;
      items.emplace_back(std::move(item));
    }
    line_top += p.metrics->line_height_mm;
  }
}

void CompiledBand::DrawLine(const LineObject& object, const Placed& p, float x, float y,
                            std::vector<PageItem>& items) {
  LineItem item;
  item.x1 = x + object.left;
  item.y1 = y + object.top + p.shift;
  item.x2 = item.x1 + object.width;
  item.y2 = item.y1 + object.height;
  item.width = PxToMm(object.stroke_px);
  item.color = object.color;
  item.style = object.style;
  items.emplace_back(item);
}

void CompiledBand::DrawRect(const RectObject& object, const Placed& p, float x, float y,
                            std::vector<PageItem>& items) {
  RectItem item;
  item.rect = {x + p.left, y + p.top + p.shift, p.width, p.height};
  item.fill = object.fill;
  item.outline = object.outline;
  item.outline_width = PxToMm(object.stroke_px);
  items.emplace_back(item);
}

}  // namespace re
