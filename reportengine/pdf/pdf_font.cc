#include "reportengine/pdf/pdf_font.h"

#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "common/big_endian.h"
#include "reportengine/pdf/pdf_syntax.h"
#include "reportengine/pdf/pdf_texts.h"
#include "reportengine/text/font_table.h"

namespace re::pdf {
namespace {

constexpr int kFlagFixedPitch = 1;
constexpr int kFlagSerif = 2;
constexpr int kFlagSymbolic = 4;  // glyphs outside the standard Latin set, as CID fonts have

uint64_t Fnv1a(uint64_t hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    hash ^= bytes[i];
    hash *= 0x100000001B3ull;
  }
  return hash;
}


// The face's English name `id` (Windows, else Macintosh), with only the characters a PDF name
// of a font may hold; "" when the face has none.
std::string EnglishName(hb_face_t* face, hb_ot_name_id_t id) {
  using ot::kWindowsEnglish;
  constexpr uint16_t kWindows = ot::kPlatformWindows, kMac = ot::kPlatformMac, kMacEnglish = 0;
  const FontTable name(face, HB_TAG('n', 'a', 'm', 'e'));
  if (name.size() < 6) return {};
  const size_t count = name.U16(2), storage = name.U16(4);
  std::string mac;
  for (size_t i = 0; i < count && 6 + 12 * (i + 1) <= name.size(); ++i) {
    const size_t record = 6 + 12 * i;
    const uint16_t platform = name.U16(record), encoding = name.U16(record + 2);
    const uint16_t language = name.U16(record + 4);
    const size_t length = name.U16(record + 8), at = storage + name.U16(record + 10);
    if (name.U16(record + 6) != id || at + length > name.size()) continue;
    const bool windows = platform == kWindows && encoding <= 1 && language == kWindowsEnglish;
    const bool macintosh = platform == kMac && encoding == 0 && language == kMacEnglish;
    if (!windows && !macintosh) continue;
    std::string text;
    const size_t step = windows ? 2 : 1;  // Windows names are UTF-16BE
    for (size_t k = 0; k + step <= length; k += step) {
      const unsigned c = windows ? name.U16(at + k) : name.U8(at + k);
      if (c > ' ' && c < 0x7F && std::string_view("[](){}<>/%").find(static_cast<char>(c)) ==
                                     std::string_view::npos) {
        text.push_back(static_cast<char>(c));
      }
    }
    if (windows && !text.empty()) return text;
    if (macintosh && mac.empty()) mac = text;
  }
  return mac;
}

}  // namespace

void HbRelease::operator()(hb_blob_t* blob) const { hb_blob_destroy(blob); }
void HbRelease::operator()(hb_face_t* face) const { hb_face_destroy(face); }
void HbRelease::operator()(hb_font_t* font) const { hb_font_destroy(font); }

struct Font::Metrics {
  std::string postscript_name;
  int flags = kFlagSymbolic;
  double bbox[4] = {0, 0, 0, 0};
  double italic_angle = 0;
  double ascent = 0, descent = 0, cap_height = 0, stem_v = 80;
};

// The numbers of the objects one font writes.
struct Font::ObjectNumbers {
  int type0 = 0;       // the pages' resources refer to it
  int cid_font = 0;
  int descriptor = 0;
  int to_unicode = 0;
  int font_file = 0;   // 0: the program is not embedded
};

Font::~Font() = default;

