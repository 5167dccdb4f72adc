// One font face of a report as the PDF writer embeds it: widths and ink boxes of its glyphs for
// placing text, the glyphs the pages used and the text each one shows, and at the end of the
// document a Type0 font with an Identity-H encoding whose codes are the face's glyph ids, a
// CIDFontType2 descendant with /W widths, a font descriptor with the face's metrics, a subset of
// the font program (glyph ids kept, so the codes already written stay valid) and a ToUnicode
// map for searching and copying.
#ifndef REPORTENGINE_PDF_PDF_FONT_H_
#define REPORTENGINE_PDF_PDF_FONT_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "reportengine/pdf/pdf_font_subset.h"
#include "reportengine/pdf/pdf_object_writer.h"
#include "reportengine/layout/prepared_page.h"

struct hb_blob_t;
struct hb_face_t;
struct hb_font_t;

namespace re::pdf {

// Outline extent of a glyph in thousandths of the font size, y up from the baseline.
struct InkBox {
  float x_min = 0, x_max = 0, y_min = 0, y_max = 0;
  bool empty = true;  // a space or other glyph without outline
};

// Releases a HarfBuzz object; the type for std::unique_ptr owning one.
struct HbRelease {
  void operator()(hb_blob_t* blob) const;
  void operator()(hb_face_t* face) const;
  void operator()(hb_font_t* font) const;
};
using HbBlob = std::unique_ptr<hb_blob_t, HbRelease>;
using HbFace = std::unique_ptr<hb_face_t, HbRelease>;
using HbFont = std::unique_ptr<hb_font_t, HbRelease>;

class Font {
 public:
  Font() = default;
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Opens the face's font file. Returns false with an error-box text in *error when the file
  // cannot be read or holds no such face.
  bool Load(const FontFace& face, std::string* error);

  // Advance of `glyph` in thousandths of the font size, exactly as written in /W (to a tenth,
  // so that runs of text rarely need a position correction). Glyph ids past the face's glyph
  // count have width 0.
  float Width(uint32_t glyph) const {
    return glyph < glyph_count_ ? Block(glyph).width[glyph % kBlockGlyphs] : 0;
  }
  const InkBox& Ink(uint32_t glyph);
  uint32_t glyph_count() const { return glyph_count_; }

  // Records the glyphs of `line` for the subset and the text of their clusters for ToUnicode.
  // The first text seen for a glyph is kept.
  void Note(const ShapedLine& line);
  bool used() const { return used_count_ > 0; }

  // Writes the font objects; `type0` is the object the pages' resources already refer to.
  // With `embed` the font program subset goes into the file, else readers substitute a font.
  // Returns false with an error-box text when the subset cannot be made.
  bool WriteObjects(ObjectWriter* writer, int type0, bool embed, bool compress,
                    std::string* error);

 private:
  struct Metrics;
  // The widths and ink boxes of a run of glyph ids, made when a page first uses one of them:
  // a face of 15,000 glyphs whose pages use a hundred is not worth tables of every glyph.
  static constexpr uint32_t kBlockGlyphs = 256;
  struct GlyphBlock {
    float width[kBlockGlyphs];
    InkBox ink[kBlockGlyphs];
    bool ink_known[kBlockGlyphs] = {};
  };
  GlyphBlock& Block(uint32_t glyph) const;  // REQUIRES: glyph < glyph_count_
  float AdvanceWidth(uint32_t glyph) const;  // from hmtx, as /W gives it
  struct ObjectNumbers;
  // What became of a glyph id on the pages so far.
  enum class GlyphUse : uint8_t {
    kUnused,
    kUsed,          // drawn, its text not known (a later piece of a cluster)
    kUsedWithText,  // drawn, and text_ holds what it shows
  };
  // The embedded font program, or why there is none.
  using Program = TrueTypeSubset;

  // The phases of WriteObjects, in order.
  std::optional<Metrics> ReadMetrics() const;  // nullopt: the face has no head or hhea
  Program SubsetProgram() const;
  float DefaultWidth() const;
  std::string SubsetTag() const;
  ObjectNumbers ReserveObjects(ObjectWriter* writer, int type0, bool embed) const;
  std::string Type0Dict(const std::string& base_font, const ObjectNumbers& numbers) const;
  std::string CidFontDict(const std::string& base_font, const ObjectNumbers& numbers,
                          float default_width) const;
  std::string DescriptorDict(const std::string& base_font, const Metrics& metrics,
                             const ObjectNumbers& numbers) const;
  std::string WidthArray(float default_width) const;
  std::string ToUnicodeCMap() const;

  FontFace face_;                        // where the face comes from
  HbBlob blob_;                          // the whole font file, mapped
  HbFace hb_face_;                       // the face inside it
  HbFont hb_font_;                       // at a scale of one font unit
  unsigned units_per_em_ = 1000;
  uint32_t glyph_count_ = 0;
  HbBlob hmtx_;                          // the face's horizontal metrics
  const uint8_t* hmtx_data_ = nullptr;   // inside hmtx_
  uint32_t h_metrics_ = 0;               // full (advance, bearing) entries that hmtx_ holds
  // Filled on first use by a const member, so a Font is not for two threads at once.
  mutable std::vector<std::unique_ptr<GlyphBlock>> blocks_;  // per kBlockGlyphs glyph ids
  std::vector<GlyphUse> use_;            // per glyph id
  std::unordered_map<uint32_t, std::string> text_;  // UTF-8 text a used glyph shows
  size_t used_count_ = 0;
};

// The fonts of one report, each opened when a page first uses it.
class FontSet {
 public:
  explicit FontSet(const std::vector<FontFace>& faces);
  // The font at `index` of the report's list, or nullptr with an error-box text in *error.
  Font* Get(int index, std::string* error);
  size_t size() const { return fonts_.size(); }

 private:
  const std::vector<FontFace>& faces_;       // the report's list
  std::vector<std::unique_ptr<Font>> fonts_;  // loaded fonts, null until first use
  std::vector<std::string> failures_;         // why a font could not be loaded, per index
};

}  // namespace re::pdf

#endif  // REPORTENGINE_PDF_PDF_FONT_H_
