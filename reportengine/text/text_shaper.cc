#include "reportengine/text/text_shaper.h"

#include <hb.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <cmath>
#include <unordered_map>

#include "reportengine/text/font_resolver.h"
#include "reportengine/text/font_table.h"
#include "reportengine/text/hyphenation.h"
#include "reportengine/text/line_break.h"
#include "reportengine/text/text_constants.h"

namespace re {
namespace {

// Windows draws text without kerning or ligatures unless asked; the templates were made there.
const hb_feature_t kFeatures[] = {
    {HB_TAG('k', 'e', 'r', 'n'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
    {HB_TAG('l', 'i', 'g', 'a'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
    {HB_TAG('c', 'l', 'i', 'g'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
};



bool ValidSize(int size_pt) {
  return size_pt >= text::kMinFontSizePt && size_pt <= text::kMaxFontSizePt;
}

// Calls f for each line of text as its explicit breaks (CR LF, LF, CR) divide it.
template <typename F>
void ForEachParagraph(std::string_view text, F&& f) {
  size_t begin = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    f(text.substr(begin, i - begin));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    begin = i + 1;
  }
  f(text.substr(begin));
}

// What identifies a shaped line: face, character height in pixels and text; with the hash of
// all three, worked out once per text looked up.
struct LineKey {
  LineKey(int font, int char_height_px, std::string_view text)
      : font(font), char_height_px(char_height_px), text(text),
        hash(std::hash<std::string_view>()(text) ^
             (static_cast<size_t>(font) * 0x9E3779B97F4A7C15ull +
              static_cast<size_t>(char_height_px))) {}
  int font;
  int char_height_px;
  std::string_view text;
  size_t hash;
};

// The shaped lines, found by LineKey: open addressing over a power-of-two array kept at most
// half full, so a look-up mostly touches one slot and compares the stored hash before it reads
// a line's text. Forgetting many lines at once moves the kept ones into a second array of the
// same size, kept empty between times, so that a long list does not allocate and first touch
// a new array at every trim.
class LineTable {
 public:
  struct Slot {
    std::shared_ptr<const ShapedLine> line;  // null: empty
    size_t hash = 0;
    int font = 0;
    int char_height_px = 0;
    uint64_t period = 0;  // the last period it was shaped or asked for in
  };

  size_t size() const { return size_; }

  Slot* Find(const LineKey& key) {
    if (slots_.empty()) return nullptr;
    for (size_t i = key.hash & mask_;; i = (i + 1) & mask_) {
      Slot& slot = slots_[i];
      if (!slot.line) return nullptr;
      if (slot.hash == key.hash && slot.font == key.font &&
          slot.char_height_px == key.char_height_px && slot.line->text == key.text) {
        return &slot;
      }
    }
  }

  // REQUIRES: Find(key) found nothing.
  void Insert(const LineKey& key, std::shared_ptr<const ShapedLine> line, uint64_t period) {
    if (2 * (size_ + 1) > slots_.size()) Rebuild(std::max<size_t>(64, 2 * slots_.size()));
    Place(Slot{std::move(line), key.hash, key.font, key.char_height_px, period});
    ++size_;
  }

  // Keeps the lines for which keep(slot) holds.
  template <typename Keep>
  void KeepOnly(Keep&& keep) {
    spare_.resize(slots_.size());  // empty slots: added now, or emptied by the last call
    slots_.swap(spare_);
    size_ = 0;
    for (Slot& slot : spare_) {
      if (slot.line && keep(slot)) {
        Place(std::move(slot));
        ++size_;
      }
      slot = Slot{};
    }
  }

  void Clear() {
    slots_ = {};
    spare_ = {};
    mask_ = 0;
    size_ = 0;
  }

 private:
  void Place(Slot slot) {
    size_t i = slot.hash & mask_;
    while (slots_[i].line) i = (i + 1) & mask_;
    slots_[i] = std::move(slot);
  }

  void Rebuild(size_t capacity) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
    for (Slot& slot : old) {
      if (slot.line) Place(std::move(slot));
    }
  }

  std::vector<Slot> slots_;  // a power of two of them, or none
  std::vector<Slot> spare_;  // empty slots, none or as many as slots_ had at the last KeepOnly
  size_t mask_ = 0;
  size_t size_ = 0;
};

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};

}  // namespace

class TextShaper::Impl {
 public:
  Impl() = default;
  ~Impl() {
    for (Face& f : faces_) {
      hb_font_destroy(f.font);
    }
    hb_buffer_destroy(buffer_);
  }

  bool Resolve(const FontSpec& spec, std::string* error) {
    if (!ValidSize(spec.size_pt)) {
      if (error) {
        *error = std::string(text::kFontSizeInvalid) + spec.name + " " + std::to_string(spec.size_pt);
      }
      return false;
    }
    const Lookup& l = LookupFace(spec.name);
    if (l.index < 0 && error) *error = l.error;
    return l.index >= 0;
  }

  const std::vector<FontFace>& fonts() const { return fonts_; }

  FontMetrics Metrics(const FontSpec& spec) {
    const int index = FaceIndex(spec);
    if (index < 0) return FontMetrics{};
    const Face& f = faces_[index];
    return ComputeMetrics(spec.size_pt, f.units_per_em, f.win_ascent, f.win_descent,
                          f.no_internal_leading);
  }

  std::shared_ptr<const ShapedLine> Shape(const FontSpec& spec, std::string_view text) {
    const int index = FaceIndex(spec);
    if (index < 0) return nullptr;
    return ShapeCached(index, spec.size_pt, text);
  }

  // Calls emit(line text, hyphen, shaped line or nullptr) for each line text makes.
  template <typename Emit>
  void Wrap(const FontSpec& spec, std::string_view text, float max_width, bool hyphenate,
            Emit&& emit) {
    const int index = FaceIndex(spec);
    ForEachParagraph(text, [&](std::string_view p) {
      if (index < 0 || p.empty() || !(max_width < kNoWrap)) {
        emit(p, false, nullptr);
        return;
      }
      // Most cells fit on one line: shape once, cache the line and be done. A paragraph that
      // needs breaking is never drawn whole, so it is measured but not kept.
      std::vector<BreakCluster> clusters;
      const LineKey key(index, CharHeightPx(spec.size_pt), p);
      if (std::shared_ptr<const ShapedLine> whole = FindCached(key)) {
        if (whole->width <= max_width + text::kWidthToleranceMm) {
          emit(p, false, std::move(whole));
          return;
        }
        RunShaper(index, p);
        clusters = ClustersFromBuffer(index, spec.size_pt);
      } else {
        RunShaper(index, p);
        std::shared_ptr<const ShapedLine> line = LineFromBuffer(index, spec.size_pt, p);
        if (line->width <= max_width + text::kWidthToleranceMm) {
          Keep(key, line);
          emit(p, false, std::move(line));
          return;
        }
        clusters = ClustersFromBuffer(index, spec.size_pt);
      }
      HyphenationPoints points;
      float hyphen_width = 0;
      if (hyphenate && LoadHyphenator()) {
        points = [this](std::string_view word) { return hyphenator_.Points(word); };
        hyphen_width = ShapeCached(index, spec.size_pt, text::kHyphen)->width;
      }
      for (const LineSpan& s : BreakParagraph(p, clusters, max_width, points, hyphen_width)) {
        emit(p.substr(s.begin, s.end - s.begin), s.hyphen, nullptr);
      }
    });
  }

  std::shared_ptr<const ShapedLine> ShapeOrHyphenated(const FontSpec& spec, std::string_view line,
                                                      bool hyphen) {
    if (!hyphen) return Shape(spec, line);
    std::string with_hyphen(line);
    with_hyphen += text::kHyphen;
    return Shape(spec, with_hyphen);
  }

  size_t cached_lines() const { return cache_.size(); }
  size_t recent_lines() const { return recent_; }
  void AgeLines() {
    cache_.KeepOnly([this](const LineTable::Slot& slot) { return slot.period == period_; });
    ++period_;
    recent_ = 0;
  }
  void ForgetLines() {
    cache_.Clear();
    recent_ = 0;
  }

 private:
  struct Face {
    hb_font_t* font = nullptr;  // owned; scaled to font units
    int units_per_em = 0;
    int win_ascent = 0;
    int win_descent = 0;
    bool no_internal_leading = false;
  };
  struct Lookup {
    int index = -1;     // into fonts_ and faces_, -1 when the face cannot be used
    std::string error;  // why, when index is -1
  };

  int FaceIndex(const FontSpec& spec) {
    if (!ValidSize(spec.size_pt)) return -1;
    return LookupFace(spec.name).index;
  }

  const Lookup& LookupFace(const std::string& name) {
    auto it = by_name_.find(std::string_view(name));
    if (it != by_name_.end()) return it->second;
    return by_name_.emplace(name, Load(name)).first->second;
  }

  Lookup Load(const std::string& name) {
    Lookup result;
    FontFile file;
    if (!FindFontFile(name, &file, &result.error)) return result;

    Face face;
    face.no_internal_leading = file.no_internal_leading;
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.file.c_str());
    if (!blob) {
      result.error = std::string(text::kFontUnreadable) + name;
      return result;
    }
    hb_face_t* hb_face = hb_face_create(blob, static_cast<unsigned>(file.index));
    hb_blob_destroy(blob);
    if (!ReadVerticalMetrics(hb_face, &face)) {
      hb_face_destroy(hb_face);
      result.error = std::string(text::kFontUnreadable) + name;
      return result;
    }
    face.font = hb_font_create(hb_face);
    hb_face_destroy(hb_face);
    // Positions come back in font units; converting them to mm at the pixel-rounded em is ours.
    hb_font_set_scale(face.font, face.units_per_em, face.units_per_em);

    result.index = static_cast<int>(faces_.size());
    faces_.push_back(face);
    fonts_.push_back(FontFace{name, file.file, file.index});
    return result;
  }

  // Units per em and the Windows ascent and descent, which fix the line cell as Windows sees it.
  // A face without them in its OS/2 table has the ascent and descent of its hhea table.
  static bool ReadVerticalMetrics(hb_face_t* hb_face, Face* face) {
    if (hb_face_get_glyph_count(hb_face) == 0) return false;  // no font, or not this face
    face->units_per_em = static_cast<int>(hb_face_get_upem(hb_face));
    using ot::kHheaAscender, ot::kHheaDescender, ot::kOs2WinAscent, ot::kOs2WinDescent;
    const FontTable os2(hb_face, HB_TAG('O', 'S', '/', '2'));
    const FontTable hhea(hb_face, HB_TAG('h', 'h', 'e', 'a'));
    if (os2.size() >= kOs2WinDescent + 2 && os2.U16(kOs2WinAscent) + os2.U16(kOs2WinDescent) > 0) {
      face->win_ascent = os2.U16(kOs2WinAscent);
      face->win_descent = os2.U16(kOs2WinDescent);
    } else if (hhea.size() >= kHheaDescender + 2) {
      face->win_ascent = static_cast<int16_t>(hhea.U16(kHheaAscender));
      face->win_descent = -static_cast<int16_t>(hhea.U16(kHheaDescender));
    } else {
      return false;
    }
    return true;
  }

  // Millimetres per font unit at size_pt.
  float Scale(int index, int size_pt) const {
    return static_cast<float>(CharHeightPx(size_pt)) * text::kMmPerPixel /
           static_cast<float>(faces_[index].units_per_em);
  }

  void RunShaper(int index, std::string_view text) {
    if (buffer_ == nullptr) buffer_ = hb_buffer_create();
    hb_buffer_clear_contents(buffer_);
    hb_buffer_add_utf8(buffer_, text.data(), static_cast<int>(text.size()), 0,
                       static_cast<int>(text.size()));
    hb_buffer_guess_segment_properties(buffer_);
    hb_shape(faces_[index].font, buffer_, kFeatures, std::size(kFeatures));
  }

  // A line found counts as asked for in this period, so it outlives the next AgeLines().
  std::shared_ptr<const ShapedLine> FindCached(const LineKey& key) {
    LineTable::Slot* slot = cache_.Find(key);
    if (slot == nullptr) return nullptr;
    if (slot->period != period_) {
      slot->period = period_;
      ++recent_;
    }
    return slot->line;
  }

  // Enters `line`, just shaped for `key` (which FindCached did not find), into the cache.
  void Keep(const LineKey& key, const std::shared_ptr<const ShapedLine>& line) {
    cache_.Insert(key, line, period_);
    ++recent_;
  }

  std::shared_ptr<const ShapedLine> ShapeCached(int index, int size_pt, std::string_view text) {
    const LineKey key(index, CharHeightPx(size_pt), text);
    if (std::shared_ptr<const ShapedLine> found = FindCached(key)) return found;
    RunShaper(index, text);
    std::shared_ptr<const ShapedLine> line = LineFromBuffer(index, size_pt, text);
    Keep(key, line);
    return line;
  }

  // The shaped line for text from the last RunShaper(index, text).
  std::shared_ptr<const ShapedLine> LineFromBuffer(int index, int size_pt, std::string_view text) {
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer_, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer_, &count);
    const float scale = Scale(index, size_pt);

    auto line = std::make_shared<ShapedLine>();
    line->font = index;
    line->size_pt = static_cast<float>(CharHeightPx(size_pt)) * text::kPointsPerInch /
                    text::kDevicePixelsPerInch;
    line->text.assign(text);
    line->glyphs.reserve(count);
    int64_t pen = 0;
    for (unsigned i = 0; i < count; ++i) {
      line->glyphs.push_back(Glyph{info[i].codepoint, info[i].cluster,
                                   static_cast<float>(pen + pos[i].x_offset) * scale,
                                   static_cast<float>(-pos[i].y_offset) * scale});
      pen += pos[i].x_advance;
    }
    line->width = static_cast<float>(pen) * scale;
    return line;
  }

  // The advance of each cluster of the last text shaped, in text order, for line breaking.
  std::vector<BreakCluster> ClustersFromBuffer(int index, int size_pt) const {
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer_, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer_, &count);
    const float scale = Scale(index, size_pt);

    std::vector<BreakCluster> clusters;
    clusters.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
      clusters.push_back({info[i].cluster, static_cast<float>(pos[i].x_advance) * scale});
    }
    std::stable_sort(clusters.begin(), clusters.end(),
                     [](const BreakCluster& a, const BreakCluster& b) { return a.begin < b.begin; });
    // Several glyphs of one cluster become one unit.
    size_t out = 0;
    for (size_t i = 0; i < clusters.size(); ++i) {
      if (out > 0 && clusters[out - 1].begin == clusters[i].begin) {
        clusters[out - 1].advance += clusters[i].advance;
      } else {
        clusters[out++] = clusters[i];
      }
    }
    clusters.resize(out);
    if (!clusters.empty()) clusters.front().begin = 0;
    return clusters;
  }

