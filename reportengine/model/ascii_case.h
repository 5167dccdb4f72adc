// Comparison of names (fields, bindings) as the data provider matches them: ASCII letters
// without regard to case, every other byte exactly, whatever the process locale is.
#ifndef REPORTENGINE_MODEL_ASCII_CASE_H_
#define REPORTENGINE_MODEL_ASCII_CASE_H_

#include <string_view>

namespace re {

inline bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace re

#endif  // REPORTENGINE_MODEL_ASCII_CASE_H_
