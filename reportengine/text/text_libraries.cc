#include "reportengine/text/text_libraries.h"

#include <dlfcn.h>
#include <fontconfig/fontconfig.h>
#include <hb-ot.h>
#include <hb.h>
#include <hyphen.h>

#include <cstdarg>
#include <mutex>
#include <stdexcept>
#include <string>

#include "common/text_format.h"
#include "reportengine/text/text_constants.h"

// The functions the engine (and its tests) call, per library. A function missing here fails
// the program's link; one listed here but missing from the installed library fails its loading.
#define REPORTENGINE_HARFBUZZ_FUNCTIONS(X) \
  X(hb_blob_create_from_file)              \
  X(hb_blob_create_from_file_or_fail)      \
  X(hb_blob_destroy)                       \
  X(hb_blob_get_data)                      \
  X(hb_buffer_add_utf8)                    \
  X(hb_buffer_clear_contents)              \
  X(hb_buffer_create)                      \
  X(hb_buffer_destroy)                     \
  X(hb_buffer_get_glyph_infos)             \
  X(hb_buffer_get_glyph_positions)         \
  X(hb_buffer_guess_segment_properties)    \
  X(hb_face_create)                        \
  X(hb_face_destroy)                       \
  X(hb_face_get_glyph_count)               \
  X(hb_face_get_upem)                      \
  X(hb_face_reference_table)               \
  X(hb_font_create)                        \
  X(hb_font_destroy)                       \
  X(hb_font_get_face)                      \
  X(hb_font_get_glyph_extents)             \
  X(hb_font_get_h_extents)                 \
  X(hb_font_set_scale)                     \
  X(hb_ot_name_get_utf8)                   \
  X(hb_ot_name_list_names)                 \
  X(hb_shape)

#define REPORTENGINE_FONTCONFIG_FUNCTIONS(X) \
  X(FcConfigSubstitute)                      \
  X(FcDefaultSubstitute)                     \
  X(FcFontList)                              \
  X(FcFontMatch)                             \
  X(FcFontSetDestroy)                        \
  X(FcInit)                                  \
  X(FcObjectSetDestroy)                      \
  X(FcObjectSetVaBuild)                      \
  X(FcPatternAddInteger)                     \
  X(FcPatternAddString)                      \
  X(FcPatternCreate)                         \
  X(FcPatternDestroy)                        \
  X(FcPatternGetInteger)                     \
  X(FcPatternGetString)                      \
  X(FcStrCmpIgnoreCase)

#define REPORTENGINE_HYPHEN_FUNCTIONS(X) \
  X(hnj_hyphen_free)                     \
  X(hnj_hyphen_hyphenate3)               \
  X(hnj_hyphen_load)

#define REPORTENGINE_SLOT(name) decltype(&::name) name = nullptr;
#define REPORTENGINE_TAKE(name) library.Take(#name, &name);

namespace re {
namespace {

// One library opened by its soname while its functions are taken from it; closed again unless
// Keep() is called, so that a library that lacks a function is not left half in use.
class OpenedLibrary {
 public:
  explicit OpenedLibrary(const char* soname)
      : soname_(soname), handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) Fail();
  }
  ~OpenedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  OpenedLibrary(const OpenedLibrary&) = delete;
  OpenedLibrary& operator=(const OpenedLibrary&) = delete;

  template <typename Function>
  void Take(const char* name, Function* slot) {
    dlerror();
    void* address = dlsym(handle_, name);
    if (address == nullptr) Fail();
    *slot = reinterpret_cast<Function>(address);
  }
  // The library stays loaded for the rest of the process.
  void Keep() { handle_ = nullptr; }

 private:
  [[noreturn]] void Fail() const {
    const char* reason = dlerror();
    throw std::runtime_error(
        common::FillIn(text::kLibraryUnloadable, {soname_, reason != nullptr ? reason : ""}));
  }

  const char* soname_;
  void* handle_;  // owned until Keep()
};

