// The engine's own file format for prepared reports, used by the preview's save and open.
//
// A little-endian binary file: the magic "NVKPREP\x1a", a 32-bit format version, then the fonts
// (face name, file name without its folder, face index), the table of distinct shaped lines
// (each stored once however many items show it) and the pages with their items in drawing order.
// Every count and string length is checked against the bytes that remain, so a damaged or
// foreign file is refused with a message, never read past its end; lengths must be finite, page
// sizes sane and glyph clusters inside their line's text. Reading a saved report gives back a
// report equal to the one saved (shared lines stay shared), its fonts found where they are
// installed on the reading machine.
#ifndef REPORTENGINE_LAYOUT_PREPARED_REPORT_FILE_H_
#define REPORTENGINE_LAYOUT_PREPARED_REPORT_FILE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "reportengine/layout/prepared_page.h"

namespace re {

inline constexpr char kPreparedReportMagic[] = "NVKPREP\x1a";  // 8 bytes without the NUL
// 2: shaped lines carry their horizontal scale (narrowed text).
// 3: fonts are stored by face name and file name, without the folder.
inline constexpr uint32_t kPreparedReportVersion = 3;
// The extension the preview offers for prepared reports.
inline constexpr char kPreparedReportExtension[] = ".nvkp";

// The whole file content for `report`.
std::string SerializePreparedReport(const PreparedReport& report);

// Parses file content. Returns nothing, with a reason in *error, when the bytes are not a prepared
// report of a version this program reads.
std::optional<PreparedReport> ParsePreparedReport(std::string_view bytes, std::string* error);

// Writes `report` to `path` through a temporary file in the same folder renamed over the target,
// so an existing file is either replaced whole or left as it was. Returns false with a message
// in *error on failure.
bool SavePreparedReport(const PreparedReport& report, const std::string& path, std::string* error);

// Reads a file written by SavePreparedReport and finds its fonts among the fonts installed here
// (LocateSavedFont), so FontFace::file is again a full path. Returns nothing with a message in
// *error when it cannot be read, is not a prepared report, or names a font not installed here
// ("Font not found: <face name>").
std::optional<PreparedReport> LoadPreparedReport(const std::string& path, std::string* error);

}  // namespace re

#endif  // REPORTENGINE_LAYOUT_PREPARED_REPORT_FILE_H_
