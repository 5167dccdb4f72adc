#include "reportengine/layout/prepared_report_file.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "common/pending_file.h"
#include "reportengine/text/font_resolver.h"

namespace re {
namespace {

constexpr size_t kMagicSize = sizeof(kPreparedReportMagic) - 1;
constexpr uint32_t kNoLine = 0xFFFFFFFFu;
// No paper is larger; a renderer sizes its page images from these.
constexpr float kMaxPageSideMm = 10000.0f;

enum ItemTag : uint8_t { kTagText = 1, kTagLine = 2, kTagRect = 3 };

std::string_view FileNameOf(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

class Writer {
 public:
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void F32(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    U32(bits);
  }
  void Str(std::string_view s) {
    U32(static_cast<uint32_t>(s.size()));
    out_.append(s);
  }
  void Raw(std::string_view s) { out_.append(s); }
  void Col(const Color& c) {
    U8(c.r);
    U8(c.g);
    U8(c.b);
  }
  void Rect(const RectMm& r) {
    F32(r.left);
    F32(r.top);
    F32(r.width);
    F32(r.height);
  }
  std::string Take() { return std::move(out_); }

 private:
  std::string out_;
};

// Reads little-endian values; once anything runs past the end, every later read fails too.
class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  bool ok() const { return ok_; }
  size_t remaining() const { return in_.size() - pos_; }
  bool AtEnd() const { return pos_ == in_.size(); }

  uint8_t U8() {
    if (!Need(1)) return 0;
    return static_cast<uint8_t>(in_[pos_++]);
  }
  uint32_t U32() {
    if (!Need(4)) return 0;
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(in_[pos_++])} << (8 * i);
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  // Lengths and sizes: a damaged file could hold NaN or infinity, which no renderer should get.
  float F32() {
    const uint32_t bits = U32();
    float v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) ok_ = false;
    return ok_ ? v : 0.0f;
  }
  std::string Str() {
    const uint32_t n = U32();
    if (!Need(n)) return {};
    std::string s(in_.substr(pos_, n));
    pos_ += n;
    return s;
  }
  std::string_view Raw(size_t n) {
    if (!Need(n)) return {};
    const std::string_view s = in_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  Color Col() {
    Color c;
    c.r = U8();
    c.g = U8();
    c.b = U8();
    return c;
  }
  RectMm Rect() {
    RectMm r;
    r.left = F32();
    r.top = F32();
    r.width = F32();
    r.height = F32();
    return r;
  }
  // A count of records of at least `min_record_size` bytes each; fails when the rest of the
  // input cannot hold that many, so a damaged count never drives a huge allocation.
  uint32_t Count(size_t min_record_size) {
    const uint32_t n = U32();
    if (ok_ && static_cast<uint64_t>(n) * min_record_size > remaining()) ok_ = false;
    return ok_ ? n : 0;
  }
  void Fail() { ok_ = false; }

 private:
  bool Need(size_t n) {
    if (ok_ && n > remaining()) ok_ = false;
    return ok_;
  }
  std::string_view in_;
  size_t pos_ = 0;
  bool ok_ = true;
};

void WriteLine(Writer& w, const ShapedLine& line) {
  w.I32(line.font);
  w.F32(line.size_pt);
  w.Str(line.text);
  w.U32(static_cast<uint32_t>(line.glyphs.size()));
  for (const Glyph& g : line.glyphs) {
    w.U32(g.id);
    w.U32(g.cluster);
    w.F32(g.x);
    w.F32(g.y);
  }
  w.F32(line.width);
  w.F32(line.scale);
}

struct ItemWriter {
  Writer& w;
  const std::unordered_map<const ShapedLine*, uint32_t>& line_index;

