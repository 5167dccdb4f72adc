// The TrueType font program a PDF embeds for a CIDFontType2 font with an Identity CIDToGIDMap:
// a copy of one face holding only the glyphs the pages drew (and the glyphs their composites are
// built from), every glyph keeping its id so that the codes already written stay valid. Glyphs
// not kept are empty; the glyph count ends at the highest glyph kept. Hinting (the fpgm, prep and
// cvt programs and every glyph's instructions) is left out: it only matters to rasterisers at
// screen sizes and is most of the bytes of the IPA faces. So are the layout, vertical-metric,
// bitmap and kerning tables, which a PDF reader never looks at; the cmap is an empty one, since
// the PDF addresses glyphs by id.
#ifndef REPORTENGINE_PDF_PDF_FONT_SUBSET_H_
#define REPORTENGINE_PDF_PDF_FONT_SUBSET_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace re::pdf {

struct TrueTypeSubset {
  enum class Status {
    kMade,
    kNotTrueType,  // the face has no glyf outlines (a CFF-flavoured OpenType face)
    kFailed,       // the file is not a font, or its tables are cut short or inconsistent
  };
  Status status = Status::kFailed;
  std::string bytes;  // kMade: the subset's TrueType file
};

// Makes the subset of face `index` of the font file `file` (a single face or a collection)
// holding `glyphs` (ids past the face's glyph count are ignored) and glyph 0.
TrueTypeSubset SubsetTrueType(std::string_view file, int index,
                              const std::vector<uint32_t>& glyphs);

}  // namespace re::pdf

#endif  // REPORTENGINE_PDF_PDF_FONT_SUBSET_H_