// `Functions` (one of the tables below) taken from its library on the first call of Get() that
// succeeds; a load that failed is tried again by the next call.
template <typename Functions>
class LoadedOnFirstUse {
 public:
  static const Functions& Get() {
    static std::once_flag once;
    static Functions functions;
    std::call_once(once, [] {
      OpenedLibrary library(Functions::kSoname);
      functions.TakeFrom(library);
      library.Keep();
    });
    return functions;
  }
};

struct HarfBuzzFunctions {
  static constexpr const char* kSoname = text::kHarfBuzzLibrary;
  REPORTENGINE_HARFBUZZ_FUNCTIONS(REPORTENGINE_SLOT)
  void TakeFrom(OpenedLibrary& library) { REPORTENGINE_HARFBUZZ_FUNCTIONS(REPORTENGINE_TAKE) }
};
struct FontconfigFunctions {
  static constexpr const char* kSoname = text::kFontconfigLibrary;
  REPORTENGINE_FONTCONFIG_FUNCTIONS(REPORTENGINE_SLOT)
  void TakeFrom(OpenedLibrary& library) { REPORTENGINE_FONTCONFIG_FUNCTIONS(REPORTENGINE_TAKE) }
};
struct HyphenFunctions {
  static constexpr const char* kSoname = text::kHyphenLibrary;
  REPORTENGINE_HYPHEN_FUNCTIONS(REPORTENGINE_SLOT)
  void TakeFrom(OpenedLibrary& library) { REPORTENGINE_HYPHEN_FUNCTIONS(REPORTENGINE_TAKE) }
};

using HarfBuzz = LoadedOnFirstUse<HarfBuzzFunctions>;
using Fontconfig = LoadedOnFirstUse<FontconfigFunctions>;
using Hyphen = LoadedOnFirstUse<HyphenFunctions>;

}  // namespace

void PreloadTextLibraries() { HarfBuzz::Get(); }

}  // namespace re

// The forwarding functions. Hidden: Kavel exports its own symbols to its window module, and Qt
// there must reach the real HarfBuzz and fontconfig, not these. A destroy function given
// nothing has nothing to do and loads nothing, so a destructor never throws.
#define REPORTENGINE_FORWARD extern "C" __attribute__((visibility("hidden")))

using re::Fontconfig;
using re::HarfBuzz;
using re::Hyphen;