bool Font::Load(const FontFace& face, std::string* error) {
  face_ = face;
  blob_.reset(hb_blob_create_from_file_or_fail(face.file.c_str()));
  if (blob_ == nullptr) {
    *error = kErrFontFile + face.file;
    return false;
  }
  hb_face_.reset(hb_face_create(blob_.get(), static_cast<unsigned>(face.index)));
  glyph_count_ = hb_face_get_glyph_count(hb_face_.get());
  if (glyph_count_ == 0) {
    *error = kErrFontFile + face.file;
    return false;
  }
  units_per_em_ = hb_face_get_upem(hb_face_.get());
  hb_font_.reset(hb_font_create(hb_face_.get()));
  hb_font_set_scale(hb_font_.get(), static_cast<int>(units_per_em_),
                    static_cast<int>(units_per_em_));
  hmtx_.reset(hb_face_reference_table(hb_face_.get(), HB_TAG('h', 'm', 't', 'x')));
  const FontTable hhea(hb_face_.get(), HB_TAG('h', 'h', 'e', 'a'));
  unsigned hmtx_length = 0;
  hmtx_data_ = reinterpret_cast<const uint8_t*>(hb_blob_get_data(hmtx_.get(), &hmtx_length));
  if (hhea.size() >= ot::kHheaNumberOfHMetrics + 2) {
    h_metrics_ = std::min(unsigned{hhea.U16(ot::kHheaNumberOfHMetrics)}, hmtx_length / 4);
  }
  use_.assign(glyph_count_, GlyphUse::kUnused);
  blocks_.resize((glyph_count_ + kBlockGlyphs - 1) / kBlockGlyphs);
  return true;
}

float Font::AdvanceWidth(uint32_t glyph) const {
  // Glyphs past the last full metric share its advance; a face without metrics gives every
  // glyph half an em, as HarfBuzz does when shaping it.
  unsigned advance = units_per_em_ / 2;
  if (h_metrics_ > 0) {
    const size_t at = 4 * size_t{std::min(glyph, h_metrics_ - 1)};
    advance = common::ReadBe16(hmtx_data_ + at);
  }
  return static_cast<float>(std::round(advance * 10000.0 / units_per_em_) / 10);
}

Font::GlyphBlock& Font::Block(uint32_t glyph) const {
  std::unique_ptr<GlyphBlock>& block = blocks_[glyph / kBlockGlyphs];
  if (block == nullptr) {
    block = std::make_unique<GlyphBlock>();
    const uint32_t first = glyph / kBlockGlyphs * kBlockGlyphs;
    for (uint32_t i = 0; i < kBlockGlyphs; ++i) block->width[i] = AdvanceWidth(first + i);
  }
  return *block;
}

const InkBox& Font::Ink(uint32_t glyph) {
  static const InkBox kNone;
  if (glyph >= glyph_count_) return kNone;
  GlyphBlock& block = Block(glyph);
  const uint32_t i = glyph % kBlockGlyphs;
  if (!block.ink_known[i]) {
    hb_glyph_extents_t extents{};
    InkBox& box = block.ink[i];
    if (hb_font_get_glyph_extents(hb_font_.get(), glyph, &extents) && extents.width != 0 &&
        extents.height != 0) {
      const double scale = 1000.0 / units_per_em_;
      box.x_min = static_cast<float>(extents.x_bearing * scale);
      box.x_max = static_cast<float>((extents.x_bearing + extents.width) * scale);
      box.y_max = static_cast<float>(extents.y_bearing * scale);
      box.y_min = static_cast<float>((extents.y_bearing + extents.height) * scale);
      box.empty = false;
    }
    block.ink_known[i] = true;
  }
  return block.ink[i];
}

void Font::Note(const ShapedLine& line) {
  const std::vector<Glyph>& glyphs = line.glyphs;
  for (size_t i = 0; i < glyphs.size(); ++i) {
    const uint32_t id = glyphs[i].id;
    if (id >= use_.size() || use_[id] == GlyphUse::kUsedWithText) continue;
    if (use_[id] == GlyphUse::kUnused) {
      use_[id] = GlyphUse::kUsed;
      ++used_count_;
    }
    // Only the first glyph of a cluster carries its text; marks and pieces that follow it in
    // the same cluster show no text of their own.
    const uint32_t cluster = glyphs[i].cluster;
    if (i > 0 && glyphs[i - 1].cluster == cluster) continue;
    if (cluster >= line.text.size()) continue;
    size_t end = line.text.size();
    for (const Glyph& other : glyphs) {
      if (other.cluster > cluster && other.cluster < end) end = other.cluster;
    }
    text_[id] = line.text.substr(cluster, end - cluster);
    use_[id] = GlyphUse::kUsedWithText;
  }
}

