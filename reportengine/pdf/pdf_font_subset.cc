#include "reportengine/pdf/pdf_font_subset.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "common/big_endian.h"
#include "reportengine/text/font_table.h"

namespace re::pdf {
namespace {

constexpr uint32_t Tag(const char (&name)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(name[3]));
}

constexpr uint32_t kTrueTypeVersion = 0x00010000;
constexpr uint32_t kAppleTrueTypeVersion = Tag("true");
constexpr uint32_t kCffVersion = Tag("OTTO");
constexpr uint32_t kCollection = Tag("ttcf");
// What every font file's words add up to, head's checkSumAdjustment included.
constexpr uint32_t kFileChecksum = 0xB1B0AFBA;

// Sizes and field offsets of the fixed tables, in bytes.
constexpr size_t kHeadSize = 54;
constexpr size_t kHeadChecksumAdjustment = 8;
constexpr size_t kHeadIndexToLocFormat = 50;
constexpr size_t kHheaSize = 36;
using ot::kHheaNumberOfHMetrics;
constexpr size_t kMaxpNumGlyphs = 4;
constexpr size_t kMaxpVersion1Size = 32;
constexpr size_t kMaxpSizeOfInstructions = 26;
constexpr size_t kPostHeaderSize = 32;
constexpr uint32_t kPostWithoutNames = 0x00030000;
constexpr size_t kGlyphHeaderSize = 10;
// The largest glyf a loca of 16-bit offsets (stored halved) can address.
constexpr size_t kShortLocaLimit = 0x1FFFE;

// Component flags of a composite glyph.
constexpr uint16_t kArgsAreWords = 0x0001;
constexpr uint16_t kHaveScale = 0x0008;
constexpr uint16_t kMoreComponents = 0x0020;
constexpr uint16_t kHaveXYScale = 0x0040;
constexpr uint16_t kHaveTwoByTwo = 0x0080;
constexpr uint16_t kHaveInstructions = 0x0100;

// Point flags of a simple glyph.
constexpr uint8_t kXShort = 0x02;
constexpr uint8_t kYShort = 0x04;
constexpr uint8_t kRepeat = 0x08;
constexpr uint8_t kXSameOrPositive = 0x10;
constexpr uint8_t kYSameOrPositive = 0x20;

// Names a reader may show; the rest (licence, URLs, descriptions) is long and never looked at.
constexpr uint16_t kLastKeptNameId = 6;  // the PostScript name
using ot::kWindowsEnglish;
constexpr uint16_t kWindowsPlatform = ot::kPlatformWindows, kMacPlatform = ot::kPlatformMac,
                   kUnicodePlatform = ot::kPlatformUnicode;

uint16_t U16(std::string_view data, size_t at) { return common::ReadBe16(data.data() + at); }
uint32_t U32(std::string_view data, size_t at) { return common::ReadBe32(data.data() + at); }
void PutU16(std::string* out, size_t at, uint16_t value) {
  (*out)[at] = static_cast<char>(value >> 8);
  (*out)[at + 1] = static_cast<char>(value);
}
void PutU32(std::string* out, size_t at, uint32_t value) {
  PutU16(out, at, static_cast<uint16_t>(value >> 16));
  PutU16(out, at + 2, static_cast<uint16_t>(value));
}
void AppendU16(std::string* out, uint16_t value) {
  out->push_back(static_cast<char>(value >> 8));
  out->push_back(static_cast<char>(value));
}
void AppendU32(std::string* out, uint32_t value) {
  AppendU16(out, static_cast<uint16_t>(value >> 16));
  AppendU16(out, static_cast<uint16_t>(value));
}
void PadToFour(std::string* out) {
  while (out->size() % 4 != 0) out->push_back('\0');
}

uint32_t Checksum(std::string_view data) {
  uint32_t sum = 0;
  size_t at = 0;
  for (; at + 4 <= data.size(); at += 4) sum += U32(data, at);
  uint32_t last = 0;
  for (int shift = 24; at < data.size(); ++at, shift -= 8) {
    last |= static_cast<uint32_t>(static_cast<uint8_t>(data[at])) << shift;
  }
  return sum + last;
}

// The tables of one face, by tag, each inside the file.
struct Directory {
  uint32_t version = 0;
  std::vector<std::pair<uint32_t, std::string_view>> tables;