REPORTENGINE_FORWARD hb_blob_t* hb_blob_create_from_file(const char* file_name) {
  return HarfBuzz::Get().hb_blob_create_from_file(file_name);
}
REPORTENGINE_FORWARD hb_blob_t* hb_blob_create_from_file_or_fail(const char* file_name) {
  return HarfBuzz::Get().hb_blob_create_from_file_or_fail(file_name);
}
REPORTENGINE_FORWARD void hb_blob_destroy(hb_blob_t* blob) {
  if (blob != nullptr) HarfBuzz::Get().hb_blob_destroy(blob);
}
REPORTENGINE_FORWARD const char* hb_blob_get_data(hb_blob_t* blob, unsigned int* length) {
  return HarfBuzz::Get().hb_blob_get_data(blob, length);
}
REPORTENGINE_FORWARD void hb_buffer_add_utf8(hb_buffer_t* buffer, const char* text,
                                             int text_length, unsigned int item_offset,
                                             int item_length) {
  HarfBuzz::Get().hb_buffer_add_utf8(buffer, text, text_length, item_offset, item_length);
}
REPORTENGINE_FORWARD void hb_buffer_clear_contents(hb_buffer_t* buffer) {
  HarfBuzz::Get().hb_buffer_clear_contents(buffer);
}
REPORTENGINE_FORWARD hb_buffer_t* hb_buffer_create() { return HarfBuzz::Get().hb_buffer_create(); }
REPORTENGINE_FORWARD void hb_buffer_destroy(hb_buffer_t* buffer) {
  if (buffer != nullptr) HarfBuzz::Get().hb_buffer_destroy(buffer);
}
REPORTENGINE_FORWARD hb_glyph_info_t* hb_buffer_get_glyph_infos(hb_buffer_t* buffer,
                                                                unsigned int* length) {
  return HarfBuzz::Get().hb_buffer_get_glyph_infos(buffer, length);
}
REPORTENGINE_FORWARD hb_glyph_position_t* hb_buffer_get_glyph_positions(hb_buffer_t* buffer,
                                                                        unsigned int* length) {
  return HarfBuzz::Get().hb_buffer_get_glyph_positions(buffer, length);
}
REPORTENGINE_FORWARD void hb_buffer_guess_segment_properties(hb_buffer_t* buffer) {
  HarfBuzz::Get().hb_buffer_guess_segment_properties(buffer);
}
REPORTENGINE_FORWARD hb_face_t* hb_face_create(hb_blob_t* blob, unsigned int index) {
  return HarfBuzz::Get().hb_face_create(blob, index);
}
REPORTENGINE_FORWARD void hb_face_destroy(hb_face_t* face) {
  if (face != nullptr) HarfBuzz::Get().hb_face_destroy(face);
}
REPORTENGINE_FORWARD unsigned int hb_face_get_glyph_count(const hb_face_t* face) {
  return HarfBuzz::Get().hb_face_get_glyph_count(face);
}
REPORTENGINE_FORWARD unsigned int hb_face_get_upem(const hb_face_t* face) {
  return HarfBuzz::Get().hb_face_get_upem(face);
}
REPORTENGINE_FORWARD hb_blob_t* hb_face_reference_table(const hb_face_t* face, hb_tag_t tag) {
  return HarfBuzz::Get().hb_face_reference_table(face, tag);
}
REPORTENGINE_FORWARD hb_font_t* hb_font_create(hb_face_t* face) {
  return HarfBuzz::Get().hb_font_create(face);
}
REPORTENGINE_FORWARD void hb_font_destroy(hb_font_t* font) {
  if (font != nullptr) HarfBuzz::Get().hb_font_destroy(font);
}
REPORTENGINE_FORWARD hb_face_t* hb_font_get_face(hb_font_t* font) {
  return HarfBuzz::Get().hb_font_get_face(font);
}
REPORTENGINE_FORWARD hb_bool_t hb_font_get_glyph_extents(hb_font_t* font, hb_codepoint_t glyph,
                                                         hb_glyph_extents_t* extents) {
  return HarfBuzz::Get().hb_font_get_glyph_extents(font, glyph, extents);
}
REPORTENGINE_FORWARD hb_bool_t hb_font_get_h_extents(hb_font_t* font,
                                                     hb_font_extents_t* extents) {
  return HarfBuzz::Get().hb_font_get_h_extents(font, extents);
}
REPORTENGINE_FORWARD void hb_font_set_scale(hb_font_t* font, int x_scale, int y_scale) {
  HarfBuzz::Get().hb_font_set_scale(font, x_scale, y_scale);
}
REPORTENGINE_FORWARD unsigned int hb_ot_name_get_utf8(hb_face_t* face, hb_ot_name_id_t name_id,
                                                      hb_language_t language,
                                                      unsigned int* text_size, char* text) {
  return HarfBuzz::Get().hb_ot_name_get_utf8(face, name_id, language, text_size, text);
}
REPORTENGINE_FORWARD const hb_ot_name_entry_t* hb_ot_name_list_names(hb_face_t* face,
                                                                    unsigned int* num_entries) {
  return HarfBuzz::Get().hb_ot_name_list_names(face, num_entries);
}
REPORTENGINE_FORWARD void hb_shape(hb_font_t* font, hb_buffer_t* buffer,
                                   const hb_feature_t* features, unsigned int num_features) {
  HarfBuzz::Get().hb_shape(font, buffer, features, num_features);
}

