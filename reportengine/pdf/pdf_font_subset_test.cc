#include "reportengine/pdf/pdf_font_subset.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "reportengine/pdf/pdf_test_fixture.h"

namespace re::pdf {
namespace {

using testing::kArialFile;
using testing::kGothicFile;
using testing::ReadFile;

// One face opened by FreeType from memory; the bytes must outlive it.
class FtFace {
 public:
  explicit FtFace(const std::string& bytes) {
    if (FT_Init_FreeType(&library_) != 0) return;
    if (FT_New_Memory_Face(library_, reinterpret_cast<const FT_Byte*>(bytes.data()),
                           static_cast<FT_Long>(bytes.size()), 0, &face_) != 0) {
      face_ = nullptr;
    }
  }
  ~FtFace() {
    if (face_ != nullptr) FT_Done_Face(face_);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }
  FT_Face get() const { return face_; }

  // The glyph's outline in font units, unhinted, as a comparable text; "" for a glyph without.
  std::string Outline(uint32_t glyph) const {
    if (FT_Load_Glyph(face_, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) !=
        0) {
      return "error";
    }
    const FT_Outline& outline = face_->glyph->outline;
    std::string text = "advance " + std::to_string(face_->glyph->metrics.horiAdvance) + ":";
    for (int i = 0; i < outline.n_points; ++i) {
      text += " " + std::to_string(outline.points[i].x) + "," +
              std::to_string(outline.points[i].y) + "/" + std::to_string(outline.tags[i] & 1);
    }
    for (int i = 0; i < outline.n_contours; ++i)
      text += " end " + std::to_string(outline.contours[i]);
    return outline.n_points == 0 ? "" : text;
  }

  // The glyph ids a composite glyph is built from (directly); empty for a simple glyph.
  std::vector<uint32_t> Components(uint32_t glyph) const {
    std::vector<uint32_t> ids;
    if (FT_Load_Glyph(face_, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_RECURSE) != 0 ||
        face_->glyph->format != FT_GLYPH_FORMAT_COMPOSITE) {
      return ids;
    }
    for (FT_UInt i = 0; i < face_->glyph->num_subglyphs; ++i) {
      FT_Int index = 0, arg1 = 0, arg2 = 0;
      FT_UInt flags = 0;
      FT_Matrix transform{};
      FT_Get_SubGlyph_Info(face_->glyph, i, &index, &flags, &arg1, &arg2, &transform);
      ids.push_back(static_cast<uint32_t>(index));
    }
    return ids;
  }

  bool HasTable(FT_ULong tag) const {
    FT_ULong length = 0;
    return FT_Load_Sfnt_Table(face_, tag, 0, nullptr, &length) == 0;
  }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
};

uint32_t FileChecksum(const std::string& bytes) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    sum += static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 24 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 2])) << 8 |
           static_cast<uint8_t>(bytes[i + 3]);
  }
  return sum;
}

// A subset keeps the ids and outlines of the glyphs asked for and of the components of the
// composites among them; every other glyph below the highest kept one is empty; the hinting
// programs are gone; and FreeType reads the result as a well-formed font.
TEST(SubsetTrueTypeTest, KeepsGlyphIdsOutlinesAndComponentsAndEmptiesTheRest) {
  const struct {
    const char* file;
    const char* characters;  // ASCII or single characters whose glyphs are kept
    bool has_composite;      // one of them is a composite glyph
  } cases[] = {
      {kArialFile, "\xC3\x81g", true},  // Á is A and an acute accent
      {kGothicFile,
       "\xE6\x82\xA3\xE8\x80\x85"
       "A",
       false},  // 患者A
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string file = ReadFile(c.file);
    const FtFace original(file);
    ASSERT_NE(original.get(), nullptr);
    std::vector<uint32_t> asked;
    for (const char* p = c.characters; *p != '\0';) {
      // Decodes one UTF-8 character.
      const auto byte = static_cast<uint8_t>(*p);
      const int length = byte < 0x80 ? 1 : byte < 0xE0 ? 2 : 3;
      uint32_t code = length == 1 ? byte : length == 2 ? byte & 0x1F : byte & 0x0F;
      for (int i = 1; i < length; ++i) code = code << 6 | (static_cast<uint8_t>(p[i]) & 0x3F);
      p += length;
      const uint32_t glyph = FT_Get_Char_Index(original.get(), code);
      ASSERT_NE(glyph, 0u) << code;
      asked.push_back(glyph);
    }
    std::set<uint32_t> components;
    for (const uint32_t g : asked) {
      for (const uint32_t part : original.Components(g)) components.insert(part);
    }
    EXPECT_EQ(!components.empty(), c.has_composite);

    const TrueTypeSubset subset = SubsetTrueType(file, 0, asked);
    ASSERT_EQ(subset.status, TrueTypeSubset::Status::kMade);
    EXPECT_EQ(subset.bytes.size() % 4, 0u);
    EXPECT_EQ(FileChecksum(subset.bytes), 0xB1B0AFBAu);
    const FtFace made(subset.bytes);
    ASSERT_NE(made.get(), nullptr);

    std::set<uint32_t> kept(asked.begin(), asked.end());
    kept.insert(components.begin(), components.end());
    kept.insert(0);
    EXPECT_EQ(made.get()->num_glyphs, static_cast<FT_Long>(*kept.rbegin()) + 1);
    for (uint32_t g = 0; g < static_cast<uint32_t>(made.get()->num_glyphs); ++g) {
      if (kept.count(g) != 0) {
        EXPECT_NE(made.Outline(g), "") << "glyph " << g;
        EXPECT_EQ(made.Outline(g), original.Outline(g)) << "glyph " << g;
      } else {
        EXPECT_EQ(made.Outline(g), "") << "glyph " << g;
      }
    }
    for (const FT_ULong tag : {TTAG_fpgm, TTAG_prep, TTAG_cvt, TTAG_GSUB, TTAG_vmtx}) {
      EXPECT_FALSE(made.HasTable(tag)) << tag;
    }
    EXPECT_STREQ(FT_Get_Postscript_Name(made.get()), FT_Get_Postscript_Name(original.get()));
  }
}

TEST(SubsetTrueTypeTest, WhatIsNotATrueTypeFaceGivesNoSubset) {
  const std::string liberation = ReadFile(kArialFile);
  const struct {
    const char* what;
    std::string bytes;
    int index;
    TrueTypeSubset::Status status;
  } cases[] = {
      // The table directory of an OpenType face with CFF outlines: no glyf.
      {"CFF outlines", std::string("OTTO\0\0\0\0\0\0\0\0", 12), 0,
       TrueTypeSubset::Status::kNotTrueType},
      {"no font at all", "%PDF-1.7 and more", 0, TrueTypeSubset::Status::kFailed},
      {"cut short", liberation.substr(0, liberation.size() / 2), 0,
       TrueTypeSubset::Status::kFailed},
      {"a face the file does not hold", liberation, 1, TrueTypeSubset::Status::kFailed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const TrueTypeSubset subset = SubsetTrueType(c.bytes, c.index, {1, 2, 3});
    EXPECT_EQ(subset.status, c.status);
    EXPECT_TRUE(subset.bytes.empty());
  }
}

}  // namespace
}  // namespace re::pdf
