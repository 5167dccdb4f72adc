// Laying out one printed instance of a band: evaluating its text objects' expressions, breaking
// and shaping their text, auto width, growing heights, moving objects below grown ones, the
// band's printed height, and the page items it draws, in drawing order.
//
// Geometry of a text object (at the templates' 96 dpi design resolution): the text stands 2 px
// in from the left and right edges and 1 px in from the top; lines follow each other at the
// font's cell height plus 2 px; everything outside the object's box is cut off.
#ifndef REPORTENGINE_LAYOUT_BAND_LAYOUT_H_
#define REPORTENGINE_LAYOUT_BAND_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "reportengine/model/error_list.h"
#include "reportengine/model/expression.h"
#include "reportengine/layout/layout_cache.h"
#include "reportengine/layout/prepared_page.h"
#include "reportengine/layout/row_overrides.h"
#include "reportengine/model/row_source.h"
#include "reportengine/model/template.h"

namespace re {

inline constexpr size_t kNoRow = std::numeric_limits<size_t>::max();

// The dataset bindings one preparation may use, each with the row it currently stands on.
struct BoundDataset {
  std::string name;
  RowSource* source = nullptr;  // null: registered nowhere
  bool open = false;            // opened successfully for this preparation
  size_t current_row = kNoRow;  // the source's current row by number; kNoRow: none (empty
                                // dataset, or its rows could not be read)
};

class DatasetTable {
 public:
  // Index of the binding named `name` (without regard to ASCII case), or -1.
  int Find(std::string_view name) const;
  int Add(BoundDataset dataset);
  BoundDataset& at(int index) { return datasets_[static_cast<size_t>(index)]; }
  const BoundDataset& at(int index) const { return datasets_[static_cast<size_t>(index)]; }
  size_t size() const { return datasets_.size(); }

 private:
  std::vector<BoundDataset> datasets_;
};

// System values for one preparation.
struct EvalContext {
  std::string date;  // [DATE], fixed at the start of the preparation
  std::string time;  // [TIME], likewise
  int page_number = 1;
};

// A reference to a field, resolved against a DatasetTable.
struct ResolvedField {
  int dataset = -1;  // -1: unresolved; prints as ""
  int field = -1;
};

// Resolves `ref` for `owner` (an object or band name). Bindings missing from the table and
// unknown fields are added to `errors`; a listed binding that is not registered or could not be
// opened has been reported by name already and is not reported again here.
ResolvedField ResolveField(const FieldRef& ref, std::string_view owner,
                           const DatasetTable& datasets, ErrorList& errors);

// The value of a resolved field in its dataset's current row; "" when unresolved or without row.
std::string_view FieldValue(const ResolvedField& field, const DatasetTable& datasets);

// A band prepared for printing: expressions parsed and resolved once per preparation.
class CompiledBand {
 public:
  // Unknown expressions, bindings and fields are added to `errors`.
  // REQUIRES: `band` outlives this object (its objects are read anew at every layout, so
  // changes the caller makes between preparations take effect).
  CompiledBand(const Band& band, const DatasetTable& datasets, ErrorList& errors);

  const Band& band() const { return *band_; }
  // Whether any text shows the page number (a band moved to a new page is then laid out anew).
  bool uses_page_number() const { return uses_page_number_; }

  // Lays the band out with its left edge at `x` and top at `y` (page mm), appending its items
  // to `items`, with the text objects named in `overrides` changed for this layout only.
  // Returns the band's printed height: its design height, or for a stretched band the lowest
  // bottom edge of its objects after growth and moving.
  float LayOut(float x, float y, const DatasetTable& datasets, const EvalContext& context,
               LayoutCache& cache, std::vector<PageItem>& items,
               const RowOverrides& overrides = {});

