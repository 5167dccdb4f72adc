// Trimming as the data files and settings of the main application expect it: blanks and
// control characters (the bytes 0x00 to 0x20) go, everything else stays, whatever the locale.
#ifndef COMMON_TRIM_H_
#define COMMON_TRIM_H_

#include <string_view>

namespace common {

// `text` without its leading and trailing bytes 0x00 to 0x20. A view into `text`.
inline std::string_view Trim(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace common

#endif  // COMMON_TRIM_H_
