// Builds small prepared reports for the PDF writer's tests and benchmark: text shaped with
// HarfBuzz in the installed IPA and Liberation fonts, lines and rectangles, plus helpers that
// run the command-line PDF readers.
#ifndef REPORTENGINE_PDF_PDF_TEST_FIXTURE_H_
#define REPORTENGINE_PDF_PDF_TEST_FIXTURE_H_

#include <hb.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "reportengine/layout/prepared_page.h"

namespace re::pdf::testing {

inline constexpr char kPGothicFile[] = "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf";
inline constexpr char kGothicFile[] = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
inline constexpr char kMinchoFile[] = "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf";
inline constexpr char kArialFile[] = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

inline constexpr float kMmPerPt = 25.4f / 72.0f;

// A report under construction; AddFont returns the index ShapedLine::font uses.
class ReportBuilder {
 public:
  ~ReportBuilder() {
    for (auto& [index, font] : hb_fonts_) hb_font_destroy(font);
  }

  int AddFont(const std::string& name, const std::string& file) {
    report_.fonts.push_back({name, file, 0});
    return static_cast<int>(report_.fonts.size() - 1);
  }

  // Shapes `text` in one line; glyph x positions from 0 in mm, extra_spacing_mm added after
  // every glyph (to test positions that differ from the font's advances).
  std::shared_ptr<const ShapedLine> Shape(int font, float size_pt, const std::string& text,
                                          float extra_spacing_mm = 0) {
    hb_font_t* hb_font = HbFont(font);
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, text.data(), static_cast<int>(text.size()), 0,
                       static_cast<int>(text.size()));
    hb_buffer_guess_segment_properties(buffer);
    hb_shape(hb_font, buffer, nullptr, 0);
    unsigned count = 0;
    const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(buffer, &count);
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(buffer, &count);
    const float mm_per_unit =
        size_pt * kMmPerPt / static_cast<float>(hb_face_get_upem(hb_font_get_face(hb_font)));
    auto line = std::make_shared<ShapedLine>();
    line->font = font;
    line->size_pt = size_pt;
    line->text = text;
    float pen = 0;
    for (unsigned i = 0; i < count; ++i) {
      line->glyphs.push_back({info[i].codepoint, info[i].cluster,
                              pen + pos[i].x_offset * mm_per_unit,
                              -pos[i].y_offset * mm_per_unit});
      pen += pos[i].x_advance * mm_per_unit + extra_spacing_mm;
    }
    line->width = pen;
    hb_buffer_destroy(buffer);
    return line;
  }

  PreparedPage& NewPage() { return report_.pages.emplace_back(); }

  // Puts `text` with its baseline origin at (x, y) mm, clipped to `clip` (default: none).
  TextItem& Text(PreparedPage& page, int font, float size_pt, float x, float y,
                 const std::string& text, RectMm clip = {}, Color color = {}) {
    TextItem item;
    item.line = Shape(font, size_pt, text);
    item.x = x;
    item.y = y;
    item.clip = clip;
    item.color = color;
    page.items.push_back(std::move(item));
    return std::get<TextItem>(page.items.back());
  }

  PreparedReport& report() { return report_; }

 private:
  hb_font_t* HbFont(int font) {
    auto it = hb_fonts_.find(font);
    if (it != hb_fonts_.end()) return it->second;
    hb_blob_t* blob = hb_blob_create_from_file(report_.fonts[font].file.c_str());
    hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(report_.fonts[font].index));
    hb_font_t* hb_font = hb_font_create(face);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    hb_fonts_[font] = hb_font;
    return hb_font;
  }

  PreparedReport report_;
  std::map<int, hb_font_t*> hb_fonts_;
};

// Runs a shell command; returns its exit status and standard output.
inline std::pair<int, std::string> RunTool(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, output};
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace re::pdf::testing

#endif  // REPORTENGINE_PDF_PDF_TEST_FIXTURE_H_