std::optional<Font::Metrics> Font::ReadMetrics() const {
  const FontTable head(hb_face_.get(), HB_TAG('h', 'e', 'a', 'd'));
  const FontTable hhea(hb_face_.get(), HB_TAG('h', 'h', 'e', 'a'));
  const FontTable os2(hb_face_.get(), HB_TAG('O', 'S', '/', '2'));
  const FontTable post(hb_face_.get(), HB_TAG('p', 'o', 's', 't'));
  constexpr size_t kUnitsPerEm = 18, kXMin = 36;                     // head
  constexpr size_t kAscender = ot::kHheaAscender, kDescender = ot::kHheaDescender;
  constexpr size_t kItalicAngle = 4, kIsFixedPitch = 12;             // post
  constexpr size_t kWeightClass = 4, kFamilyClass = 30, kTypoAscender = 68, kTypoDescender = 70,
                   kWinAscent = ot::kOs2WinAscent, kWinDescent = ot::kOs2WinDescent,
                   kCapHeight = 88;  // OS/2
  if (head.size() < kXMin + 8 || hhea.size() < kDescender + 2 || head.U16(kUnitsPerEm) == 0) {
    return std::nullopt;
  }
  Metrics metrics;
  const double scale = 1000.0 / head.U16(kUnitsPerEm);
  metrics.postscript_name = EnglishName(hb_face_.get(), HB_OT_NAME_ID_POSTSCRIPT_NAME);
  for (int i = 0; i < 4; ++i) metrics.bbox[i] = head.S16(kXMin + 2 * i) * scale;
  // The ascent and descent of hhea; of OS/2 where hhea has none, as FreeType reads them.
  int ascender = hhea.S16(kAscender), descender = hhea.S16(kDescender);
  if (ascender == 0 && descender == 0 && os2.size() >= kWinDescent + 2) {
    ascender = os2.S16(kTypoAscender);
    descender = os2.S16(kTypoDescender);
    if (ascender == 0 && descender == 0) {
      ascender = os2.U16(kWinAscent);
      descender = -os2.U16(kWinDescent);
    }
  }
  metrics.ascent = ascender * scale;
  metrics.descent = descender * scale;
  metrics.cap_height = metrics.ascent;
  if (post.size() >= kIsFixedPitch + 4) {
    if (post.U32(kIsFixedPitch) != 0) metrics.flags |= kFlagFixedPitch;
    metrics.italic_angle = static_cast<int32_t>(post.U32(kItalicAngle)) / 65536.0;
  }
  if (os2.size() >= kWinDescent + 2) {
    const unsigned version = os2.U16(0);
    if (version >= 2 && os2.size() >= kCapHeight + 2 && os2.S16(kCapHeight) > 0) {
      metrics.cap_height = os2.S16(kCapHeight) * scale;
    }
    // Family classes 1 to 7 are the serif styles.
    const int family_class = os2.S16(kFamilyClass) >> 8;
    if (family_class >= 1 && family_class <= 7) metrics.flags |= kFlagSerif;
    // TrueType carries no stem width; the usual estimate from the weight class.
    const double weight = os2.U16(kWeightClass) / 65.0;
    metrics.stem_v = std::round(50 + weight * weight);
  }
  if (metrics.postscript_name.empty()) {
    metrics.postscript_name = EnglishName(hb_face_.get(), HB_OT_NAME_ID_FONT_FAMILY);
  }
  if (metrics.postscript_name.empty()) metrics.postscript_name = "Font";
  return metrics;
}

std::string Font::SubsetTag() const {
  uint64_t hash = 0xCBF29CE484222325ull;
  hash = Fnv1a(hash, face_.file.data(), face_.file.size());
  hash = Fnv1a(hash, &face_.index, sizeof face_.index);
  for (uint32_t g = 0; g < use_.size(); ++g) {
    if (use_[g] != GlyphUse::kUnused) hash = Fnv1a(hash, &g, sizeof g);
  }
  std::string tag(6, 'A');
  for (char& c : tag) {
    c = static_cast<char>('A' + hash % 26);
    hash /= 26;
  }
  return tag;
}