  bool LoadHyphenator() {
    if (!hyphenator_tried_) {
      hyphenator_tried_ = true;
      hyphenator_.Load(text::kRussianHyphenationDictionary, nullptr);
    }
    return hyphenator_.loaded();
  }

  // Owned; reused for every shaping run. Made by the first one, so that making a shaper does not
  // load HarfBuzz (text_libraries.h) on the thread that makes it.
  hb_buffer_t* buffer_ = nullptr;
  std::vector<FontFace> fonts_;       // the report's font table
  std::vector<Face> faces_;           // parallel to fonts_
  std::unordered_map<std::string, Lookup, StringHash, std::equal_to<>> by_name_;  // every name asked for
  LineTable cache_;       // shaped lines
  uint64_t period_ = 0;   // AgeLines() calls so far
  size_t recent_ = 0;     // lines shaped or asked for in this period
  Hyphenator hyphenator_;             // Russian patterns, loaded on first use
  bool hyphenator_tried_ = false;
};

TextShaper::TextShaper() : impl_(std::make_unique<Impl>()) {}
TextShaper::~TextShaper() = default;

bool TextShaper::Resolve(const FontSpec& spec, std::string* error) {
  return impl_->Resolve(spec, error);
}

const std::vector<FontFace>& TextShaper::fonts() const { return impl_->fonts(); }

