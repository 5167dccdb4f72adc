// The small pieces of PDF syntax the PDF writer spells out: numbers, names, strings and dates.
// Every function appends to `out` so a content stream is built in one growing buffer.
#ifndef REPORTENGINE_PDF_PDF_SYNTAX_H_
#define REPORTENGINE_PDF_PDF_SYNTAX_H_

#include <ctime>
#include <string>
#include <string_view>

namespace re::pdf {

// Appends `value` rounded to two decimals without trailing zeros ("12.5", "-3", "0").
// Two decimals of a point are 0.0035 mm, far below what a printer resolves.
void AppendNumber(std::string* out, double value);
// Same with three decimals, for colour components in 0..1.
void AppendFraction(std::string* out, double value);
void AppendInt(std::string* out, long long value);

// Appends "/name", escaping every byte outside the regular printable characters as #xx.
void AppendName(std::string* out, std::string_view name);

// Appends a literal string "(...)" holding `bytes` unchanged for the reader: parentheses,
// backslashes and line-end bytes are escaped (readers would turn a bare CR into LF).
void AppendLiteralString(std::string* out, std::string_view bytes);
// The same without the parentheses, for a string built from pieces (glyph codes of a line).
void AppendLiteralStringBytes(std::string* out, std::string_view bytes);

// Appends a text string for the document information: ASCII text as a literal string, any
// other text as UTF-16BE with a byte-order mark, in hexadecimal. Invalid UTF-8 becomes U+FFFD.
void AppendTextString(std::string* out, std::string_view utf8);

// Appends <hex> of the UTF-16BE form of `utf8` (no byte-order mark), as ToUnicode maps want.
void AppendUtf16Hex(std::string* out, std::string_view utf8);

// "D:YYYYMMDDHHmmSS+hh'mm'": the local broken-down time `local` whose offset from UTC is
// `utc_offset_seconds` (east positive).
std::string FormatDate(const std::tm& local, long utc_offset_seconds);
// The same for a moment, in the machine's local time zone.
std::string FormatLocalDate(std::time_t moment);

}  // namespace re::pdf

#endif  // REPORTENGINE_PDF_PDF_SYNTAX_H_