  void operator()(const TextItem& t) const {
    w.U8(kTagText);
    w.U32(t.line ? line_index.at(t.line.get()) : kNoLine);
    w.F32(t.x);
    w.F32(t.y);
    w.Col(t.color);
    w.Rect(t.clip);
  }
  void operator()(const LineItem& l) const {
    w.U8(kTagLine);
    w.F32(l.x1);
    w.F32(l.y1);
    w.F32(l.x2);
    w.F32(l.y2);
    w.F32(l.width);
    w.Col(l.color);
    w.U8(static_cast<uint8_t>(l.style));
  }
  void operator()(const RectItem& r) const {
    w.U8(kTagRect);
    w.Rect(r.rect);
    w.U8(r.fill ? 1 : 0);
    w.Col(r.fill.value_or(Color{}));
    w.U8(r.outline ? 1 : 0);
    w.Col(r.outline.value_or(Color{}));
    w.F32(r.outline_width);
  }
};

}  // namespace

std::string SerializePreparedReport(const PreparedReport& report) {
  // Distinct shaped lines in order of first use, so equal reports give equal bytes.
  std::unordered_map<const ShapedLine*, uint32_t> line_index;
  std::vector<const ShapedLine*> lines;
  for (const PreparedPage& page : report.pages) {
    for (const PageItem& item : page.items) {
      if (const auto* t = std::get_if<TextItem>(&item); t && t->line) {
        if (line_index.emplace(t->line.get(), static_cast<uint32_t>(lines.size())).second) {
          lines.push_back(t->line.get());
        }
      }
    }
  }

  Writer w;
  w.Raw(std::string_view(kPreparedReportMagic, kMagicSize));
  w.U32(kPreparedReportVersion);
  w.U32(static_cast<uint32_t>(report.fonts.size()));
  // Fonts by face name and file name only: the file opens on a machine that has the same fonts
  // installed in other folders.
  for (const FontFace& f : report.fonts) {
    w.Str(f.name);
    w.Str(FileNameOf(f.file));
    w.I32(f.index);
  }
  w.U32(static_cast<uint32_t>(lines.size()));
  for (const ShapedLine* line : lines) WriteLine(w, *line);
  w.U32(static_cast<uint32_t>(report.pages.size()));
  const ItemWriter item_writer{w, line_index};
  for (const PreparedPage& page : report.pages) {
    w.F32(page.width);
    w.F32(page.height);
    w.U32(static_cast<uint32_t>(page.items.size()));
    for (const PageItem& item : page.items) std::visit(item_writer, item);
  }
  return w.Take();
}

namespace {

// Why bytes are not a readable prepared report, in the words the preview shows.
enum class ParseFailure { kNone, kNotPrepared, kVersion, kDamaged, kTrailingData };

const char* FailureText(ParseFailure failure) {
  switch (failure) {
    case ParseFailure::kNone:
      break;
    case ParseFailure::kNotPrepared:
      return "not a prepared report file";
    case ParseFailure::kVersion:
      return "unsupported prepared report version";
    case ParseFailure::kDamaged:
      return "the prepared report file is damaged";
    case ParseFailure::kTrailingData:
      return "the prepared report file has unexpected data at its end";
  }
  return "";
}

// The magic and the format version.
ParseFailure ReadHeader(Reader& r) {
  if (r.Raw(kMagicSize) != std::string_view(kPreparedReportMagic, kMagicSize)) {
    return ParseFailure::kNotPrepared;
  }
  const uint32_t version = r.U32();
  if (!r.ok()) return ParseFailure::kNotPrepared;
  if (version != kPreparedReportVersion) return ParseFailure::kVersion;
  return ParseFailure::kNone;
}

std::vector<FontFace> ReadFonts(Reader& r) {
  std::vector<FontFace> fonts(r.Count(12));
  for (FontFace& f : fonts) {
    f.name = r.Str();
    f.file = r.Str();
    f.index = r.I32();
  }
  return fonts;
}

// One shaped line, or null (and `r` failed) when it is damaged: its font must be one of the
// `font_count` listed, its scale a narrowing, its glyphs' clusters inside its text (renderers map
// glyphs back to the text through them, to find and copy).
std::shared_ptr<const ShapedLine> ReadLine(Reader& r, size_t font_count) {
  auto line = std::make_shared<ShapedLine>();
  line->font = r.I32();
  line->size_pt = r.F32();
  line->text = r.Str();
  line->glyphs.resize(r.Count(16));
  for (Glyph& g : line->glyphs) {
    g.id = r.U32();
    g.cluster = r.U32();
    g.x = r.F32();
    g.y = r.F32();
  }
  line->width = r.F32();
  line->scale = r.F32();
  if (!(line->scale > 0 && line->scale <= 1)) r.Fail();
  if (line->font < 0 || static_cast<size_t>(line->font) >= font_count) r.Fail();
  for (const Glyph& g : line->glyphs) {
    if (g.cluster > line->text.size()) r.Fail();
  }
  if (!r.ok()) return nullptr;
  return line;
}

std::vector<std::shared_ptr<const ShapedLine>> ReadLines(Reader& r, size_t font_count) {
  std::vector<std::shared_ptr<const ShapedLine>> lines(r.Count(20));
  for (auto& slot : lines) {
    slot = ReadLine(r, font_count);
    if (!r.ok()) break;
  }
  return lines;
}

TextItem ReadTextItem(Reader& r, const std::vector<std::shared_ptr<const ShapedLine>>& lines) {
  TextItem t;
  const uint32_t index = r.U32();
  if (index != kNoLine) {
    if (index >= lines.size()) r.Fail();
    else t.line = lines[index];
  }
  t.x = r.F32();
  t.y = r.F32();
  t.color = r.Col();
  t.clip = r.Rect();
  return t;
}

LineItem ReadLineItem(Reader& r) {
  LineItem l;
  l.x1 = r.F32();
  l.y1 = r.F32();
  l.x2 = r.F32();
  l.y2 = r.F32();
  l.width = r.F32();
  l.color = r.Col();
  const uint8_t style = r.U8();
  if (style > static_cast<uint8_t>(LineStyle::kDot)) r.Fail();
  l.style = static_cast<LineStyle>(style);
  return l;
}

RectItem ReadRectItem(Reader& r) {
  RectItem x;
  x.rect = r.Rect();
  const bool has_fill = r.U8() != 0;
  const Color fill = r.Col();
  const bool has_outline = r.U8() != 0;
  const Color outline = r.Col();
  x.outline_width = r.F32();
  if (has_fill) x.fill = fill;
  if (has_outline) x.outline = outline;
  else x.outline.reset();
  return x;
}

// One item by its tag; an unknown tag fails `r`.
PageItem ReadItem(Reader& r, const std::vector<std::shared_ptr<const ShapedLine>>& lines) {
  switch (r.U8()) {
    case kTagText:
      return ReadTextItem(r, lines);
    case kTagLine:
      return ReadLineItem(r);
    case kTagRect:
      return ReadRectItem(r);
    default:
      r.Fail();
      return PageItem{};
  }
}

std::vector<PreparedPage> ReadPages(Reader& r,
                                    const std::vector<std::shared_ptr<const ShapedLine>>& lines) {
  std::vector<PreparedPage> pages(r.Count(12));
  for (PreparedPage& page : pages) {
    if (!r.ok()) break;
    page.width = r.F32();
    page.height = r.F32();
    if (!(page.width > 0 && page.width <= kMaxPageSideMm && page.height > 0 &&
          page.height <= kMaxPageSideMm)) {
      r.Fail();
    }
    page.items.resize(r.Count(1));
    for (PageItem& item : page.items) {
      item = ReadItem(r, lines);
      if (!r.ok()) break;
    }
  }
  return pages;
}

}  // namespace

std::optional<PreparedReport> ParsePreparedReport(std::string_view bytes, std::string* error) {
  Reader r(bytes);
  PreparedReport report;
  ParseFailure failure = ReadHeader(r);
  if (failure == ParseFailure::kNone) {
    report.fonts = ReadFonts(r);
    const auto lines = ReadLines(r, report.fonts.size());
    report.pages = ReadPages(r, lines);
    if (!r.ok()) failure = ParseFailure::kDamaged;
    else if (!r.AtEnd()) failure = ParseFailure::kTrailingData;
  }
  if (failure != ParseFailure::kNone) {
    if (error) *error = FailureText(failure);
    return std::nullopt;
  }
  return report;
}

bool SavePreparedReport(const PreparedReport& report, const std::string& path,
                        std::string* error) {
  const std::string bytes = SerializePreparedReport(report);
  common::PendingFile file;
  if (!file.Create(path, common::FileKind::kData) || !file.Write(bytes) || !file.Commit()) {
    if (error) *error = "Cannot write file " + path;
    return false;
  }
  return true;
}

std::optional<PreparedReport> LoadPreparedReport(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "Cannot open file " + path;
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) {
    if (error) *error = "Cannot read file " + path;
    return std::nullopt;
  }
  std::optional<PreparedReport> report = ParsePreparedReport(content.str(), error);
  if (!report) return std::nullopt;
  for (FontFace& face : report->fonts) {
    FontFile found;
    if (!LocateSavedFont(face.name, FileNameOf(face.file), face.index, &found, error)) {
      return std::nullopt;
    }
    face.file = found.file;
    face.index = found.index;
  }
  return report;
}

}  // namespace re
