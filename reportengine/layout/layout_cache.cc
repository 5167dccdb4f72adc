#include "reportengine/layout/layout_cache.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "reportengine/model/report_texts.h"

namespace re {
namespace {

void AppendFontKey(std::string& key, const FontSpec& spec) {
  key.append(spec.name);
  key.push_back('\0');
  key.append(reinterpret_cast<const char*>(&spec.size_pt), sizeof spec.size_pt);
}

}  // namespace

const FontMetrics& LayoutCache::Metrics(const FontSpec& spec) {
  key_.clear();
  AppendFontKey(key_, spec);
  auto it = metrics_.find(key_);
  if (it == metrics_.end()) it = metrics_.emplace(key_, shaper_.Metrics(spec)).first;
  return it->second;
}

const TextBlock& LayoutCache::Block(const FontSpec& spec, std::string_view text,
                                    float max_width_mm, bool hyphenate) {
  key_.clear();
  key_.append(text);
  key_.push_back('\0');
  AppendFontKey(key_, spec);
  key_.append(reinterpret_cast<const char*>(&max_width_mm), sizeof max_width_mm);
  key_.push_back(hyphenate ? 'h' : '-');
  if (const TextBlock* found = Find(blocks_, key_)) return *found;

  TextBlock block;
  block.lines = shaper_.ShapeLines(spec, text, max_width_mm, hyphenate);
  for (const auto& line : block.lines) {
    if (line) block.max_line_width = std::max(block.max_line_width, line->width);
  }
  return Keep(blocks_, key_, std::move(block));
}

const TextBlock& LayoutCache::Fitted(const FontSpec& spec, std::string_view text,
                                     float max_width_mm, bool hyphenate, size_t shown_lines) {
  const TextBlock& plain = Block(spec, text, max_width_mm, hyphenate);
  if (plain.lines.size() <= shown_lines || !(max_width_mm > 0)) return plain;
  key_.append(reinterpret_cast<const char*>(&shown_lines), sizeof shown_lines);
  if (const TextBlock* found = Find(fitted_, key_)) return *found;
  const std::string key = key_;

  // Fewer lines never come from a narrower wrap width, so the least narrowing that fits is
  // found by halving the interval between the narrowest allowed and none.
  auto fits = [&](float scale) {
    return shaper_.WrapLines(spec, text, max_width_mm / scale, hyphenate).size() <= shown_lines;
  };
  TextBlock fitted;
  const bool one_line = shown_lines == 1 && text.find_first_of("\r\n") == std::string_view::npos;
  std::shared_ptr<const ShapedLine> whole = one_line ? shaper_.Shape(spec, text) : nullptr;
  if (whole && whole->width > 0) {
    // One line shown (most cells): the narrowing is the room over the text's whole width.
    const float scale =
        std::min(1.0f, std::floor(max_width_mm / whole->width * 10000.0f) / 10000.0f);
    if (scale >= kMinTextScale) {
      fitted.lines.push_back(std::make_shared<const ShapedLine>(NarrowedLine(*whole, scale)));
      fitted.max_line_width = fitted.lines.back()->width;
    } else {
      fitted = plain;  // cut off as it stands
    }
  } else if (!fits(kMinTextScale)) {
    fitted = plain;  // cut off as it stands
  } else {
    float lo = kMinTextScale, hi = 1.0f;
    for (int i = 0; i < 10; ++i) {
      const float mid = (lo + hi) / 2;
      (fits(mid) ? lo : hi) = mid;
    }
    // The lines wrapped at that width; the narrowing that brings the widest of them exactly to
    // the box is no stronger than `lo` and wraps the same way.
    const auto lines = shaper_.ShapeLines(spec, text, max_width_mm / lo, hyphenate);
    float widest = 0;
    for (const auto& line : lines) {
      if (line) widest = std::max(widest, line->width);
    }
    // Whole ten-thousandths, rounded down: the PDF states the scale in hundredths of a percent.
    const float scale =
        widest > max_width_mm ? std::floor(max_width_mm / widest * 10000.0f) / 10000.0f : 1.0f;
    for (const auto& line : lines) {
      if (!line) {
        fitted.lines.push_back(nullptr);
        continue;
      }
      fitted.lines.push_back(std::make_shared<const ShapedLine>(NarrowedLine(*line, scale)));
      fitted.max_line_width = std::max(fitted.max_line_width, fitted.lines.back()->width);
    }
  }
  return Keep(fitted_, key, std::move(fitted));
}

const TextBlock* LayoutCache::Find(Blocks& blocks, const std::string& key) {
  auto it = blocks.find(key);
  if (it == blocks.end()) return nullptr;
  if (it->second.period != generation_) {
    it->second.period = generation_;
    ++recent_;
  }
  return &it->second.block;
}

const TextBlock& LayoutCache::Keep(Blocks& blocks, std::string key, TextBlock block) {
  ++recent_;
  return blocks.insert_or_assign(std::move(key), CachedBlock{std::move(block), generation_})
      .first->second.block;
}

void LayoutCache::TrimBetweenPages() {
  if (recent_ + shaper_.recent_lines() <= kTrimAtTexts) return;
  // What was not asked for since the last trim goes; the rest is kept for one more period.
  auto stale = [this](const auto& entry) { return entry.second.period != generation_; };
  std::erase_if(blocks_, stale);
  std::erase_if(fitted_, stale);
  shaper_.AgeLines();
  ++generation_;
  recent_ = 0;
}

void LayoutCache::ClearBlocks() {
  blocks_.clear();
  fitted_.clear();
  ++generation_;
  recent_ = 0;
}

}  // namespace re