  std::string_view Find(uint32_t tag) const {
    for (const auto& [t, data] : tables) {
      if (t == tag) return data;
    }
    return {};
  }
};

std::optional<Directory> ReadDirectory(std::string_view file, int index) {
  if (file.size() < 12 || index < 0) return std::nullopt;
  size_t start = 0;
  if (U32(file, 0) == kCollection) {
    const uint32_t faces = U32(file, 8);
    if (static_cast<uint32_t>(index) >= faces ||
        12 + 4 * static_cast<uint64_t>(faces) > file.size()) {
      return std::nullopt;
    }
    start = U32(file, 12 + 4 * static_cast<size_t>(index));
  } else if (index != 0) {
    return std::nullopt;
  }
  if (start + 12 > file.size()) return std::nullopt;
  Directory directory;
  directory.version = U32(file, start);
  const size_t count = U16(file, start + 4);
  if (start + 12 + 16 * count > file.size()) return std::nullopt;
  for (size_t i = 0; i < count; ++i) {
    const size_t record = start + 12 + 16 * i;
    const uint64_t offset = U32(file, record + 8);
    const uint64_t length = U32(file, record + 12);
    if (offset + length > file.size()) return std::nullopt;
    directory.tables.emplace_back(U32(file, record), file.substr(offset, length));
  }
  return directory;
}

// The glyphs of the source face: glyf as loca divides it.
class SourceGlyphs {
 public:
  SourceGlyphs(std::string_view loca, std::string_view glyf, bool long_offsets, uint32_t count)
      : loca_(loca), glyf_(glyf), long_offsets_(long_offsets), count_(count) {}

  // False when loca is shorter than the glyph count needs.
  bool Valid() const { return loca_.size() >= (count_ + size_t{1}) * (long_offsets_ ? 4 : 2); }
  uint32_t count() const { return count_; }

  // The glyph's data (empty for a glyph without outline); nullopt when loca points outside glyf.
  std::optional<std::string_view> Data(uint32_t glyph) const {
    const size_t begin = Offset(glyph), end = Offset(glyph + 1);
    if (begin > end || end > glyf_.size()) return std::nullopt;
    return glyf_.substr(begin, end - begin);
  }

 private:
  size_t Offset(uint32_t glyph) const {
    return long_offsets_ ? U32(loca_, 4 * size_t{glyph})
                         : 2 * size_t{U16(loca_, 2 * size_t{glyph})};
  }

