// The private-profile text of user.ini, on bytes in memory: what a read of one key finds and
// what a write of one key leaves. Windows' rules: section and key names match without regard to
// ASCII case, the first section of a name counts, values are trimmed. A file starting with the
// UTF-16LE byte-order mark is UTF-16LE, any other is CP932; every line a write does not touch
// keeps its bytes and its line end.
#ifndef COMMON_INI_TEXT_H_
#define COMMON_INI_TEXT_H_

#include <optional>
#include <string>
#include <string_view>

namespace common::ini_text {

// The value of `key` in `section` as a read returns it (trimmed, without one pair of enclosing
// quotes, at most 2047 characters), or nothing when the section or the key is missing.
std::optional<std::string> ReadValue(std::string_view file_bytes, std::string_view section,
                                     std::string_view key);

// `file_bytes` with `key` in `section` set to `value`, the section and key added when missing
// (a new key after the last non-blank line of its section; an existing key keeps its spelling).
std::string WriteValue(std::string_view file_bytes, std::string_view section, std::string_view key,
                       std::string_view value);

}  // namespace common::ini_text

#endif  // COMMON_INI_TEXT_H_
