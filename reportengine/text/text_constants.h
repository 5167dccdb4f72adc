// Fixed texts and numbers of the engine's text handling: the error texts it reports, the device
// it measures for, the faces it stands in for, and where the hyphenation patterns live.
#ifndef REPORTENGINE_TEXT_TEXT_CONSTANTS_H_
#define REPORTENGINE_TEXT_TEXT_CONSTANTS_H_

#include <string_view>

namespace re::text {

// Error texts; the face name or size follows them.
inline constexpr std::string_view kFontNotFound = "Font not found: ";
inline constexpr std::string_view kFontUnreadable = "Font file cannot be read: ";
inline constexpr std::string_view kFontSizeInvalid = "Invalid font size: ";
inline constexpr std::string_view kHyphenationUnreadable = "Hyphenation patterns cannot be read: ";
inline constexpr std::string_view kHyphenationNotKoi8r = "Hyphenation patterns are not KOI8-R: ";
// A library the engine loads on first use that cannot be loaded: its soname, the loader's text.
inline constexpr char kLibraryUnloadable[] = "ライブラリ %s を読み込めません: %s";

// The templates are drawn for a Windows screen of 96 pixels per inch.
inline constexpr int kDevicePixelsPerInch = 96;
inline constexpr int kPointsPerInch = 72;
inline constexpr float kMmPerInch = 25.4f;
inline constexpr float kMmPerPixel = kMmPerInch / kDevicePixelsPerInch;

// Extra space between two lines of one text, in pixels.
inline constexpr int kLineSpacingPx = 2;

// Widths are sums of floats: a text that fits exactly must not fail by a rounding error (mm).
inline constexpr float kWidthToleranceMm = 1e-4f;

// Sizes a text object may ask for, in whole points.
inline constexpr int kMinFontSizePt = 1;
inline constexpr int kMaxFontSizePt = 1000;

// The Windows faces the templates name, and the installed family that stands in for each.
// The Japanese stand-ins take over the Windows faces' trait of having no internal leading.
struct FaceSubstitute {
  std::string_view windows_name;
  std::string_view family;
  bool no_internal_leading;
};
inline constexpr FaceSubstitute kFaceSubstitutes[] = {
    {"ＭＳ Ｐゴシック", "IPAPGothic", true},
    {"ＭＳ ゴシック", "IPAGothic", true},
    {"ＭＳ Ｐ明朝", "IPAPMincho", true},
    {"ＭＳ 明朝", "IPAMincho", true},
    {"Arial", "Liberation Sans", false},
};

// Where the packages of the stand-ins (fonts-ipafont-gothic, fonts-ipafont-mincho,
// fonts-liberation2) put their regular faces. A file found there whose own names say it is that
// family is taken without asking fontconfig, which takes longer to read its configuration than
// a one-page report takes to print.
struct PackagedFace {
  std::string_view family;
  std::string_view file;
};
inline constexpr PackagedFace kPackagedFaces[] = {
    {"IPAPGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf"},
    {"IPAGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"},
    {"IPAPMincho", "/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf"},
    {"IPAMincho", "/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf"},
    {"Liberation Sans", "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"},
};

// Russian hyphenation patterns (package hyphen-ru), KOI8-R encoded.
inline constexpr char kRussianHyphenationDictionary[] = "/usr/share/hyphen/hyph_ru_RU.dic";
// The libraries loaded on first use (text_libraries.h), by the sonames their packages install
// (libharfbuzz0b, libfontconfig1, libhyphen0).
inline constexpr char kHarfBuzzLibrary[] = "libharfbuzz.so.0";
inline constexpr char kFontconfigLibrary[] = "libfontconfig.so.1";
inline constexpr char kHyphenLibrary[] = "libhyphen.so.0";
// Fewest letters left on either side of a hyphenation point.
inline constexpr int kMinHyphenationPart = 2;

// What ends a word split by hyphenation.
inline constexpr std::string_view kHyphen = "-";

}  // namespace re::text

#endif  // REPORTENGINE_TEXT_TEXT_CONSTANTS_H_
