// Colours, boxes and line styles: what a template describes and a prepared page draws with.
// All lengths are millimetres.
#ifndef REPORTENGINE_MODEL_GEOMETRY_H_
#define REPORTENGINE_MODEL_GEOMETRY_H_

#include <cstdint>

namespace re {

struct Color {
  uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Color&, const Color&) = default;
};

struct RectMm {
  float left = 0, top = 0, width = 0, height = 0;
  friend bool operator==(const RectMm&, const RectMm&) = default;
};

enum class LineStyle : uint8_t { kSolid, kDot };

}  // namespace re

#endif  // REPORTENGINE_MODEL_GEOMETRY_H_
