#include "reportengine/text/font_resolver.h"

#include <fontconfig/fontconfig.h>
#include <hb-ot.h>
#include <hb.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <utility>

#include "reportengine/text/font_table.h"
#include "reportengine/text/text_constants.h"
#include "reportengine/text/text_leak_scope.h"

namespace re {
namespace {

struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using PatternPtr = std::unique_ptr<FcPattern, PatternDeleter>;

const text::FaceSubstitute* SubstituteFor(std::string_view face_name) {
  for (const auto& s : text::kFaceSubstitutes) {
    if (s.windows_name == face_name) return &s;
  }
  return nullptr;
}

// True when one of the families fontconfig lists for the match is the requested one; fontconfig
// answers every query with its best guess, which may be any font at all.
bool HasFamily(const FcPattern* match, const std::string& family) {
  FcChar8* value = nullptr;
  for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &value) == FcResultMatch; ++i) {
    if (FcStrCmpIgnoreCase(value, reinterpret_cast<const FcChar8*>(family.c_str())) == 0) {
      return true;
    }
  }
  return false;
}

bool Fail(std::string_view face_name, std::string* error) {
  if (error) *error = std::string(text::kFontNotFound) + std::string(face_name);
  return false;
}

// Reads fontconfig's configuration the first time it is needed; false when it cannot.
bool FontconfigReady() {
  static std::once_flag init_once;
  static bool initialised = false;
  std::call_once(init_once, [] {
    LibraryLeakScope scope;
    initialised = FcInit() == FcTrue;
  });
  return initialised;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// True when `file` holds a face that names itself `family` (in any of its languages) and is
// neither bold nor italic.
bool IsRegularFaceOf(const std::string& file, std::string_view family) {
  hb_blob_t* blob = hb_blob_create_from_file_or_fail(file.c_str());
  if (blob == nullptr) return false;
  hb_face_t* face = hb_face_create(blob, 0);
  hb_blob_destroy(blob);
  bool named = false;
  unsigned count = 0;
  const hb_ot_name_entry_t* names = hb_ot_name_list_names(face, &count);
  for (unsigned i = 0; i < count && !named; ++i) {
    if (names[i].name_id != HB_OT_NAME_ID_FONT_FAMILY &&
        names[i].name_id != HB_OT_NAME_ID_TYPOGRAPHIC_FAMILY) {
      continue;
    }
    char text[128];
    unsigned size = sizeof text;
    hb_ot_name_get_utf8(face, names[i].name_id, names[i].language, &size, text);
    named = SameIgnoringAsciiCase(std::string_view(text, size), family);
  }
  // head's macStyle: bit 0 bold, bit 1 italic.
  constexpr size_t kMacStyle = 44;
  bool regular = false;
  {
    const FontTable head(face, HB_TAG('h', 'e', 'a', 'd'));
    regular = head.size() >= kMacStyle + 2 && (head.U16(kMacStyle) & 3) == 0;
  }
  hb_face_destroy(face);
  return named && regular;
}

// The packaged file of `family`, when it is there and is that family's regular face.
std::optional<std::filesystem::path> PackagedFile(std::span<const text::PackagedFace> packaged,
                                                  std::string_view family) {
  for (const text::PackagedFace& p : packaged) {
    if (p.family != family) continue;
    const std::string file(p.file);
    std::error_code ec;
    std::filesystem::path path = std::filesystem::canonical(file, ec);
    if (!ec && IsRegularFaceOf(path.string(), family)) return path;
  }
  return std::nullopt;
}

// The file fontconfig finds for the regular face of `family` and its face index.
std::optional<std::pair<std::filesystem::path, int>> FontconfigFile(const std::string& family) {
  if (!FontconfigReady()) return std::nullopt;
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return std::nullopt;
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());

  FcResult result = FcResultNoMatch;
  PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
  if (!match || result != FcResultMatch || !HasFamily(match.get(), family)) return std::nullopt;
  FcChar8* file = nullptr;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch) return std::nullopt;
  int index = 0;
  FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);

  std::error_code ec;
  std::filesystem::path path = std::filesystem::canonical(reinterpret_cast<const char*>(file), ec);
  if (ec) return std::nullopt;
  return std::make_pair(std::move(path), index);
}

}  // namespace

std::string_view FamilyForFace(std::string_view face_name) {
  const text::FaceSubstitute* s = SubstituteFor(face_name);
  return s ? s->family : face_name;
}

bool FindFontFile(std::string_view face_name, FontFile* out, std::string* error) {
  return FindFontFile(face_name, text::kPackagedFaces, out, error);
}

bool FindFontFile(std::string_view face_name, std::span<const text::PackagedFace> packaged,
                  FontFile* out, std::string* error) {
  if (face_name.empty()) return Fail(face_name, error);
  const std::string family(FamilyForFace(face_name));
  std::filesystem::path path;
  int index = 0;
  if (std::optional<std::filesystem::path> file = PackagedFile(packaged, family)) {
    path = std::move(*file);
  } else if (auto found = FontconfigFile(family)) {
    std::tie(path, index) = std::move(*found);
  } else {
    return Fail(face_name, error);
  }
  const text::FaceSubstitute* s = SubstituteFor(face_name);
  out->family = family;
  out->file = path.string();
  out->index = index;
  out->no_internal_leading = s && s->no_internal_leading;
  return true;
}

bool LocateSavedFont(std::string_view face_name, std::string_view file_name, int index,
                     FontFile* out, std::string* error) {
  FontFile by_face;
  const bool found = FindFontFile(face_name, &by_face, nullptr);
  if (found && std::filesystem::path(by_face.file).filename().string() == file_name &&
      by_face.index == index) {
    *out = by_face;
    return true;
  }
  if (!file_name.empty() && FontconfigReady()) {
    std::unique_ptr<FcObjectSet, decltype(&FcObjectSetDestroy)> objects(
        FcObjectSetBuild(FC_FILE, FC_INDEX, nullptr), FcObjectSetDestroy);
    PatternPtr any(FcPatternCreate());
    std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> list(
        objects && any ? FcFontList(nullptr, any.get(), objects.get()) : nullptr,
        FcFontSetDestroy);
    for (int i = 0; list && i < list->nfont; ++i) {
      FcChar8* file = nullptr;
      int face_index = 0;
      if (FcPatternGetString(list->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
      FcPatternGetInteger(list->fonts[i], FC_INDEX, 0, &face_index);
      const std::filesystem::path path(reinterpret_cast<const char*>(file));
      if (face_index != index || path.filename().string() != file_name) continue;
      std::error_code ec;
      const std::filesystem::path real = std::filesystem::canonical(path, ec);
      if (ec) continue;
      const text::FaceSubstitute* s = SubstituteFor(face_name);
      out->family = std::string(FamilyForFace(face_name));
      out->file = real.string();
      out->index = face_index;
      out->no_internal_leading = s && s->no_internal_leading;
      return true;
    }
  }
  if (found) {
    *out = by_face;
    return true;
  }
  return Fail(face_name, error);
}

}  // namespace re
