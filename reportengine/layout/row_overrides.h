// What a per-row rule changes for one row: properties of text objects on the row's data band,
// named by object. The template stays as designed; the next row starts from the design again.
#ifndef REPORTENGINE_LAYOUT_ROW_OVERRIDES_H_
#define REPORTENGINE_LAYOUT_ROW_OVERRIDES_H_

#include <optional>
#include <string>
#include <vector>

namespace re {

// One text object's properties for one row; a property left empty keeps the design's.
struct TextOverride {
  std::string object;               // the object's name (ASCII case ignored)
  std::optional<int> font_size_pt;  // the size its font prints at
};

// Every override of one row, in no particular order; an object is named at most once.
using RowOverrides = std::vector<TextOverride>;

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_ROW_OVERRIDES_H_