std::string Font::WidthArray(float default_width) const {
  std::string out = "[";
  uint32_t run_start = 0;
  std::vector<float> run;
  auto flush = [&] {
    if (run.empty()) return;
    AppendInt(&out, run_start);
    out.push_back('[');
    for (size_t i = 0; i < run.size(); ++i) {
      if (i > 0) out.push_back(' ');
      AppendNumber(&out, run[i]);
    }
    out.append("]");
    run.clear();
  };
  for (uint32_t g = 0; g < use_.size(); ++g) {
    if (use_[g] == GlyphUse::kUnused || Width(g) == default_width) {
      flush();
      continue;
    }
    if (run.empty()) run_start = g;
    run.push_back(Width(g));
  }
  flush();
  out.push_back(']');
  return out;
}

std::string Font::ToUnicodeCMap() const {
  std::vector<uint32_t> glyphs;
  for (uint32_t g = 0; g < use_.size(); ++g) {
    if (use_[g] == GlyphUse::kUsedWithText) glyphs.push_back(g);
  }
  std::string out =
      "/CIDInit/ProcSet findresource begin\n12 dict begin\nbegincmap\n"
      "/CIDSystemInfo<</Registry(Adobe)/Ordering(UCS)/Supplement 0>>def\n"
      "/CMapName/Adobe-Identity-UCS def\n/CMapType 2 def\n"
      "1 begincodespacerange\n<0000><FFFF>\nendcodespacerange\n";
  static constexpr char kHex[] = "0123456789ABCDEF";
  constexpr size_t kEntriesPerBlock = 100;  // the most a bfchar block may hold
  for (size_t start = 0; start < glyphs.size(); start += kEntriesPerBlock) {
    const size_t end = std::min(glyphs.size(), start + kEntriesPerBlock);
    AppendInt(&out, static_cast<long long>(end - start));
    out.append(" beginbfchar\n");
    for (size_t i = start; i < end; ++i) {
      const uint32_t g = glyphs[i];
      out.push_back('<');
      for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(g >> shift) & 15]);
      out.push_back('>');
      AppendUtf16Hex(&out, text_.at(g));
      out.push_back('\n');
    }
    out.append("endbfchar\n");
  }
  out.append("endcmap\nCMapName currentdict/CMap defineresource pop\nend\nend\n");
  return out;
}

Font::Program Font::SubsetProgram() const {
  std::vector<uint32_t> glyphs;
  for (uint32_t g = 0; g < use_.size(); ++g) {
    if (use_[g] != GlyphUse::kUnused) glyphs.push_back(g);
  }
  unsigned length = 0;
  const char* data = hb_blob_get_data(blob_.get(), &length);
  return SubsetTrueType(std::string_view(data, length), face_.index, glyphs);
}

// The most frequent whole width becomes /DW so /W lists only the others (/DW must be an
// integer; readers ignore a fractional one).
float Font::DefaultWidth() const {
  std::map<float, size_t> width_counts;
  for (uint32_t g = 0; g < use_.size(); ++g) {
    if (use_[g] != GlyphUse::kUnused && Width(g) == std::round(Width(g))) {
      ++width_counts[Width(g)];
    }
  }
  float default_width = 1000;
  size_t best = 0;
  for (const auto& [width, count] : width_counts) {
    if (count > best) {
      best = count;
      default_width = width;
    }
  }
  return default_width;
}

Font::ObjectNumbers Font::ReserveObjects(ObjectWriter* writer, int type0, bool embed) const {
  ObjectNumbers numbers;
  numbers.type0 = type0;
  numbers.cid_font = writer->Reserve();
  numbers.descriptor = writer->Reserve();
  numbers.to_unicode = writer->Reserve();
  numbers.font_file = embed ? writer->Reserve() : 0;
  return numbers;
}

std::string Font::Type0Dict(const std::string& base_font, const ObjectNumbers& numbers) const {
  std::string body = "<</Type/Font/Subtype/Type0/BaseFont" + base_font +
                     "/Encoding/Identity-H/DescendantFonts[";
  AppendInt(&body, numbers.cid_font);
  body.append(" 0 R]/ToUnicode ");
  AppendInt(&body, numbers.to_unicode);
  body.append(" 0 R>>");
  return body;
}

