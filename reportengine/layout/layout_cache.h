// The text measurements one report keeps across its preparations: the shaper (fonts, shaped
// lines) and, per distinct text, font and width, the lines it breaks into. A list prints the
// same values (dates, conditions, names) on many rows; each is broken and shaped once.
#ifndef REPORTENGINE_LAYOUT_LAYOUT_CACHE_H_
#define REPORTENGINE_LAYOUT_LAYOUT_CACHE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "reportengine/layout/prepared_page.h"
#include "reportengine/text/text_shaper.h"

namespace re {

// A text broken into shaped lines.
struct TextBlock {
  std::vector<std::shared_ptr<const ShapedLine>> lines;
  float max_line_width = 0;  // mm, the widest line's advance
};

class LayoutCache {
 public:
  LayoutCache() = default;
  LayoutCache(const LayoutCache&) = delete;
  LayoutCache& operator=(const LayoutCache&) = delete;

  TextShaper& shaper() { return shaper_; }

  // Metrics of a face at a size (all zero when the face cannot be resolved).
  const FontMetrics& Metrics(const FontSpec& spec);

  // The lines `text` prints as in `spec` within `max_width_mm` (kNoWrap: explicit breaks only).
  // The reference stays valid for the cache's lifetime.
  const TextBlock& Block(const FontSpec& spec, std::string_view text, float max_width_mm,
                         bool hyphenate);

  // The lines `text` prints as in a box `max_width_mm` wide that shows `shown_lines` lines:
  // the ordinary block when it needs no more lines than that; otherwise, when narrowing the
  // glyphs to no less than kMinTextScale of their width lets the whole text fit those lines,
  // the text wrapped for the least such narrowing and its lines narrowed; otherwise the
  // ordinary block (which the box then cuts off). The reference stays valid like Block's.
  const TextBlock& Fitted(const FontSpec& spec, std::string_view text, float max_width_mm,
                          bool hyphenate, size_t shown_lines);

  // Drops the broken texts (not the fonts); a report does so before each new preparation so
  // the cache never outgrows one preparation's texts.
  void ClearBlocks();

  // Called between pages, when no block is in use: once more than kTrimAtTexts distinct texts
  // were broken, shaped or asked for since the last trim (a long list of names and numbers),
  // forgets every text not asked for since then. Memory stays flat however long the list is
  // (at most the texts of two such periods), while the texts a list repeats (dates, names,
  // conditions) stay broken and shaped. Pages keep the lines they hold.
  void TrimBetweenPages();
  static constexpr size_t kTrimAtTexts = 4096;

  // Changes whenever blocks may have been dropped (a trim or ClearBlocks): a block reference
  // kept from a layout is valid while this stays the same.
  uint64_t generation() const { return generation_; }

 private:
  TextShaper shaper_;                                      // fonts and the shaped-line cache
  struct CachedBlock {
    TextBlock block;
    uint64_t period = 0;  // the last trim period it was broken or asked for in
  };
  using Blocks = std::unordered_map<std::string, CachedBlock>;
  // The block under `key` in `blocks`, marked as asked for in this period; null when absent.
  const TextBlock* Find(Blocks& blocks, const std::string& key);
  const TextBlock& Keep(Blocks& blocks, std::string key, TextBlock block);

  std::unordered_map<std::string, FontMetrics> metrics_;   // by face and size
  Blocks blocks_;          // by text, face, size, width, flags
  Blocks fitted_;          // by the same and the lines shown
  uint64_t generation_ = 0;  // trims and clears so far
  size_t recent_ = 0;        // blocks broken or asked for since the last trim
  std::string key_;                                        // scratch key, reused
};

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_LAYOUT_CACHE_H_