FontMetrics TextShaper::Metrics(const FontSpec& spec) { return impl_->Metrics(spec); }

std::shared_ptr<const ShapedLine> TextShaper::Shape(const FontSpec& spec, std::string_view text) {
  return impl_->Shape(spec, text);
}

float TextShaper::Width(const FontSpec& spec, std::string_view text) {
  std::shared_ptr<const ShapedLine> line = impl_->Shape(spec, text);
  return line ? line->width : 0.0f;
}

std::vector<std::string> TextShaper::WrapLines(const FontSpec& spec, std::string_view text,
                                               float max_width_mm, bool hyphenate) {
  std::vector<std::string> lines;
  impl_->Wrap(spec, text, max_width_mm, hyphenate,
              [&](std::string_view line, bool hyphen, const std::shared_ptr<const ShapedLine>&) {
                lines.emplace_back(line);
                if (hyphen) lines.back() += text::kHyphen;
              });
  return lines;
}

std::vector<std::shared_ptr<const ShapedLine>> TextShaper::ShapeLines(const FontSpec& spec,
                                                                      std::string_view text,
                                                                      float max_width_mm,
                                                                      bool hyphenate) {
  std::vector<std::shared_ptr<const ShapedLine>> lines;
  if (!impl_->Resolve(spec, nullptr)) return lines;
  impl_->Wrap(spec, text, max_width_mm, hyphenate,
              [&](std::string_view line, bool hyphen, std::shared_ptr<const ShapedLine> shaped) {
                lines.push_back(shaped ? std::move(shaped)
                                       : impl_->ShapeOrHyphenated(spec, line, hyphen));
              });
  return lines;
}

size_t TextShaper::cached_lines() const { return impl_->cached_lines(); }

size_t TextShaper::recent_lines() const { return impl_->recent_lines(); }

void TextShaper::AgeLines() { impl_->AgeLines(); }

void TextShaper::ForgetLines() { impl_->ForgetLines(); }

}  // namespace re