std::string Font::CidFontDict(const std::string& base_font, const ObjectNumbers& numbers,
                              float default_width) const {
  std::string body =
      "<</Type/Font/Subtype/CIDFontType2/BaseFont" + base_font +
      "/CIDSystemInfo<</Registry(Adobe)/Ordering(Identity)/Supplement 0>>/FontDescriptor ";
  AppendInt(&body, numbers.descriptor);
  body.append(" 0 R/DW ");
  AppendInt(&body, std::lround(default_width));
  body.append("/W");
  body.append(WidthArray(default_width));
  body.append("/CIDToGIDMap/Identity>>");
  return body;
}

std::string Font::DescriptorDict(const std::string& base_font, const Metrics& metrics,
                                 const ObjectNumbers& numbers) const {
  std::string body = "<</Type/FontDescriptor/FontName" + base_font + "/Flags ";
  AppendInt(&body, metrics.flags);
  body.append("/FontBBox[");
  for (int i = 0; i < 4; ++i) {
    if (i > 0) body.push_back(' ');
    AppendInt(&body, std::lround(metrics.bbox[i]));
  }
  body.append("]/ItalicAngle ");
  AppendNumber(&body, metrics.italic_angle);
  body.append("/Ascent ");
  AppendInt(&body, std::lround(metrics.ascent));
  body.append("/Descent ");
  AppendInt(&body, std::lround(metrics.descent));
  body.append("/CapHeight ");
  AppendInt(&body, std::lround(metrics.cap_height));
  body.append("/StemV ");
  AppendInt(&body, std::lround(metrics.stem_v));
  if (numbers.font_file != 0) {
    body.append("/FontFile2 ");
    AppendInt(&body, numbers.font_file);
    body.append(" 0 R");
  }
  body.append(">>");
  return body;
}

bool Font::WriteObjects(ObjectWriter* writer, int type0, bool embed, bool compress,
                        std::string* error) {
  const std::optional<Metrics> metrics = ReadMetrics();
  if (!metrics) {
    *error = kErrFontFile + face_.file;
    return false;
  }

  Program program;
  if (embed) {
    program = SubsetProgram();
    switch (program.status) {
      case Program::Status::kMade:
        break;
      case Program::Status::kNotTrueType:
        *error = kErrFontSubset + face_.file + kErrNotTrueType;
        return false;
      case Program::Status::kFailed:
        *error = kErrFontSubset + face_.file;
        return false;
    }
  }

  const float default_width = DefaultWidth();
  std::string base_font;
  AppendName(&base_font, embed ? SubsetTag() + "+" + metrics->postscript_name
                               : metrics->postscript_name);

  const ObjectNumbers numbers = ReserveObjects(writer, type0, embed);
  writer->WriteObject(numbers.type0, Type0Dict(base_font, numbers));
  writer->WriteObject(numbers.cid_font, CidFontDict(base_font, numbers, default_width));
  writer->WriteObject(numbers.descriptor, DescriptorDict(base_font, *metrics, numbers));
  writer->WriteStream(numbers.to_unicode, "", ToUnicodeCMap(), compress);
  if (embed) {
    std::string entries = "/Length1 ";
    AppendInt(&entries, static_cast<long long>(program.bytes.size()));
    writer->WriteStream(numbers.font_file, entries, program.bytes, compress);
  }
  return true;
}

FontSet::FontSet(const std::vector<FontFace>& faces)
    : faces_(faces), fonts_(faces.size()), failures_(faces.size()) {}

Font* FontSet::Get(int index, std::string* error) {
  if (index < 0 || static_cast<size_t>(index) >= fonts_.size()) {
    *error = kErrBadFontIndex;
    return nullptr;
  }
  if (!failures_[index].empty()) {
    *error = failures_[index];
    return nullptr;
  }
  if (fonts_[index] == nullptr) {
    auto font = std::make_unique<Font>();
    if (!font->Load(faces_[index], &failures_[index])) {
      *error = failures_[index];
      return nullptr;
    }
    fonts_[index] = std::move(font);
  }
  return fonts_[index].get();
}

}  // namespace re::pdf
