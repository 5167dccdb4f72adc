// The font a text object names. The template model holds it and the shaper resolves it; this
// header is all of the text layer that the template model sees.
#ifndef REPORTENGINE_TEXT_FONT_SPEC_H_
#define REPORTENGINE_TEXT_FONT_SPEC_H_

#include <string>

namespace re {

// A font as a text object names it: face name as written in the template, size in whole points.
struct FontSpec {
  std::string name;  // e.g. "ＭＳ Ｐゴシック" or "Arial"
  int size_pt = 10;
  friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

}  // namespace re

#endif  // REPORTENGINE_TEXT_FONT_SPEC_H_
