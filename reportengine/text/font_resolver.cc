#include "reportengine/text/font_resolver.h"

#include <fontconfig/fontconfig.h>

#include <filesystem>
#include <memory>
#include <mutex>

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

}  // namespace

std::string_view FamilyForFace(std::string_view face_name) {
  const text::FaceSubstitute* s = SubstituteFor(face_name);
  return s ? s->family : face_name;
}

bool FindFontFile(std::string_view face_name, FontFile* out, std::string* error) {
  static std::once_flag init_once;
  static bool initialised = false;
  std::call_once(init_once, [] {
    LibraryLeakScope scope;
    initialised = FcInit() == FcTrue;
  });
  if (!initialised || face_name.empty()) return Fail(face_name, error);

  const std::string family(FamilyForFace(face_name));
  PatternPtr pattern(FcPatternCreate());
  if (!pattern) return Fail(face_name, error);
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern.get(), FC_SLANT, FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());

  FcResult result = FcResultNoMatch;
  PatternPtr match(FcFontMatch(nullptr, pattern.get(), &result));
  if (!match || result != FcResultMatch || !HasFamily(match.get(), family)) {
    return Fail(face_name, error);
  }
  FcChar8* file = nullptr;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &file) != FcResultMatch) {
    return Fail(face_name, error);
  }
  int index = 0;
  FcPatternGetInteger(match.get(), FC_INDEX, 0, &index);

  std::error_code ec;
  std::filesystem::path path = std::filesystem::canonical(reinterpret_cast<const char*>(file), ec);
  if (ec) return Fail(face_name, error);

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
  if (!file_name.empty()) {
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