  std::string_view loca_;
  std::string_view glyf_;
  bool long_offsets_;
  uint32_t count_;
};

// Calls visit(offset of the component's flags, component glyph id) for each component of a
// composite glyph. Returns the end of the component records, or nullopt when they run past the
// glyph's data.
template <typename Visit>
std::optional<size_t> ForEachComponent(std::string_view glyph, Visit&& visit) {
  size_t at = kGlyphHeaderSize;
  uint16_t flags = 0;
  do {
    if (at + 4 > glyph.size()) return std::nullopt;
    flags = U16(glyph, at);
    size_t size = 4 + ((flags & kArgsAreWords) ? 4 : 2);
    if (flags & kHaveScale) {
      size += 2;
    } else if (flags & kHaveXYScale) {
      size += 4;
    } else if (flags & kHaveTwoByTwo) {
      size += 8;
    }
    if (at + size > glyph.size()) return std::nullopt;
    visit(at, U16(glyph, at + 2));
    at += size;
  } while (flags & kMoreComponents);
  return at;
}

bool IsComposite(std::string_view glyph) {
  return glyph.size() >= kGlyphHeaderSize && static_cast<int16_t>(U16(glyph, 0)) < 0;
}

// Appends the glyph without its instructions (and without the padding after it). Returns false
// when the glyph's data is cut short.
bool AppendWithoutInstructions(std::string_view glyph, std::string* out) {
  if (glyph.empty()) return true;
  if (glyph.size() < kGlyphHeaderSize) return false;
  if (IsComposite(glyph)) {
    const size_t start = out->size();
    std::vector<size_t> flag_offsets;
    const std::optional<size_t> end =
        ForEachComponent(glyph, [&](size_t at, uint16_t) { flag_offsets.push_back(at); });
    if (!end) return false;
    out->append(glyph.substr(0, *end));
    for (const size_t at : flag_offsets) {
      PutU16(out, start + at, U16(glyph, at) & ~kHaveInstructions);
    }
    return true;
  }
  const size_t contours = U16(glyph, 0);
  const size_t instructions_at = kGlyphHeaderSize + 2 * contours;
  if (instructions_at + 2 > glyph.size()) return false;
  const size_t points = contours == 0 ? 0 : size_t{U16(glyph, instructions_at - 2)} + 1;
  const size_t flags_at = instructions_at + 2 + U16(glyph, instructions_at);
  // The coordinates follow the flags; their size depends on every point's flags.
  size_t at = flags_at, coordinate_bytes = 0;
  for (size_t point = 0; point < points;) {
    if (at >= glyph.size()) return false;
    const uint8_t flag = static_cast<uint8_t>(glyph[at++]);
    size_t repeat = 1;
    if (flag & kRepeat) {
      if (at >= glyph.size()) return false;
      repeat += static_cast<uint8_t>(glyph[at++]);
    }
    const size_t x = (flag & kXShort) ? 1 : (flag & kXSameOrPositive) ? 0 : 2;
    const size_t y = (flag & kYShort) ? 1 : (flag & kYSameOrPositive) ? 0 : 2;
    coordinate_bytes += (x + y) * repeat;
    point += repeat;
  }
  const size_t end = at + coordinate_bytes;
  if (end > glyph.size()) return false;
  out->append(glyph.substr(0, instructions_at));
  AppendU16(out, 0);
  out->append(glyph.substr(flags_at, end - flags_at));
  return true;
}

// Marks the glyphs the kept composites are built from, to any depth. False when a kept glyph's
// data lies outside glyf or its components are cut short.
bool AddComponents(const SourceGlyphs& glyphs, std::vector<uint8_t>* keep) {
  std::vector<uint32_t> pending;
  for (uint32_t g = 0; g < keep->size(); ++g) {
    if ((*keep)[g]) pending.push_back(g);
  }
  while (!pending.empty()) {
    const uint32_t glyph = pending.back();
    pending.pop_back();
    const std::optional<std::string_view> data = glyphs.Data(glyph);
    if (!data) return false;
    if (!IsComposite(*data)) continue;
    const bool whole = ForEachComponent(*data, [&](size_t, uint16_t component) {
                         if (component < keep->size() && !(*keep)[component]) {
                           (*keep)[component] = 1;
                           pending.push_back(component);
                         }
                       }).has_value();
    if (!whole) return false;
  }
  return true;
}

// The name table with only the English names up to the PostScript name.
std::string NameTable(std::string_view name) {
  if (name.size() < 6) return {};
  const size_t count = U16(name, 2);
  const size_t storage = U16(name, 4);
  if (6 + 12 * count > name.size()) return {};
  std::vector<size_t> kept;
  for (size_t i = 0; i < count; ++i) {
    const size_t record = 6 + 12 * i;
    const uint16_t platform = U16(name, record), language = U16(name, record + 4);
    const uint16_t id = U16(name, record + 6);
    const size_t end = storage + U16(name, record + 10) + size_t{U16(name, record + 8)};
    const bool english = platform == kUnicodePlatform ||
                         (platform == kMacPlatform && language == 0) ||
                         (platform == kWindowsPlatform && language == kWindowsEnglish);
    if (id <= kLastKeptNameId && english && end <= name.size()) kept.push_back(record);
  }
  std::string out;
  AppendU16(&out, 0);  // format 0: no language-tag records
  AppendU16(&out, static_cast<uint16_t>(kept.size()));
  AppendU16(&out, static_cast<uint16_t>(6 + 12 * kept.size()));
  std::string strings;
  for (const size_t record : kept) {
    out.append(name.substr(record, 8));
    const size_t length = U16(name, record + 8);
    AppendU16(&out, static_cast<uint16_t>(length));
    AppendU16(&out, static_cast<uint16_t>(strings.size()));
    strings.append(name.substr(storage + U16(name, record + 10), length));
  }
  return out + strings;
}

// A cmap that maps no character: one format 4 subtable holding only its closing segment.
std::string EmptyCmap() {
  std::string out;
  AppendU16(&out, 0);  // version
  AppendU16(&out, 1);  // one subtable
  AppendU16(&out, kWindowsPlatform);
  AppendU16(&out, 1);  // Unicode BMP
  AppendU32(&out, 12);
  for (const uint16_t value : {4, 24, 0,    // format, length, language
                               2, 2, 0, 0,  // segCountX2, searchRange, entrySelector, rangeShift
                               0xFFFF, 0, 0xFFFF, 1, 0}) {  // end, pad, start, delta, range offset
    AppendU16(&out, value);
  }
  return out;
}

// The font file of `tables` (sorted by tag), with head's whole-file checksum filled in.
std::string Assemble(std::vector<std::pair<uint32_t, std::string>> tables) {
  std::sort(tables.begin(), tables.end());
  const uint16_t count = static_cast<uint16_t>(tables.size());
  uint16_t power = 1, log2 = 0;
  while (power * 2 <= count) {
    power *= 2;
    ++log2;
  }
  size_t size = 12 + 16 * tables.size();
  for (const auto& [tag, data] : tables) size += (data.size() + 3) / 4 * 4;
  std::string out;
  out.reserve(size);
  AppendU32(&out, kTrueTypeVersion);
  AppendU16(&out, count);
  AppendU16(&out, static_cast<uint16_t>(power * 16));
  AppendU16(&out, log2);
  AppendU16(&out, static_cast<uint16_t>(count * 16 - power * 16));
  size_t offset = out.size() + 16 * tables.size();
  for (const auto& [tag, data] : tables) {
    AppendU32(&out, tag);
    AppendU32(&out, Checksum(data));
    AppendU32(&out, static_cast<uint32_t>(offset));
    AppendU32(&out, static_cast<uint32_t>(data.size()));
    offset += (data.size() + 3) / 4 * 4;
  }
  size_t head_at = 0;
  for (const auto& [tag, data] : tables) {
    if (tag == Tag("head")) head_at = out.size();
    out.append(data);
    PadToFour(&out);
  }
  PutU32(&out, head_at + kHeadChecksumAdjustment, kFileChecksum - Checksum(out));
  return out;
}

}  // namespace

