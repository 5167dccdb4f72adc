#include "common/text_format.h"

namespace common {

std::string FillIn(std::string_view pattern, std::initializer_list<std::string_view> values) {
  constexpr std::string_view kMark = "%s";
  std::string out;
  size_t from = 0;
  for (std::string_view value : values) {
    const size_t at = pattern.find(kMark, from);
    if (at == std::string_view::npos) break;
    out.append(pattern, from, at - from);
    out.append(value);
    from = at + kMark.size();
  }
  out.append(pattern, from);
  return out;
}

}  // namespace common
