// Small text helpers of the updater.
#ifndef TOLVAN_TEXT_UTIL_H_
#define TOLVAN_TEXT_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

#include "common/text_format.h"
#include "common/trim.h"

namespace tolvan {

// Without the leading and trailing characters U+0000 to U+0020.
using common::Trim;

// The number of characters of a UTF-8 text.
size_t CountCharacters(std::string_view utf8);

// A 32-bit integer written in decimal (optional sign) or hexadecimal ("$1F", "0x1F"), the
// whole text; nullopt for anything else, including a value that does not fit.
std::optional<int32_t> ParseInt32(std::string_view text);

// Format(pattern, a, b) is common::FillIn(pattern, {a, b}); each value is a text.
template <typename... Values>
std::string Format(std::string_view pattern, const Values&... values) {
  return common::FillIn(pattern, {std::string_view(values)...});
}

}  // namespace tolvan

#endif  // TOLVAN_TEXT_UTIL_H_
