#include "reportengine/layout/layout_cache.h"

#include <algorithm>
#include <cstring>

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
  auto it = blocks_.find(key_);
  if (it != blocks_.end()) return it->second;

  TextBlock block;
  block.lines = shaper_.ShapeLines(spec, text, max_width_mm, hyphenate);
  for (const auto& line : block.lines) {
    if (line) block.max_line_width = std::max(block.max_line_width, line->width);
  }
  return blocks_.emplace(key_, std::move(block)).first->second;
}

void LayoutCache::ClearBlocks() { blocks_.clear(); }

}  // namespace re