 private:
  struct Part {
    TextPart::Kind kind = TextPart::Kind::kVerbatim;
    std::string text;     // kVerbatim
    ResolvedField field;  // kField
  };
  // The lines a text object last printed a text as, by text: list columns repeat a small set
  // of values (names, conditions, dates), and a hit here avoids breaking, narrowing and the
  // look-ups in the large cache. A block is valid while the cache's generation is `generation`.
  struct Memo {
    std::string text;
    std::string face;
    int size_pt = 0;
    std::shared_ptr<const ShapedLine> line;  // the one line of a text that fits, or null
    const TextBlock* block = nullptr;        // else the lines from the cache
    uint64_t generation = 0;
  };
  // A memo starts small (headings, titles and page numbers repeat a text or two) and grows to
  // its full size once the object has missed in it often (a list column).
  static constexpr size_t kFirstMemoSlots = 4;
  static constexpr size_t kMemoSlots = 256;
  static constexpr size_t kMissesBeforeGrowing = 32;
  struct Text {
    std::vector<Part> parts;
    std::vector<Memo> memo;  // a power of two of slots, direct-mapped by the text's hash
    size_t memo_misses = 0;  // while the memo is small
    // Metrics of the font last used (the font may change between rows).
    const FontMetrics* metrics = nullptr;
    std::string metrics_face;
    int metrics_size = 0;
  };
  // Where an object ends up in one layout.
  struct Placed {
    float left = 0, top = 0, width = 0, height = 0;  // after auto width and growth, before moving
    float growth = 0;
    float shift = 0;                   // how far it moves down
    // Text objects: the lines, either the one line of a text that fits (most cells), held by
    // the object's memo, or a block from the cache.
    const std::shared_ptr<const ShapedLine>* single = nullptr;
    const TextBlock* block = nullptr;
    const FontMetrics* metrics = nullptr;
    const std::shared_ptr<const ShapedLine>* lines() const {
      return block ? block->lines.data() : single;
    }
    size_t line_count() const { return block ? block->lines.size() : (single ? 1 : 0); }
  };

  // Whether a sizing step made an object taller than designed (objects below it then move).
  enum class Growth { kNone, kSome };
  // How far down the drawn objects reach, and whether any was drawn at all.
  struct Extent {
    bool any_visible = false;
    float lowest = 0;  // lowest bottom edge, band mm, after growth and moving
  };

  // The layout's phases, in order: size every object (text, auto width, growth), move objects
  // below grown ones, draw in the order the objects are listed.
  Growth SizeObjects(const DatasetTable& datasets, const EvalContext& context,
                     LayoutCache& cache, const RowOverrides& overrides);
  void MoveBelowGrown();
  Extent Draw(float x, float y, std::vector<PageItem>& items) const;

  // Sizing a visible text object whose design box is already in `p`.
  Growth SizeText(const TextObject& object, const TextOverride* row_override, Text& compiled,
                  const DatasetTable& datasets, const EvalContext& context, LayoutCache& cache,
                  Placed& p);
  // The object's font, at the override's size if it has one; a face left empty is the default
  // face.
  const FontSpec& FontOf(const TextObject& object, const TextOverride* row_override);
  // The metrics of `spec`, looked up in `cache` only when the font changed since the last row.
  static const FontMetrics& MetricsFor(const FontSpec& spec, LayoutCache& cache, Text& compiled);
  // Auto width: the box becomes as wide as its widest line (centred texts keep their centre).
  static void FitWidthToLines(HAlign align, Placed& p);
  // Grow height: the box becomes as high as its lines need, never lower than designed.
  static Growth GrowToLines(Placed& p);

  static void DrawText(const TextObject& object, const Placed& p, float x, float y,
                       std::vector<PageItem>& items);
  static void DrawLine(const LineObject& object, const Placed& p, float x, float y,
                       std::vector<PageItem>& items);
  static void DrawRect(const RectObject& object, const Placed& p, float x, float y,
                       std::vector<PageItem>& items);

  // Breaks and shapes a text object's text: into `line` when it is one line that fits, else
  // into p.block, narrowed to the lines its box shows when it cannot grow (p.metrics already
  // set).
  static void SetText(const TextObject& object, const FontSpec& spec, std::string_view text,
                      float room, LayoutCache& cache, std::shared_ptr<const ShapedLine>& line,
                      Placed& p);
  // SetText through the object's memo, which then holds the one line p.single points to.
  static void SetTextMemoised(const TextObject& object, const FontSpec& spec,
                              std::string_view text, float room, LayoutCache& cache,
                              Text& compiled, Placed& p);

  std::string_view Evaluate(const Text& text, const DatasetTable& datasets,
                            const EvalContext& context);

  const Band* band_;
  std::vector<Text> texts_;           // per object, parallel to band_->objects (empty for shapes)
  bool uses_page_number_ = false;
  std::vector<Placed> placed_;        // scratch for one layout
  std::string scratch_;               // scratch for evaluated text
  FontSpec default_font_{kDefaultFontFace, kDefaultFontSize};  // for objects naming no face
  FontSpec row_font_;                 // an object's font at a size overridden for one row
};

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_BAND_LAYOUT_H_