TrueTypeSubset SubsetTrueType(std::string_view file, int index,
                              const std::vector<uint32_t>& glyphs) {
  using Status = TrueTypeSubset::Status;
  TrueTypeSubset result;
  const std::optional<Directory> directory = ReadDirectory(file, index);
  if (!directory) return result;
  const std::string_view glyf = directory->Find(Tag("glyf"));
  if (directory->version == kCffVersion || glyf.empty()) {
    result.status = Status::kNotTrueType;
    return result;
  }
  if (directory->version != kTrueTypeVersion && directory->version != kAppleTrueTypeVersion) {
    return result;
  }
  const std::string_view head = directory->Find(Tag("head"));
  const std::string_view hhea = directory->Find(Tag("hhea"));
  const std::string_view maxp = directory->Find(Tag("maxp"));
  const std::string_view loca = directory->Find(Tag("loca"));
  const std::string_view hmtx = directory->Find(Tag("hmtx"));
  if (head.size() < kHeadSize || hhea.size() < kHheaSize || maxp.size() < kMaxpNumGlyphs + 2) {
    return result;
  }
  const SourceGlyphs source(loca, glyf, U16(head, kHeadIndexToLocFormat) != 0,
                            U16(maxp, kMaxpNumGlyphs));
  const size_t metrics = U16(hhea, kHheaNumberOfHMetrics);
  if (!source.Valid() || source.count() == 0 || metrics == 0 ||
      hmtx.size() < 4 * metrics + 2 * (std::max<size_t>(source.count(), metrics) - metrics)) {
    return result;
  }

  std::vector<uint8_t> keep(source.count(), 0);
  keep[0] = 1;
  for (const uint32_t g : glyphs) {
    if (g < keep.size()) keep[g] = 1;
  }
  if (!AddComponents(source, &keep)) return result;
  uint32_t count = source.count();
  while (!keep[count - 1]) --count;

  // glyf and loca: kept glyphs without instructions, each starting on four bytes; others empty.
  size_t kept_bytes = 0;
  for (uint32_t g = 0; g < count; ++g) {
    if (keep[g]) kept_bytes += source.Data(g)->size() + 3;
  }
  std::string new_glyf;
  new_glyf.reserve(kept_bytes);
  std::vector<uint32_t> offsets(count + 1, 0);
  for (uint32_t g = 0; g < count; ++g) {
    offsets[g] = static_cast<uint32_t>(new_glyf.size());
    if (!keep[g]) continue;
    if (!AppendWithoutInstructions(*source.Data(g), &new_glyf)) return result;
    PadToFour(&new_glyf);
  }
  offsets[count] = static_cast<uint32_t>(new_glyf.size());
  const bool long_offsets = new_glyf.size() > kShortLocaLimit;
  std::string new_loca;
  new_loca.reserve(offsets.size() * 4);
  for (const uint32_t offset : offsets) {
    if (long_offsets) {
      AppendU32(&new_loca, offset);
    } else {
      AppendU16(&new_loca, static_cast<uint16_t>(offset / 2));
    }
  }

  // hmtx: a full metric per glyph, zero for the glyphs left out.
  std::string new_hmtx;
  new_hmtx.reserve(4 * size_t{count});
  for (uint32_t g = 0; g < count; ++g) {
    uint16_t advance = 0, bearing = 0;
    if (keep[g]) {
      advance = U16(hmtx, 4 * (std::min<size_t>(g, metrics - 1)));
      bearing =
          g < metrics ? U16(hmtx, 4 * size_t{g} + 2) : U16(hmtx, 4 * metrics + 2 * (g - metrics));
    }
    AppendU16(&new_hmtx, advance);
    AppendU16(&new_hmtx, bearing);
  }

  std::string new_head(head.substr(0, kHeadSize));
  PutU32(&new_head, kHeadChecksumAdjustment, 0);
  PutU16(&new_head, kHeadIndexToLocFormat, long_offsets ? 1 : 0);
  std::string new_hhea(hhea.substr(0, kHheaSize));
  PutU16(&new_hhea, kHheaNumberOfHMetrics, static_cast<uint16_t>(count));
  std::string new_maxp(maxp);
  PutU16(&new_maxp, kMaxpNumGlyphs, static_cast<uint16_t>(count));
  if (U32(maxp, 0) == kTrueTypeVersion && maxp.size() >= kMaxpVersion1Size) {
    PutU16(&new_maxp, kMaxpSizeOfInstructions, 0);
  }

  std::vector<std::pair<uint32_t, std::string>> tables;
  tables.emplace_back(Tag("head"), std::move(new_head));
  tables.emplace_back(Tag("hhea"), std::move(new_hhea));
  tables.emplace_back(Tag("maxp"), std::move(new_maxp));
  tables.emplace_back(Tag("hmtx"), std::move(new_hmtx));
  tables.emplace_back(Tag("loca"), std::move(new_loca));
  tables.emplace_back(Tag("glyf"), std::move(new_glyf));
  tables.emplace_back(Tag("cmap"), EmptyCmap());
  if (const std::string_view os2 = directory->Find(Tag("OS/2")); !os2.empty()) {
    tables.emplace_back(Tag("OS/2"), std::string(os2));
  }
  if (const std::string_view post = directory->Find(Tag("post")); post.size() >= kPostHeaderSize) {
    std::string new_post(post.substr(0, kPostHeaderSize));
    PutU32(&new_post, 0, kPostWithoutNames);
    tables.emplace_back(Tag("post"), std::move(new_post));
  }
  if (std::string name = NameTable(directory->Find(Tag("name"))); !name.empty()) {
    tables.emplace_back(Tag("name"), std::move(name));
  }
  result.bytes = Assemble(std::move(tables));
  result.status = Status::kMade;
  return result;
}

}  // namespace re::pdf
