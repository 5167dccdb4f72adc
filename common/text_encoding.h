// Conversions between our UTF-8 strings and the encodings found on disk: CP932 (the system's
// ANSI code page of the main application) and UTF-16LE (ini files with a byte-order mark,
// version resources).
#ifndef COMMON_TEXT_ENCODING_H_
#define COMMON_TEXT_ENCODING_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace common {

// UTF-8 -> CP932. A character CP932 cannot hold becomes "?", one per UTF-16 unit (so "??" for
// a character outside the basic multilingual plane), as the Windows conversion does.
std::string Utf8ToCp932(std::string_view utf8);

// CP932 -> UTF-8. A byte sequence that is not valid CP932 becomes U+FFFD; never fails.
std::string Cp932ToUtf8(std::string_view cp932);

// Opens the calling thread's CP932 conversions now. The first one loads the system's conversion
// module, which waits while any other thread of the process loads a library: a thread about to
// start others that load libraries opens its conversions first.
void OpenCp932Conversions();

// UTF-16LE bytes (no byte-order mark) <-> UTF-8. Unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(std::string_view utf16le_bytes);
std::string Utf8ToUtf16Le(std::string_view utf8);

// Decodes the UTF-8 character at utf8[*pos] and moves *pos past it. A malformed or cut-short
// sequence, an overlong form, a surrogate or a value beyond U+10FFFF is no character: it gives
// U+FFFD, *pos moves on by one byte only, and *valid (when given) becomes false.
// REQUIRES: *pos < utf8.size().
char32_t DecodeUtf8(std::string_view utf8, size_t* pos, bool* valid = nullptr);

}  // namespace common

#endif  // COMMON_TEXT_ENCODING_H_