REPORTENGINE_FORWARD FcBool FcConfigSubstitute(FcConfig* config, FcPattern* p, FcMatchKind kind) {
  return Fontconfig::Get().FcConfigSubstitute(config, p, kind);
}
REPORTENGINE_FORWARD void FcDefaultSubstitute(FcPattern* pattern) {
  Fontconfig::Get().FcDefaultSubstitute(pattern);
}
REPORTENGINE_FORWARD FcFontSet* FcFontList(FcConfig* config, FcPattern* p, FcObjectSet* os) {
  return Fontconfig::Get().FcFontList(config, p, os);
}
REPORTENGINE_FORWARD FcPattern* FcFontMatch(FcConfig* config, FcPattern* p, FcResult* result) {
  return Fontconfig::Get().FcFontMatch(config, p, result);
}
REPORTENGINE_FORWARD void FcFontSetDestroy(FcFontSet* s) {
  if (s != nullptr) Fontconfig::Get().FcFontSetDestroy(s);
}
REPORTENGINE_FORWARD FcBool FcInit() { return Fontconfig::Get().FcInit(); }
REPORTENGINE_FORWARD void FcObjectSetDestroy(FcObjectSet* os) {
  if (os != nullptr) Fontconfig::Get().FcObjectSetDestroy(os);
}
// The library's own variadic form cannot be passed its arguments on; its va_list form can.
REPORTENGINE_FORWARD FcObjectSet* FcObjectSetBuild(const char* first, ...) {
  const auto& fontconfig = Fontconfig::Get();
  va_list va;
  va_start(va, first);
  FcObjectSet* set = fontconfig.FcObjectSetVaBuild(first, va);
  va_end(va);
  return set;
}
REPORTENGINE_FORWARD FcBool FcPatternAddInteger(FcPattern* p, const char* object, int i) {
  return Fontconfig::Get().FcPatternAddInteger(p, object, i);
}
REPORTENGINE_FORWARD FcBool FcPatternAddString(FcPattern* p, const char* object, const FcChar8* s) {
  return Fontconfig::Get().FcPatternAddString(p, object, s);
}
REPORTENGINE_FORWARD FcPattern* FcPatternCreate() { return Fontconfig::Get().FcPatternCreate(); }
REPORTENGINE_FORWARD void FcPatternDestroy(FcPattern* p) {
  if (p != nullptr) Fontconfig::Get().FcPatternDestroy(p);
}
REPORTENGINE_FORWARD FcResult FcPatternGetInteger(const FcPattern* p, const char* object, int n,
                                                  int* i) {
  return Fontconfig::Get().FcPatternGetInteger(p, object, n, i);
}
REPORTENGINE_FORWARD FcResult FcPatternGetString(const FcPattern* p, const char* object, int n,
                                                 FcChar8** s) {
  return Fontconfig::Get().FcPatternGetString(p, object, n, s);
}
REPORTENGINE_FORWARD int FcStrCmpIgnoreCase(const FcChar8* s1, const FcChar8* s2) {
  return Fontconfig::Get().FcStrCmpIgnoreCase(s1, s2);
}

REPORTENGINE_FORWARD void hnj_hyphen_free(HyphenDict* dict) {
  if (dict != nullptr) Hyphen::Get().hnj_hyphen_free(dict);
}
REPORTENGINE_FORWARD int hnj_hyphen_hyphenate3(HyphenDict* dict, const char* word, int word_size,
                                               char* hyphens, char* hyphword, char*** rep,
                                               int** pos, int** cut, int lhmin, int rhmin,
                                               int clhmin, int crhmin) {
  return Hyphen::Get().hnj_hyphen_hyphenate3(dict, word, word_size, hyphens, hyphword, rep, pos,
                                             cut, lhmin, rhmin, clhmin, crhmin);
}
REPORTENGINE_FORWARD HyphenDict* hnj_hyphen_load(const char* fn) {
  return Hyphen::Get().hnj_hyphen_load(fn);
}
