#include "reportengine/text/font_resolver.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace re {
namespace {

constexpr char kLiberationRegular[] =
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr char kLiberationBold[] = "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf";

// A face is taken from its packaged place only when that file is the family's regular face;
// otherwise fontconfig finds it where it is installed.
TEST(FindFontFileTest, PackagedPlaceIsTakenOnlyForTheRightFaceElseFontconfigFindsIt) {
  // A copy of the regular Liberation Sans face, a place fontconfig does not know.
  char folder[] = "/tmp/font_resolver_test_XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const std::string copy = std::string(folder) + "/LiberationSans-Regular.ttf";
  std::filesystem::copy_file(kLiberationRegular, copy);
  const struct {
    const char* what;
    const char* face;
    std::vector<text::PackagedFace> packaged;
    bool packaged_taken;
  } cases[] = {
      {"at its place", "Arial", {{"Liberation Sans", copy.c_str()}}, true},
      {"not at its place", "ＭＳ ゴシック", {{"IPAGothic", "/nonexistent/ipag.ttf"}}, false},
      {"another family at its place", "ＭＳ ゴシック", {{"IPAGothic", copy.c_str()}}, false},
      {"a bold face at its place", "Arial", {{"Liberation Sans", kLiberationBold}}, false},
      {"no place known", "Arial", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FontFile by_fontconfig;
    std::string error;
    ASSERT_TRUE(FindFontFile(c.face, {}, &by_fontconfig, &error)) << error;
    FontFile found;
    ASSERT_TRUE(FindFontFile(c.face, c.packaged, &found, &error)) << error;
    EXPECT_EQ(found.file, c.packaged_taken ? copy : by_fontconfig.file);
    EXPECT_EQ(found.index, 0);
    EXPECT_EQ(found.family, by_fontconfig.family);
    EXPECT_EQ(found.no_internal_leading, by_fontconfig.no_internal_leading);
  }
  std::filesystem::remove_all(folder);
}

// The places in the table are where this machine's fontconfig finds the stand-ins too.
TEST(FindFontFileTest, EveryStandInIsAtItsPackagedPlace) {
  for (const text::FaceSubstitute& s : text::kFaceSubstitutes) {
    SCOPED_TRACE(std::string(s.family));
    const auto packaged =
        std::find_if(std::begin(text::kPackagedFaces), std::end(text::kPackagedFaces),
                     [&](const text::PackagedFace& p) { return p.family == s.family; });
    ASSERT_NE(packaged, std::end(text::kPackagedFaces));
    FontFile by_fontconfig;
    std::string error;
    ASSERT_TRUE(FindFontFile(s.windows_name, {}, &by_fontconfig, &error)) << error;
    EXPECT_EQ(by_fontconfig.file, packaged->file);
  }
}

}  // namespace
}  // namespace re
