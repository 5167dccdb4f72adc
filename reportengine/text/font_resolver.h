// Finds the installed font file for a face name as the templates write it, through our table of
// stand-ins for the Windows faces, the places their packages put them, and fontconfig. Never
// substitutes another family: a packaged file is taken only when its own names say it is the
// family asked for, and fontconfig always offers some font, so the family it offers is checked
// against the one asked for. fontconfig is started only when a face is not at its packaged place.
#ifndef REPORTENGINE_TEXT_FONT_RESOLVER_H_
#define REPORTENGINE_TEXT_FONT_RESOLVER_H_

#include <span>
#include <string>
#include <string_view>

#include "reportengine/text/text_constants.h"

namespace re {

struct FontFile {
  std::string family;                // installed family, e.g. "IPAGothic"
  std::string file;                  // absolute path, symbolic links resolved
  int index = 0;                     // face index inside a font collection
  bool no_internal_leading = false;  // ascent + descent is drawn as the character height
};

// The installed family that stands for face_name: the table's stand-in for a Windows face, or
// face_name itself.
std::string_view FamilyForFace(std::string_view face_name);

// Looks up the regular face of face_name's family. Returns false and sets *error (when non-null)
// to "Font not found: <face_name>" when no installed font belongs to that family.
bool FindFontFile(std::string_view face_name, FontFile* out, std::string* error);
// The same, with `packaged` in place of the packages' places of the stand-ins (for tests).
bool FindFontFile(std::string_view face_name, std::span<const text::PackagedFace> packaged,
                  FontFile* out, std::string* error);

// Finds, on this machine, the font a saved prepared report used: it names the face as the
// template did, and the file's name (no folder) and face index as found where it was saved.
// The face name's font is taken when its file has that name; else an installed font file of that
// name and index (the same font, under another family name); else the face name's font, as a
// preparation here would use it. Returns false and sets *error (when non-null) to
// "Font not found: <face_name>" when neither is installed.
bool LocateSavedFont(std::string_view face_name, std::string_view file_name, int index,
                     FontFile* out, std::string* error);

}  // namespace re

#endif  // REPORTENGINE_TEXT_FONT_RESOLVER_H_
