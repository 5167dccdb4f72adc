#include "reportengine/text/font_metrics.h"

#include <gtest/gtest.h>

namespace re {
namespace {

TEST(FontMetricsTest, CharacterHeightIsPointsAt96DpiRoundedToWholePixels) {
  const struct {
    int pt;
    int px;
  } cases[] = {{7, 9}, {9, 12}, {10, 13}, {11, 15}, {12, 16}, {16, 21}, {18, 24},
               // 14.5 px and 2.5 px: halves round up
               {1, 1}, {2, 3}, {8, 11}};
  for (const auto& c : cases) EXPECT_EQ(CharHeightPx(c.pt), c.px) << c.pt << " pt";
}

TEST(FontMetricsTest, FaceWithoutInternalLeadingHasCellOfCharacterHeight) {
  // IPAGothic's Windows ascent and descent (units per em 2048) at 9 pt.
  const FontMetrics m = ComputeMetrics(9, 2048, 1802, 401, /*no_internal_leading=*/true);
  EXPECT_EQ(m.char_height_px, 12);
  EXPECT_EQ(m.ascent_px, 10);
  EXPECT_EQ(m.descent_px, 2);
  EXPECT_EQ(m.cell_height_px, 12);
  EXPECT_EQ(m.line_height_px, 14);
  EXPECT_NEAR(m.line_height_mm, 14 * 25.4 / 96, 1e-5);
  EXPECT_NEAR(m.ascent_mm, 10 * 25.4 / 96, 1e-5);
  EXPECT_NEAR(m.TextHeight(3), 3 * m.line_height_mm, 1e-5);
}

TEST(FontMetricsTest, FaceWithInternalLeadingKeepsItsOwnAscentAndDescent) {
  // Arial's (and Liberation Sans') Windows ascent and descent at 10 pt: 11.77 and 2.75 px.
  const FontMetrics m = ComputeMetrics(10, 2048, 1854, 434, /*no_internal_leading=*/false);
  EXPECT_EQ(m.char_height_px, 13);
  EXPECT_EQ(m.ascent_px, 12);
  EXPECT_EQ(m.descent_px, 3);
  EXPECT_EQ(m.cell_height_px, 15);
  EXPECT_EQ(m.line_height_px, 17);
}

}  // namespace
}  // namespace re
